// One transport fault at a time, at the first, a middle and the last
// exchange of each stage, through both front ends: the window (its last
// box's reason and the log's last lines) and vireon-flash (its exit code and
// message). Each cell asserts the cause the user is told, not only that the
// update failed. VIREON_MATRIX_PRINT=1 prints the whole matrix as a table.
#include "app_fixture.h"

#include "fault_option.h"
#include "flash.h"
#include "hid_transport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace apptest {
namespace {

// The window tests' two images.
struct Images : WindowTest {
    using WindowTest::images;
};

// The exchanges of each stage in a clean update of the images, counted once.
struct StageLengths {
    int exchanges[2] = {0, 0};
};

const StageLengths &stageLengths()
{
    static const StageLengths lengths = [] {
        sim::Bus::instance().reset();
        sim::SurfaceOptions options;
        options.targets = vireon::tools::targetsFor(Images::images());
        options.offBusAfterExit = 2ms;
        const auto surface = sim::Bus::instance().attach(options);
        QTemporaryDir dir;
        const QString file = dir.filePath("fw.cyacd");
        vireon::tools::writeFile(file.toStdString(), Images::images());
        FILE *null = std::fopen("/dev/null", "w");
        const int code = vireon::flash::run({"vireon-flash", "-q", "update", file}, null, null);
        std::fclose(null);
        StageLengths out;
        {
            auto lock = surface->lock();
            for (const auto &request : surface->device().received())
                ++out.exchanges[std::min<size_t>(request.target, 1)];
        }
        EXPECT_EQ(code, 0);
        sim::Bus::instance().reset();
        return out;
    }();
    return lengths;
}

// A fault kind and the cause each front end must name for it, from the
// table the browser page's matrix reads too.
struct Kind {
    std::string name;
    std::string cause; // what the transport recorded, at a request that has an answer
    bool exitLost;     // at the exit command, the surface never gets it
};

const std::vector<Kind> &kinds()
{
    static const std::vector<Kind> table = [] {
        std::vector<Kind> out;
        std::ifstream file(VIREON_FAULT_KINDS);
        for (std::string line; std::getline(file, line);) {
            std::istringstream fields(line);
            std::string name, exitLost, cause;
            if (line.empty() || line[0] == '#' || !std::getline(fields, name, '\t') ||
                !std::getline(fields, exitLost, '\t') || !std::getline(fields, cause, '\t'))
                continue;
            out.push_back({name, cause, exitLost == "yes"});
        }
        if (out.empty())
            throw std::runtime_error("no fault kinds in " VIREON_FAULT_KINDS);
        return out;
    }();
    return table;
}

struct Cell {
    const Kind *kind;
    int stage;
    const char *place; // "first", "middle" or "last"

    bool last() const { return std::string(place) == "last"; }
    // The whole reason of a failed exchange: the cause and where it stopped.
    // The middle exchange verifies the second row, row 1.
    QString reason() const
    {
        const QString cause = QString::fromStdString(kind->cause);
        if (std::string(place) == "first")
            return QString("%1 It stopped at exchange 1 of image %2 (enter bootloader).").arg(cause).arg(stage);
        return QString("%1 It stopped at row 1 of image %2 (verify row), exchange 8.").arg(cause).arg(stage);
    }
};

// The fault as the demo programs take it: "cut:1:8".
std::string faultOption(const Cell &cell);
void PrintTo(const Cell &cell, std::ostream *out) { *out << faultOption(cell); }

std::string cellName(const testing::TestParamInfo<Cell> &info)
{
    std::string name = info.param.kind->name + "_" + std::to_string(info.param.stage) + "_" + info.param.place;
    for (char &c : name)
        if (c == '-')
            c = '_';
    return name;
}

std::string faultOption(const Cell &cell)
{
    std::string n = cell.place;
    const int length = stageLengths().exchanges[cell.stage - 1];
    if (n == "first")
        n = "1";
    else if (n == "middle")
        n = std::to_string(length / 2);
    return cell.kind->name + ":" + std::to_string(cell.stage) + ":" + n;
}

bool printing() { return std::getenv("VIREON_MATRIX_PRINT") != nullptr; }

class CauseMatrix : public WindowTest, public testing::WithParamInterface<Cell> {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // Worked values: the middle exchange of each stage is a verify row.
        ASSERT_EQ(stageLengths().exchanges[0], 16);
        ASSERT_EQ(stageLengths().exchanges[1], 16);
        vireon::core::setReadLimit(kReadLimit);
        vireon::core::setRestartAllowance(kRestartAllowance);
    }
    void TearDown() override
    {
        vireon::core::setReadLimit(vireon::core::kReadTimeout);
        vireon::core::setRestartAllowance(vireon::core::kRestartAllowance);
        WindowTest::TearDown();
    }
    std::shared_ptr<sim::Surface> faultySurface(std::chrono::milliseconds offBus)
    {
        sim::SurfaceOptions options;
        options.targets = vireon::tools::targetsFor(images());
        options.offBusAfterExit = offBus;
        const auto surface = sim::Bus::instance().attach(options);
        std::string why;
        const std::optional<sim::Fault> fault = sim::parseFaultOption(faultOption(GetParam()), &why);
        EXPECT_TRUE(fault) << why;
        if (fault)
            surface->addFault(*fault);
        return surface;
    }
    static constexpr std::chrono::milliseconds kReadLimit{300};
    // A surface that missed its exit command stays on the bus this long.
    static constexpr std::chrono::milliseconds kRestartAllowance{1000};
};

TEST_P(CauseMatrix, WindowTellsTheCause)
{
    const Cell &cell = GetParam();
    faultySurface(200ms);
    window().show();
    probe().presenceTimer()->setInterval(20);
    choose(goodFile());
    probe().doHID();
    ASSERT_TRUE(probe().updateEnabled());
    QStringList texts, reasons;
    for (const Seen &seen : withModals({}, [this] { QTest::mouseClick(probe().ui().updateLabel, Qt::LeftButton); })) {
        texts << seen.text;
        reasons << seen.info;
    }
    ASSERT_TRUE(probe().idle());
    const QStringList log = logEntries();
    const QString box = texts.isEmpty() ? QString() : texts.back();
    const QString reason = reasons.isEmpty() ? QString() : reasons.back();
    if (printing())
        std::printf("| %s | window | %s | %s | %s |\n", faultOption(cell).c_str(), qPrintable(QString(box).replace('\n', ' ')),
                    qPrintable(reason), qPrintable(log.mid(log.size() - 2).join(" / ")));
    const QString notRestarted = "The surface did not restart by itself: unplug and re-plug it to start the new "
                                 "firmware.";
    const bool first = std::string(cell.place) == "first";
    if (cell.stage == 1 && !cell.last()) {
        // The first stage is not retried after a failed transfer. Nothing
        // was written before the first row.
        EXPECT_EQ(box, "Firmware update 1 failed.\nPlease restart the application and try again.");
        EXPECT_EQ(reason, cell.reason() + "\nKeep the surface plugged in and check its cable; " +
                              (first ? "nothing was written: run the update again."
                                     : "the surface may hold a partial image: run the update again, which mends it."));
        EXPECT_TRUE(log.contains(" Thread 1: " + cell.reason()));
        EXPECT_EQ(log.back(), first ? " Main Thread: Result: failed in image 1; nothing was written; run the update again."
                                    : " Main Thread: Result: failed in image 1; the surface may hold part of image 1 and "
                                      "not image 2; run the update again.");
        return;
    }
    if (cell.stage == 1 && cell.kind->exitLost) {
        // Its exit command never reached the surface: it is still the first
        // chip, and image 2 must not go to it.
        EXPECT_EQ(box, "The Vireon Surface did not restart after its first update stage.\nUnplug it, plug it back in "
                       "and run the update again.");
        EXPECT_TRUE(reason.contains("did not restart into its second chip")) << reason.toStdString();
        EXPECT_EQ(log.back(), " Main Thread: Result: image 1 programmed; the surface did not restart into its second "
                              "chip; re-plug it and run the update again.");
        EXPECT_TRUE(log.filter(QRegularExpression("^ Thread 2: ")).isEmpty());
        return;
    }
    // A failed second stage is mended by its retries.
    EXPECT_EQ(box, "Firmware update complete.");
    if (cell.stage == 2 && !cell.last()) {
        EXPECT_TRUE(log.contains(" Thread 2: " + cell.reason()));
    }
    // Whether the transport saw the exit command fail or the surface stayed
    // on the bus: either way it needs the user's hand.
    const bool note = cell.stage == 2 && cell.last() && cell.kind->exitLost;
    EXPECT_TRUE(reason.startsWith("Programmed: ")) << reason.toStdString();
    EXPECT_EQ(reason.endsWith("\n" + notRestarted), note) << reason.toStdString();
    EXPECT_EQ(log.mid(log.size() - 2),
              (QStringList{" Main Thread: Firmware Update Complete.",
                           note ? " Main Thread: Result: both images programmed; t" + notRestarted.mid(1)
                                : " Main Thread: Result: both images programmed."}));
}

TEST_P(CauseMatrix, CommandLineTellsTheCause)
{
    const Cell &cell = GetParam();
    faultySurface(2ms);
    const QString file = goodFile();
    char *text = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&text, &size);
    const int code = vireon::flash::run({"vireon-flash", "-q", "update", file}, out, out);
    std::fclose(out);
    const QString said = QString::fromLocal8Bit(text).trimmed();
    std::free(text);
    if (printing())
        std::printf("| %s | vireon-flash | exit %d | %s |\n", faultOption(cell).c_str(), code,
                    qPrintable(QString(said).replace('\n', ' ')));
    if (!cell.last()) {
        EXPECT_EQ(code, 8) << "transfer-failed";
        EXPECT_TRUE(said.startsWith(QString("vireon-flash: Stage %1: %2").arg(cell.stage).arg(cell.reason())))
            << said.toStdString();
        return;
    }
    if (!cell.kind->exitLost) {
        // The exit command has no answer to fail.
        EXPECT_EQ(code, 0);
        EXPECT_EQ(said, "");
    } else if (cell.stage == 1) {
        EXPECT_EQ(code, 10) << "not-restarted";
        EXPECT_TRUE(said.contains("did not restart into its second chip")) << said.toStdString();
        EXPECT_FALSE(said.contains("firmware file made for this surface")) << "no wrong-file advice";
    } else {
        // Even when quiet: the surface needs the user's hand.
        EXPECT_EQ(code, 0);
        EXPECT_TRUE(said.endsWith("are programmed. The surface did not restart by itself: unplug and re-plug it to "
                                  "start the new firmware."))
            << said.toStdString();
    }
}

std::vector<Cell> cells()
{
    std::vector<Cell> out;
    for (const Kind &kind : kinds())
        for (int stage : {1, 2})
            for (const char *place : {"first", "middle", "last"})
                out.push_back({&kind, stage, place});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Faults, CauseMatrix, testing::ValuesIn(cells()), cellName);

} // namespace
} // namespace apptest
