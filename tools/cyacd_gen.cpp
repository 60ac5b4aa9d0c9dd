// Firmware file writer: header line, then one row line per flash row, each
// image after the other.
#include "cyacd_gen.h"

#include <cstdio>
#include <fstream>

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

Rows imageRows(const ImageSpec &spec)
{
    Rows rows;
    Prng prng(spec.seed);
    for (uint32_t i = 0; i < spec.rowCount && spec.firstRow + i <= 0xFFFF; ++i) {
        std::vector<uint8_t> data(spec.rowSize);
        for (uint8_t &b : data)
            b = prng.next();
        rows[{spec.arrayId, static_cast<uint16_t>(spec.firstRow + i)}] = std::move(data);
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

std::string imageText(const ImageSpec &spec)
{
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8)
        hexByte(out, static_cast<uint8_t>(spec.siliconId >> shift));
    hexByte(out, spec.siliconRev);
    if (spec.writeChecksumKind)
        hexByte(out, spec.checksumKind);
    out += spec.lineEnd;
    for (const auto &[key, data] : imageRows(spec)) {
        out.push_back(':');
        hexByte(out, key.first);
        hexByte(out, static_cast<uint8_t>(key.second >> 8));
        hexByte(out, static_cast<uint8_t>(key.second));
        hexByte(out, static_cast<uint8_t>(data.size() >> 8));
        hexByte(out, static_cast<uint8_t>(data.size()));
        for (uint8_t b : data)
            hexByte(out, b);
        hexByte(out, fileRowChecksum(key.first, key.second, data));
        out += spec.lineEnd;
    }
    return out;
}

std::string fileText(const std::vector<ImageSpec> &images)
{
    std::string out;
    for (const ImageSpec &spec : images)
        out += imageText(spec);
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

sim::PacketChecksum packetChecksumOf(const ImageSpec &spec)
{
    return spec.writeChecksumKind && spec.checksumKind == 1 ? sim::PacketChecksum::Crc : sim::PacketChecksum::Sum;
}

sim::TargetConfig targetFor(const ImageSpec &spec)
{
    sim::TargetConfig t;
    t.siliconId = spec.siliconId;
    t.siliconRev = spec.siliconRev;
    t.checksum = packetChecksumOf(spec);
    sim::ArrayConfig a;
    a.id = spec.arrayId;
    a.firstRow = spec.firstRow;
    const uint32_t last = spec.rowCount == 0 ? spec.firstRow : uint32_t{spec.firstRow} + spec.rowCount - 1;
    a.lastRow = static_cast<uint16_t>(last > 0xFFFF ? 0xFFFF : last);
    a.rowSize = spec.rowSize;
    t.arrays.push_back(a);
    return t;
}

std::vector<sim::TargetConfig> targetsFor(const std::vector<ImageSpec> &images)
{
    std::vector<sim::TargetConfig> chain;
    for (const ImageSpec &spec : images)
        chain.push_back(targetFor(spec));
    return chain;
}

size_t rowLineLength(const ImageSpec &spec)
{
    return 1 + 2 * (size_t{spec.rowSize} + 6);
}

} // namespace vireon::tools
