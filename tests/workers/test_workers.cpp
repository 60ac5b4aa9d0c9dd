// Each worker alone on its own thread, wired as the window wires it, in a
// temporary working directory with real image files, against the simulated
// surface.
#include "worker_harness.h"

#include "cyacd_gen.h"
#include "hidsim.h"

#include <QTest>
#include <QtCore>
#include <gtest/gtest.h>

using vireon::sim::Bus;

void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

// The two stages under test.
struct First { using W = Worker; static constexpr int n = 1; static constexpr const char *is = " = "; };
struct Second { using W = Worker2; static constexpr int n = 2; static constexpr const char *is = ": "; };

namespace {

// The reason logged after an open that found no surface.
const QString kAbsent = "HID error: No HID devices with requested VID/PID found in the system.";
// Those after an open the device node refused, with the fix.
const QStringList kRefused{"HID error: Failed to open a device with path '/dev/hidraw0': Permission denied",
                           "The surface's device node is not open to this user. Install the udev rule "
                           "/usr/lib/udev/rules.d/70-vireon-surface.rules, then unplug and re-plug the surface."};

template <class S> class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Bus::instance().reset();
        ASSERT_TRUE(dir.isValid() && QDir::setCurrent(dir.path()));
    }
    void TearDown() override { QDir::setCurrent(previous); }

    static QString done(bool ok, int result)
    {
        return QString("Firmware update %1 %2. Result%3%4. errorFlag==%5")
            .arg(S::n).arg(ok ? "complete" : "failed").arg(S::is).arg(result).arg(ok ? 0 : 2);
    }
    QString imagePath() const { return QDir::currentPath() + QString("/vireonTemp%1.txt").arg(S::n); }
    void writeImage() { ASSERT_TRUE(vireon::tools::writeFile(QFile::encodeName(imagePath()).toStdString(), {layout})); }
    std::shared_ptr<vireon::sim::Surface> attach()
    {
        vireon::sim::SurfaceOptions options;
        options.targets = {vireon::tools::targetFor(layout)};
        return Bus::instance().attach(options);
    }
    bool holdsImage(vireon::sim::Surface &surface)
    {
        auto lock = surface.lock();
        return surface.device().flash(0) == vireon::tools::imageRows(layout);
    }
    // This worker's log messages, every line checked for its time stamp.
    QStringList log()
    {
        QStringList out;
        QFile file("log.txt");
        file.open(QIODevice::ReadOnly | QIODevice::Text);
        const QRegularExpression line("^\\d\\d:\\d\\d:\\d\\d[ap]m Thread (\\d): (.*)$");
        for (const QString &text : QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
            const auto match = line.match(text);
            EXPECT_TRUE(match.hasMatch()) << text.toStdString();
            if (match.captured(1) == QString::number(S::n))
                out << match.captured(2).replace(QRegularExpression("^Handle: 0x[0-9a-f]+$"), "Handle: <pointer>");
        }
        return out;
    }
    // Requests a run and holds it in hid_open, past its start check, while `during` runs.
    template <class F> void whileOpening(vireon::sim::Surface &surface, F during)
    {
        auto lock = surface.lock();
        h.worker.requestWork();
        ASSERT_TRUE(QTest::qWaitFor([&] { return log().contains("Work Started."); }, 30000));
        during();
    }

    QString previous = QDir::currentPath();
    QTemporaryDir dir;
    vireon::tools::ImageSpec layout;
    Harness<typename S::W> h;
};

using Stages = ::testing::Types<First, Second>;
TYPED_TEST_SUITE(WorkerTest, Stages);

TYPED_TEST(WorkerTest, SuccessfulRunLogsEveryStepAndClosesTheHandle)
{
    // The image path travels in the file system's encoding, whatever the characters.
    const QString sub = QTextCodec::codecForLocale()->mibEnum() == 106 ? "прошивка 固件" : "firmware";
    ASSERT_TRUE(QDir().mkdir(sub) && QDir::setCurrent(sub));
    auto surface = this->attach();
    this->writeImage();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(this->h.run());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), QString("Firmware update %1 complete\n").arg(TypeParam::n).toStdString());
    const QStringList expected = {"Abort.", "Work Requested.", "Work Started.", "Handle: <pointer>",
                                  "HID error (NULL if none): Success", "Temporary filepath: " + this->imagePath(),
                                  "Programming...", this->done(true, 0)};
    EXPECT_EQ(this->log(), expected);
    EXPECT_EQ(this->h.worker.errorFlag.load(), 0);
    EXPECT_EQ(this->h.finished.load(), 1);
    EXPECT_TRUE(this->holdsImage(*surface));
    // The exit command restarts the surface: the handle is of no more use.
    EXPECT_EQ(surface->openHandles(), 0);
}

// The window reads how far the action has come while it runs.
TYPED_TEST(WorkerTest, RowsProgrammedCountEveryRowAndStartAgainAtTheNextRequest)
{
    auto surface = this->attach();
    this->writeImage();
    ASSERT_TRUE(this->h.run());
    EXPECT_EQ(this->h.worker.rowsDone(), this->layout.rowCount);
    this->whileOpening(*surface, [this] { EXPECT_EQ(this->h.worker.rowsDone(), 0); });
}

TYPED_TEST(WorkerTest, FailedActionsLogResultAndMessageAndCloseTheHandle)
{
    auto surface = this->attach();
    this->writeImage();
    surface->addFault({vireon::sim::Fault::WriteFails, 1}); // a transport failure: hidapi's reason
    ASSERT_TRUE(this->h.run());
    const QStringList transfer = {this->done(false, -1),
                                  QString("The transfer to the surface failed: the write failed (Connection timed out). "
                                          "It stopped at exchange 1 of image %1 (enter bootloader).")
                                      .arg(TypeParam::n)};
    EXPECT_EQ(this->log().mid(7), transfer);
    EXPECT_EQ(this->h.worker.lastResultText(), transfer.back()); // what the window's box shows

    QFile::remove("log.txt");
    this->layout.siliconId ^= 0x100; // an image for another chip
    this->writeImage();
    ASSERT_TRUE(this->h.run());
    // No other image in the folder: the chip is neither of the file's.
    const QStringList expected = {this->done(false, 6), "The expected device does not match the detected device.",
                                  QString("The surface's chip is not the one image %1 is for (it answered silicon id "
                                          "0x%2, image %1 is for 0x%3): the file is not for this surface.")
                                      .arg(TypeParam::n)
                                      .arg(this->layout.siliconId ^ 0x100, 8, 16, QChar('0'))
                                      .arg(this->layout.siliconId, 8, 16, QChar('0'))};
    EXPECT_EQ(this->log().mid(7), expected);
    EXPECT_EQ(this->h.worker.lastResultText(), expected.back());
    this->h.worker.abort(); // the owner's lines are not the run's
    EXPECT_EQ(this->h.worker.lastResultText(), expected.back());

    // A fresh surface refuses the second row with status 11: the status follows.
    QFile::remove("log.txt");
    this->layout.siliconId ^= 0x100;
    this->writeImage();
    Bus::instance().reset();
    surface = this->attach();
    {
        auto lock = surface->lock();
        surface->device().answerStatus(vireon::sim::command::ProgramRow, 0x0B, 1, 1);
    }
    ASSERT_TRUE(this->h.run());
    EXPECT_EQ(this->log().mid(7), (QStringList{this->done(false, 0x400B), "The device answered status 11 (0x0b)."}));
    EXPECT_EQ(this->h.worker.lastResultText(), "The device answered status 11 (0x0b).");
    EXPECT_EQ(this->h.worker.errorFlag.load(), 2);
    EXPECT_EQ(this->h.finished.load(), 3);
    EXPECT_EQ(surface->openHandles(), 0);
}

TYPED_TEST(WorkerTest, AbortBeforeTheStartCheckEndsTheRunUntouchedAndAfterItLetsTheRunFinish)
{
    this->h.worker.abort(); // idle: logs, changes nothing
    EXPECT_EQ(this->log(), QStringList{"Abort."});
    EXPECT_FALSE(this->h.worker.busyFlag || this->h.thread.isRunning());
    auto surface = this->attach();
    ASSERT_TRUE(this->h.run()); // no image file: result 1
    ASSERT_EQ(this->h.worker.errorFlag.load(), 2);
    this->writeImage();
    QFile::remove("log.txt");

    this->h.gated = true;
    this->h.worker.requestWork();
    this->h.worker.abort();
    this->h.gate.release();
    ASSERT_TRUE(this->h.idle());
    EXPECT_EQ(this->log(), (QStringList{"Work Requested.", "Abort."}));
    EXPECT_EQ(this->h.worker.errorFlag.load(), 2);
    EXPECT_EQ(surface->opens(), 1);
    EXPECT_EQ(this->h.finished.load(), 2);

    QFile::remove("log.txt");
    this->whileOpening(*surface, [&] {
        this->h.worker.abort();
        EXPECT_FALSE(this->h.worker.busyFlag);
        EXPECT_TRUE(this->h.thread.isRunning());
        EXPECT_EQ(this->h.worker.errorFlag.load(), 2); // the previous run's until this one stores its own
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return this->h.thread.isFinished(); }, 60000));
    EXPECT_EQ(this->h.worker.errorFlag.load(), 0);
    EXPECT_EQ(this->h.finished.load(), 3);
    EXPECT_TRUE(this->holdsImage(*surface));
    const QStringList lines = this->log();
    EXPECT_EQ(lines.mid(0, 4), (QStringList{"Work Requested.", "Work Started.", "Abort.", "Handle: <pointer>"}));
    EXPECT_EQ(lines.back(), this->done(true, 0));
}

using FirstWorkerTest = WorkerTest<First>;
using SecondWorkerTest = WorkerTest<Second>;

TEST_F(FirstWorkerTest, NoDeviceOrARefusedOpenEndsTheRunWithErrorFlag1AndTheReason)
{
    ASSERT_TRUE(h.run());
    EXPECT_EQ(log(), (QStringList{"Abort.", "Work Requested.", "Work Started.", "No Handle: ", kAbsent}));
    EXPECT_EQ(h.worker.errorFlag.load(), 1);
    EXPECT_EQ(h.finished.load(), 1);

    // The device node is there but not this user's to open: the fix follows.
    QFile::remove("log.txt");
    attach()->addFault({vireon::sim::Fault::OpenRefused, 0, 1});
    ASSERT_TRUE(h.run());
    EXPECT_EQ(log().mid(3), QStringList{"No Handle: "} + kRefused);
    EXPECT_EQ(h.worker.errorFlag.load(), 1);
}

// A second stage's attempts without a surface: each a run of its own, busy
// all along, paced: kRestartPause apart at least, so at most one more than
// the pauses that fit in `limit`, the time they had (a loaded machine makes
// fewer; one that did not pause would make hundreds). Returns how many
// there were.
int expectRetries(Harness<Worker2> &h, const QStringList &log, std::chrono::milliseconds limit)
{
    const int failed = log.count("Errorflag==1. No handle: ");
    EXPECT_GE(failed, 2);
    for (int i = 0; i < failed; ++i)
        EXPECT_EQ(log.mid(1 + 4 * i, 4),
                  (QStringList{"Work Requested.", "Work Started.", "Errorflag==1. No handle: ", kAbsent}));
    EXPECT_EQ(h.finished.load(), static_cast<int>(h.starts.size()));
    EXPECT_EQ(h.finishedBusy.load(), h.finished - 1);
    EXPECT_LE(failed, limit / Worker2::kRestartPause + 1);
    return failed;
}

TEST_F(SecondWorkerTest, RetriesUntilTheOpenLimitOrTheSurfaceAppears)
{
    const std::chrono::milliseconds limit(1000); // the product waits 20 s
    Harness<Worker2> limited(limit);
    ASSERT_TRUE(limited.run());
    const int failed = expectRetries(limited, log(), limit);
    EXPECT_EQ(log().back(), "No handle within 1 s. Giving up.");
    EXPECT_EQ(limited.worker.errorFlag.load(), 1);
    EXPECT_TRUE(limited.worker.openLimitSpent());
    QTest::qWait(300);
    EXPECT_TRUE(limited.thread.isFinished());
    EXPECT_EQ(static_cast<int>(limited.starts.size()), failed);

    QFile::remove("log.txt");
    writeImage();
    std::shared_ptr<vireon::sim::Surface> surface;
    QObject context; // drops the timer should the test end before it fires
    QTimer::singleShot(600, &context, [&] { surface = attach(); });
    ASSERT_TRUE(h.run());
    const QStringList lines = log();
    const int retried = expectRetries(h, lines, Worker2::kOpenLimit);
    EXPECT_EQ(lines.mid(1 + 4 * retried, 3), (QStringList{"Work Requested.", "Work Started.", "Handle: <pointer>"}));
    EXPECT_EQ(lines.back(), done(true, 0));
    EXPECT_EQ(h.worker.errorFlag.load(), 0);
    EXPECT_FALSE(h.worker.openLimitSpent());
    ASSERT_TRUE(surface && holdsImage(*surface));
}

TEST_F(SecondWorkerTest, AbortEndsAPendingRestartOrARunningAttempt)
{
    h.worker.requestWork();
    h.thread.wait(); // the first attempt has ended; its restart waits for this thread's events
    h.worker.abort();
    EXPECT_FALSE(h.worker.busyFlag);
    QTest::qWait(300);
    EXPECT_EQ(h.starts.size(), 1u);
    EXPECT_TRUE(h.thread.isFinished());
    const QStringList expected = {"Work Requested.", "Work Started.", "Errorflag==1. No handle: ", kAbsent,
                                  "Work Requested.", "Abort."};
    EXPECT_EQ(log(), expected);

    // An attempt that the abort reaches before its open fails requests no other.
    QFile::remove("log.txt");
    auto surface = attach();
    surface->addFault({vireon::sim::Fault::OpenRefused, 0, 1});
    whileOpening(*surface, [&] { h.worker.abort(); });
    ASSERT_TRUE(h.idle());
    QTest::qWait(300);
    EXPECT_EQ(h.starts.size(), 2u);
    EXPECT_EQ(log(), (QStringList{"Work Requested.", "Work Started.", "Abort.", "Errorflag==1. No handle: "} + kRefused));

    writeImage(); // idle again: the next request programs as usual
    ASSERT_TRUE(h.run());
    EXPECT_EQ(h.worker.errorFlag.load(), 0);
    EXPECT_TRUE(holdsImage(*surface));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules("vireon.workers.debug=false");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
