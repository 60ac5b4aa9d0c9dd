// Writes firmware files in the bootloader's .cyacd text format, for tests,
// fuzz seeds, benchmarks and the example. Row data comes from a seeded
// generator, so the same layout always gives the same file.
//
// Like a real build, each image ends in its application's metadata row
// (sim/app_metadata.h): the last row of an image of two rows or more, rows
// of 8 bytes or more, holds the CRC-32 and the length in bytes of the rows
// before it, and the rest of that row is zeros. targetFor() makes that row
// the last row of the target's array, where the bootloader looks for it, so
// an image programmed whole verifies and any part of it alone does not.
#ifndef VIREON_TOOLS_CYACD_GEN_H
#define VIREON_TOOLS_CYACD_GEN_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "device_model.h"

namespace vireon::tools {

struct ImageSpec {
    uint32_t siliconId = 0x56530001;
    uint8_t siliconRev = 0x00;
    uint8_t checksumKind = 0; // header byte 5: 1 selects the CRC packet checksum
    bool writeChecksumKind = true; // false: a 10-digit header without the byte
    uint8_t arrayId = 0;
    uint16_t firstRow = 0;
    uint16_t rowCount = 16;
    uint16_t rowSize = 128;
    uint32_t seed = 1;
    std::string lineEnd = "\n";
};

// The rows an image holds, its metadata row last: (array id, row) -> data bytes.
using Rows = std::map<std::pair<uint8_t, uint16_t>, std::vector<uint8_t>>;
Rows imageRows(const ImageSpec &layout);

// The row checksum byte the file carries: the two's complement of the sum of
// the row line's bytes (array id, row number, length and data), which is
// what lets the host predict the device's verify-row answer.
uint8_t fileRowChecksum(uint8_t arrayId, uint16_t row, const std::vector<uint8_t> &data);

// The text of one image (header line and row lines) and of a file of
// several images one after the other.
std::string imageText(const ImageSpec &layout);
// A surface's two images, one per chip: `rowCount` rows of `rowSize` bytes
// each, the second for the next silicon id, with data from the next seed.
std::vector<ImageSpec> twoChipImages(uint16_t rowCount, uint16_t rowSize, uint32_t seed = 1);
// The layout of examples/vireon-surface-demo.cyacd, the demo's surface and
// the tests that run the example: 32 rows of 256 bytes per chip, silicon ids
// 0x56530001 and 0x56530002, revision 1, sum checksum, seeds 7 and 8.
std::vector<ImageSpec> exampleImages();
std::string fileText(const std::vector<ImageSpec> &images);
bool writeFile(const std::string &path, const std::vector<ImageSpec> &images);

// A device target that accepts this image: same silicon id and revision,
// packet checksum kind and one array covering the rows.
sim::TargetConfig targetFor(const ImageSpec &layout);
// The chain of targets a file of these images programs, one per image in
// file order.
std::vector<sim::TargetConfig> targetsFor(const std::vector<ImageSpec> &images);

// The packet checksum kind the host takes from this image's header: the CRC
// only when the byte is written and equals 1.
sim::PacketChecksum packetChecksumOf(const ImageSpec &layout);

// Characters of a row line without its line end. The host reads at most 767
// characters of a line in one piece, its line end included, so a row with
// its line end must not be longer.
size_t rowLineLength(const ImageSpec &layout);
constexpr size_t kMaxLineLength = 767;

} // namespace vireon::tools

#endif
