// Talking to the device model the way the host does: whole request packets
// in, answer packets out.
#ifndef VIREON_TESTS_SIM_WIRE_H
#define VIREON_TESTS_SIM_WIRE_H

#include "device_model.h"

#include <gtest/gtest.h>

namespace wire {

using Bytes = std::vector<uint8_t>;
using vireon::sim::Bootloader;

inline Bytes send(Bootloader &bl, const Bytes &packet) { return bl.handleRequest(packet.data(), packet.size()); }

// A request in the checksum kind of the target on the bus.
inline Bytes request(Bootloader &bl, uint8_t cmd, const Bytes &data = {})
{
    return send(bl, vireon::sim::buildPacket(bl.target(bl.currentTarget()).checksum, cmd, data));
}

inline uint8_t statusOf(const Bytes &answer) { return answer.size() > 1 ? answer[1] : 0xFF; }

inline Bytes dataOf(const Bytes &answer)
{
    const size_t n = answer.size() < 7 ? 0 : size_t(answer[2] | (answer[3] << 8));
    EXPECT_EQ(answer.size(), n + 7);
    return answer.size() == n + 7 ? Bytes(answer.begin() + 4, answer.end() - 3) : Bytes{};
}

// A row split as the host splits it for 64-byte transfers: 53-byte
// send-data chunks, then a program-row with the rest. Returns the first
// nonzero status.
inline uint8_t programRow(Bootloader &bl, uint8_t array, uint16_t row, const Bytes &data)
{
    size_t at = 0;
    for (; data.size() - at > 53; at += 53)
        if (uint8_t st = statusOf(request(bl, vireon::sim::command::SendData, Bytes(&data[at], &data[at] + 53))))
            return st;
    Bytes last{array, uint8_t(row), uint8_t(row >> 8)};
    last.insert(last.end(), data.begin() + long(at), data.end());
    return statusOf(request(bl, vireon::sim::command::ProgramRow, last));
}

} // namespace wire

#endif
