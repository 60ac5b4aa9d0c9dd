// The whole two-stage update, end to end: the real window pressed as a user
// presses it, real image files, the real workers on their threads and the
// simulated surface behind hidapi. The presence check ticks every 50 ms, so
// the pause after the first stage (20 ticks) lasts a second.
#include "app_fixture.h"

#include <QDynamicPropertyChangeEvent>
#include <QThread>

#include <ctime>

namespace apptest {
namespace {

const QString kInfoBox = "Do not manually disconnect Vireon Surface from USB during update process.\nYou may hear a "
                         "disconnect system sound. Please leave it physically connected.\nTotal process will take "
                         "approximately 90 seconds.\n";
const QString kSuccessBox = "Firmware update complete.";
const QString kBusyBox = "An update is running.\nPlease wait until it has finished before closing the updater.";

// Calls back as the window's run enters each stage, and keeps the UPDATE
// picture shown as the run's end begins.
class StageHook : public QObject {
public:
    std::function<void(const QString &)> onStage;
    qint64 updateAtEnd = 0;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::DynamicPropertyChange ||
            static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName() != "updateStage")
            return false;
        const QString stage = object->property("updateStage").toString();
        if (stage == "ending")
            updateAtEnd = shown(object->findChild<QLabel *>("updateLabel"));
        if (onStage)
            onStage(stage);
        return false;
    }
};

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

class UpdateTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        prepare();
    }
    // A window with the surface on the bus and a good file chosen.
    void prepare(int tickMs = 50)
    {
        surface = attachSurface();
        window().show();
        window().installEventFilter(&hook);
        probe().presenceTimer()->setInterval(tickMs);
        choose(goodFile());
        probe().doHID();
        ASSERT_TRUE(probe().updateEnabled());
    }
    // A new window on a fresh bus, an empty log.
    void restart(int tickMs = 50)
    {
        closeWindow();
        sim::Bus::instance().reset();
        QFile::remove(path("log.txt"));
        prepare(tickMs);
    }
    // Presses UPDATE, which runs the whole update, and closes every box
    // with OK; returns the boxes' texts.
    QStringList update()
    {
        QStringList texts;
        for (const auto &seen : withModals({}, [this]() { QTest::mouseClick(probe().ui().updateLabel, Qt::LeftButton); }))
            texts << seen.text;
        return texts;
    }
    // Holds a stage's worker in its open until the window's wait has begun,
    // so that the wait makes at least one pass however fast the surface is.
    void holdOpen()
    {
        held = surface->lock();
        QTimer::singleShot(0, [this]() { held.unlock(); });
    }
    // The log's entries of one writer, "Main Thread", "Thread 1" or "Thread 2".
    QStringList entries(const QString &writer) const
    {
        const QString tag = " " + writer + ": ";
        QStringList out;
        for (const QString &entry : logEntries())
            if (entry.startsWith(tag))
                out << entry.mid(tag.size()).replace(QRegularExpression("^Handle: 0x[0-9a-f]+$"), "Handle: <pointer>");
        return out;
    }
    int count(const QString &writer, const QString &entry) const { return entries(writer).count(entry); }
    bool holdsImages()
    {
        auto lock = surface->lock();
        return surface->device().flash(0) == vireon::tools::imageRows(images()[0]) &&
               surface->device().flash(1) == vireon::tools::imageRows(images()[1]);
    }
    void mismatch(size_t chip)
    {
        auto lock = surface->lock();
        surface->device().target(chip).siliconId ^= 0x100;
    }
    bool tempFilesGone() const
    {
        return !QFileInfo::exists(current() + "/vireonTemp1.txt") && !QFileInfo::exists(current() + "/vireonTemp2.txt");
    }
    // Every end leaves the window idle, its temporary files deleted.
    void expectEnded(bool success)
    {
        const MainWindowProbe p = probe();
        EXPECT_EQ(window().property("updateStage").toString(), "idle");
        EXPECT_FALSE(p.updating());
        EXPECT_EQ(p.ui().progressBar->value(), 0);
        EXPECT_FALSE(p.ui().progressBar->isEnabled());
        EXPECT_TRUE(p.ui().browseFileLabel->isEnabled());
        EXPECT_EQ(shown(p.ui().browseFileLabel), p.browseUp().cacheKey());
        EXPECT_EQ(hook.updateAtEnd, (success ? p.updateGreenUp() : p.updateRedUp()).cacheKey());
        EXPECT_TRUE(tempFilesGone());
        EXPECT_TRUE(p.thread(1)->wait(60000) && p.thread(2)->wait(60000)); // no run goes on
        EXPECT_EQ(surface->openHandles(), 0);
        if (success)
            EXPECT_TRUE(entries("Main Thread").contains("Firmware update 2 success. errorFlag==0"));
        else
            EXPECT_FALSE(entries("Main Thread").contains("Firmware update 2 success. errorFlag==0"));
    }

    std::shared_ptr<sim::Surface> surface;
    StageHook hook;
    std::unique_lock<std::mutex> held;
};

TEST_F(UpdateTest, SuccessProgramsBothChipsLogsEveryStepAndHoldsTheProgressCeilings)
{
    // Each stage's wait is held where its ceiling shows: the count is pushed
    // far up as the stage begins and must come down to the ceiling.
    std::vector<std::pair<QString, int>> shownAt;
    QString stage;
    QObject::connect(probe().ui().progressBar, &QProgressBar::valueChanged,
                     [&](int value) { shownAt.emplace_back(stage, value); });
    hook.onStage = [&](const QString &next) {
        stage = next;
        if (next == "first stage" || next == "second stage")
            holdOpen();
        if (next == "first stage" || next == "wait" || next == "second stage")
            probe().progressCount() = 1000;
    };
    EXPECT_EQ(update(), (QStringList{kInfoBox, kSuccessBox}));
    expectEnded(true);
    EXPECT_TRUE(holdsImages());
    EXPECT_EQ(probe().selectedFilePath(), nullptr);
    probe().doHID();
    EXPECT_FALSE(probe().updateEnabled());
    EXPECT_EQ(probe().ui().fileNameLabel->pixmap(Qt::ReturnByValue).size(), QSize(291, 27)); // the empty panel

    const std::map<QString, int> ceiling{{"first stage", 50}, {"pause", 85}, {"wait", 85}, {"second stage", 95}, {"ending", 100}};
    std::vector<std::pair<QString, int>> ceilings;
    for (const auto &[at, value] : shownAt) {
        EXPECT_LE(value, ceiling.at(at)) << at.toStdString();
        if (value == ceiling.at(at))
            ceilings.emplace_back(at, value);
    }
    const decltype(ceilings) expected{{"first stage", 50}, {"wait", 85}, {"second stage", 95}, {"ending", 100}};
    EXPECT_EQ(ceilings, expected);
    EXPECT_EQ(shownAt.back(), std::make_pair(QString("ending"), 0));

    QStringList first{"Beginning update process...", "Programming first file...", "Firmware Update 1 success. errorFlag==0"};
    for (int left = 19; left >= 0; --left)
        first << QString("Waiting %1").arg(left);
    first << "Q_OS_WIN" << "ConnectedFlag: 1" << "Waiting for SPI..." << "ConnectedFlag: 1";
    const QStringList main = entries("Main Thread");
    const int at = main.indexOf("Beginning update process...");
    ASSERT_GE(at, 0);
    EXPECT_EQ(main.mid(at, first.size()), first);
    EXPECT_TRUE(main[at + first.size()].startsWith("Number of times through waiting while loop: "));
    const QStringList second{"Number of Second File programming attempts at top of programfile2: 0",
                             "Programming second file...",
                             "Number of Second File programming attempts at end of programfile2: 1",
                             "Firmware update 2 success. errorFlag==0", "Number of program attempts: 1",
                             "Firmware Update Complete."};
    EXPECT_EQ(main.mid(at + first.size() + 1), second);
    for (int n : {1, 2}) {
        const QStringList run{"Abort.", "Work Requested.", "Work Started.", "Handle: <pointer>",
                              "HID error (NULL if none): Success",
                              QString("Temporary filepath: %1/vireonTemp%2.txt").arg(current()).arg(n), "Programming...",
                              n == 1 ? "Firmware update 1 complete. Result = 0. errorFlag==0"
                                     : "Firmware update 2 complete. Result: 0. errorFlag==0",
                              "Abort."};
        EXPECT_EQ(entries(QString("Thread %1").arg(n)), run);
    }
    // Across the writers: each stage's result comes before the window acts on it.
    const QStringList all = logEntries();
    EXPECT_LT(all.indexOf(" Thread 1: Firmware update 1 complete. Result = 0. errorFlag==0"),
              all.indexOf(" Main Thread: Firmware Update 1 success. errorFlag==0"));
    EXPECT_LT(all.indexOf(QRegularExpression("^ Main Thread: Number of times through")), all.indexOf(" Thread 2: Abort."));
    EXPECT_LT(all.indexOf(" Thread 2: Firmware update 2 complete. Result: 0. errorFlag==0"),
              all.indexOf(" Main Thread: Firmware update 2 success. errorFlag==0"));
}

TEST_F(UpdateTest, FirstStageThatCannotOpenTriesSixTimesThenWarns)
{
    surface->addFault({sim::Fault::OpenRefused, 0, 1 << 30});
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Could not open device. Check permissions.\nPlease try again.\n"}));
    expectEnded(false);
    EXPECT_EQ(count("Main Thread", "Beginning update process..."), 6);
    EXPECT_EQ(count("Main Thread", "errorFlag==1 "), 6);
    EXPECT_EQ(count("Main Thread", "Could not open device. Trying again... "), 5);
    EXPECT_EQ(count("Thread 1", "No Handle: "), 6);
    EXPECT_EQ(entries("Main Thread").back(), "Could not open device. Tried 5 times. Check Permissions. errorFlag==1.");
    EXPECT_FALSE(entries("Main Thread").contains("Programming second file..."));
    EXPECT_NE(probe().selectedFilePath(), nullptr); // the file stays chosen
}

TEST_F(UpdateTest, FirstStageThatFailsToProgramWarnsAndTheNextRunSplitsTheFileAgain)
{
    mismatch(0);
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 1 failed.\nPlease restart the application and try again."}));
    expectEnded(false);
    const QStringList failed{"Programming...", "Firmware update 1 failed. Result = 6. errorFlag==2",
                             "The expected device does not match the detected device."};
    EXPECT_EQ(entries("Thread 1").mid(6), failed);
    EXPECT_EQ(entries("Main Thread").back(), "Firmware Update 1 Failed. errorFlag==2");

    // The file stays chosen; its temporary images are split again, and the
    // next run starts afresh with its box. (The failed run restarted the
    // surface into its other chip: a fresh one is plugged in.)
    sim::Bus::instance().detach(surface);
    surface = attachSurface();
    probe().doHID();
    ASSERT_TRUE(probe().updateEnabled());
    QFile::remove(path("log.txt"));
    EXPECT_EQ(update(), (QStringList{kInfoBox, kSuccessBox}));
    expectEnded(true);
    EXPECT_TRUE(holdsImages());
    const QStringList again{"Beginning update process...", "Temporary files missing. Splitting the chosen file again.",
                            "Temp filepath 1: " + current() + "/vireonTemp1.txt"};
    EXPECT_EQ(entries("Main Thread").mid(0, 3), again);
}

TEST_F(UpdateTest, SecondStageRetriesRefusedOpensInTheWorkerThenPrograms)
{
    hook.onStage = [&](const QString &stage) {
        if (stage == "pause")
            surface->addFault({sim::Fault::OpenRefused, 0, 3});
    };
    EXPECT_EQ(update(), (QStringList{kInfoBox, kSuccessBox}));
    expectEnded(true);
    EXPECT_TRUE(holdsImages());
    EXPECT_EQ(count("Thread 2", "Errorflag==1. No handle: "), 3);
    EXPECT_EQ(count("Thread 2", "Work Started."), 4);
    EXPECT_EQ(count("Main Thread", "Programming second file..."), 1);
    EXPECT_EQ(count("Main Thread", "worker2 errorFlag==1 "), 0);
    EXPECT_EQ(probe().secondFileAttempts(), 1);
}

TEST_F(UpdateTest, SecondStageFailuresAreRetriedFiveTimesCountedAcrossRuns)
{
    mismatch(1);
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 2 failed"}));
    expectEnded(false);
    EXPECT_EQ(count("Thread 2", "Firmware update 2 failed. Result: 6. errorFlag==2"), 6);
    EXPECT_EQ(count("Thread 2", "The expected device does not match the detected device."), 6);
    QStringList tops;
    for (int n = 0; n <= 5; ++n)
        tops << QString("Number of Second File programming attempts at top of programfile2: %1").arg(n);
    EXPECT_EQ(entries("Main Thread").filter("at top of programfile2"), tops);
    EXPECT_EQ(count("Main Thread", "Number of Second File programming attempts at end of programfile2: 5"), 6);
    const QStringList end{"Firmware update 2 failed. errorFlag==2", "Number of program attempts: 1", "Firmware Update Complete."};
    EXPECT_EQ(entries("Main Thread").mid(entries("Main Thread").size() - 3), end);

    // The count goes on: a new surface whose second chip fails again gets no
    // retry. (Whether the file stayed chosen depends on the last tick, which
    // may have seen the surface restarting.)
    sim::Bus::instance().detach(surface);
    surface = attachSurface();
    mismatch(1);
    choose(goodFile());
    probe().doHID();
    QFile::remove(path("log.txt"));
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 2 failed"}));
    EXPECT_EQ(entries("Main Thread").filter("programfile2"),
              (QStringList{"Number of Second File programming attempts at top of programfile2: 5",
                           "Number of Second File programming attempts at end of programfile2: 5"}));
    EXPECT_EQ(count("Thread 2", "Work Started."), 1);
}

TEST_F(UpdateTest, SurfaceThatNeverComesBackEndsTheRunWithAWarning)
{
    probe().deviceReturnLimit() = 1500ms;
    surface->addFault({sim::Fault::NeverReturns});
    EXPECT_EQ(update(), (QStringList{kInfoBox, "The Vireon Surface did not come back after its first update stage.\n"
                                               "Unplug it, plug it back in and run the update again."}));
    expectEnded(false);
    const QStringList main = entries("Main Thread");
    const QStringList end{"Waiting for SPI...",
                          "The surface did not come back within 1.5 s after the first stage. Update stopped.",
                          "Number of program attempts: 1", "Firmware Update Complete."};
    EXPECT_EQ(main.mid(main.indexOf("Waiting for SPI...")), end);
    EXPECT_EQ(entries("Thread 2"), QStringList{});
    EXPECT_EQ(probe().selectedFilePath(), nullptr); // no surface: the file must be chosen again
}

TEST_F(UpdateTest, SurfaceThatNeverLeavesTheBusIsProgrammedAfterThePause)
{
    surface->addFault({sim::Fault::NeverLeaves});
    EXPECT_EQ(update(), (QStringList{kInfoBox, kSuccessBox}));
    expectEnded(true);
    EXPECT_TRUE(holdsImages());
    EXPECT_EQ(count("Main Thread", "ConnectedFlag: 1"), 2);
}

TEST_F(UpdateTest, UnpluggedInTheMiddleOfEitherStageEndsInFailure)
{
    // Unplugged for good at the fifth report of the first stage.
    surface->addFault({sim::Fault::UnplugAt, 5});
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 1 failed.\nPlease restart the application and try again."}));
    expectEnded(false);

    // Unplugged for good at the fifth report of the second stage. Its worker
    // gives up on opens after 300 ms (the product waits 20 s), five times.
    restart();
    probe().useWorker2(300ms);
    hook.onStage = [&](const QString &stage) {
        if (stage == "pause")
            surface->addFault({sim::Fault::UnplugAt, surface->exchanges() + 5});
    };
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 2 failed"}));
    expectEnded(false);
    EXPECT_EQ(count("Main Thread", "worker2 errorFlag==1 "), 5);
    EXPECT_TRUE(entries("Main Thread").contains("Firmware update 2 failed. Could not open device. errorFlag==1"));
    EXPECT_EQ(probe().selectedFilePath(), nullptr);
}

TEST_F(UpdateTest, ClosingIsRefusedWhileProgrammingAndEndsTheRunDuringThePauseOrTheWait)
{
    for (const QString closeAt : {"pause", "wait"}) {
        SCOPED_TRACE(closeAt.toStdString());
        if (closeAt == "wait") {
            restart();
            surface->addFault({sim::Fault::NeverReturns});
        }
        bool refused = false;
        hook.onStage = [&](const QString &stage) {
            if (stage == "first stage") {
                holdOpen(); // the close comes while the window waits for the worker
                QTimer::singleShot(0, [&]() { refused = !window().close(); });
            }
            if (stage == closeAt)
                QTimer::singleShot(0, [&]() { window().close(); });
        };
        // The program's event loop, which the accepted close ends.
        QTimer::singleShot(0, [this]() { QTest::mouseClick(probe().ui().updateLabel, Qt::LeftButton); });
        QTimer stuck;
        QObject::connect(&stuck, &QTimer::timeout, [] { QApplication::exit(1); });
        stuck.start(120000);
        int status = -1;
        QStringList boxes;
        for (const auto &seen : withModals({}, [&]() { status = QApplication::exec(); }))
            boxes << seen.text;
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(refused);
        EXPECT_EQ(boxes, (QStringList{kInfoBox, kBusyBox}));
        EXPECT_FALSE(window().isVisible());
        EXPECT_EQ(count("Main Thread", "Close refused: an update is running."), 1);
        EXPECT_EQ(entries("Main Thread").back(), "Update stopped: the updater was closed.");
        EXPECT_EQ(count("Main Thread", "not connected and not updating"), closeAt == "wait" ? 1 : 0);
        EXPECT_TRUE(tempFilesGone());
        closeWindow();
        EXPECT_EQ(logEntries().mid(logEntries().size() - 3),
                  (QStringList{" Thread 1: Abort.", " Thread 2: Abort.", " Main Thread: *** Updater Closed ***"}));
    }
}

TEST_F(UpdateTest, GuiThreadSleepsThroughAWholeUpdate)
{
    restart(500); // the product's own tick
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = threadCpuMs();
    EXPECT_EQ(update(), (QStringList{kInfoBox, kSuccessBox}));
    const double cpu = threadCpuMs() - cpuBefore, share = cpu / static_cast<double>(wall.elapsed());
    std::printf("GUI thread: %.0f ms of CPU over %lld ms of update (%.1f %%)\n", cpu, wall.elapsed(), 100 * share);
    expectEnded(true);
    // Waiting by spinning the event loop keeps a core busy (a share near 1).
    // The window sleeps between events: about 2 % here with the sanitizers,
    // so the bound leaves room for a loaded machine.
    EXPECT_LT(share, 0.10);
}

} // namespace
} // namespace apptest
