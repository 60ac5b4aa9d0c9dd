// The account of one stage of an update: from the bootloader host's result
// code read together with the transport's record, the cause of the outcome
// and the sentence that tells it. The window's box and log and the command
// line's message and exit code all render this one account.
#ifndef VIREON_CORE_FAILURE_CAUSE_H
#define VIREON_CORE_FAILURE_CAUSE_H

#include <QString>

#include <cstdint>

#include "transfer_record.h"

namespace vireon::core {

enum class Cause {
    None,             // the stage did what it was asked
    NotRestarted,     // the stage ended well but its exit command never reached the surface
    NoAnswer,         // the surface did not answer within the read limit
    TransferFailed,   // a write or read failed, or an answer was cut or damaged
    Unplugged,        // the device node went away during the transfer
    OtherChip,        // the surface answered as the other chip of the pair
    StillFirstChip,   // image 2 met the first chip: it did not restart after image 1
    WrongChip,        // the surface answered as neither chip the file is for
    RowMismatch,      // a row's checksum on the surface differs from the file's
    ApplicationCheck, // every row went in, but the surface's application check failed
    DeviceStatus,     // the bootloader refused a command with a status
    FileUnreadable,   // the image file could not be read
    Aborted,          // the action was asked to stop
    Refused,          // any other refusal of the bootloader host
};

struct StageAccount {
    int image = 1;             // 1 or 2
    bool verify = false;       // a check of the surface instead of programming
    int result = 0;            // the bootloader host's result code
    TransferRecord transfer;   // what the transport recorded
    uint32_t imageIds[2] = {}; // the silicon id each image is for; 0 unknown
};

struct CauseAccount {
    Cause cause = Cause::None;
    // One or two sentences for the user: the box's reason, the log's line,
    // the command line's message. Empty for a plain success.
    QString reason;
};

CauseAccount accountFor(const StageAccount &stage);

// "The surface did not answer within 5 s."
QString noAnswerText();

// The note on a success whose surface did not restart into its firmware:
// "The surface did not restart by itself: unplug and re-plug it ...".
QString notRestartedText();

// "status 11 (0x0b)", the one wording of a device status.
QString statusWording(int status);

// The silicon id an image file's header line names; 0 when it names none.
uint32_t imageSiliconId(const QString &path);

} // namespace vireon::core

#endif
