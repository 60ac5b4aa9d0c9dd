// The account of one stage of an update: from the bootloader host's result
// code read together with the transport's record, the cause of the outcome
// and the sentence that tells it. Every front end renders this one account:
// the window's box and log, the command line's message and exit code, the
// browser page's outcome.
#ifndef VIREON_ENGINE_CAUSES_H
#define VIREON_ENGINE_CAUSES_H

#include "transfer_record.h"

#include <cstdint>
#include <string>

namespace vireon::engine {

enum class Cause {
    None,             // the stage did what it was asked
    NotRestarted,     // the stage ended well but its exit command never reached the surface
    NoAnswer,         // the surface did not answer within the read limit
    TransferFailed,   // a write or read failed, or an answer was cut or damaged
    Unplugged,        // the device node went away during the transfer
    OtherChip,        // image 1 met the second chip of the pair
    StillFirstChip,   // image 2 met the first chip: it did not restart after image 1
    WrongChip,        // the surface answered as neither chip the file is for
    RowMismatch,      // a row's checksum on the surface differs from the file's
    ApplicationCheck, // every row went in, but the surface's application check failed
    DeviceStatus,     // the bootloader refused a command with a status
    FileUnreadable,   // the image file could not be read
    Aborted,          // the action was asked to stop
    Refused,          // any other refusal of the bootloader host
};

// "TransferFailed": the cause's name, for tests and traces.
const char *causeName(Cause cause);

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
    std::string reason;
};

CauseAccount accountFor(const StageAccount &stage);

// "The surface did not answer within 5 s."
std::string noAnswerText(long long readLimitMs);

// The note on a success whose surface did not restart into its firmware:
// "The surface did not restart by itself: unplug and re-plug it ...".
std::string notRestartedText();

// "The surface did not restart into its second chip after image 1."
std::string stillFirstChipText();

// "status 11 (0x0b)", the one wording of a device status.
std::string statusWording(int status);

} // namespace vireon::engine

#endif
