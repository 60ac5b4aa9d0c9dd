// The window and its workers on the real USB path: the system's hidapi,
// libudev and sysfs, the surface behind an emulated /dev/hidraw0. The fault
// matrix lives on the simulated bus; these cases prove the library path. The
// presence check ticks every 50 ms, so the pause after the first stage (20
// ticks) lasts a second.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cstring>
#include <functional>

#include "cyacd_gen.h"
#include "file_override.h"
#include "hidraw_testbed.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "ui_mainwindow.h"
#include "window_probe.h"

using namespace std::chrono_literals;

namespace {

using vireon::testbed::HidrawTestbed;
namespace tools = vireon::tools;

const QString kInfoBox = "Do not manually disconnect Vireon Surface from USB during update process.\nYou may hear a "
                         "disconnect system sound. Please leave it physically connected.\nTotal process will take "
                         "approximately 90 seconds.\n";

std::vector<tools::ImageSpec> images() { return tools::twoChipImages(4, 64); }

// Runs `action` and answers each modal it opens: a file dialog takes
// `file`, a box is closed with OK. Returns the boxes' texts.
QStringList withModals(const QString &file, const std::function<void()> &action)
{
    QStringList texts;
    const vireon::demo::ModalAnswerer answerer([&file] { return file; }, [&texts](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            texts << box->text();
    });
    action();
    return texts;
}

class RealPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && QDir::setCurrent(dir.path()));
        bed = std::make_unique<HidrawTestbed>(tools::targetsFor(images()));
        window = std::make_unique<MainWindow>();
        window->show();
        probe().presenceTimer()->setInterval(50);
        const std::string file = QFile::encodeName(dir.filePath("surface.cyacd")).toStdString();
        ASSERT_TRUE(tools::writeFile(file, images()));
        withModals(dir.filePath("surface.cyacd"), [this] { QTest::mouseClick(probe().ui().browseFileLabel, Qt::LeftButton); });
    }
    void TearDown() override
    {
        window.reset(); // every handle is closed before the testbed goes
        bed.reset();
        QDir::setCurrent(previous);
    }
    MainWindowProbe probe() { return MainWindowProbe{*window}; }
    // Presses UPDATE, which a presence check offers at once, and answers
    // every box.
    QStringList update()
    {
        probe().doHID(); // no worker runs yet
        EXPECT_TRUE(probe().updateEnabled());
        const QStringList boxes = withModals({}, [this] { QTest::mouseClick(probe().ui().updateLabel, Qt::LeftButton); });
        EXPECT_TRUE(probe().idle());
        EXPECT_FALSE(QFileInfo::exists("vireonTemp1.txt") || QFileInfo::exists("vireonTemp2.txt"));
        return boxes;
    }
    // One writer's log entries ("Thread 1"), without time stamps.
    static QStringList entries(const QString &writer)
    {
        QFile log("log.txt");
        log.open(QIODevice::ReadOnly | QIODevice::Text);
        const QRegularExpression line("^\\d\\d:\\d\\d:\\d\\d[ap]m " + writer + ": (.*)$");
        QStringList out;
        for (const QString &text : QString::fromLocal8Bit(log.readAll()).split('\n'))
            if (const auto match = line.match(text); match.hasMatch())
                out << match.captured(1).replace(QRegularExpression("^Handle: 0x[0-9a-f]+$"), "Handle: <pointer>");
        return out;
    }
    bool chipHolds(size_t chip)
    {
        auto lock = bed->lock();
        return bed->device().flash(chip) == tools::imageRows(images()[chip]);
    }

    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    std::unique_ptr<HidrawTestbed> bed;
    std::unique_ptr<MainWindow> window;
};

TEST_F(RealPathTest, PresenceFollowsPlugAndUnplug)
{
    // With a file chosen, UPDATE is offered while the surface is there.
    const auto shows = [this](const char *word, bool present) {
        return QTest::qWaitFor([&] {
            const MainWindowProbe p = probe();
            return p.statusString() == word && p.connectedFlag() == int(present) && p.updateEnabled() == present &&
                   p.ui().updateLabel->isEnabled() == present;
        }, 30000);
    };
    EXPECT_TRUE(shows("CONNECTED", true));
    bed->unplug();
    EXPECT_TRUE(shows("DISCONNECTED", false));
    bed->plug();
    EXPECT_TRUE(shows("CONNECTED", true));
}

TEST_F(RealPathTest, WholeUpdateProgramsBothChips)
{
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update complete."}));
    EXPECT_TRUE(chipHolds(0));
    EXPECT_TRUE(chipHolds(1));
    for (int n : {1, 2}) {
        const QStringList run{"Abort.", "Work Requested.", "Work Started.", "Handle: <pointer>",
                              "HID error (NULL if none): Success",
                              "Temporary filepath: " + dir.filePath(QString("vireonTemp%1.txt").arg(n)), "Programming...",
                              n == 1 ? "Firmware update 1 complete. Result = 0. errorFlag==0"
                                     : "Firmware update 2 complete. Result: 0. errorFlag==0",
                              "Abort."};
        EXPECT_EQ(entries(QString("Thread %1").arg(n)), run);
    }
}

// An update stopped between its images leaves the surface in its second
// chip's bootloader: the window meets that chip, waits for the restart its
// exit command begins and programs both chips, on the first press of UPDATE
// every time.
TEST_F(RealPathTest, ASurfaceLeftInItsSecondChipIsUpdatedOnTheFirstTryEveryTime)
{
    int updated = 0;
    for (int run = 0; run < 20; ++run) {
        ASSERT_TRUE(bed->waitPlugged(true, 5s));
        {
            auto lock = bed->lock();
            bed->device().clearFlash(0);
            bed->device().clearFlash(1);
            if (bed->device().currentTarget() == 0)
                bed->device().restart(); // the second chip has the bus
        }
        if (run > 0) // a success forgets the file
            withModals(dir.filePath("surface.cyacd"),
                       [this] { QTest::mouseClick(probe().ui().browseFileLabel, Qt::LeftButton); });
        // The last run ended as the surface left the bus to restart: UPDATE
        // is offered once it is back.
        ASSERT_TRUE(QTest::qWaitFor([this] {
            probe().doHID();
            return probe().updateEnabled();
        }, 30000));
        const QStringList boxes = update();
        EXPECT_EQ(boxes, (QStringList{kInfoBox, "Firmware update complete."})) << "run " << run;
        updated += boxes.value(1) == "Firmware update complete." && chipHolds(0) && chipHolds(1);
    }
    EXPECT_EQ(updated, 20);
}

TEST_F(RealPathTest, UnplugInTheMiddleOfEachStageEndsInFailure)
{
    bed->unplugAt(0, 5);
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 1 failed.\nPlease restart the application and try again."}));
    EXPECT_TRUE(bed->waitPlugged(false, 30s));

    // Plugged back in, it fails again in the second stage and stays away.
    // That stage's worker gives up on opens after 300 ms (the product waits
    // 20 s), each of its five tries.
    bed->plug();
    bed->unplugAt(1, 5);
    probe().useWorker2(300ms);
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Firmware update 2 failed"}));
    EXPECT_TRUE(chipHolds(0));
    EXPECT_FALSE(chipHolds(1));
}

TEST_F(RealPathTest, RefusedOpenEndsTheFirstStageWithTheReasonInTheLog)
{
    bed->denyAccess(true);
    vireon::testbed::WithoutFileOverride user; // the workers' threads start without it too
    EXPECT_EQ(update(), (QStringList{kInfoBox, "Could not open device. Check permissions.\nPlease try again.\n"}));
    const QStringList worker = entries("Thread 1");
    EXPECT_EQ(worker.count("No Handle: "), 6);
    const QString reason = "HID error: Failed to open a device with path '/dev/hidraw0': " + QString(std::strerror(EACCES));
    EXPECT_EQ(worker.count(reason), 6) << worker.join('\n').toStdString();
    EXPECT_EQ(worker.filter("Install the udev rule /usr/lib/udev/rules.d/70-vireon-surface.rules").size(), 6);
}

} // namespace
