// A model of the surface's flash bootloader: the device's side of the packet
// protocol, with flash rows, a chain of targets (chips) that take the bus in
// turn after each restart, a log of the commands received and settings that
// make it misbehave. Pure C++, no USB; the simulated HID bus serves it.
#ifndef VIREON_SIM_DEVICE_MODEL_H
#define VIREON_SIM_DEVICE_MODEL_H

#include "app_metadata.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace vireon::sim {

// Which packet checksum the bootloader was built to expect.
enum class PacketChecksum : uint8_t { Sum = 0, Crc = 1 };

// Status bytes the bootloader answers. 0 is success; the host only tells
// zero from nonzero, except status 5 to the application status query.
namespace status {
constexpr uint8_t Success = 0x00;
constexpr uint8_t BadLength = 0x03;      // length field past the bytes received, data length wrong for
                                         // the command, or send-data beyond the largest row
constexpr uint8_t BadData = 0x04;        // malformed data: bad start or end byte, short packet
constexpr uint8_t Unsupported = 0x05;    // command not supported (single-application bootloader)
constexpr uint8_t BadChecksum = 0x06;    // request checksum wrong
constexpr uint8_t BadArray = 0x07;       // no such flash array
constexpr uint8_t BadRow = 0x08;         // row outside the array
constexpr uint8_t BadCommand = 0x09;     // unknown command code
constexpr uint8_t NotEntered = 0x0A;     // command before enter-bootloader
constexpr uint8_t ProgramFailed = 0x0B;  // row data does not fill the row
constexpr uint8_t BadApplication = 0x0C; // no such application id (multi-application)
} // namespace status

// Command codes the bootloader knows.
namespace command {
constexpr uint8_t VerifyChecksum = 0x31;
constexpr uint8_t GetFlashSize = 0x32;
constexpr uint8_t GetAppStatus = 0x33;
constexpr uint8_t EraseRow = 0x34;
constexpr uint8_t Sync = 0x35; // drops buffered send-data, answers success
constexpr uint8_t SetActiveApp = 0x36;
constexpr uint8_t SendData = 0x37;
constexpr uint8_t Enter = 0x38;
constexpr uint8_t ProgramRow = 0x39;
constexpr uint8_t VerifyRow = 0x3A;
constexpr uint8_t Exit = 0x3B;
} // namespace command

constexpr uint8_t kPacketStart = 0x01;
constexpr uint8_t kPacketEnd = 0x17;
constexpr size_t kFrameOverhead = 7; // start, code, length (2), checksum (2), end

struct ArrayConfig {
    uint8_t id = 0;
    uint16_t firstRow = 0;
    uint16_t lastRow = 0;
    uint16_t rowSize = 256; // bytes a program-row must deliver in total
};

struct TargetConfig {
    uint32_t siliconId = 0;
    uint8_t siliconRev = 0;
    uint32_t bootloaderVersion = 0x01021E; // 24-bit
    PacketChecksum checksum = PacketChecksum::Sum;
    std::vector<ArrayConfig> arrays;
    // 1: a single-application bootloader, which answers status 5 to the
    // application status and set-active commands. 2 or more: each
    // application has a valid and an active byte.
    int applications = 1;
};

// The checksum the device computes over a stored row, as verify-row
// reports it: the two's complement of the sum of the row's bytes.
uint8_t rowChecksum(const std::vector<uint8_t> &row);

// The 16-bit packet checksum over `size` bytes, as it goes on the wire: the
// low byte of the result is sent first. Sum: the two's complement of the
// byte sum. CRC: CRC-16/X-25 with its two bytes swapped, so the CRC itself
// travels high byte first; 0 for no bytes.
uint16_t packetChecksum(PacketChecksum kind, const uint8_t *data, size_t size);

// A whole packet: 01, code (command or status), length LE16, data,
// checksum, 17.
std::vector<uint8_t> buildPacket(PacketChecksum kind, uint8_t code, const std::vector<uint8_t> &data);

class Bootloader {
public:
    explicit Bootloader(std::vector<TargetConfig> chain);

    // One request as it arrived: the packet and whatever padding follows it
    // in the report. The frame is checked first (start byte, length within
    // the bytes received, end byte, checksum of the target's kind), then the
    // command (known code, entered, data length, array and row). Bad requests
    // get a nonzero status and no data; every answer carries the checksum of
    // the target's kind. Returns the response packet, or nothing when the
    // device sends no answer (the exit command, and anything that arrives
    // after it while the device waits for its restart).
    std::vector<uint8_t> handleRequest(const uint8_t *data, size_t size);

    // Set once the exit command arrived; the device then restarts.
    bool restartRequested() const;
    // The restart: the next target of the chain takes the bus (after the
    // last, the first again). Session state (entered, buffered send-data)
    // is cleared; flash is kept.
    void restart();

    size_t currentTarget() const;
    size_t targetCount() const;
    TargetConfig &target(size_t index);
    const TargetConfig &target(size_t index) const;

    // Flash contents of one target: (array id, row) -> stored row bytes.
    using Flash = std::map<std::pair<uint8_t, uint16_t>, std::vector<uint8_t>>;
    const Flash &flash(size_t target) const;
    void clearFlash(size_t target);
    // A flash kept from an earlier power cycle (surface_state.h): a target's
    // rows, its half-programmed rows and its active applications put back,
    // and the target that takes the bus at power-up, as the last restart
    // left it. Session state is cleared.
    void restoreFlash(size_t target, Flash rows, std::set<std::pair<uint8_t, uint16_t>> failed,
                      std::set<uint8_t> active);
    void powerUpAs(size_t target);
    const std::set<uint8_t> &activeApplications(size_t target) const;

    // Applications of a multi-application target.
    void setApplicationActive(size_t target, uint8_t appId, bool active);
    bool applicationActive(size_t target, uint8_t appId) const;
    std::optional<uint8_t> activeApplication(size_t target) const;

    // Session state of the current target.
    bool entered() const;
    size_t bufferedBytes() const; // send-data bytes waiting for a program-row

    // The device's own view of its flash, as verify-checksum answers it: the
    // application is valid when the metadata row at the end of the first
    // array describes what the rows before it hold (app_metadata.h: the
    // application's CRC-32 and length, written there by the build) and no
    // row was left half-programmed (a program-row rejected for its length
    // marks its row failed until the row is programmed or erased). Erased
    // rows are not stored; they read back as rowSize zero bytes. The
    // multi-application status query still counts an application valid
    // when any of its rows is stored and none failed; application k owns
    // the k-th of `applications` equal slices of every array's rows (the last
    // slice takes the remainder). The bad-application-checksum setting makes
    // every application invalid.
    bool applicationValid(size_t target) const;
    bool applicationValid(size_t target, uint8_t appId) const;
    // Rows marked failed on a target.
    const std::set<std::pair<uint8_t, uint16_t>> &failedRows(size_t target) const;

    // Every request received, in order (bad ones too).
    struct Received {
        size_t target;             // which target received it
        uint8_t command;           // byte 1 of the request
        std::vector<uint8_t> data; // the request data (bytes 4 .. 4+n-1), empty when the frame is bad
        uint8_t status;            // the status answered (0 when no answer was sent)
    };
    const std::vector<Received> &received() const;
    void clearReceived();
    // Whether requests are kept in received() (they are from the start).
    void setRecording(bool on) { recording_ = on; }
    // Requests received with this command code (well-formed or not).
    size_t receivedCount(uint8_t command) const;

    // Misbehaviour. answerStatus: the next `times` well-framed requests with
    // this command code (after `skip` of them are answered normally) are
    // answered with `status` and no data, without acting on them, before any
    // other check of the command; times < 0 means for ever. A faulted exit
    // command is answered and does not restart the device. One setting per
    // command code; a new call replaces it.
    void answerStatus(uint8_t command, uint8_t status, int times = -1, int skip = 0);
    void reportBadRowChecksum(bool bad);         // verify-row answers a wrong checksum
    void reportBadApplicationChecksum(bool bad); // verify-checksum answers 0 (not valid)
    void clearFaults();

    Bootloader(const Bootloader &) = delete;
    Bootloader &operator=(const Bootloader &) = delete;

private:
    struct Fault {
        uint8_t status = 0;
        int times = -1;
        int skip = 0;
    };
    struct TargetState {
        Flash flash;
        std::set<std::pair<uint8_t, uint16_t>> failed;
        std::set<uint8_t> active; // application ids marked active
    };

    const ArrayConfig *findArray(uint8_t id) const;
    bool rowInApplication(size_t target, uint8_t arrayId, uint16_t row, uint8_t appId) const;
    std::vector<uint8_t> answer(uint8_t statusByte, const std::vector<uint8_t> &data = {}) const;
    std::vector<uint8_t> dispatch(uint8_t cmd, const std::vector<uint8_t> &data, uint8_t &statusOut);

    std::vector<TargetConfig> chain_;
    std::vector<TargetState> state_;
    size_t current_ = 0;
    bool entered_ = false;
    bool restartRequested_ = false;
    std::vector<uint8_t> buffer_;
    std::vector<Received> received_;
    bool recording_ = true;
    std::map<uint8_t, Fault> faults_;
    bool badRowChecksum_ = false;
    bool badAppChecksum_ = false;
};

} // namespace vireon::sim

#endif
