// Fuzzes a whole program action: the input is a transport fault and the
// firmware file, programmed into the device model through an in-memory
// transport. The oracle: a success means the chip's flash equals the file's
// rows and the device's own application check passes.
//
// Input: byte 0 the fault (mod 4: none, unplug, corrupted answer, dropped
// answer), byte 1 its exchange less one, byte 2 the answer byte to corrupt
// (mod the answer's length), byte 3 the XOR mask (0 counts as 0xFF); the
// rest is the file.
#include "cybtldr_api2.h"
#include "model_transport.h"
#include "temp_dir.h"

#include <cstdlib>

namespace sim = vireon::sim;

namespace {

// The rows the file holds, as the host's own reader reads them.
sim::Bootloader::Flash fileRows(const char *path)
{
    sim::Bootloader::Flash rows;
    char line[LINE_BUFFER_SIZE];
    uint8_t data[LINE_BUFFER_SIZE];
    uint32_t length = 0;
    uint8_t arrayId = 0, checksum = 0;
    uint16_t row = 0, size = 0;
    if (CyBtldr_OpenDataFile(path) != BL_SUCCESS)
        return rows;
    if (CyBtldr_ReadLine(&length, line) == BL_SUCCESS)
        while (CyBtldr_ReadLine(&length, line) == BL_SUCCESS &&
               CyBtldr_ParseRowData(length, reinterpret_cast<uint8_t *>(line), &arrayId, &row, data, &size,
                                    &checksum) == BL_SUCCESS)
            rows[{arrayId, row}].assign(data, data + size);
    CyBtldr_CloseDataFile();
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t inputSize)
{
    if (inputSize < 4)
        return 0;
    enum Kind { None, Unplug, Corrupt, Drop };
    const Kind fault = Kind(input[0] % 4);
    const long exchange = long{input[1]} + 1;
    const size_t byteIndex = input[2];
    const uint8_t mask = input[3] != 0 ? input[3] : 0xFF;
    const uint8_t *data = input + 4;
    const size_t size = inputSize - 4;

    static const vireon::test::TempDir dir;
    // An odd-sized file names application 1 in its path.
    const std::string path = dir.write(size % 2 ? "image_2.cyacd" : "image.cyacd",
                                       std::string(reinterpret_cast<const char *>(data), size));
    // A header asking for the CRC (kind 1) gets a device that expects it.
    const bool crc = size >= 12 && data[10] == '0' && data[11] == '1';
    // Silicon id and revision, bootloader version, packet checksum, arrays (id, first
    // and last row, row size) and two applications. The application's metadata row
    // is row 7 of array 0.
    const sim::TargetConfig target{0x56530001, 0x00, 0x01021E, sim::PacketChecksum(crc),
                                   {{0, 0x0000, 0x0007, 16}, {1, 0x0010, 0x001F, 64}}, 2};
    sim::Bootloader device({target});
    vireon::sim::ModelTransport transport(device);
    CyBtldr_CommunicationsData comm = transport.comm();
    bool checkCorrupted = false; // the corrupted answer was the application check's own
    if (fault == Unplug)
        transport.onWrite = [&] {
            if (transport.writes == exchange)
                transport.writeResult = -1; // lost, and so is every write after it
        };
    if (fault == Corrupt || fault == Drop)
        transport.onAnswer = [&](std::vector<uint8_t> &answer) {
            if (transport.writes != exchange || answer.empty())
                return;
            if (fault == Drop)
                return answer.clear();
            answer[byteIndex % answer.size()] ^= mask;
            const uint8_t cmd = device.received().back().command;
            checkCorrupted = cmd == sim::command::VerifyChecksum || cmd == sim::command::GetAppStatus;
        };

    const int result = CyBtldr_Program(path.c_str(), &comm, nullptr);

    if (transport.largestWrite >= comm.MaxTransferSize)
        std::abort(); // a packet larger than one transfer
    const auto &received = device.received();
    for (size_t i = 0; i + 1 < received.size(); ++i)
        if (received[i].command == sim::command::Exit)
            std::abort(); // something was sent after the exit command
    if (fault != Unplug && !received.empty() && received.back().command != sim::command::Exit &&
        (result & BL_COMM_ERROR_FLAG) == 0)
        std::abort(); // a started operation was not ended
    if (result != 0)
        return 0;
    if (received.empty())
        std::abort(); // success without talking to the device
    if (device.flash(0) != fileRows(path.c_str()))
        std::abort(); // success, but the chip does not hold the file
    // A host that does not verify answer checksums cannot tell a corrupted
    // answer to the application check itself; every other single fault must
    // not turn a refused application into a success.
    const bool valid = size % 2 ? device.applicationValid(0, 1) : device.applicationValid(0);
    if (!valid && !checkCorrupted)
        std::abort(); // success, but the device does not take the application as valid
    return 0;
}
