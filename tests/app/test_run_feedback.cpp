// What the window tells during and after whole updates on the simulated
// surface: the line under the progress bar (the real rows from the workers,
// the restart and the wait for the surface, the result) and what a screen
// reader is given of it; the success box and the pictures at the end; the
// box that refused a close, closed when its stage ends.
#include "app_fixture.h"

#include "stage_line.h"

#include <QAccessible>

namespace apptest {
namespace {

class RunFeedbackTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        surface = attachSurface();
        window().show();
        probe().presenceTimer()->setInterval(50); // the pause of 20 ticks lasts a second
        choose(goodFile());
        probe().doHID();
        ASSERT_TRUE(probe().updateEnabled());
        QObject::connect(line(), &vireon::app::StageLine::shown, [this](const QString &text) { texts << text; });
    }
    vireon::app::StageLine *line() { return window().findChild<vireon::app::StageLine *>("stageLine"); }
    // Presses UPDATE and closes every box with OK (but as answerBox says).
    std::vector<Seen> update()
    {
        const auto seen = withModals({}, [this]() { QTest::mouseClick(probe().ui().updateLabel, Qt::LeftButton); });
        EXPECT_TRUE(probe().idle());
        return seen;
    }
    // The texts shown that match `pattern`, each as its first captured number.
    QList<int> numbers(const QString &pattern) const
    {
        const QRegularExpression re('^' + pattern + '$');
        QList<int> out;
        for (const QString &text : texts)
            if (const auto match = re.match(text); match.hasMatch())
                out << match.captured(1).toInt();
        return out;
    }

    std::shared_ptr<sim::Surface> surface;
    QStringList texts;
};

TEST_F(RunFeedbackTest, ASuccessfulUpdateNamesEachImagesRowsTheRestartTheWaitAndTheResult)
{
    update();
    const int rows = images()[0].rowCount;
    for (int image : {1, 2}) {
        const QList<int> done = numbers(QString("Image %1: row (\\d+) of %2").arg(image).arg(rows));
        ASSERT_FALSE(done.isEmpty()) << image;
        EXPECT_EQ(done.first(), 0) << image;
        EXPECT_EQ(done.last(), rows) << "the workers' own count at the stage's end, image " << image;
        EXPECT_TRUE(std::is_sorted(done.begin(), done.end())) << image;
    }
    // The pause after image 1 counts down; the restart after image 2 may show
    // too, after the images' rows.
    const QList<int> restarting = numbers("The surface is restarting \\((\\d+) s\\)")
                                      .mid(0, texts.mid(0, texts.indexOf("Image 2: row 0 of 4"))
                                                  .filter(QRegularExpression("^The surface is restarting"))
                                                  .size());
    ASSERT_FALSE(restarting.isEmpty());
    EXPECT_EQ(restarting.first(), 10);
    EXPECT_EQ(restarting.last(), 0);
    EXPECT_TRUE(std::is_sorted(restarting.rbegin(), restarting.rend()));
    EXPECT_FALSE(numbers("Waiting for the surface to come back \\((\\d+) s\\)").isEmpty());
    // In this order, each stage once.
    const QStringList order{"Image 1: row 0 of 4", "The surface is restarting (10 s)",
                            "Waiting for the surface to come back (0 s)", "Image 2: row 0 of 4",
                            "Result: both images programmed."};
    for (int i = 1; i < order.size(); ++i)
        EXPECT_LT(texts.indexOf(order[i - 1]), texts.indexOf(order[i])) << order[i].toStdString();
    EXPECT_EQ(texts.last(), order.last());
    EXPECT_EQ(line()->text(), order.last()); // the result stays until the next run
}

// Before a run the line names what comes next, as the surface comes and goes
// and a file is chosen.
TEST_F(WindowTest, BeforeARunTheLineNamesTheNextStep)
{
    const auto line = [this] { return window().findChild<vireon::app::StageLine *>("stageLine")->wholeText(); };
    window().show();
    EXPECT_EQ(line(), "Connect the surface, then choose the firmware file.");
    auto surface = attachSurface();
    probe().doHID();
    EXPECT_EQ(line(), "Choose the firmware file.");
    choose(goodFile());
    EXPECT_EQ(line(), "Press UPDATE to program surface.cyacd.");
    sim::Bus::instance().detach(surface);
    probe().doHID();
    EXPECT_EQ(line(), "Connect the surface, then press UPDATE.");
}

// After a success the surface restarts into its new firmware: while it is
// off the bus the line says so, not that it must be connected.
TEST_F(RunFeedbackTest, AfterASuccessASurfaceStillRestartingIsToldAsRestarting)
{
    // A surface whose restart keeps it off the bus for a while.
    sim::Bus::instance().reset();
    sim::SurfaceOptions options;
    options.targets = vireon::tools::targetsFor(images());
    options.offBusAfterExit = 4s;
    surface = sim::Bus::instance().attach(options);
    probe().doHID();
    update();
    ASSERT_EQ(line()->wholeText(), "Result: both images programmed.");
    probe().doHID();
    ASSERT_FALSE(surface->onBus());
    choose(goodFile());
    EXPECT_EQ(line()->wholeText(), "The surface is restarting; press UPDATE once it is back.");
    ASSERT_TRUE(sim::Bus::instance().waitOnBus(surface, true, 10s));
    probe().doHID();
    EXPECT_EQ(line()->wholeText(), "Press UPDATE to program surface.cyacd.");
}

// After image 2 the surface restarts into its new firmware; while the run
// watches it leave the bus, the line says so. One that stays on is told to
// be re-plugged.
TEST_F(RunFeedbackTest, AfterImage2TheLineSaysTheSurfaceIsRestartingWhileTheRunWatchesIt)
{
    const ShortRestartAllowance quick(2s);
    sim::Fault stays{sim::Fault::NeverLeaves};
    stays.chip = 1; // the second chip's exit command is lost on its way
    surface->addFault(stays);
    update();
    const int lastRows = texts.lastIndexOf(QString("Image 2: row %1 of %1").arg(images()[1].rowCount));
    ASSERT_GE(lastRows, 0);
    const QStringList after = texts.mid(lastRows + 1);
    EXPECT_TRUE(after.contains("The surface is restarting (2 s)")) << after.join(" | ").toStdString();
    EXPECT_TRUE(after.last().contains("unplug and re-plug it")) << after.last().toStdString();
}

// The line's last words are the log's last line, word for word; one too long
// for the line goes on in a second line under it, whole, where a keyboard
// user reads it too (no tooltip needed).
TEST_F(RunFeedbackTest, EachEndSaysOnTheLineWhatTheLogsLastLineSays)
{
    struct Case {
        const char *name;
        std::function<void()> arrange;
        bool fits; // in one line
    };
    const std::vector<Case> cases{
        {"both images programmed", [] {}, true},
        {"image 1 for another chip", [this] { surface->device().target(0).siliconId ^= 0x100; }, true},
        {"the surface never returns",
         [this] {
             probe().deviceReturnLimit() = 1500ms;
             surface->addFault({sim::Fault::NeverReturns});
         },
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        update();
        const QString result = logEntries().back().remove(QRegularExpression("^ Main Thread: "));
        EXPECT_TRUE(result.startsWith("Result: ")) << result.toStdString();
        EXPECT_EQ(texts.value(texts.size() - 1), result);
        EXPECT_EQ(line()->wholeText(), result);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(line())->text(QAccessible::Name), result);
        EXPECT_EQ(line()->text(), result);
        EXPECT_EQ(line()->toolTip(), "");
        const QFontMetrics metrics = line()->fontMetrics();
        const int needs = metrics.boundingRect(line()->contentsRect(), Qt::TextWordWrap, result).height();
        EXPECT_TRUE(line()->wordWrap());
        EXPECT_EQ(needs / metrics.lineSpacing(), c.fits ? 1 : 2) << "lines the result takes";
        EXPECT_TRUE(line()->contentsRect().height() >= needs) << "the line's band holds " << line()->height()
                                                               << " pixels of the " << needs << " it needs";
        TearDown();
        SetUp();
        texts.clear();
    }
}

TEST_F(RunFeedbackTest, AScreenReaderReadsTheLineAsStaticTextNamedByItsText)
{
    update();
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(line());
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::StaticText);
    EXPECT_EQ(accessible->text(QAccessible::Name), "Result: both images programmed.");
    EXPECT_EQ(accessible->text(QAccessible::Description), "Where the update is");
}

TEST_F(RunFeedbackTest, TheSuccessBoxNamesTheFileAndUpdateFadesAsNoFileIsChosenAnyMore)
{
    const QString file = QFileInfo(path("surface.cyacd")).canonicalFilePath();
    const auto seen = update();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].text, "Firmware update complete.");
    EXPECT_EQ(seen[1].info, "Programmed: " + file);
    EXPECT_FALSE(probe().updateEnabled());
    EXPECT_EQ(shown(probe().ui().updateLabel), probe().updateWhiteDisabled().cacheKey());
    probe().doHID(); // the surface is still there: nothing to offer without a file
    EXPECT_EQ(shown(probe().ui().updateLabel), probe().updateWhiteDisabled().cacheKey());
}

// A close refused while image 1 is programmed, its box left open as a user
// who does not answer it: it is gone as the run leaves that stage, long
// before the success box.
TEST_F(RunFeedbackTest, TheCloseRefusedBoxClosesWhenItsStageEnds)
{
    QPointer<QMessageBox> refused;
    bool refusedOpenAtSuccess = true;
    // Image 1 waits until the refused box has been seen: the boxes are
    // looked for now and then, and a stage of four rows can end between
    // two looks. Should the box never come, the wait ends after a while
    // and the test fails on what it saw.
    std::unique_lock<std::mutex> held;
    QTimer release;
    release.setSingleShot(true);
    QObject::connect(&release, &QTimer::timeout, [&held]() {
        if (held.owns_lock())
            held.unlock();
    });
    QObject::connect(line(), &vireon::app::StageLine::shown, [&](const QString &text) {
        if (text != "Image 1: row 0 of 4")
            return;
        held = surface->lock();
        release.start(30000);
        QTimer::singleShot(0, [&]() { EXPECT_FALSE(window().close()); });
    });
    answerBox = [&](QMessageBox *box) {
        if (box->text().startsWith("An update is running.")) {
            refused = box;
            box->setProperty(vireon::demo::kLeaveOpen, true);
            release.start(0);
        }
        if (box->text() == "Firmware update complete.")
            refusedOpenAtSuccess = refused && refused->isVisible();
    };
    const auto seen = update();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_TRUE(seen[1].text.startsWith("An update is running."));
    EXPECT_EQ(seen[2].text, "Firmware update complete.");
    EXPECT_FALSE(refusedOpenAtSuccess);
}

} // namespace
} // namespace apptest
