// Bootload actions on real files against the device model.
#include "cybtldr_api2.h"
#include "cyacd_gen.h"
#include "device_model.h"
#include "model_transport.h"
#include "recording_transport.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace sim = vireon::sim;
namespace tools = vireon::tools;
using vireon::test::Bytes;

namespace {

std::vector<std::pair<uint8_t, uint16_t>> g_progress;
void recordProgress(uint8_t arrayId, uint16_t row) { g_progress.emplace_back(arrayId, row); }

int openDescriptors()
{
    int count = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr)
            ++count;
        closedir(d);
    }
    return count;
}

class Actions : public ::testing::Test {
protected:
    Actions()
    {
        image.rowCount = 16;
        image.rowSize = 128;
        image.firstRow = 0x20;
        g_progress.clear();
    }
    // Runs `action` on the file `name` holding `text` against a fresh model.
    int run(CyBtldr_Action action, const std::string &name, const std::string &text, int applications = 1)
    {
        if (!device) {
            sim::TargetConfig target = tools::targetFor(image);
            target.applications = applications;
            target.bootloaderVersion = version;
            device = std::make_unique<sim::Bootloader>(std::vector<sim::TargetConfig>{target});
            transport = std::make_unique<vireon::test::ModelTransport>(*device);
        }
        device->clearReceived();
        CyBtldr_CommunicationsData comm = transport->comm();
        const std::string path = dir.write(name, text);
        const int fds = openDescriptors();
        const int result = CyBtldr_RunAction(action, path.c_str(), &comm, &recordProgress);
        EXPECT_EQ(fds, openDescriptors()) << "the file is closed after every action";
        return result;
    }
    Bytes commands() const
    {
        Bytes out;
        for (const sim::Bootloader::Received &r : device->received())
            out.push_back(r.command);
        return out;
    }
    size_t count(uint8_t command) const { return device->receivedCount(command); }

    vireon::test::TempDir dir;
    tools::ImageSpec image;
    uint32_t version = 0x01021E;
    std::unique_ptr<sim::Bootloader> device;
    std::unique_ptr<vireon::test::ModelTransport> transport;
};

} // namespace

TEST_F(Actions, ProgramLeavesTheFlashEqualToTheFile)
{
    struct Case {
        uint8_t checksumKind;
        uint16_t rowSize;
        const char *lineEnd;
        bool lastLineEnded;
    } cases[] = {{0, 128, "\n", true}, {1, 256, "\r\n", true}, {0, 53, "\n", false}, {1, 54, "\r\r\n", false}};
    for (const Case &c : cases) {
        image.checksumKind = c.checksumKind;
        image.rowSize = c.rowSize;
        image.lineEnd = c.lineEnd;
        device.reset();
        std::string text = tools::imageText(image);
        if (!c.lastLineEnded)
            text.erase(text.size() - std::strlen(c.lineEnd));
        g_progress.clear();
        ASSERT_EQ(0, run(PROGRAM, "image.cyacd", text)) << c.rowSize;
        EXPECT_EQ(tools::imageRows(image), device->flash(0));
        ASSERT_EQ(16u, g_progress.size());
        EXPECT_EQ(std::make_pair(uint8_t{0}, uint16_t{0x2F}), g_progress.back());
        EXPECT_EQ(16u, count(sim::command::VerifyRow));
        EXPECT_EQ(1u, count(sim::command::VerifyChecksum));
        EXPECT_EQ(sim::command::Exit, commands().back());
        for (const sim::Bootloader::Received &r : device->received())
            EXPECT_EQ(0, r.status) << int(r.command);

        EXPECT_EQ(0, run(VERIFY, "image.cyacd", text));
        EXPECT_EQ(0u, count(sim::command::ProgramRow));
        EXPECT_EQ(16u, count(sim::command::VerifyRow));
    }

    // Erase: one erase per row, no row verify, and after the rows only the exit.
    const std::string text = tools::imageText(image);
    ASSERT_EQ(0, run(ERASE, "image.cyacd", text));
    EXPECT_TRUE(device->flash(0).empty());
    EXPECT_EQ(16u, count(sim::command::EraseRow));
    EXPECT_EQ(19u, device->received().size()); // enter, get flash size, 16 erases, exit
    EXPECT_EQ(0u, count(sim::command::VerifyRow) + count(sim::command::VerifyChecksum) + count(sim::command::GetAppStatus));
    EXPECT_EQ(8, run(VERIFY, "image.cyacd", text)); // the erased rows no longer match
}

TEST_F(Actions, ApplicationChecksumDependsOnTheBootloaderVersion)
{
    const std::string header = tools::imageText(image).substr(0, 12) + "\n";
    version = 0x010214;
    ASSERT_EQ(0, run(PROGRAM, "image.cyacd", tools::imageText(image)));
    ASSERT_EQ(0, run(PROGRAM, "header.cyacd", header));
    EXPECT_EQ((Bytes{sim::command::Enter, sim::command::VerifyChecksum, sim::command::Exit}), commands());
    device.reset();
    version = 0x010213;
    ASSERT_EQ(0, run(PROGRAM, "header.cyacd", header));
    EXPECT_EQ((Bytes{sim::command::Enter, sim::command::Exit}), commands());
}

TEST_F(Actions, ApplicationIdComesFromThePath)
{
    image.rowCount = 1;
    const std::string text = tools::imageText(image);
    const std::pair<const char *, int> cases[] = {{"image_1.cyacd", 0},  {"image_2.cyacd", 1}, {"image_A.cyacd", 9},
                                                  {"image_12.cyacd", -1}, {"image.cyacd", -1}, {"image_0.cyacd", -1},
                                                  {"x_3.y_12.cyacd", -1}, {"x_12.y_3.cyacd", 2}};
    for (const auto &[name, id] : cases) {
        run(VERIFY, name, text, 16);
        if (id < 0) {
            EXPECT_EQ(0u, count(sim::command::GetAppStatus)) << name;
        } else {
            ASSERT_EQ(1u, count(sim::command::GetAppStatus)) << name;
            EXPECT_EQ((Bytes{static_cast<uint8_t>(id)}), device->received()[1].data) << name;
        }
    }
    // A path ending in '_' is not read past its end.
    const std::string path = dir.write("image_", text);
    char *exact = static_cast<char *>(std::malloc(path.size() + 1));
    std::memcpy(exact, path.c_str(), path.size() + 1);
    CyBtldr_CommunicationsData comm = transport->comm();
    device->clearReceived();
    EXPECT_EQ(0, CyBtldr_Program(exact, &comm, nullptr));
    std::free(exact);
    EXPECT_EQ(0u, count(sim::command::GetAppStatus));
}

TEST_F(Actions, ApplicationRulesBeforeAndAfterTheRows)
{
    const std::string text = tools::imageText(image);
    run(PROGRAM, "x.cyacd", "", 2); // builds the model
    device->setApplicationActive(0, 1, true);
    EXPECT_EQ(12, run(PROGRAM, "image_2.cyacd", text, 2));
    EXPECT_EQ(12, run(ERASE, "image_2.cyacd", text, 2));
    EXPECT_EQ((Bytes{sim::command::Enter, sim::command::GetAppStatus, sim::command::Exit}), commands());
    EXPECT_TRUE(device->flash(0).empty());
    EXPECT_EQ(8, run(VERIFY, "image_2.cyacd", text, 2)); // goes on to the rows, which are still empty
    EXPECT_EQ(1u, count(sim::command::VerifyRow));

    // After programming, a valid application is made the active one.
    device->setApplicationActive(0, 1, false);
    ASSERT_EQ(0, run(PROGRAM, "image_2.cyacd", text, 2));
    EXPECT_EQ(std::optional<uint8_t>(1), device->activeApplication(0));
    EXPECT_EQ(sim::command::SetActiveApp, commands().end()[-2]);
    EXPECT_EQ(0u, count(sim::command::VerifyChecksum));
    device->setApplicationActive(0, 1, false);
    device->reportBadApplicationChecksum(true); // the valid byte comes back nonzero
    EXPECT_EQ(8, run(PROGRAM, "image_2.cyacd", text, 2));
    EXPECT_EQ(0u, count(sim::command::SetActiveApp));

    // A single-application device answers status 5, which counts as nothing to check.
    device.reset();
    ASSERT_EQ(0, run(PROGRAM, "image_2.cyacd", text, 1));
    EXPECT_EQ(2u, count(sim::command::GetAppStatus));
    EXPECT_EQ(tools::imageRows(image), device->flash(0));
}

TEST_F(Actions, FailuresStopTheActionAndStillEndIt)
{
    const std::string text = tools::imageText(image);
    const std::string header = text.substr(0, text.find('\n') + 1);
    const std::string row = text.substr(header.size(), text.find('\n', header.size()) + 1 - header.size());
    struct Case {
        const char *what;
        std::string text;
        int result;
        size_t programmed;
    } cases[] = {
        {"empty file", "", 2, 0},
        {"odd header", "123456780\n" + row, 3, 0},
        {"short header", "12345678\n" + row, 3, 0},
        {"binary", std::string("\x00\xff\x01\x02\n", 5), 3, 0},
        {"other device", "1234567800\n" + row, 6, 0},
        {"blank line", header + row + "\n" + row, 3, 1},
        {"second header", header + row + header + row, 5, 1},
        {"missing ':'", header + row + row.substr(1), 5, 1},
        {"odd row", header + row + row.substr(0, 21) + "0\n", 3, 1},
        {"short row", header + row + ":000100\n", 3, 1},
        {"wrong length", header + row + ":000021000201FF\n", 4, 1},
        {"long line", header + row + ":" + std::string(800, '0') + "\n", 4, 1},
        {"row outside", header + row + ":00FFFF000100FF\n", 10, 1},
        {"array outside", header + row + ":04002100010000\n", 9, 1},
    };
    for (const Case &c : cases) {
        device.reset();
        EXPECT_EQ(c.result, run(PROGRAM, "image.cyacd", c.text)) << c.what;
        EXPECT_EQ(c.programmed, device->flash(0).size()) << c.what;
        if (c.programmed == 0 && c.result <= 3)
            EXPECT_TRUE(device->received().empty()) << c.what; // a bad header: nothing is sent
        else
            EXPECT_EQ(sim::command::Exit, commands().back()) << c.what;
    }

    device.reset();
    CyBtldr_CommunicationsData comm{};
    EXPECT_EQ(1, CyBtldr_Program((dir.path() + "/missing").c_str(), &comm, nullptr));

    version = 0x020000;
    EXPECT_EQ(7, run(PROGRAM, "image.cyacd", text));
    EXPECT_EQ((Bytes{sim::command::Enter, sim::command::Exit}), commands());
    device.reset();
    version = 0x01021E;
    run(PROGRAM, "x.cyacd", "");
    device->answerStatus(sim::command::ProgramRow, 0x0B, 1, 3);
    EXPECT_EQ(0x400B, run(PROGRAM, "image.cyacd", text));
    EXPECT_EQ(3u, device->flash(0).size());
    EXPECT_EQ(sim::command::Exit, commands().back());
    device->clearFaults();
    device->reportBadRowChecksum(true);
    EXPECT_EQ(8, run(PROGRAM, "image.cyacd", text));
    EXPECT_EQ(1u, count(sim::command::VerifyRow));
    EXPECT_EQ(sim::command::Exit, commands().back());
}

TEST_F(Actions, TransportFailuresAndAbort)
{
    const std::string path = dir.write("image.cyacd", tools::imageText(image));
    vireon::test::RecordingTransport t;
    CyBtldr_CommunicationsData comm = t.comm();
    t.openResult = -1;
    EXPECT_EQ(-1, CyBtldr_Program(path.c_str(), &comm, nullptr));
    EXPECT_TRUE(t.writes.empty());
    t.openResult = 0;
    t.failReadAt = 0; // the enter command gets no answer: nothing more is sent
    EXPECT_EQ(-1, CyBtldr_Program(path.c_str(), &comm, nullptr));
    EXPECT_EQ((Bytes{sim::command::Enter}), t.commands());
    t.failReadAt = -1;

    // An abort before the action begins is forgotten; one during the start stops it before the first row.
    const uint32_t id = image.siliconId;
    const Bytes enter = vireon::test::response(0, {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8),
                                                   static_cast<uint8_t>(id >> 16), static_cast<uint8_t>(id >> 24),
                                                   image.siliconRev, 0x1E, 0x02, 0x01});
    CyBtldr_Abort();
    t.writes.clear();
    const uint8_t wrong = static_cast<uint8_t>(sim::rowChecksum(tools::imageRows(image).begin()->second) + 1);
    t.answers = {enter, vireon::test::response(0, {0x20, 0, 0x2F, 0}), vireon::test::response(0),
                 vireon::test::response(0), vireon::test::response(0), vireon::test::response(0, {wrong})};
    EXPECT_EQ(8, CyBtldr_Program(path.c_str(), &comm, nullptr)); // reached the first row's verify
    t.writes.clear();
    t.answers = {enter};
    t.onWrite = [] { CyBtldr_Abort(); };
    EXPECT_EQ(255, CyBtldr_Program(path.c_str(), &comm, nullptr));
    EXPECT_EQ((Bytes{sim::command::Enter, sim::command::Exit}), t.commands());
}
