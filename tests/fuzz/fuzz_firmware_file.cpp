// Fuzzes the firmware file's split and whole-file check: the input is the
// file the user chooses. Whatever the check accepts must program: each image
// goes through the bootloader host into a device model made to match it
// (its silicon id and revision, packet checksum, and arrays that hold its
// rows), and the device must then hold exactly the image's rows.
#include "cybtldr_api2.h"
#include "firmware_file.h"
#include "model_transport.h"
#include "temp_dir.h"

#include <QStringList>

#include <cstdlib>
#include <map>
#include <optional>

namespace sim = vireon::sim;

namespace {

std::vector<uint8_t> bytesOf(const QString &digits)
{
    const QByteArray hex = QByteArray::fromHex(digits.toLatin1());
    return {hex.begin(), hex.end()};
}

// The device an accepted image is meant for, and what its flash holds after
// the image is programmed (a row given twice holds its last data). None
// when no device fits: an array whose rows differ in length.
struct Matching {
    sim::TargetConfig target;
    sim::Bootloader::Flash flash;
};

std::optional<Matching> matchingDevice(const QString &image)
{
    QStringList lines = image.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString &line : lines)
        while (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    const std::vector<uint8_t> header = bytesOf(lines.takeFirst());
    Matching m;
    m.target.siliconId = uint32_t(header[0]) << 24 | header[1] << 16 | header[2] << 8 | header[3];
    m.target.siliconRev = header[4];
    m.target.checksum = header.size() > 5 && header[5] == 1 ? sim::PacketChecksum::Crc : sim::PacketChecksum::Sum;
    m.target.bootloaderVersion = 0x01021E; // new enough for the application checksum verify
    std::map<uint8_t, sim::ArrayConfig> arrays;
    for (const QString &line : lines) {
        const std::vector<uint8_t> row = bytesOf(line.mid(1));
        const uint8_t arrayId = row[0];
        const uint16_t number = uint16_t(row[1] << 8 | row[2]);
        const std::vector<uint8_t> data(row.begin() + 5, row.end() - 1);
        auto [array, fresh] = arrays.try_emplace(arrayId, sim::ArrayConfig{arrayId, number, number, uint16_t(data.size())});
        sim::ArrayConfig &a = array->second;
        if (!fresh && a.rowSize != data.size())
            return std::nullopt;
        a.firstRow = std::min(a.firstRow, number);
        a.lastRow = std::max(a.lastRow, number);
        m.flash[{arrayId, number}] = data;
    }
    for (const auto &entry : arrays)
        m.target.arrays.push_back(entry.second);
    return m;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const vireon::test::TempDir dir;
    // No '_' in the images' names: the host asks no application status.
    static const QString chosen = QString::fromStdString(dir.path() + "/chosen.cyacd");
    static const QString paths[2] = {QString::fromStdString(dir.path() + "/image1.cyacd"),
                                     QString::fromStdString(dir.path() + "/image2.cyacd")};
    dir.write("chosen.cyacd", std::string(reinterpret_cast<const char *>(data), size));

    const vireon::core::SplitImages split = vireon::core::splitFirmwareFile(chosen);
    if (!vireon::core::writeImageFiles(split, paths[0], paths[1]).path.isEmpty())
        std::abort(); // the temporary folder takes any file
    if (!vireon::core::checkImageFiles(split, paths[0], paths[1]).ok())
        return 0;

    for (int i = 0; i < 2; ++i) {
        const std::optional<Matching> m = matchingDevice(i == 0 ? split.image1 : split.image2);
        if (!m)
            continue;
        sim::Bootloader device({m->target});
        vireon::sim::ModelTransport transport(device);
        CyBtldr_CommunicationsData comm = transport.comm();
        const int result = CyBtldr_Program(paths[i].toLocal8Bit().constData(), &comm, nullptr);
        // Every row is in flash as the file gives it. The application's own
        // checksum, which the device keeps, is beyond what the file check
        // can know: the device may refuse it, and only when it is wrong.
        if (device.flash(0) != m->flash)
            std::abort();
        if (result != 0 && !(result == BL_CHECKSUM_MISMATCH && !device.applicationValid(0)))
            std::abort();
    }
    return 0;
}
