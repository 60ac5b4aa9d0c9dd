// Fuzzes a whole program action: the input is the firmware file, programmed
// into the device model through an in-memory transport.
#include "cybtldr_api2.h"
#include "model_transport.h"
#include "temp_dir.h"

#include <cstdlib>

namespace sim = vireon::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const vireon::test::TempDir dir;
    // An odd-sized input names application 1 in its path.
    const std::string path = dir.write(size % 2 ? "image_2.cyacd" : "image.cyacd",
                                       std::string(reinterpret_cast<const char *>(data), size));
    // A header asking for the CRC (kind 1) gets a device that expects it.
    const bool crc = size >= 12 && data[10] == '0' && data[11] == '1';
    // Silicon id and revision, bootloader version, packet checksum, arrays (id, first
    // and last row, row size) and two applications.
    const sim::TargetConfig target{0x56530001, 0x00, 0x01021E, sim::PacketChecksum(crc),
                                   {{0, 0x0000, 0x003F, 16}, {1, 0x0010, 0x001F, 64}}, 2};
    sim::Bootloader device({target});
    vireon::test::ModelTransport transport(device);
    CyBtldr_CommunicationsData comm = transport.comm();

    const int result = CyBtldr_Program(path.c_str(), &comm, nullptr);

    if (transport.largestWrite >= comm.MaxTransferSize)
        std::abort(); // a packet larger than one transfer
    const auto &received = device.received();
    for (size_t i = 0; i + 1 < received.size(); ++i)
        if (received[i].command == sim::command::Exit)
            std::abort(); // something was sent after the exit command
    if (!received.empty() && received.back().command != sim::command::Exit && (result & BL_COMM_ERROR_FLAG) == 0)
        std::abort(); // a started operation was not ended
    if (result == 0 && received.empty())
        std::abort(); // success without talking to the device
    return 0;
}
