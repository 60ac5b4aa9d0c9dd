// Firmware file writer: header line, then one row line per flash row, each
// image after the other.
#include "cyacd_gen.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace vireon::tools {

namespace {

// xorshift32 over a state mixed from the seed; never zero.
class Prng {
public:
    explicit Prng(uint32_t seed) : state_(seed * 2654435761u ^ 0x9E3779B9u)
    {
        if (state_ == 0)
            state_ = 0x6D2B79F5u;
    }
    uint8_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<uint8_t>(state_ >> 24);
    }

private:
    uint32_t state_;
};

void hexByte(std::string &out, uint8_t b)
{
    static const char digits[] = "0123456789ABCDEF";
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0x0F]);
}

} // namespace

Rows imageRows(const ImageSpec &layout)
{
    Rows rows;
    Prng prng(layout.seed);
    for (uint32_t i = 0; i < layout.rowCount && layout.firstRow + i <= 0xFFFF; ++i) {
        std::vector<uint8_t> data(layout.rowSize);
        for (uint8_t &b : data)
            b = prng.next();
        rows[{layout.arrayId, static_cast<uint16_t>(layout.firstRow + i)}] = std::move(data);
    }
    if (rows.size() >= 2 && layout.rowSize >= sim::kMetadataSize) {
        // The last row becomes the metadata row of the rows before it.
        uint32_t crc = 0;
        for (auto it = rows.begin(); std::next(it) != rows.end(); ++it)
            crc = sim::applicationChecksum(crc, it->second.data(), it->second.size());
        rows.rbegin()->second =
            sim::metadataRow(crc, static_cast<uint32_t>((rows.size() - 1) * layout.rowSize), layout.rowSize);
    }
    return rows;
}

uint8_t fileRowChecksum(uint8_t arrayId, uint16_t row, const std::vector<uint8_t> &data)
{
    const size_t len = data.size();
    uint8_t sum = static_cast<uint8_t>(arrayId + (row >> 8) + (row & 0xFF) + ((len >> 8) & 0xFF) + (len & 0xFF));
    for (uint8_t b : data)
        sum = static_cast<uint8_t>(sum + b);
    return static_cast<uint8_t>(0x100 - sum);
}

std::string imageText(const ImageSpec &layout)
{
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8)
        hexByte(out, static_cast<uint8_t>(layout.siliconId >> shift));
    hexByte(out, layout.siliconRev);
    if (layout.writeChecksumKind)
        hexByte(out, layout.checksumKind);
    out += layout.lineEnd;
    for (const auto &[key, data] : imageRows(layout)) {
        out.push_back(':');
        hexByte(out, key.first);
        hexByte(out, static_cast<uint8_t>(key.second >> 8));
        hexByte(out, static_cast<uint8_t>(key.second));
        hexByte(out, static_cast<uint8_t>(data.size() >> 8));
        hexByte(out, static_cast<uint8_t>(data.size()));
        for (uint8_t b : data)
            hexByte(out, b);
        hexByte(out, fileRowChecksum(key.first, key.second, data));
        out += layout.lineEnd;
    }
    return out;
}

std::string fileText(const std::vector<ImageSpec> &images)
{
    std::string out;
    for (const ImageSpec &layout : images)
        out += imageText(layout);
    return out;
}

bool writeFile(const std::string &path, const std::vector<ImageSpec> &images)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f)
        return false;
    const std::string text = fileText(images);
    f.write(text.data(), static_cast<std::streamsize>(text.size()));
    f.close();
    return static_cast<bool>(f);
}

sim::PacketChecksum packetChecksumOf(const ImageSpec &layout)
{
    return layout.writeChecksumKind && layout.checksumKind == 1 ? sim::PacketChecksum::Crc : sim::PacketChecksum::Sum;
}

sim::TargetConfig targetFor(const ImageSpec &layout)
{
    sim::TargetConfig t;
    t.siliconId = layout.siliconId;
    t.siliconRev = layout.siliconRev;
    t.checksum = packetChecksumOf(layout);
    sim::ArrayConfig a;
    a.id = layout.arrayId;
    a.firstRow = layout.firstRow;
    const uint32_t last = layout.rowCount == 0 ? layout.firstRow : uint32_t{layout.firstRow} + layout.rowCount - 1;
    a.lastRow = static_cast<uint16_t>(last > 0xFFFF ? 0xFFFF : last);
    a.rowSize = layout.rowSize;
    t.arrays.push_back(a);
    return t;
}

std::vector<sim::TargetConfig> targetsFor(const std::vector<ImageSpec> &images)
{
    std::vector<sim::TargetConfig> chain;
    for (const ImageSpec &layout : images)
        chain.push_back(targetFor(layout));
    return chain;
}

std::vector<ImageSpec> twoChipImages(uint16_t rowCount, uint16_t rowSize, uint32_t seed)
{
    ImageSpec first;
    first.rowCount = rowCount;
    first.rowSize = rowSize;
    first.seed = seed;
    ImageSpec second = first;
    second.siliconId = first.siliconId + 1;
    second.seed = seed + 1;
    return {first, second};
}

std::vector<ImageSpec> exampleImages()
{
    std::vector<ImageSpec> images = twoChipImages(32, 256, 7);
    for (ImageSpec &image : images)
        image.siliconRev = 0x01;
    return images;
}

size_t rowLineLength(const ImageSpec &layout)
{
    return 1 + 2 * (size_t{layout.rowSize} + 6);
}

} // namespace vireon::tools
