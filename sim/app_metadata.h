// The application's metadata row: how the surface's bootloader knows that a
// whole, intact application is in its flash.
//
// The build writes it as the last row of the flash array the application
// lives in (the first array the bootloader has), and the application takes
// the rows from the array's first row up to, not including, that row:
//   bytes 0-3  the application's checksum, little-endian: CRC-32 (reflected
//              polynomial 0xEDB88320, start and final XOR 0xFFFFFFFF) over
//              the application's bytes;
//   bytes 4-7  the application's length in bytes, little-endian, counted
//              from the array's first row;
//   the rest   zeros.
// The verify-application-checksum command answers "valid" only when that
// row is stored, the length is not zero and fits in the rows before it, and
// the checksum of that many bytes of flash, erased rows reading as zeros,
// equals the stored one. A truncated image, a row from another image or a
// missing metadata row therefore reads as not valid.
#ifndef VIREON_SIM_APP_METADATA_H
#define VIREON_SIM_APP_METADATA_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace vireon::sim {

constexpr size_t kMetadataSize = 8; // checksum and length; a row must hold both

inline uint32_t applicationChecksum(uint32_t crc, const uint8_t *data, size_t size)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

// The metadata row of `rowSize` bytes for an application of `length` bytes
// with this checksum.
inline std::vector<uint8_t> metadataRow(uint32_t checksum, uint32_t length, size_t rowSize)
{
    std::vector<uint8_t> row(rowSize, 0);
    for (size_t i = 0; i < 4 && i + 4 < rowSize; ++i) {
        row[i] = static_cast<uint8_t>(checksum >> (8 * i));
        row[i + 4] = static_cast<uint8_t>(length >> (8 * i));
    }
    return row;
}

// Whether array `arrayId` of `flash` ((array id, row) -> stored bytes)
// holds a whole application as its metadata row describes it.
inline bool metadataMatches(const std::map<std::pair<uint8_t, uint16_t>, std::vector<uint8_t>> &flash,
                            uint8_t arrayId, uint16_t firstRow, uint16_t lastRow, size_t rowSize)
{
    const auto meta = flash.find({arrayId, lastRow});
    if (meta == flash.end() || rowSize < kMetadataSize || lastRow < firstRow || meta->second.size() != rowSize)
        return false;
    const std::vector<uint8_t> &m = meta->second;
    const uint32_t stored = m[0] | m[1] << 8 | m[2] << 16 | static_cast<uint32_t>(m[3]) << 24;
    const uint32_t length = m[4] | m[5] << 8 | m[6] << 16 | static_cast<uint32_t>(m[7]) << 24;
    if (length == 0 || length > static_cast<uint64_t>(lastRow - firstRow) * rowSize)
        return false;
    const std::vector<uint8_t> erased(rowSize, 0);
    uint32_t crc = 0;
    size_t left = length;
    for (uint16_t row = firstRow; left > 0; ++row) {
        const auto it = flash.find({arrayId, row});
        const std::vector<uint8_t> &data = it != flash.end() && it->second.size() == rowSize ? it->second : erased;
        const size_t take = std::min(left, rowSize);
        crc = applicationChecksum(crc, data.data(), take);
        left -= take;
    }
    return crc == stored;
}

} // namespace vireon::sim

#endif
