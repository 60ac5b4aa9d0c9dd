// What the HID transport saw during one bootloader action, kept at the
// moment it happened: how many packets went out, the last command answered,
// the identity the surface gave, the rows it was asked to write, and the
// first failure with hidapi's own words for it. The bootloader host's result
// codes say only that the transport failed; this record says how, where and
// which call.
#ifndef VIREON_ENGINE_TRANSFER_RECORD_H
#define VIREON_ENGINE_TRANSFER_RECORD_H

#include <cstdint>
#include <string>

namespace vireon::engine {

enum class TransferFault {
    None,
    WriteFailed, // the write of a report failed
    Unplugged,   // the device node went away under a write or read
    ReadFailed,  // the read of a report failed
    NoAnswer,    // no input report within the read limit
    ShortAnswer, // fewer bytes than the answer's own length field needs
    BadFrame,    // the answer's start or end byte is wrong
    BadChecksum, // the answer's checksum (of the kind the file sets) is wrong
};

struct TransferRecord {
    int exchanges = 0;        // packets written
    uint8_t lastCommand = 0;  // the command of the last packet written
    int lastRow = -1;         // the flash row that packet names (program, verify or erase row); -1 none
    uint8_t lastArray = 0;    // and its flash array
    uint8_t lastAnswered = 0; // the command of the last answer that passed every check
    bool identified = false;  // an answer to "enter bootloader" passed its checks
    uint32_t siliconId = 0;   // what that answer said
    uint8_t siliconRev = 0;
    // Program-row requests that reached the surface: nonzero once anything
    // of the image may be in its flash.
    int rowsWritten = 0;
    // The exit command reached the surface's end of the bus (its write
    // succeeded): the surface restarts, unless the report was lost on its way.
    bool exitSent = false;
    // The first failure, where it happened and hidapi's text for it (UTF-8).
    TransferFault fault = TransferFault::None;
    int faultExchange = 0;
    uint8_t faultCommand = 0;
    int faultRow = -1; // the row the failed exchange's request named; -1 none
    uint8_t faultArray = 0;
    std::string hidText;
    int bytesGot = 0;    // ShortAnswer: what arrived
    int bytesNeeded = 0; // ShortAnswer: what its length field needs
    long long readLimitMs = 0; // NoAnswer: how long the read waited
    // Failures go to standard error too ("USB HID Write Failure: ..."); the
    // command line reports them through its own channel instead.
    bool printFailures = true;

    bool failed() const { return fault != TransferFault::None; }
    // The exit command did not reach the surface (so it did not restart).
    bool exitLost() const;
    // Forgets everything but printFailures, for a new action.
    void reset();
};

// The bootloader command's name, "program row", for the reasons.
std::string commandName(uint8_t command);

} // namespace vireon::engine

#endif
