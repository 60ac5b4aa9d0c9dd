// vireon-flash's commands run in process against surfaces on the simulated
// bus: what each writes, the flash it leaves and the exit code each cause
// ends with.
#include "cyacd_gen.h"
#include "exit_codes.h"
#include "flash.h"
#include "hidsim.h"
#include "progress_meter.h"
#include "timing.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace vireon;
using namespace std::chrono_literals;

namespace {

// Two images of 20 rows of 64 bytes, one per chip.
std::vector<tools::ImageSpec> images() { return tools::twoChipImages(20, 64); }

struct Result {
    int code = -1;
    QString out, err;
};

class Cli : public testing::Test
{
public:
    void SetUp() override
    {
        sim::Bus::instance().reset();
        file_ = dir_.filePath(QStringLiteral("fw.cyacd"));
        ASSERT_TRUE(tools::writeFile(file_.toStdString(), images()));
    }
    void TearDown() override { sim::Bus::instance().reset(); }

    std::shared_ptr<sim::Surface> attach(const std::wstring &serial = {}, uint32_t firstChip = 0x56530001,
                                         std::chrono::microseconds latency = 0us)
    {
        sim::SurfaceOptions options;
        options.targets = tools::targetsFor(images());
        options.targets[0].siliconId = firstChip;
        // Shorter than the bus watch's listing interval: the restart is seen
        // through the stage's handle.
        options.offBusAfterExit = 2ms;
        options.latencyPerReport = latency;
        options.serialNumber = serial;
        return sim::Bus::instance().attach(options);
    }

    Result flash(QStringList arguments)
    {
        char *outText = nullptr, *errText = nullptr;
        size_t outSize = 0, errSize = 0;
        FILE *out = open_memstream(&outText, &outSize);
        FILE *err = open_memstream(&errText, &errSize);
        Result result;
        result.code = vireon::flash::run(QStringList{QStringLiteral("vireon-flash")} + arguments, out, err);
        std::fclose(out);
        std::fclose(err);
        result.out = QString::fromLocal8Bit(outText);
        result.err = QString::fromLocal8Bit(errText);
        std::free(outText);
        std::free(errText);
        return result;
    }

    void expectProgrammed(sim::Surface &surface)
    {
        auto lock = surface.lock();
        EXPECT_TRUE(surface.device().flash(0) == tools::imageRows(images()[0]));
        EXPECT_TRUE(surface.device().flash(1) == tools::imageRows(images()[1]));
    }

    QTemporaryDir dir_;
    QString file_;
};

TEST_F(Cli, UpdateProgramsBothChipsReportsEachRowAndVerifies)
{
    auto surface = attach();
    const QString log = dir_.filePath(QStringLiteral("flash.log"));
    const Result json = flash({QStringLiteral("update"), file_, QStringLiteral("--json"), QStringLiteral("--log"), log});
    ASSERT_EQ(json.code, 0) << qPrintable(json.err);
    expectProgrammed(*surface);

    // Every line is one object; each stage's rows rise one by one to 20, and
    // the overall figure across both stages never goes back: 50 % after image 1.
    std::map<QString, int> rows;
    std::vector<int> overall;
    QJsonObject last;
    for (const QString &line : json.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QJsonParseError error{};
        last = QJsonDocument::fromJson(line.toUtf8(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << qPrintable(line);
        if (last.contains(QLatin1String("rows_done"))) {
            int &done = rows[last.value(QLatin1String("stage")).toString()];
            EXPECT_EQ(last.value(QLatin1String("rows_done")).toInt(), ++done);
            EXPECT_EQ(last.value(QLatin1String("rows_total")).toInt(), 20);
            overall.push_back(last.value(QLatin1String("overall_percent")).toInt());
        }
    }
    EXPECT_EQ(rows, (std::map<QString, int>{{QStringLiteral("stage1"), 20}, {QStringLiteral("stage2"), 20}}));
    ASSERT_EQ(overall.size(), 40u);
    EXPECT_TRUE(std::is_sorted(overall.begin(), overall.end()));
    EXPECT_EQ(overall[0], 2);
    EXPECT_EQ(overall[19], 50);
    EXPECT_EQ(overall[39], 100);
    EXPECT_EQ(last.value(QLatin1String("result")).toString(), QLatin1String("success"));
    EXPECT_EQ(last.value(QLatin1String("exit_code")).toInt(), 0);

    QFile logFile(log);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QString logText = QString::fromUtf8(logFile.readAll());
    EXPECT_TRUE(logText.contains(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d[ap]m Stage 2: program 20 of 20 "
                                                                   "rows \\(100 %\\)$"),
                                                    QRegularExpression::MultilineOption)))
        << qPrintable(logText);

    // Not a terminal: one plain line per tenth of each stage.
    const Result plain = flash({QStringLiteral("verify"), file_});
    EXPECT_EQ(plain.code, 0) << qPrintable(plain.err);
    EXPECT_EQ(plain.out.count(QStringLiteral("stage 1: verify")), 10) << qPrintable(plain.out);
    EXPECT_EQ(plain.out.count(QStringLiteral("stage 2: verify")), 10);
    EXPECT_TRUE(plain.out.contains(QStringLiteral("stage 2: verify 100 % (20 of 20 rows")));
}

TEST_F(Cli, EachFailureEndsWithItsOwnExitCode)
{
    // A digit of a row of image 2 changed: line 25 of the file (image 1 is
    // its header and 20 rows, image 2 starts at line 22).
    QFile bad(dir_.filePath(QStringLiteral("bad.cyacd")));
    QByteArray text = QByteArray::fromStdString(tools::fileText(images()));
    QList<QByteArray> lines = text.split('\n');
    lines[24][20] = lines[24][20] == '0' ? '1' : '0';
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && bad.write(lines.join('\n')) > 0);
    bad.close();

    const QStringList update{QStringLiteral("update"), file_};
    const struct Case {
        const char *name;
        std::function<void(Cli &)> setUp;
        QStringList arguments;
        int code;
        const char *says;
    } cases[] = {
        {"usage", [](Cli &) {}, update + QStringList{QStringLiteral("--wait"), QStringLiteral("soon")}, 2,
         "--wait takes"},
        {"bad file", [](Cli &t) { t.attach(); }, {QStringLiteral("update"), bad.fileName()}, 3, "Line 25 of the file (image 2)"},
        {"no surface", [](Cli &) {}, update, 4, "No Vireon Surface is attached"},
        {"refused open",
         [](Cli &t) {
             sim::Fault refuse{sim::Fault::OpenRefused};
             refuse.count = 1000;
             t.attach()->addFault(refuse);
         },
         update, 5, "/usr/lib/udev/rules.d/70-vireon-surface.rules"},
        {"wrong chip", [](Cli &t) { t.attach({}, 0x12345678); }, update, 6, "is not the one image 1 is for"},
        {"row checksum", [](Cli &t) { t.attach()->device().reportBadRowChecksum(true); }, update, 7, "checksum"},
        {"unplug mid-stage",
         [](Cli &t) {
             sim::Fault unplug{sim::Fault::UnplugAt};
             unplug.exchange = 30;
             t.attach()->addFault(unplug);
         },
         update, 8, "transfer to the surface failed"},
        {"never comes back", [](Cli &t) { t.attach()->addFault(sim::Fault{sim::Fault::NeverReturns}); },
         update + QStringList{QStringLiteral("--return-timeout"), QStringLiteral("1")}, 9,
         "did not come back within 1 s"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim::Bus::instance().reset();
        c.setUp(*this);
        const Result result = flash(c.arguments);
        EXPECT_EQ(result.code, c.code) << qPrintable(result.err);
        EXPECT_TRUE(result.err.contains(QLatin1String(c.says))) << qPrintable(result.err);
    }
}

// Each is refused as a usage error before the surface hears a report: a
// restart allowance no surface can meet would stop every update half done,
// and a log that cannot be written would lose its record.
TEST_F(Cli, OptionsThatCannotWorkAreRefusedBeforeAnythingIsWritten)
{
    auto surface = attach();
    const QString nowhere = dir_.filePath(QStringLiteral("no-such-folder/flash.log"));
    const struct {
        QStringList options;
        const char *says;
    } cases[] = {
        {{QStringLiteral("--return-timeout"), QStringLiteral("0")}, "--return-timeout 0 is too short"},
        {{QStringLiteral("--return-timeout"), QStringLiteral("0.5")}, "--return-timeout 0.5 is too short"},
        {{QStringLiteral("--return-timeout"), QStringLiteral("-3")}, "--return-timeout -3 is too short"},
        {{QStringLiteral("--wait"), QStringLiteral("1e12")}, "--wait 1e12 is too large: at most 86400 seconds"},
        {{QStringLiteral("--wait"), QStringLiteral("soon")}, "'soon' is not a number"},
        {{QStringLiteral("--log"), nowhere}, "cannot write the log file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.says);
        const Result result = flash(QStringList{QStringLiteral("update"), file_} + c.options);
        EXPECT_EQ(result.code, static_cast<int>(flash::Exit::Usage));
        EXPECT_TRUE(result.err.contains(QLatin1String(c.says))) << qPrintable(result.err);
        EXPECT_EQ(surface->exchanges(), 0);
    }
}

// The list is the command's result: -q keeps it and drops the summary.
TEST_F(Cli, QuietListStillPrintsTheList)
{
    attach(L"VS-0042");
    const Result result = flash({QStringLiteral("-q"), QStringLiteral("list")});
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(result.out.contains(QStringLiteral("serial VS-0042\tcan open"))) << qPrintable(result.out);
    EXPECT_FALSE(result.out.contains(QStringLiteral("attached."))) << qPrintable(result.out);
}

TEST_F(Cli, CtrlCAbortsTheActionAndAnotherUpdateMendsIt)
{
    auto surface = attach({}, 0x56530001, 2ms);
    std::thread ctrlC([&surface]() {
        while (surface->exchanges() < 10)
            std::this_thread::sleep_for(1ms);
        kill(getpid(), SIGINT);
    });
    // Should the signal come after the command has ended (a thread held up
    // on a busy machine), it fails the test instead of ending the process.
    const auto previous = std::signal(SIGINT, SIG_IGN);
    const Result stopped = flash({QStringLiteral("update"), file_});
    ctrlC.join();
    std::signal(SIGINT, previous);
    EXPECT_EQ(stopped.code, 130);
    EXPECT_TRUE(stopped.err.contains(QStringLiteral("may hold a partial image"))) << qPrintable(stopped.err);
    EXPECT_TRUE(stopped.err.contains(QStringLiteral("'vireon-flash update FILE' again")));
    {
        auto lock = surface->lock();
        EXPECT_GT(surface->device().flash(0).size(), 0u);
        EXPECT_LT(surface->device().flash(0).size(), 20u);
        EXPECT_TRUE(surface->device().flash(1).empty());
    }
    // The abort's exit command handed the bus to the second chip; the next
    // update finds it there and starts again once the first is back.
    ASSERT_TRUE(sim::Bus::instance().waitOnBus(surface, true, 2s));
    surface->setLatency(0us);
    EXPECT_EQ(flash({QStringLiteral("update"), file_, QStringLiteral("-q")}).code, 0);
    expectProgrammed(*surface);
}

// Image 1's exit command lost on its way: the surface stays on the bus as
// its first chip, and a well-formed answer naming the second chip (forged,
// or from a chip that lies) would let image 2 into it. A restart leaves the
// bus, so the update stops before image 2.
TEST_F(Cli, AFirstChipThatStaysOnAndAnswersAsTheSecondIsNeverGivenImage2)
{
    int image1 = 0; // the exchanges of image 1 on a clean surface
    {
        auto clean = attach();
        ASSERT_EQ(flash({QStringLiteral("update"), file_, QStringLiteral("-q")}).code, 0);
        auto lock = clean->lock();
        for (const auto &request : clean->device().received())
            image1 += request.target == 0 ? 1 : 0;
    }
    sim::Bus::instance().reset();
    auto surface = attach();
    sim::Fault lost{sim::Fault::Dropped};
    lost.chip = 0;
    lost.atExit = true;
    sim::Fault forged{sim::Fault::ForgedIdentity};
    forged.exchange = image1 + 1; // the request after image 1: image 2's first
    surface->addFault(lost);
    surface->addFault(forged);
    core::setRestartAllowance(500ms);
    const Result result = flash({QStringLiteral("update"), file_});
    core::setRestartAllowance(core::kRestartAllowance);
    EXPECT_EQ(result.code, static_cast<int>(flash::Exit::NotRestarted)) << qPrintable(result.err);
    EXPECT_TRUE(result.err.contains(QStringLiteral("did not restart into its second chip"))) << qPrintable(result.err);
    auto lock = surface->lock();
    EXPECT_TRUE(surface->device().flash(0) == tools::imageRows(images()[0])) << "image 1 only, in its own chip";
    EXPECT_TRUE(surface->device().flash(1).empty());
}

// A verify that finds no difference says what it compared.
TEST_F(Cli, VerifyTellsWhichChecksMatched)
{
    auto surface = attach();
    ASSERT_EQ(flash({QStringLiteral("update"), file_, QStringLiteral("-q")}).code, 0);
    ASSERT_TRUE(sim::Bus::instance().waitOnBus(surface, true, 5s));
    const Result verify = flash({QStringLiteral("verify"), file_, QStringLiteral("--json")});
    ASSERT_EQ(verify.code, 0) << qPrintable(verify.err);
    const QJsonObject last =
        QJsonDocument::fromJson(verify.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).last().toUtf8()).object();
    EXPECT_EQ(last.value(QLatin1String("result")).toString(), QLatin1String("success"));
    const QJsonObject checks = last.value(QLatin1String("checks")).toObject();
    EXPECT_TRUE(checks.value(QLatin1String("row_checksums")).toBool());
    // The simulated bootloader is new enough for its application check.
    EXPECT_TRUE(checks.value(QLatin1String("application_check_image1")).toBool());
    EXPECT_TRUE(checks.value(QLatin1String("application_check_image2")).toBool());
}

TEST_F(Cli, SerialPicksOneOfTwoSurfacesAndLeavesTheOther)
{
    auto left = attach(L"A-1");
    auto right = attach(L"B-2");
    const Result list = flash({QStringLiteral("list")});
    EXPECT_EQ(list.code, 0);
    EXPECT_EQ(list.out.count(QStringLiteral("can open")), 2) << qPrintable(list.out);

    const Result unchosen = flash({QStringLiteral("update"), file_});
    EXPECT_EQ(unchosen.code, 2);
    EXPECT_TRUE(unchosen.err.contains(QStringLiteral("--serial")));

    const Result chosen =
        flash({QStringLiteral("update"), file_, QStringLiteral("--serial"), QStringLiteral("B-2"), QStringLiteral("--json")});
    EXPECT_EQ(chosen.code, 0);
    expectProgrammed(*right);
    // The line that starts each stage names the surface for scripts.
    EXPECT_EQ(chosen.out.count(QStringLiteral("\"device\":\"%1\"").arg(QString::fromStdString(right->path()))), 2);
    EXPECT_EQ(chosen.out.count(QStringLiteral("\"serial\":\"B-2\"")), 2) << qPrintable(chosen.out);
    EXPECT_EQ(left->exchanges(), 0);
    EXPECT_EQ(left->restarts(), 0);
    EXPECT_EQ(flash({QStringLiteral("update"), file_, QStringLiteral("--serial"), QStringLiteral("C-3")}).code, 4);
}

TEST_F(Cli, WaitTakesASurfaceAttachedLater)
{
    std::shared_ptr<sim::Surface> surface;
    std::thread plugIn([this, &surface]() {
        std::this_thread::sleep_for(150ms);
        surface = attach();
    });
    const Result result = flash({QStringLiteral("update"), file_, QStringLiteral("--wait"), QStringLiteral("5")});
    plugIn.join();
    EXPECT_EQ(result.code, 0) << qPrintable(result.err);
    expectProgrammed(*surface);
}

TEST_F(Cli, DoctorHoldsOnlyWhenRuleAccessAndSurfaceAllHold)
{
    const QString etc = dir_.filePath(QStringLiteral("etc")), lib = dir_.filePath(QStringLiteral("lib"));
    QDir().mkpath(etc);
    QDir().mkpath(lib);
    setenv("VIREON_FLASH_UDEV_RULES_DIRS", qPrintable(etc + QLatin1Char(':') + lib), 1);
    const auto rule = [](const QString &path, const char *line) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(line);
    };
    const char *good = "# the surface\nKERNEL==\"hidraw*\", ATTRS{idVendor}==\"1502\", ATTRS{idProduct}==\"0101\", "
                       "TAG+=\"uaccess\"\n";
    rule(lib + QStringLiteral("/70-vireon-surface.rules"), good);

    EXPECT_EQ(flash({QStringLiteral("doctor")}).code, 1); // no surface
    auto surface = attach();
    const Result healthy = flash({QStringLiteral("doctor")});
    EXPECT_EQ(healthy.code, 0) << qPrintable(healthy.out);
    EXPECT_EQ(healthy.out.count(QStringLiteral("ok    ")), 5); // rule, surface, access, signing keys, policy

    // The same name under /etc hides the good rule.
    rule(etc + QStringLiteral("/70-vireon-surface.rules"),
         "ATTRS{idVendor}==\"1502\", ATTRS{idProduct}==\"0101\", MODE=\"0660\"\n");
    const Result masked = flash({QStringLiteral("doctor")});
    EXPECT_EQ(masked.code, 1);
    EXPECT_TRUE(masked.out.contains(QStringLiteral("does not tag it \"uaccess\""))) << qPrintable(masked.out);
    EXPECT_TRUE(masked.err.contains(QStringLiteral("1 of 5 checks does not hold."))) << qPrintable(masked.err);

    QFile::remove(etc + QStringLiteral("/70-vireon-surface.rules"));
    QFile::rename(lib + QStringLiteral("/70-vireon-surface.rules"), lib + QStringLiteral("/80-vireon-surface.rules"));
    const Result late = flash({QStringLiteral("doctor"), QStringLiteral("--json")});
    EXPECT_EQ(late.code, 1);
    EXPECT_TRUE(late.out.contains(QStringLiteral("sorts after 73-seat-late.rules"))) << qPrintable(late.out);

    QFile::rename(lib + QStringLiteral("/80-vireon-surface.rules"), lib + QStringLiteral("/70-vireon-surface.rules"));
    sim::Fault refuse{sim::Fault::OpenRefused};
    refuse.count = 1000;
    surface->addFault(refuse);
    const Result denied = flash({QStringLiteral("doctor")});
    EXPECT_EQ(denied.code, 1);
    EXPECT_TRUE(denied.out.contains(QStringLiteral("unplug the surface and plug it in again"))) << qPrintable(denied.out);
    unsetenv("VIREON_FLASH_UDEV_RULES_DIRS");
}

TEST(ProgressMeter, RateTimeLeftAndTenthsFromWorkedValues)
{
    using Clock = flash::ProgressMeter::Clock;
    flash::ProgressMeter meter;
    const Clock::time_point t0{};
    meter.start(32, t0);
    EXPECT_EQ(meter.secondsLeft(), -1);
    std::vector<int> tenthsAt;
    for (int row = 1; row <= 32; ++row)
        if (meter.addRow(t0 + row * 10ms))
            tenthsAt.push_back(row);
    // Rows 4, 7, 10, 13, 16, 20, 23, 26, 29 and 32 reach 10 %, 20 %, ... 100 %.
    EXPECT_EQ(tenthsAt, (std::vector<int>{4, 7, 10, 13, 16, 20, 23, 26, 29, 32}));
    EXPECT_EQ(meter.percent(), 100);
    EXPECT_DOUBLE_EQ(meter.rate(), 100.0);
    meter.start(32, t0);
    for (int row = 1; row <= 8; ++row)
        meter.addRow(t0 + row * 20ms);
    EXPECT_EQ(meter.percent(), 25);
    EXPECT_DOUBLE_EQ(meter.rate(), 50.0);
    EXPECT_DOUBLE_EQ(meter.secondsLeft(), 24 / 50.0);
}

} // namespace
