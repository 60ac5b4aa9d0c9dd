// The bootloader's packet frame as the device builds and checks it: the
// row checksum, the two packet checksums and a whole answer packet.
#include "device_model.h"

namespace vireon::sim {

namespace {

uint16_t crcX25(const uint8_t *data, size_t size)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = data[i];
        for (int bit = 0; bit < 8; ++bit) {
            if ((crc ^ b) & 0x01)
                crc = static_cast<uint16_t>((crc >> 1) ^ 0x8408);
            else
                crc = static_cast<uint16_t>(crc >> 1);
            b = static_cast<uint8_t>(b >> 1);
        }
    }
    return static_cast<uint16_t>(~crc);
}

} // namespace

uint8_t rowChecksum(const std::vector<uint8_t> &row)
{
    uint8_t sum = 0;
    for (uint8_t b : row)
        sum = static_cast<uint8_t>(sum + b);
    return static_cast<uint8_t>(0x100 - sum);
}

uint16_t packetChecksum(PacketChecksum kind, const uint8_t *data, size_t size)
{
    if (kind == PacketChecksum::Crc) {
        if (size == 0)
            return 0;
        const uint16_t crc = crcX25(data, size);
        return static_cast<uint16_t>((crc >> 8) | (crc << 8));
    }
    uint16_t sum = 0;
    for (size_t i = 0; i < size; ++i)
        sum = static_cast<uint16_t>(sum + data[i]);
    return static_cast<uint16_t>(0x10000 - sum);
}

std::vector<uint8_t> buildPacket(PacketChecksum kind, uint8_t code, const std::vector<uint8_t> &data)
{
    const size_t n = data.size() & 0xFFFF;
    std::vector<uint8_t> p;
    p.reserve(n + kFrameOverhead);
    p.push_back(kPacketStart);
    p.push_back(code);
    p.push_back(static_cast<uint8_t>(n & 0xFF));
    p.push_back(static_cast<uint8_t>(n >> 8));
    p.insert(p.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
    const uint16_t sum = packetChecksum(kind, p.data(), p.size());
    p.push_back(static_cast<uint8_t>(sum & 0xFF));
    p.push_back(static_cast<uint8_t>(sum >> 8));
    p.push_back(kPacketEnd);
    return p;
}

} // namespace vireon::sim
