// The whole two-stage update, end to end: the real window pressed as a user
// presses it, real image files, the real workers on their threads and the
// simulated surface behind hidapi. The presence check ticks every 50 ms (but
// in the CPU test), so the pause after the first stage (20 ticks) lasts a
// second.
#include "app_fixture.h"

#include <QAbstractButton>
#include <QDynamicPropertyChangeEvent>

#include <cstdio>

namespace apptest {
namespace {

const QString kInfoBox = "Do not manually disconnect Vireon Surface from USB during update process.\nYou may hear a "
                         "disconnect system sound. Please leave it physically connected.\nTotal process will take "
                         "approximately 90 seconds.\n";
const QString kSuccessBox = "Firmware update complete.";
const QString kFirstFailedBox = "Firmware update 1 failed.\nPlease restart the application and try again.";
const QString kBusyBox = "An update is running.\nPlease wait until it has finished before closing the updater.";
const QString kStopBox = "The first part of the update is done; the second part has not started yet.\n"
                         "Stop the update and close the updater?";

// Also the window's event filter: it calls onStage as the run enters each
// stage, and keeps the UPDATE picture shown as the run's end begins.
class UpdateTest : public WindowTest, public QObject {
protected:
    // A window with the surface on the bus and a good file chosen. Again
    // after a run: a fresh bus and surface, the file chosen again, an empty
    // log.
    void SetUp() override
    {
        WindowTest::SetUp();
        QFile::remove("log.txt");
        surface = attachSurface();
        window().show();
        window().installEventFilter(this);
        probe().ui().browseFileLabel->installEventFilter(this);
        probe().presenceTimer()->setInterval(50);
        choose(goodFile());
        probe().doHID();
        ASSERT_TRUE(probe().updateEnabled());
    }
    void replug() { SetUp(); }
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange && object == probe().ui().browseFileLabel)
            browseEnabled += probe().ui().browseFileLabel->isEnabled() ? 1 : 0;
        auto *change = dynamic_cast<QDynamicPropertyChangeEvent *>(event);
        if (change == nullptr || change->propertyName() != "updateStage")
            return false;
        const QString stage = object->property("updateStage").toString();
        if (stage == "ending")
            updateAtEnd = shown(probe().ui().updateLabel);
        onStage(stage);
        return false;
    }
    // Runs `action` (by default: presses UPDATE, which runs the whole
    // update) with every box closed with OK; returns the boxes' texts and
    // keeps the reasons beneath them in `reasons`.
    QStringList update(std::function<void()> action = {})
    {
        QStringList texts;
        reasons.clear();
        auto press = [this]() { QTest::mouseClick(probe().ui().updateLabel, Qt::LeftButton); };
        for (const auto &seen : withModals({}, action ? action : press)) {
            texts << seen.text;
            reasons << seen.info;
        }
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
    static QStringList entries(const QString &writer)
    {
        const QRegularExpression tag("^ " + writer + ": ");
        const QRegularExpression handle("^Handle: 0x[0-9a-f]+$");
        return logEntries().filter(tag).replaceInStrings(tag, QString()).replaceInStrings(handle, "Handle: <pointer>");
    }
    static int count(const QString &writer, const QString &entry) { return entries(writer).count(entry); }
    // Every end leaves the window idle, its temporary files deleted, no run
    // going on and no handle open; a success leaves both chips holding the file.
    void expectEnded(bool success)
    {
        const MainWindowProbe p = probe();
        EXPECT_EQ(window().property("updateStage").toString(), "idle");
        EXPECT_FALSE(p.updating());
        EXPECT_EQ(p.ui().progressBar->value(), 0);
        EXPECT_FALSE(p.ui().progressBar->isEnabled());
        EXPECT_TRUE(p.ui().browseFileLabel->isEnabled());
        EXPECT_EQ(shown(p.ui().browseFileLabel), p.browseUp().cacheKey());
        EXPECT_EQ(updateAtEnd, (success ? p.updateGreenUp() : p.updateRedUp()).cacheKey());
        EXPECT_FALSE(QFileInfo::exists(path("vireonTemp1.txt")) || QFileInfo::exists(path("vireonTemp2.txt")));
        EXPECT_TRUE(p.thread(1)->wait(60000) && p.thread(2)->wait(60000)); // no run goes on
        EXPECT_EQ(surface->openHandles(), 0);
        auto lock = surface->lock();
        for (size_t chip = 0; success && chip < 2; ++chip)
            EXPECT_TRUE(surface->device().flash(uint8_t(chip)) == vireon::tools::imageRows(images()[chip])) << chip;
    }

    std::shared_ptr<sim::Surface> surface;
    std::function<void(const QString &)> onStage = [](const QString &) {};
    qint64 updateAtEnd = 0;
    std::unique_lock<std::mutex> held;
    QStringList reasons;   // the informative texts of the last update's boxes
    int browseEnabled = 0; // times the browse dot was enabled

};

// (The GUI thread's share of a core over the update, which waiting by
// spinning the event loop would drive near 1, is measured by the
// walk-through: bench_cli's BM_WindowUpdate reports it.)
TEST_F(UpdateTest, SuccessProgramsBothChipsLogsEveryStepHoldsTheCeilings)
{
    probe().presenceTimer()->setInterval(500); // the product's own tick
    // Each stage's wait is held where its ceiling shows: the count is pushed
    // far up as the stage begins and must come down to the ceiling.
    std::map<QString, int> most; // the highest value the bar showed in each stage
    QString stage;
    QObject::connect(probe().ui().progressBar, &QProgressBar::valueChanged,
                     [&](int value) { most[stage] = std::max(most[stage], value); });
    onStage = [&](const QString &next) {
        stage = next;
        if (next == "first stage" || next == "second stage")
            holdOpen();
        if (next == "first stage" || next == "wait" || next == "second stage")
            probe().progressCount() = 1000;
    };
    EXPECT_EQ(update(), (QStringList{kInfoBox, kSuccessBox}));
    expectEnded(true);
    EXPECT_EQ(probe().selectedFilePath(), nullptr);
    EXPECT_EQ(probe().ui().fileNameLabel->pixmap(Qt::ReturnByValue).size(), QSize(291, 27)); // the empty panel
    EXPECT_LE(most["pause"], 85);
    most.erase("pause");
    EXPECT_EQ(most, (std::map<QString, int>{{"first stage", 50}, {"wait", 85}, {"second stage", 95}, {"ending", 100}}));

    QStringList main{"Beginning update process...",
                     // the pre-flight check at UPDATE
                     "Signature check: The file carries no signature (no surface.cyacd.minisig beside it); it is used "
                     "unsigned.",
                     "Programming first file...", "Firmware Update 1 success. errorFlag==0"};
    for (int left = 19; left >= 0; --left)
        main << QString("Waiting %1").arg(left);
    main << "Q_OS_WIN" << "ConnectedFlag: 1" << "Waiting for SPI..." << "ConnectedFlag: 1"
         << "Number of times through waiting while loop: <n>"
         << "Number of Second File programming attempts at top of programfile2: 0" << "Programming second file..."
         << "Number of Second File programming attempts at end of programfile2: 1"
         << "Firmware update 2 success. errorFlag==0" << "Number of program attempts: 1" << "Firmware Update Complete."
         << "Result: both images programmed.";
    QStringList logged = entries("Main Thread").replaceInStrings(QRegularExpression("loop: \\d+$"), "loop: <n>");
    EXPECT_EQ(logged.mid(logged.indexOf(main[0])), main);
    for (int n : {1, 2}) {
        const QStringList run{"Abort.", "Work Requested.", "Work Started.", "Handle: <pointer>",
                              "HID error (NULL if none): Success",
                              "Temporary filepath: " + path(QString("vireonTemp%1.txt").arg(n)), "Programming...",
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

// Two runs in one window, the second starting afresh after the first one's end.
TEST_F(UpdateTest, FirstStageFailuresWarnAndTheNextRunSplitsTheFileAgain)
{
    // The device cannot be opened: six attempts, then a warning.
    surface->addFault({sim::Fault::OpenRefused, 0, 1 << 30});
    browseEnabled = 0;
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Could not open device. Check permissions.\nPlease try again.\n"}));
    expectEnded(false);
    EXPECT_EQ(browseEnabled, 1); // at the end only: never between the retries
    EXPECT_TRUE(reasons.back().contains("Install the udev rule")) << reasons.back().toStdString(); // the box says why
    EXPECT_EQ(count("Main Thread", "Beginning update process..."), 6);
    EXPECT_EQ(count("Main Thread", "errorFlag==1 "), 6);
    EXPECT_EQ(count("Main Thread", "Could not open device. Trying again... "), 5);
    EXPECT_EQ(count("Thread 1", "No Handle: "), 6);
    EXPECT_EQ(entries("Main Thread").mid(entries("Main Thread").size() - 2),
              (QStringList{"Could not open device. Tried 5 times. Check Permissions. errorFlag==1.",
                           "Result: not started: the surface could not be opened; nothing was written."}));

    // The file stayed chosen, or the next run would not start. Its first
    // chip is not the file's: the result line and its message line. The
    // temporary images the last run deleted are split again.
    surface->clearFaults();
    surface->device().target(0).siliconId ^= 0x100; // no worker runs: no lock needed
    QFile::remove("log.txt");
    probe().doHID();
    EXPECT_EQ(update(), (QStringList{kInfoBox, kFirstFailedBox}));
    expectEnded(false);
    const QString wrongChip = "The surface's chip is not the one image 1 is for (it answered silicon id 0x56530101, "
                              "image 1 is for 0x56530001): the file is not for this surface.";
    EXPECT_EQ(reasons.back(), wrongChip + "\nUse the firmware file made for this surface.");
    EXPECT_EQ(entries("Main Thread").value(1), "Temporary files missing. Splitting the chosen file again.");
    const QStringList failed{"Programming...", "Firmware update 1 failed. Result = 6. errorFlag==2",
                             "The expected device does not match the detected device.", wrongChip};
    EXPECT_EQ(entries("Thread 1").mid(6), failed);
    EXPECT_EQ(entries("Main Thread").mid(entries("Main Thread").size() - 2),
              (QStringList{"Firmware Update 1 Failed. errorFlag==2",
                           "Result: failed in image 1; nothing was written: the file is not for this surface."}));
}

TEST_F(UpdateTest, TemporaryImagesAreCheckedAgainWhenARunStartsAndARefusalProgramsNothing)
{
    const QString refusedBox = "surface.cyacd cannot be used to update the surface.\n%1\n"
                               "Please choose the surface's firmware file again.";
    // Image 2 cut to its header and one row after the choice.
    QFile cut(path("vireonTemp2.txt"));
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite) && cut.resize(image(1).section('\n', 0, 1).size() + 1));
    const QString changed = "Image 2 in " + path("vireonTemp2.txt") + " has changed since the file was chosen.";
    EXPECT_EQ(update(), QStringList{refusedBox.arg(changed)});
    // The file that vanished before the images are split again.
    replug();
    ASSERT_TRUE(QFile::remove(path("vireonTemp1.txt")) && QFile::remove(path("surface.cyacd")));
    EXPECT_EQ(update(), QStringList{refusedBox.arg("The chosen file can no longer be read (No such file or directory).")});
    EXPECT_TRUE(entries("Main Thread").contains("Firmware file check failed: The chosen file can no longer be read (No such file or directory)."));

    for (const char *entry : {"Beginning update process...", "The chosen file is not usable any more. Update not started."})
        EXPECT_EQ(count("Main Thread", entry), 1) << entry;
    EXPECT_EQ(surface->exchanges(), 0);
    EXPECT_EQ(entries("Thread 1"), QStringList{});
    EXPECT_FALSE(QFileInfo::exists(path("vireonTemp1.txt")) || QFileInfo::exists(path("vireonTemp2.txt")));
    EXPECT_EQ(probe().selectedFilePath(), nullptr);
    EXPECT_FALSE(probe().updateEnabled());
}

// A surface back from its restart may refuse opens until the system has
// given its new node this user's access: the second stage keeps trying
// within the settle time, in one run of its worker.
TEST_F(UpdateTest, ASurfaceBackFromItsRestartIsGivenTimeToSettleBeforeImage2)
{
    onStage = [&](const QString &stage) {
        if (stage == "pause")
            surface->addFault({sim::Fault::OpenRefused, 0, 3});
    };
    const int opensBefore = surface->opens();
    EXPECT_EQ(update(), (QStringList{kInfoBox, kSuccessBox}));
    expectEnded(true);
    EXPECT_EQ(count("Main Thread", "ConnectedFlag: 1"), 2);
    EXPECT_EQ(count("Thread 2", "Errorflag==1. No handle: "), 0);
    EXPECT_EQ(count("Thread 2", "Work Started."), 1);
    EXPECT_EQ(surface->opens() - opensBefore, 2) << "one open a stage once the refusals were spent";
    EXPECT_EQ(count("Main Thread", "Number of Second File programming attempts at end of programfile2: 1"), 1);
}

// A restart leaves the bus: a surface still on it after image 1's exit
// command did not restart into its second chip, and image 2 goes nowhere.
TEST_F(UpdateTest, ASurfaceThatStaysOnTheBusAfterImage1StopsBeforeImage2)
{
    const ShortRestartAllowance quick(1s);
    sim::Fault stays{sim::Fault::NeverLeaves};
    stays.chip = 0;
    surface->addFault(stays);
    EXPECT_EQ(update(), (QStringList{kInfoBox, "The Vireon Surface did not restart after its first update stage.\n"
                                               "Unplug it, plug it back in and run the update again."}));
    expectEnded(false);
    EXPECT_EQ(reasons.back(), "The surface stayed on the bus for 1 s after image 1: it did not restart into its second "
                              "chip.\nUnplug the surface, plug it in again and run the update again.");
    EXPECT_EQ(entries("Thread 2"), QStringList{});
    EXPECT_EQ(logEntries().back(), " Main Thread: Result: image 1 programmed; the surface did not restart into its "
                                   "second chip; re-plug it and run the update again.");
}

// Image 1's exit command lost on its way, and the first chip then answering
// as the second (forged, or a chip that lies): image 2 never goes to it,
// since a surface that did not leave the bus did not restart.
TEST_F(UpdateTest, AFirstChipThatStaysOnAndAnswersAsTheSecondIsNeverGivenImage2)
{
    const ShortRestartAllowance quick(1s);
    int image1 = 0; // the exchanges of image 1 on a clean surface
    {
        update();
        auto lock = surface->lock();
        for (const auto &request : surface->device().received())
            image1 += request.target == 0 ? 1 : 0;
    }
    replug();
    sim::Fault lost{sim::Fault::Dropped};
    lost.chip = 0;
    lost.atExit = true;
    sim::Fault forged{sim::Fault::ForgedIdentity};
    forged.exchange = image1 + 1;
    surface->addFault(lost);
    surface->addFault(forged);
    EXPECT_EQ(update(), (QStringList{kInfoBox, "The Vireon Surface did not restart after its first update stage.\n"
                                               "Unplug it, plug it back in and run the update again."}));
    expectEnded(false);
    EXPECT_EQ(entries("Thread 2"), QStringList{});
    auto lock = surface->lock();
    EXPECT_TRUE(surface->device().flash(0) == vireon::tools::imageRows(images()[0]));
    EXPECT_TRUE(surface->device().flash(1).empty());
}

TEST_F(UpdateTest, SecondStageFailuresAreRetriedFiveTimesCountedPerRun)
{
    surface->device().target(1).siliconId ^= 0x100; // no worker runs: no lock needed
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 2 failed"}));
    expectEnded(false);
    EXPECT_EQ(count("Thread 2", "Firmware update 2 failed. Result: 6. errorFlag==2"), 6);
    // Each retry is a call of its own: the count goes up at every top and
    // stays at 5 as the calls return.
    QStringList attempts;
    for (int n = 0; n < 12; ++n)
        attempts << QString("Number of Second File programming attempts at %1 of programfile2: %2").arg(n < 6 ? "top" : "end").arg(std::min(n, 5));
    EXPECT_EQ(entries("Main Thread").filter("programfile2"), attempts);
    const QStringList end{"Firmware update 2 failed. errorFlag==2", "Number of program attempts: 1", "Firmware Update Complete.",
                          "Result: failed in image 2; the surface holds image 1 only; run the update again."};
    EXPECT_EQ(entries("Main Thread").mid(entries("Main Thread").size() - 4), end);
    // Every other try met the first chip (a failed try's exit command hands
    // it the bus): the box gives the cause that stopped the run, not that echo.
    EXPECT_EQ(reasons.back(), "The surface's chip is not the one image 2 is for (it answered silicon id 0x56530102, "
                              "image 2 is for 0x56530002): the file is not for this surface.\nUse the firmware file "
                              "made for this surface.");

    // The count starts again with each run: the next surface in a row gets
    // its retries too.
    replug();
    surface->device().target(1).siliconId ^= 0x100;
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 2 failed"}));
    EXPECT_EQ(entries("Main Thread").filter("programfile2"), attempts);
}

TEST_F(UpdateTest, SecondStageNeverReachedOrUnpluggedEndsInFailure)
{
    // The surface never comes back from its first stage's restart.
    probe().deviceReturnLimit() = 1500ms;
    surface->addFault({sim::Fault::NeverReturns});
    EXPECT_EQ(update(), (QStringList{kInfoBox, "The Vireon Surface did not come back after its first update stage.\n"
                                               "Unplug it, plug it back in and run the update again."}));
    expectEnded(false);
    const QStringList main = entries("Main Thread");
    const QStringList end{"Waiting for SPI...",
                          "The surface did not come back within 1.5 s after the first stage. Update stopped.",
                          "Number of program attempts: 1", "Firmware Update Complete.",
                          "Result: image 1 programmed; the surface did not come back for image 2; re-plug it and run "
                          "the update again."};
    EXPECT_EQ(main.mid(main.indexOf("Waiting for SPI...")), end);
    EXPECT_EQ(entries("Thread 2"), QStringList{});
    EXPECT_EQ(probe().selectedFilePath(), nullptr); // no surface: the file must be chosen again

    // Unplugged for good at the fifth report of the second stage, on a
    // fresh surface. Its worker gives up on opens after 300 ms (the product
    // waits 20 s), and the window does not make it wait that long again.
    replug();
    probe().useWorker2(300ms);
    onStage = [&](const QString &stage) {
        if (stage == "pause")
            surface->addFault({sim::Fault::UnplugAt, surface->exchanges() + 5});
    };
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 2 failed"}));
    expectEnded(false);
    EXPECT_EQ(count("Main Thread", "worker2 errorFlag==1 "), 1);
    EXPECT_EQ(reasons.back(), "The surface /dev/hidraw0 (no serial number) is no longer attached.\nPlug the surface in "
                              "and run the update again.");
    EXPECT_TRUE(entries("Main Thread").contains("Firmware update 2 failed. Could not open device. errorFlag==1"));
    EXPECT_EQ(probe().selectedFilePath(), nullptr);
}

// The bytes programmed are the bytes checked: another valid image for chip 2
// put at vireonTemp2.txt in the pause between the stages, by rename or
// written into the file itself, is never programmed and the run never says
// complete.
TEST_F(UpdateTest, ImageTwoChangedInThePauseIsNotProgrammedAndTheRunFails)
{
    const vireon::tools::ImageSpec other = vireon::tools::twoChipImages(4, 64, 2)[1];
    const QString otherText = QString::fromStdString(vireon::tools::imageText(other));
    const QString temp2 = path("vireonTemp2.txt");
    const struct {
        const char *how;
        std::function<void()> change;
        QString reason;
    } cases[] = {
        {"replaced by rename",
         [&] { ASSERT_EQ(::rename(QFile::encodeName(write("swap.txt", otherText)), QFile::encodeName(temp2)), 0); },
         temp2 + " was replaced or removed after the file was checked: image 2 is not the one checked."},
        {"written in place",
         [&] {
             QFile file(temp2);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(otherText.toUtf8()) > 0);
         },
         "Image 2 in " + temp2 + " has changed since the file was chosen."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.how);
        replug();
        onStage = [&](const QString &stage) {
            if (stage == "pause")
                c.change();
        };
        EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 2 failed"}));
        EXPECT_EQ(reasons.back(), c.reason + "\nLeave vireonTemp1.txt and vireonTemp2.txt alone while the update runs, "
                                             "then choose the file again.");
        EXPECT_TRUE(entries("Main Thread").contains("Firmware file check failed: " + c.reason));
        EXPECT_FALSE(entries("Main Thread").contains("Firmware update 2 success. errorFlag==0"));
        EXPECT_EQ(window().property("updateStage").toString(), "idle");
        auto lock = surface->lock();
        EXPECT_FALSE(surface->device().flash(1) == vireon::tools::imageRows(other));
        EXPECT_TRUE(surface->device().flash(0) == vireon::tools::imageRows(images()[0]));
    }
}

// Image 1 written over in vireonTemp1.txt itself as its stage begins, after
// the last check: the host reads the bytes checked, so the other image never
// reaches the surface, and the run does not say complete.
TEST_F(UpdateTest, ImageOneRewrittenInPlaceAsItsStageBeginsNeverReachesTheSurface)
{
    const vireon::tools::ImageSpec other = vireon::tools::twoChipImages(4, 64, 2)[0];
    onStage = [&](const QString &stage) {
        if (stage != "first stage")
            return;
        QFile file(path("vireonTemp1.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(vireon::tools::imageText(other).c_str()) > 0);
    };
    EXPECT_FALSE(update().contains(kSuccessBox));
    EXPECT_TRUE(entries("Main Thread").contains("Firmware file check failed: Image 1 in " + path("vireonTemp1.txt") +
                                                " has changed since the file was chosen."));
    auto lock = surface->lock();
    EXPECT_FALSE(surface->device().flash(0) == vireon::tools::imageRows(other));
    EXPECT_TRUE(surface->device().flash(0) == vireon::tools::imageRows(images()[0]));
}

// The box follows the promise: a transport fault ends in a failure box, and a
// success box comes only when both chips hold the file.
TEST_F(UpdateTest, TransportFaultsEndInAFailureBoxAndACleanRetryProgramsBothChips)
{
    // Every answer of the second stage corrupted, so that its retries fail too.
    int lastRow = 0; // the exchange that programs the first stage's last row
    onStage = [&](const QString &stage) {
        if (stage != "pause")
            return;
        auto lock = surface->lock();
        const auto &received = surface->device().received();
        for (size_t k = 0; k < received.size(); ++k)
            if (received[k].command == sim::command::ProgramRow)
                lastRow = int(k) + 1;
        for (int k = 1; k <= 400; ++k)
            surface->addFault({sim::Fault::Garbled, surface->exchanges() + k, 1, size_t(k % 7), 0x01});
    };
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 2 failed"}));
    expectEnded(false);
    ASSERT_GT(lastRow, 0);
    // An answer cut short at the first stage's last row; unplugged for good
    // at its fifth report. (A failed run restarts the surface into its other
    // chip: a fresh one is plugged in for each run.)
    onStage = [](const QString &) {};
    for (const sim::Fault &fault : {sim::Fault{sim::Fault::Truncated, lastRow, 1, 0, 0, 3}, sim::Fault{sim::Fault::UnplugAt, 5}}) {
        replug();
        surface->addFault(fault);
        EXPECT_EQ(update(), (QStringList{kInfoBox, kFirstFailedBox}));
        expectEnded(false);
    }
    EXPECT_EQ(reasons.back(), "The transfer to the surface failed: the surface was unplugged. It stopped at row 0 of "
                              "image 1 (verify row), exchange 5.\nKeep the surface plugged in and check its cable; the "
                              "surface may hold a partial image: run the update again, which mends it.");
    replug();
    EXPECT_EQ(update(), (QStringList{kInfoBox, kSuccessBox}));
    expectEnded(true); // both chips hold the file
}

// Two corrupted answers: the second stage's first row check, then, on its
// retry (the failed try's exit command hands the bus to the first chip),
// the first chip's identity made to read as the second chip's. The
// transport checks each answer's checksum: the run ends in a failure box or
// a clean retry, and the first chip never holds image 2.
TEST_F(UpdateTest, TwoCorruptedAnswersNeverPutImage2IntoTheFirstChip)
{
    const uint32_t chipsDiffer = images()[0].siliconId ^ images()[1].siliconId;
    onStage = [&](const QString &stage) {
        if (stage != "pause")
            return;
        sim::Fault verifyAnswer{sim::Fault::Garbled, 5, 1, 4, 0x01};
        verifyAnswer.chip = 1;
        surface->addFault(verifyAnswer);
        for (size_t byte = 0; byte < 4; ++byte) {
            sim::Fault identity{sim::Fault::Garbled, 1, 1, 4 + byte, uint8_t(chipsDiffer >> (8 * byte))};
            identity.chip = 0;
            if (identity.xorMask != 0)
                surface->addFault(identity);
        }
    };
    const QStringList boxes = update();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes.back(), kSuccessBox) << "the retries mend it";
    expectEnded(true);
    EXPECT_EQ(count("Thread 2", "The transfer to the surface failed: the surface's answer had a wrong checksum. It "
                                "stopped at row 0 of image 2 (verify row), exchange 5."),
              1);
    EXPECT_EQ(count("Thread 2", "The transfer to the surface failed: the surface's answer had a wrong checksum. It "
                                "stopped at exchange 1 of image 2 (enter bootloader)."),
              1);
}

// An update stopped between its images leaves the surface in its second
// chip's bootloader: the first stage says so, waits for the restart that
// its exit command causes and tries again within the retry limit.
TEST_F(UpdateTest, AFirstStageThatMeetsTheSecondChipWaitsForItsRestartAndTriesAgain)
{
    {
        auto lock = surface->lock();
        surface->device().restart(); // the second chip has the bus
    }
    EXPECT_EQ(update(), (QStringList{kInfoBox, kSuccessBox}));
    expectEnded(true);
    const QString reason = "The surface answered as its second chip: it still runs the second chip's bootloader "
                           "from an unfinished update.";
    EXPECT_EQ(count("Thread 1", reason), 1);
    EXPECT_EQ(count("Main Thread", reason + " Waiting for it to restart and trying again."), 1);
    EXPECT_EQ(logEntries().back(), " Main Thread: Result: both images programmed.");
}

TEST_F(UpdateTest, ClosingIsRefusedWhileProgrammingAndAskedAboutBetweenTheStages)
{
    // Between the stages the user is asked: stopping ends the run in the
    // pause or in the wait, continuing (the default) lets it finish.
    for (const QString closeAt : {"pause", "wait", "continue"}) {
        SCOPED_TRACE(closeAt.toStdString());
        // The last iteration's window was closed. A surface that never comes
        // back keeps the wait going until the close.
        replug();
        const bool stop = closeAt != "continue";
        if (stop)
            surface->addFault({sim::Fault::NeverReturns});
        bool refused = false;
        QString refusedBox;
        onStage = [&](const QString &stage) {
            if (stage == "first stage") {
                holdOpen(); // the close comes while the window waits for the worker
                QTimer::singleShot(0, [&]() {
                    refused = !window().close();
                    // The refusal does not hold the update up: close() is back,
                    // its box still open. (It may stay open until the end.)
                    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                        refusedBox = box->text();
                });
            }
            if (stage == (stop ? closeAt : "pause") || (stage == "idle" && !stop))
                QTimer::singleShot(0, [&]() { window().close(); });
        };
        answerBox = [&](QMessageBox *box) {
            for (QAbstractButton *button : box->buttons())
                if (stop && button->text() == "Stop and close")
                    button->click();
        };
        // The program's event loop, which the accepted close ends.
        QTimer::singleShot(0, [this]() { QTest::mouseClick(probe().ui().updateLabel, Qt::LeftButton); });
        QObject stuck;
        QTimer::singleShot(120000, &stuck, [] { QApplication::exit(1); });
        int status = -1;
        QStringList expected{kInfoBox, kStopBox};
        if (!stop)
            expected << kSuccessBox;
        QStringList boxes = update([&]() { status = QApplication::exec(); });
        boxes.removeAll(kBusyBox);
        EXPECT_EQ(boxes, expected);
        EXPECT_EQ(status, 0); // the window was closed, the last one
        EXPECT_TRUE(refused);
        EXPECT_EQ(refusedBox, kBusyBox);
        EXPECT_EQ(count("Main Thread", "Close refused: an update is running."), 1);
        if (!stop) {
            expectEnded(true);
            EXPECT_EQ(count("Main Thread", "Closing between the update's stages: the user chose to continue."), 1);
            continue;
        }
        // The stop is logged, and the closed run also stops the countdown:
        // no tick that comes before the program exits logs after it.
        EXPECT_EQ(count("Main Thread", "Closing between the update's stages: the user chose to stop. The surface keeps "
                                       "its first image only."), 1);
        EXPECT_EQ(entries("Main Thread").mid(entries("Main Thread").size() - 2),
                  (QStringList{"Update stopped: the updater was closed.",
                               "Result: stopped after image 1; the surface holds image 1 only; run the update again."}));
        // The entry ends its line, so the next one starts on its own.
        EXPECT_EQ(count("Main Thread", "not connected and not updating"), closeAt == "wait" ? 1 : 0);
        EXPECT_FALSE(QFileInfo::exists(path("vireonTemp1.txt")) || QFileInfo::exists(path("vireonTemp2.txt")));
        closeWindow();
        EXPECT_EQ(logEntries().mid(logEntries().size() - 3),
                  (QStringList{" Thread 1: Abort.", " Thread 2: Abort.", " Main Thread: *** Updater Closed ***"}));
    }
}

} // namespace
} // namespace apptest
