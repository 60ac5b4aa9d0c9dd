// The simulated surface's flash kept between runs: what a run wrote is what
// the next run finds, a fresh folder is an erased surface, and a damaged or
// foreign state file is refused with its reason.
#include "device_model.h"
#include "surface_state.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

using namespace vireon::sim;
using Bytes = std::vector<uint8_t>;

namespace {

// Two chips, each with rows 0 to 3 of 16 bytes in array 0; `lastRow`
// changes the first chip's.
std::vector<TargetConfig> chain(uint16_t lastRow = 3)
{
    return {{0x11110000, 1, 0x01011E, PacketChecksum::Sum, {{0, 0, lastRow, 16}}, 1},
            {0x22220000, 1, 0x01011E, PacketChecksum::Sum, {{0, 0, 3, 16}}, 1}};
}

uint8_t statusOf(Bootloader &device, uint8_t cmd, const Bytes &data = {})
{
    const Bytes packet = buildPacket(PacketChecksum::Sum, cmd, data);
    const Bytes answer = device.handleRequest(packet.data(), packet.size());
    return answer.size() > 1 ? answer[1] : 0xFF;
}

// Chip 0 holds row 1 (bytes 1..16) and a half-programmed row 2, and has just
// been told to restart.
void writeSomething(Bootloader &device)
{
    ASSERT_EQ(statusOf(device, command::Enter), status::Success);
    Bytes row{0, 1, 0};
    for (uint8_t b = 1; b <= 16; ++b)
        row.push_back(b);
    ASSERT_EQ(statusOf(device, command::ProgramRow, row), status::Success);
    ASSERT_EQ(statusOf(device, command::ProgramRow, {0, 2, 0, 0xAA}), status::ProgramFailed);
    statusOf(device, command::Exit, {0});
    ASSERT_TRUE(device.restartRequested());
}

std::string text(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void put(const std::string &path, const std::string &contents)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

} // namespace

TEST(SurfaceState, RoundTripKeepsRowsFailedRowsAndTheChipAfterRestart)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("nested/VS-0001.state")).toStdString();
    Bootloader written(chain());
    writeSomething(written);
    ASSERT_EQ(saveSurfaceState(path, written), "");

    Bootloader read(chain());
    ASSERT_EQ(loadSurfaceState(path, read), "");
    EXPECT_EQ(read.flash(0), written.flash(0));
    EXPECT_EQ(read.flash(0).size(), 1u);
    EXPECT_EQ(read.failedRows(0), written.failedRows(0));
    EXPECT_TRUE(read.flash(1).empty());
    EXPECT_EQ(read.currentTarget(), 1u) << "the exit command hands the bus to the next chip";
    EXPECT_FALSE(read.entered());

    // Saved while off the bus restarting: back at the same moment, to the millisecond.
    const auto back = std::chrono::system_clock::time_point(std::chrono::milliseconds(1'765'000'000'123));
    ASSERT_EQ(saveSurfaceState(path, written, back), "");
    OffBusUntil until;
    ASSERT_EQ(loadSurfaceState(path, read, &until), "");
    EXPECT_EQ(until, back);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.filePath(QStringLiteral("nested")).toStdString()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left beside the state";
}

TEST(SurfaceState, FreshFolderIsAnErasedSurface)
{
    QTemporaryDir dir;
    Bootloader device(chain());
    EXPECT_EQ(loadSurfaceState(dir.filePath(QStringLiteral("surface.state")).toStdString(), device), "");
    EXPECT_TRUE(device.flash(0).empty());
    EXPECT_EQ(device.currentTarget(), 0u);
    EXPECT_FALSE(device.applicationValid(0));
    ASSERT_EQ(saveSurfaceState(dir.filePath(QStringLiteral("surface.state")).toStdString(), device), "");
    EXPECT_TRUE(QDir(dir.path()).isEmpty()) << "an untouched erased surface leaves no file";
}

TEST(SurfaceState, DamagedOrForeignFilesAreRefusedAndLeaveTheDeviceErased)
{
    QTemporaryDir dir;
    const std::string good = dir.filePath(QStringLiteral("good.state")).toStdString();
    Bootloader written(chain(7));
    writeSomething(written);
    // A row past the first chip's end on a surface with fewer rows.
    const Bytes row8{0, 7, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    ASSERT_EQ(saveSurfaceState(good, written), "");
    const std::string saved = text(good);
    Bootloader bigger(chain(7));
    ASSERT_EQ(statusOf(bigger, command::Enter), status::Success);
    ASSERT_EQ(statusOf(bigger, command::ProgramRow, row8), status::Success);
    const std::string biggerPath = dir.filePath(QStringLiteral("bigger.state")).toStdString();
    ASSERT_EQ(saveSurfaceState(biggerPath, bigger), "");

    std::string flipped = saved;
    flipped[flipped.find("row 0 1 ") + 9] ^= 1;
    const struct {
        const char *name;
        std::string contents;
        std::vector<TargetConfig> chain;
        const char *reason;
    } cases[] = {
        {"cut short", saved.substr(0, saved.size() - 12), chain(7), "is damaged: its checksum line"},
        {"a row changed", flipped, chain(7), "is damaged: its checksum line"},
        {"empty", "", chain(7), "is damaged"},
        {"another chain", saved, {chain(7)[0]}, "chain of 2 chips, this surface has 1"},
        {"a row outside the flash", text(biggerPath), chain(3), "line 3: array 0 row 7 is not in this chip's flash"},
    };
    for (const auto &c : cases) {
        const std::string path = dir.filePath(QStringLiteral("case.state")).toStdString();
        put(path, c.contents);
        Bootloader device(c.chain);
        const std::string reason = loadSurfaceState(path, device);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
        EXPECT_NE(reason.find(path), std::string::npos) << c.name << ": the reason names the file";
        EXPECT_TRUE(device.flash(0).empty()) << c.name;
    }
    Bootloader device(chain());
    EXPECT_NE(loadSurfaceState(dir.path().toStdString(), device).find("not a regular file"), std::string::npos);
}

TEST(SurfaceState, FileNameComesFromTheSerialNumber)
{
    const struct {
        std::wstring serial;
        std::string name;
    } cases[] = {{L"", "surface.state"}, {L"VS-0002", "VS-0002.state"}, {L"..", "surface.state"},
                 {L"a/../b c", "a_.._b_c.state"}, {L"\u00e9", "_.state"}};
    for (const auto &c : cases)
        EXPECT_EQ(stateFileName(c.serial), c.name);
}
