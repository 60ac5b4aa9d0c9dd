// The HID transport: one packet per 65-byte output report, one answer per
// input report, each failure recorded as it happens.
#include "hid_transport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cybtldr_command.h"
#include "wide_text.h"

namespace vireon::core {
namespace {


// hidapi's text for the last failure on the device, copied now, before any
// other call replaces it, as UTF-8. Some hidapi versions give a null pointer
// where there is none; that reads as an empty text.
std::string errorText(hid_device *device)
{
    const wchar_t *text = hid_error(device);
    return text ? utf8(text) : std::string();
}

// hidapi words a write or read on a removed hidraw node with ENODEV, or, for
// a read that was waiting, as a disconnection it saw while polling.
bool nodeGone(const std::string &text)
{
    return text == std::strerror(ENODEV) || text.find("device disconnected") != std::string::npos;
}

void note(TransferRecord *record, TransferFault fault, const std::string &text, const char *direction)
{
    if (record == nullptr || record->printFailures)
        std::fprintf(stderr, "USB HID %s Failure: %s\n", direction, text.c_str());
    if (record == nullptr || record->failed())
        return;
    record->fault = fault;
    record->faultExchange = record->exchanges;
    record->faultCommand = record->lastCommand;
    record->faultRow = record->lastRow;
    record->faultArray = record->lastArray;
    record->hidText = text;
}

// The packet's own checks: whole, framed, and its checksum right.
// TransferFault::None when it passes.
TransferFault checkAnswer(const unsigned char *packet, int got, int *needed)
{
    constexpr int kFrame = 7; // start, status, length (2), checksum (2), end
    *needed = kFrame;
    if (got < kFrame)
        return TransferFault::ShortAnswer;
    const int length = packet[2] | (packet[3] << 8);
    *needed = kFrame + length;
    if (*needed > got)
        return TransferFault::ShortAnswer;
    if (packet[0] != PACKET_START || packet[kFrame - 1 + length] != PACKET_END)
        return TransferFault::BadFrame;
    unsigned char copy[kReportSize];
    std::memcpy(copy, packet, static_cast<size_t>(4 + length));
    const uint16_t sum = CyBtldr_ComputeChecksum(copy, static_cast<uint32_t>(4 + length));
    const uint16_t sent = static_cast<uint16_t>(packet[4 + length] | (packet[5 + length] << 8));
    return sum == sent ? TransferFault::None : TransferFault::BadChecksum;
}

} // namespace

int writePacket(hid_device *device, const unsigned char *data, int size, TransferRecord *record)
{
    unsigned char report[kReportSize];
    std::memset(report, 0, sizeof report);
    report[0] = 0; // report id: the device uses unnumbered reports

    if (record != nullptr) {
        ++record->exchanges;
        record->lastCommand = size > 1 && data ? data[1] : 0;
        record->lastRow = -1;
        record->lastArray = 0;
        // A row command's data begins with the array id and the row number,
        // low byte first.
        const bool namesRow = record->lastCommand == CMD_PROGRAM_ROW || record->lastCommand == CMD_VERIFY_ROW ||
                              record->lastCommand == CMD_ERASE_ROW;
        if (namesRow && size >= 7) {
            record->lastArray = data[4];
            record->lastRow = data[5] | (data[6] << 8);
        }
    }
    if (size < 0 || size > kPayloadSize || (size > 0 && !data)) {
        note(record, TransferFault::WriteFailed,
             "a packet of " + std::to_string(size) + " bytes does not fit a " + std::to_string(kPayloadSize) +
                 "-byte report",
             "Write");
        return -1;
    }
    // Only the packet itself: the bytes after it stay zero.
    if (size > 0)
        std::memcpy(report + 1, data, static_cast<size_t>(size));

    if (hid_write(device, report, kReportSize) < 0) {
        const std::string text = errorText(device);
        note(record, nodeGone(text) ? TransferFault::Unplugged : TransferFault::WriteFailed, text, "Write");
        return -1;
    }
    if (record != nullptr) {
        record->rowsWritten += record->lastCommand == CMD_PROGRAM_ROW ? 1 : 0;
        record->exitSent = record->exitSent || record->lastCommand == CMD_EXIT_BOOTLOADER;
    }
    return 0;
}

int readPacket(hid_device *device, unsigned char *data, int /*size*/, TransferRecord *record)
{
    unsigned char buffer[kReportSize];
    std::memset(buffer, 0, sizeof buffer);

    const int got = hid_read_timeout(device, buffer, kReportSize, static_cast<int>(readLimit().count()));
    if (data)
        std::memcpy(data, buffer, kReportSize);
    if (got < 0) {
        const std::string text = errorText(device);
        note(record, nodeGone(text) ? TransferFault::Unplugged : TransferFault::ReadFailed, text, "Read");
        return -1;
    }
    if (got == 0) {
        // hidapi has no error to tell here: its text would read "Success".
        note(record, TransferFault::NoAnswer,
             "no answer from the device within " + std::to_string(readLimit().count()) + " ms", "Read");
        if (record != nullptr)
            record->readLimitMs = readLimit().count();
        return -1;
    }
    int needed = 0;
    const TransferFault bad = checkAnswer(buffer, got, &needed);
    if (bad != TransferFault::None) {
        const std::string text = bad == TransferFault::ShortAnswer
                                     ? "an answer of " + std::to_string(got) + " bytes where its packet needs " +
                                           std::to_string(needed)
                                 : bad == TransferFault::BadFrame ? "an answer that is not a packet"
                                                                  : "an answer with a wrong checksum";
        note(record, bad, text, "Read");
        if (record != nullptr && record->fault == bad && record->faultExchange == record->exchanges) {
            record->bytesGot = got;
            record->bytesNeeded = needed;
        }
        return -1;
    }
    if (record != nullptr) {
        record->lastAnswered = record->lastCommand;
        if (record->lastCommand == CMD_ENTER_BOOTLOADER && needed >= 7 + 5) {
            record->identified = true;
            record->siliconId = static_cast<uint32_t>(buffer[4] | (buffer[5] << 8) | (buffer[6] << 16)) |
                                (static_cast<uint32_t>(buffer[7]) << 24);
            record->siliconRev = buffer[8];
        }
    }
    return 0;
}

} // namespace vireon::core
