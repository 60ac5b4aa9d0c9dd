// Bootload operations and actions against the device model, which checks
// every request's frame, command and data as the real bootloader does.
#include "cybtldr_api2.h"
#include "cyacd_gen.h"
#include "model_transport.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <numeric>
#include <regex>
#include <tuple>

using namespace vireon;
namespace cmd = sim::command;
using Bytes = std::vector<uint8_t>;

static std::vector<std::pair<uint8_t, uint16_t>> g_progress;
static void recordProgress(uint8_t arrayId, uint16_t row) { g_progress.emplace_back(arrayId, row); }

static long openDescriptors()
{
    using std::filesystem::directory_iterator;
    return std::distance(directory_iterator("/proc/self/fd"), directory_iterator());
}

class Host : public ::testing::Test {
protected:
    Host()
    {
        CyBtldr_SetCheckSumType(SUM_CHECKSUM); // what an earlier action's file chose
        image.firstRow = 0x20;                 // 16 rows of 128 bytes
        target = tools::targetFor(image);
        rebuild();
    }
    void TearDown() override { CyBtldr_EndBootloadOperation(); }
    // A fresh model of `target` and a transport to it.
    void rebuild(uint32_t maxTransfer = 64)
    {
        device = std::make_unique<sim::Bootloader>(std::vector<sim::TargetConfig>{target});
        transport = std::make_unique<sim::ModelTransport>(*device);
        comm = transport->comm(maxTransfer);
    }
    int start()
    {
        device->clearReceived();
        return CyBtldr_StartBootloadOperation(&comm, image.siliconId, image.siliconRev, &version);
    }
    // Runs `action` on the file `name` holding `text`.
    int run(CyBtldr_Action action, const std::string &name, const std::string &text)
    {
        device->clearReceived();
        g_progress.clear();
        const std::string path = dir.write(name, text);
        const long fds = openDescriptors();
        const int result = CyBtldr_RunAction(action, path.c_str(), &comm, &recordProgress);
        EXPECT_EQ(fds, openDescriptors()) << "the file is closed after every action";
        return result;
    }
    // The commands the device received, a letter each: C verify checksum, F get
    // flash size, A get application status, R erase row, Y sync, T set active
    // application, S send data, E enter, P program row, V verify row, X exit.
    std::string commands() const
    {
        std::string out;
        for (const sim::Bootloader::Received &r : device->received())
            out += r.command >= 0x31 && r.command <= 0x3B ? "CFARYTSEPVX"[r.command - 0x31] : '?';
        return out;
    }
    bool commandsMatch(const std::string &pattern) const { return std::regex_match(commands(), std::regex(pattern)); }

    test::TempDir dir;
    tools::ImageSpec image;
    sim::TargetConfig target;
    std::unique_ptr<sim::Bootloader> device;
    std::unique_ptr<sim::ModelTransport> transport;
    CyBtldr_CommunicationsData comm{};
    uint32_t version = 0;
};

using Operations = Host;
using Actions = Host;

TEST_F(Operations, StartChecksDeviceAndVersionEndSendsTheExit)
{
    transport->openResult = 5;
    EXPECT_EQ(BL_COMM_ERROR_FLAG | 5, start());
    transport->openResult = -1;
    EXPECT_EQ(-1, start());
    EXPECT_EQ("", commands());
    // (the device's version, silicon id and revision, and the result)
    const std::tuple<uint32_t, uint32_t, uint8_t, int> cases[] = {
        {0x020000, image.siliconId, image.siliconRev, 7},     {0x00FFFF, image.siliconId, image.siliconRev, 7},
        {0x01FFFF, image.siliconId, image.siliconRev, 0},     {0x010000, image.siliconId, image.siliconRev + 1, 6},
        {0x010000, image.siliconId + 1, image.siliconRev, 6}};
    for (const auto &[answered, id, rev, result] : cases) {
        std::tie(target.bootloaderVersion, target.siliconId, target.siliconRev) = std::tie(answered, id, rev);
        rebuild();
        EXPECT_EQ(result, start()) << answered;
    }
    EXPECT_EQ(0x010000u, version);
    device->answerStatus(cmd::Enter, 0x0A);
    EXPECT_EQ(BL_DEVICE_STATUS_FLAG + 0x0A, start());
    transport->readResult = -1;
    EXPECT_EQ(-1, start());
    transport->writeResult = 2; // and no read follows, which would succeed
    EXPECT_EQ(BL_COMM_ERROR_FLAG | 2, start());

    // The end sends the exit command only.
    target = tools::targetFor(image);
    rebuild();
    ASSERT_EQ(BL_SUCCESS, start());
    EXPECT_EQ(BL_SUCCESS, CyBtldr_EndBootloadOperation()); // a read after the exit would time out
    EXPECT_EQ("EX", commands());
    EXPECT_FALSE(device->entered()); // the device took the exit and restarted
    EXPECT_EQ(1, transport->closes);
    // Without an installed transport nothing is sent and nothing crashes.
    uint8_t valid = 0, active = 0;
    EXPECT_EQ(BL_NOT_READY, CyBtldr_EndBootloadOperation());
    EXPECT_EQ(BL_NOT_READY, CyBtldr_VerifyApplication());
    EXPECT_EQ(BL_NOT_READY, CyBtldr_GetApplicationStatus(0, &valid, &active));
    EXPECT_EQ(BL_NOT_READY, CyBtldr_ProgramRow(0, 0, &valid, 1));
    EXPECT_EQ("EX", commands());

    ASSERT_EQ(BL_SUCCESS, start());
    transport->writeResult = -1;
    EXPECT_EQ(-1, CyBtldr_EndBootloadOperation());
    EXPECT_EQ(1, transport->closes); // a failed exit write does not close
    transport->writeResult = 0;
    ASSERT_EQ(BL_SUCCESS, start());
    transport->closeResult = 3;
    EXPECT_EQ(BL_COMM_ERROR_FLAG | 3, CyBtldr_EndBootloadOperation());
    EXPECT_EQ(2, transport->closes);
}

TEST_F(Operations, RowRangesAreCheckedAndAskedOncePerStart)
{
    target.arrays = {{0, 0, 0, 128}, {1, 0x0010, 0x01FF, 128}};
    rebuild();
    ASSERT_EQ(BL_SUCCESS, start());
    EXPECT_EQ(BL_ARRAY_INVALID, CyBtldr_EraseRow(4, 0));
    EXPECT_EQ(BL_ARRAY_INVALID, CyBtldr_VerifyRow(0xFF, 0, 0));
    EXPECT_EQ(BL_ROW_INVALID, CyBtldr_EraseRow(1, 0x000F));
    EXPECT_EQ(BL_ROW_INVALID, CyBtldr_EraseRow(1, 0x0200));
    EXPECT_EQ(BL_SUCCESS, CyBtldr_EraseRow(1, 0x0010));
    EXPECT_EQ(BL_SUCCESS, CyBtldr_EraseRow(1, 0x01FF));
    EXPECT_EQ("EFRR", commands());
    EXPECT_EQ((Bytes{0x01, 0xFF, 0x01}), device->received().back().data); // array, row low byte first
    EXPECT_EQ(BL_DEVICE_STATUS_FLAG + 0x07, CyBtldr_EraseRow(2, 0));                                // no array 2: the range query fails

    ASSERT_EQ(BL_SUCCESS, start());
    EXPECT_EQ(BL_ROW_INVALID, CyBtldr_EraseRow(1, 0x0000));
    // A range of 0 to 0 is not kept: it is asked for on every use.
    EXPECT_EQ(BL_ROW_INVALID, CyBtldr_EraseRow(0, 1));
    EXPECT_EQ(BL_SUCCESS, CyBtldr_EraseRow(0, 0));
    EXPECT_EQ("EFFFR", commands());
}

TEST_F(Operations, ProgramRowSplitsRowsToFitTheTransfer)
{
    Bytes data(600);
    std::iota(data.begin(), data.end(), uint8_t{1});
    // (transfer size, row size, commands after the range query, data bytes in the
    // program-row); packets are limited by the 512-byte buffers whatever the transfer.
    const std::tuple<uint32_t, uint16_t, std::string, size_t> cases[] = {
        {64, 53, "P", 53}, {64, 54, "SP", 1}, {64, 256, "SSSSP", 44}, {12, 2, "SP", 1}, {4096, 600, "SP", 99}};
    for (const auto &[maxTransfer, size, sent, lastData] : cases) {
        target.arrays = {{0, 0, 0x100, size}};
        rebuild(maxTransfer);
        ASSERT_EQ(BL_SUCCESS, start());
        ASSERT_EQ(BL_SUCCESS, CyBtldr_ProgramRow(0, 0x0100, data.data(), size)) << size;
        EXPECT_EQ(Bytes(data.begin(), data.begin() + size), device->flash(0).at({0, 0x0100})) << size;
        EXPECT_EQ("EF" + sent, commands()) << size;
        EXPECT_EQ(lastData + 3, device->received().back().data.size()) << size;
        EXPECT_LT(transport->largestWrite, std::min<size_t>(maxTransfer, 513)) << size;
    }

    // A device refusing a send-data packet gets no program-row.
    rebuild();
    device->answerStatus(cmd::SendData, 0x03, 1, 1);
    ASSERT_EQ(BL_SUCCESS, start());
    EXPECT_EQ(BL_DEVICE_STATUS_FLAG + 0x03, CyBtldr_ProgramRow(0, 1, data.data(), 200));
    EXPECT_EQ("EFSS", commands());
    // A transport too small for any row data is refused before anything is sent.
    for (uint32_t tiny : {0u, 11u}) {
        rebuild(tiny);
        ASSERT_EQ(BL_SUCCESS, start());
        EXPECT_EQ(BL_LENGTH_OUT_OF_RANGE, CyBtldr_ProgramRow(0, 1, data.data(), 10));
        EXPECT_EQ("E", commands());
    }
}

TEST_F(Actions, ProgramLeavesTheFlashEqualToTheFile)
{
    // (checksum kind, row size, the commands of one row, line end, whether the
    // last line has one). Kinds 0 and 0xFF are the sum, 1 the CRC; rows of 53
    // and 54 bytes are the largest in one packet and the smallest that need two.
    const std::tuple<uint8_t, uint16_t, std::string, std::string, bool> cases[] = {
        {0, 128, "SSP", "\n", true}, {1, 256, "SSSSP", "\r\n", true}, {0xFF, 53, "P", "\n", false},
        {1, 54, "SP", "\r\r\n", false}};
    for (const auto &[kind, rowSize, rowCommands, lineEnd, lastLineEnded] : cases) {
        std::tie(image.checksumKind, image.rowSize, image.lineEnd) = std::tie(kind, rowSize, lineEnd);
        target = tools::targetFor(image);
        rebuild();
        std::string text = tools::imageText(image);
        text.resize(text.size() - (lastLineEnded ? 0 : lineEnd.size()));
        ASSERT_EQ(BL_SUCCESS, run(PROGRAM, "image.cyacd", text)) << rowSize;
        EXPECT_EQ(tools::imageRows(image), device->flash(0)) << rowSize;
        ASSERT_EQ(16u, g_progress.size()) << rowSize;
        EXPECT_EQ(std::make_pair(uint8_t{0}, uint16_t{0x2F}), g_progress.back()) << rowSize;
        EXPECT_TRUE(commandsMatch("EF(" + rowCommands + "V){16}CX")) << rowSize << ": " << commands();
        EXPECT_EQ(BL_SUCCESS, run(VERIFY, "image.cyacd", text)) << rowSize;
        EXPECT_EQ("EF" + std::string(16, 'V') + "CX", commands()) << rowSize;
    }
    // Erase: one erase per row, no row verify, and after the rows only the exit.
    const std::string text = tools::imageText(image);
    ASSERT_EQ(BL_SUCCESS, run(ERASE, "image.cyacd", text));
    EXPECT_TRUE(device->flash(0).empty());
    EXPECT_EQ("EF" + std::string(16, 'R') + "X", commands());
    EXPECT_EQ(BL_CHECKSUM_MISMATCH, run(VERIFY, "image.cyacd", text)); // the erased rows no longer match
}

TEST_F(Actions, ApplicationIdChecksumAndActiveRules)
{
    const std::string whole = tools::imageText(image); // rows 0x20 to 0x2F, the last its metadata row
    image.rowCount = 1;
    image.firstRow = 0x2F; // in the slice of the array that the second of two applications owns
    target.applications = 16;
    rebuild();
    const std::string text = tools::imageText(image), header = text.substr(0, 13);
    // The application a file names: the digit after the last '_', minus one.
    // A folder's name on the way to it names none.
    std::filesystem::create_directory(dir.path() + "/fw_1.0");
    const std::pair<const char *, int> cases[] = {{"image_1.cyacd", 0},  {"image_2.cyacd", 1}, {"image_A.cyacd", 9},
                                                  {"image_12.cyacd", -1}, {"image.cyacd", -1}, {"image_0.cyacd", -1},
                                                  {"x_3.y_12.cyacd", -1}, {"x_12.y_3.cyacd", 2},
                                                  {"fw_1.0/image.cyacd", -1}, {"fw_1.0/image_4.cyacd", 3}};
    for (const auto &[name, id] : cases) {
        run(VERIFY, name, text);
        EXPECT_EQ(id < 0 ? "EFVX" : "EAFVX", commands()) << name; // the row is not programmed
        if (id >= 0) {
            EXPECT_EQ((Bytes{uint8_t(id)}), device->received()[1].data) << name;
        }
    }
    // A path ending in '_' is not read past its end (its lone row is no whole application).
    const std::string path = dir.write("image_", text);
    const std::vector<char> exact(path.c_str(), path.c_str() + path.size() + 1);
    device->clearReceived();
    EXPECT_EQ(BL_CHECKSUM_MISMATCH, CyBtldr_Program(exact.data(), &comm, nullptr));
    EXPECT_EQ("EFSSPVCX", commands());

    // The application checksum is asked for from bootloader version 1.2.20 on.
    target.applications = 1;
    target.bootloaderVersion = 0x010214;
    rebuild();
    EXPECT_EQ(BL_CHECKSUM_MISMATCH, run(PROGRAM, "header.cyacd", header)); // no row stored: the application is not valid
    // Run from a folder named like an application, a wrong checksum is still seen.
    device->reportBadApplicationChecksum(true);
    EXPECT_EQ(BL_CHECKSUM_MISMATCH, run(PROGRAM, "fw_1.0/vireonTemp1.txt", whole));
    device->clearFaults();
    ASSERT_EQ(BL_SUCCESS, run(PROGRAM, "image.cyacd", whole));
    ASSERT_EQ(BL_SUCCESS, run(PROGRAM, "header.cyacd", header));
    EXPECT_EQ("ECX", commands());
    target.bootloaderVersion = 0x010213;
    rebuild();
    ASSERT_EQ(BL_SUCCESS, run(PROGRAM, "header.cyacd", header));
    EXPECT_EQ("EX", commands());

    // An active application is not programmed or erased, but may be verified.
    target.applications = 2;
    rebuild();
    device->setApplicationActive(0, 1, true);
    EXPECT_EQ(BL_APP_ACTIVE, run(PROGRAM, "image_2.cyacd", text));
    EXPECT_EQ(BL_APP_ACTIVE, run(ERASE, "image_2.cyacd", text));
    EXPECT_EQ("EAX", commands());
    EXPECT_TRUE(device->flash(0).empty());
    EXPECT_EQ(BL_CHECKSUM_MISMATCH, run(VERIFY, "image_2.cyacd", text)); // goes on to the row, which is still empty
    EXPECT_EQ("EAFVX", commands());
    // After programming, a valid application is made the active one.
    device->setApplicationActive(0, 1, false);
    ASSERT_EQ(BL_SUCCESS, run(PROGRAM, "image_2.cyacd", text));
    EXPECT_EQ(std::optional<uint8_t>(1), device->activeApplication(0));
    EXPECT_EQ("EAFSSPVATX", commands());
    device->setApplicationActive(0, 1, false);
    device->reportBadApplicationChecksum(true); // the valid byte comes back nonzero
    EXPECT_EQ(BL_CHECKSUM_MISMATCH, run(PROGRAM, "image_2.cyacd", text));
    EXPECT_EQ("EAFSSPVAX", commands());
    // A single-application device answers status 5, which counts as nothing to check.
    target.applications = 1;
    rebuild();
    ASSERT_EQ(BL_SUCCESS, run(PROGRAM, "image_2.cyacd", text));
    EXPECT_EQ("EAFSSPVAX", commands());
    EXPECT_EQ(tools::imageRows(image), device->flash(0));
}

TEST_F(Actions, FailuresStopTheActionAndStillEndIt)
{
    const std::string text = tools::imageText(image), header = text.substr(0, 13);
    const std::string row = text.substr(13, tools::rowLineLength(image) + 1);
    const std::string oneRow = "EFSSPVX"; // the first row programmed, then the exit
    // (what, file text, what goes wrong on the device or the bus, result, commands sent).
    // After a bus failure the device is not spoken to again, not even for the exit.
    const std::tuple<const char *, std::string, std::function<void()>, int, std::string> cases[] = {
        {"empty file", "", {}, 2, ""}, // a bad header sends nothing
        {"odd header", "123456780\n" + row, {}, 3, ""},
        {"short header", "12345678\n" + row, {}, 3, ""},
        {"binary", std::string("\x00\xff\x01\x02\n", 5), {}, 3, ""},
        {"other device", "1234567800\n" + row, {}, 6, "EX"},
        {"blank line", header + row + "\n" + row, {}, 3, oneRow},
        {"second header", header + row + header + row, {}, 5, oneRow},
        {"missing ':'", header + row + row.substr(1), {}, 5, oneRow},
        {"odd row", header + row + row.substr(0, 21) + "0\n", {}, 3, oneRow},
        {"short row", header + row + ":000100\n", {}, 3, oneRow},
        {"wrong length", header + row + ":000021000201FF\n", {}, 4, oneRow},
        {"long line", header + row + ":" + std::string(800, '0') + "\n", {}, 4, oneRow},
        {"row outside", header + row + ":00FFFF000100FF\n", {}, 10, oneRow},
        {"array outside", header + row + ":04002100010000\n", {}, 9, oneRow},
        {"row refused", text, [this] { device->answerStatus(cmd::ProgramRow, 0x0B, 1, 3); }, 0x400B, "EF(SSPV){3}SSPX"},
        {"row checksum", text, [this] { device->reportBadRowChecksum(true); }, 8, oneRow},
        // Every row that is there verifies, but the application is not whole.
        {"cut short", header + row, {}, 8, "EFSSPVCX"},
        {"no answer", text, [this] { transport->readResult = -1; }, -1, "E"},
        // A device that restarts on the exit command may fail its write: the end's result is ignored.
        {"exit lost", text,
         [this] { transport->onWrite = [this] { transport->writeResult = transport->writes == 68 ? -1 : 0; }; }, 0,
         "EF(SSPV){16}C"},
        // An abort before the action begins is forgotten; one during the start stops it before the first row.
        {"abort before", text, [] { CyBtldr_Abort(); }, 0, "EF(SSPV){16}CX"},
        {"abort in start", text, [this] { transport->onWrite = [] { CyBtldr_Abort(); }; }, 255, "EX"},
    };
    for (const auto &[what, file, fault, result, sent] : cases) {
        rebuild();
        if (fault)
            fault();
        EXPECT_EQ(result, run(PROGRAM, "image.cyacd", file)) << what;
        EXPECT_TRUE(commandsMatch(sent)) << what << ": " << commands();
    }
    EXPECT_EQ(BL_FILE_NOT_ACCESSIBLE, CyBtldr_Program((dir.path() + "/missing").c_str(), &comm, nullptr));
}
