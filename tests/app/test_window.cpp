// The window as it starts and closes, its log, its image buttons and the
// resource collection it is built from.
#include "app_fixture.h"

#include "single_instance.h"
#include "version.h"

#include <QFontInfo>
#include <QLoggingCategory>
#include <QImageReader>
#include <QLockFile>
#include <QProcess>
#include <QRawFont>
#include <QResource>

#include <algorithm>
#include <map>

namespace apptest {
namespace {

TEST_F(WindowTest, StartsIdleWithItsTitleSizePicturesAndFonts)
{
    testing::internal::CaptureStdout();
    MainWindow &w = window();
    const std::string out = testing::internal::GetCapturedStdout();
    // Two lines: the name with the version, then the copyright line.
    EXPECT_TRUE(QRegularExpression("^vireon\\.control 0\\.12\nCopyright \\(C\\) [^\n]+\n\\z").match(out.c_str()).hasMatch()) << out;
    const MainWindowProbe p = probe();
    Ui::MainWindow &ui = p.ui();

    // No status word until the first presence check, 500 ms on: checked
    // before anything runs the event loop, so a busy machine cannot let the
    // first tick in first.
    EXPECT_TRUE(p.statusString().isNull());
    EXPECT_EQ(ui.statusLabel->pixmap(Qt::ReturnByValue).size(), QSize(187, 17));

    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.windowTitle(), "vireon.control");
    // The limits are what a desktop honours; offscreen no window manager
    // can be asked to maximise.
    w.resize(700, 500);
    EXPECT_EQ(w.size(), QSize(588, 408));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(ui.browseFileLabel->size(), QSize(47, 41));

    EXPECT_EQ(w.palette().brush(QPalette::Window).texture().size(), QSize(588, 408));
    EXPECT_EQ(ui.fileNameLabel->pixmap(Qt::ReturnByValue).size(), QSize(291, 27));
    EXPECT_EQ(p.updateGreenUp().size(), QSize(172, 90));
    EXPECT_EQ(shown(ui.browseFileLabel), p.browseUp().cacheKey());
    EXPECT_EQ(shown(ui.updateLabel), p.updateWhiteDisabled().cacheKey());
    EXPECT_TRUE(QTest::qWaitFor([&w] { return !w.windowIcon().isNull(); })); // set once the window has painted
    EXPECT_TRUE(ui.browseFileLabel->isEnabled());
    EXPECT_FALSE(ui.updateLabel->isEnabled() || p.updateEnabled() || ui.progressBar->isEnabled());
    EXPECT_EQ(ui.progressBar->value(), 0);
    EXPECT_FALSE(ui.progressBar->isTextVisible());
    EXPECT_EQ(p.selectedFilePath(), nullptr);

    const std::tuple<QLabel *, int, bool> fonts[] = {{ui.statusText, 16, true},   {ui.label_2, 16, true},       {ui.progressText, 16, true},
                                                     {ui.statusLabel, 16, true}, {ui.fileNameLabel, 10, true}, {ui.versionLabel, 7, false}};
    for (const auto &[label, points, bold] : fonts) {
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_EQ(QFontInfo(label->font()).family(), "Orbitron");
        EXPECT_EQ(std::make_pair(label->font().pointSize(), label->font().bold()), std::make_pair(points, bold));
    }
    EXPECT_EQ(ui.versionLabel->text(), "v" VIREON_VERSION);

    EXPECT_EQ(p.presenceTimer()->interval(), 500);
    EXPECT_TRUE(p.presenceTimer()->isActive());
}

// The desktop shows the orb on its own ground: no square behind it at any
// size the window hands over.
TEST_F(WindowTest, WindowIconIsTransparentAroundAnOpaqueOrbAtEverySize)
{
    MainWindow &w = window();
    w.show();
    ASSERT_TRUE(QTest::qWaitFor([&w] { return !w.windowIcon().isNull(); }));
    const QList<QSize> sizes = w.windowIcon().availableSizes();
    EXPECT_EQ(sizes.size(), 6);
    for (const QSize &size : sizes) {
        SCOPED_TRACE(size.width());
        const QImage image = w.windowIcon().pixmap(size).toImage();
        ASSERT_EQ(image.size(), size);
        const int last = size.width() - 1;
        for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << "," << corner.y();
        EXPECT_EQ(qAlpha(image.pixel(size.width() / 2, size.height() / 2)), 255);
    }
}

TEST(LogFormat, TimeStampsOnTheTwelveHourClock)
{
    const std::pair<QTime, const char *> stamps[] = {{QTime(0, 5, 7), "12:05:07am"},   {QTime(9, 30, 0), "09:30:00am"},
                                                     {QTime(11, 59, 59), "11:59:59am"}, {QTime(12, 0, 0), "12:00:00pm"},
                                                     {QTime(15, 7, 9), "03:07:09pm"}};
    for (const auto &[time, stamp] : stamps)
        EXPECT_EQ(MainWindow::logTimeStamp(time), stamp);
    EXPECT_EQ(MainWindow::logCreationLine(QDateTime(QDate(2026, 3, 5), QTime(15, 7, 9))),
              "Log Created: Thu March 5 3:07:09pm\n");
    EXPECT_EQ(MainWindow::logCreationLine(QDateTime(QDate(2026, 11, 22), QTime(0, 1, 2))),
              "Log Created: Sun November 22 12:01:02am\n");
}

TEST_F(WindowTest, LogIsCreatedOnceAppendedAcrossRunsAndAFailureToCreateItReported)
{
    for (int run = 0; run < 2; ++run) {
        window();
        probe().writeToLog("during the run\n");
        closeWindow();
    }
    const QStringList entries = logEntries();
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_TRUE(entries[0].startsWith("Log Created: " + QDate::currentDate().toString("ddd MMMM d ")));
    // Closing stops both workers, which log it, before the closing line.
    const QStringList run{" Main Thread: *** Updater Started: " + QDate::currentDate().toString("ddd MMMM d"),
                          " Main Thread: *** Version: " VIREON_VERSION, " Main Thread: during the run", " Thread 1: Abort.",
                          " Thread 2: Abort.", " Main Thread: *** Updater Closed ***"};
    // The lines after the first are time-stamped entries: a line without
    // its stamp is kept whole and would not compare equal.
    EXPECT_EQ(entries.mid(1), run + run);

    // An existing log gets no creation line; the banner follows its end.
    write("log.txt", "an earlier entry\n");
    window();
    closeWindow();
    EXPECT_EQ(logEntries(), QStringList{"an earlier entry"} + run.mid(0, 2) + run.mid(3));

    // A log that cannot be written is reported once and start-up goes on. A
    // link into a folder that does not exist: the name is taken by a link,
    // which the updater never writes through.
    ASSERT_TRUE(QFile::remove("log.txt") && QFile::link(path("no-such-folder/log.txt"), path("log.txt")));
    const auto seen = withModals({}, [this]() { window(); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, "Vireon Surface Bootloader");
    EXPECT_EQ(seen[0].text, "Error creating log file.\nPlease click to proceed.");
    // Beneath it: which file, what stands at its name, and what to do.
    EXPECT_EQ(seen[0].info, path("log.txt") + " is a symbolic link, not a regular file. The updater does not write to "
                                              "it.\nThe updater works without it, but keeps no record of the update. "
                                              "Start it in a folder you can write to, such as your home folder.");
    EXPECT_EQ(window().windowTitle(), "vireon.control");
    probe().writeToLog("lost\n");
    closeWindow();
    EXPECT_FALSE(QFileInfo::exists(path("no-such-folder")));
}

TEST_F(WindowTest, ImageButtonsAnswerAnyMouseButtonOnlyWhileOffered)
{
    window().show();
    const MainWindowProbe p = probe();
    clicklabel *dot = p.ui().browseFileLabel;
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        QTest::mousePress(dot, button);
        EXPECT_EQ(shown(dot), p.browseDown().cacheKey());
        // The release comes outside the dot; the dot that took the press
        // still gets it. The dialog is cancelled: nothing more opens.
        const auto seen = withModals({""}, [&]() { QTest::mouseRelease(dot, button, {}, QPoint(-40, 90)); });
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].title, "Open File");
        EXPECT_EQ(shown(dot), p.browseUp().cacheKey());
    }

    dot->setEnabled(false);
    EXPECT_TRUE(withModals({}, [&]() { QTest::mouseClick(dot, Qt::LeftButton); }).empty());
    EXPECT_EQ(shown(dot), p.browseUp().cacheKey());
    // UPDATE answers its flag, not the widget's state.
    p.ui().updateLabel->setEnabled(true);
    QTest::mousePress(p.ui().updateLabel, Qt::LeftButton);
    EXPECT_EQ(shown(p.ui().updateLabel), p.updateWhiteDisabled().cacheKey());
    EXPECT_FALSE(p.updatePressed());
}

TEST_F(WindowTest, AnIdleWindowsConsoleStaysSilentUnlessDebugCategoriesAreOn)
{
    static QStringList messages; // the debug and info messages, and any of ours
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        if (type == QtDebugMsg || type == QtInfoMsg || QByteArray(context.category).startsWith("vireon"))
            messages << QString("%1: %2").arg(context.category, text);
    });
    messages.clear();
    attachSurface();
    choose(goodFile());
    probe().presenceTimer()->setInterval(20);
    QTest::qWait(200); // some ticks
    EXPECT_EQ(messages, QStringList{});
    QLoggingCategory::setFilterRules("vireon.*.debug=true"); // as QT_LOGGING_RULES would
    probe().doHID();
    QLoggingCategory::setFilterRules({});
    qInstallMessageHandler(previous);
    EXPECT_TRUE(messages.contains("vireon.window: Pixmap: updateGreenUp")) << messages.join('\n').toStdString();
}

TEST_F(WindowTest, ASecondUpdaterInTheSameFolderIsToldWhichOneRunsThereAndExits)
{
    const QString lockPath = path(vireon::app::kFolderLockName);
    {
        QLockFile running(lockPath);
        ASSERT_TRUE(running.tryLock(0));
        QLockFile second(lockPath);
        bool claimed = true;
        const auto seen = withModals({}, [&]() { claimed = vireon::app::claimWorkingFolder(second); });
        EXPECT_FALSE(claimed);
        const QString pid = QString::number(QCoreApplication::applicationPid()), folder = QDir::currentPath();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].title, "Vireon Surface Bootloader");
        EXPECT_TRUE(seen[0].text.contains(pid) && seen[0].text.contains(folder)) << seen[0].text.toStdString();
        EXPECT_EQ(logEntries(), QStringList{" Main Thread: Another updater (process " + pid + ") is running in " + folder + ". This one exits."});
    }
    // The lock of an updater that is no longer running is taken over, and
    // released when this one ends.
    QProcess gone;
    gone.start("true", QStringList());
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 gonePid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    {
        QLockFile left(lockPath);
        ASSERT_TRUE(left.tryLock(0));
        QFile file(lockPath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QByteArray content = file.readAll();
        left.unlock();
        content.replace(0, content.indexOf('\n'), QByteArray::number(gonePid));
        write(vireon::app::kFolderLockName, QString::fromUtf8(content));
    }
    {
        QLockFile mine(lockPath);
        EXPECT_TRUE(withModals({}, [&]() { EXPECT_TRUE(vireon::app::claimWorkingFolder(mine)); }).empty());
    }
    EXPECT_FALSE(QFileInfo::exists(lockPath));
}

// The footer's instruction on the window's background: legible (WCAG's 4.5:1
// at least) and tall enough to read.
TEST(Resources, FooterLineIsLegible)
{
    const QImage ground = QImage(":/new/prefix1/Vireon_Update_Elements/VIREON_BACKGROUND.png")
                              .scaled(588, 408, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    std::vector<double> all;
    std::map<int, double> rowMost;
    for (int y = 360; y < 400; ++y)
        for (int x = 10; x < 500; ++x) {
            all.push_back(luminance(ground.pixel(x, y)));
            rowMost[y] = std::max(rowMost[y], all.back());
        }
    std::sort(all.begin(), all.end());
    const double dark = all[all.size() / 10], text = all.back();
    EXPECT_GE((text + 0.05) / (dark + 0.05), 4.5);
    int rows = 0; // rows where the lettering is at least half as light as its lightest
    for (const auto &[y, most] : rowMost)
        rows += most >= dark + 0.5 * (text - dark) ? 1 : 0;
    EXPECT_GE(rows, 8);
}

TEST(Resources, EveryPictureHasItsSizeAndFormat)
{
    const std::pair<const char *, QSize> pictures[] = {
        {"VIREON_BACKGROUND.png", {1020, 707}},     {"Blue Window.png", {774, 72}},
        {"Solid Up Dot.png", {105, 91}},             {"Solid Down Dot.png", {105, 91}},
        {"Faded Up Dot.png", {105, 91}},             {"Faded Up UPDATE White.png", {299, 156}},
        {"Solid Up UPDATE Green.png", {299, 156}},   {"Solid Down UPDATE Green.png", {299, 156}},
        {"Solid Up UPDATE Red.png", {299, 156}}};
    for (const auto &[name, size] : pictures) {
        SCOPED_TRACE(name);
        QImageReader reader(QStringLiteral(":/new/prefix1/Vireon_Update_Elements/") + name);
        EXPECT_EQ(reader.format(), "png");
        EXPECT_EQ(reader.size(), size);
        EXPECT_FALSE(reader.read().isNull());
    }

    const QString icon = QStringLiteral(":/new/prefix1/Vireon_Update_Elements/Orbel_Icon.ico");
    EXPECT_NE(QResource(icon).compressionAlgorithm(), QResource::NoCompression);
    QImageReader reader(icon); // six images, each with its own transparency
    EXPECT_EQ(reader.imageCount(), 6);
    const int sides[] = {256, 128, 64, 48, 32, 16};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(sides[i]);
        ASSERT_TRUE(reader.jumpToImage(i));
        EXPECT_EQ(reader.imageFormat(), QImage::Format_ARGB32);
        EXPECT_EQ(reader.read().size(), QSize(sides[i], sides[i]));
    }

    // The aliases name the files: the regular and the bold face.
    for (const char *style : {"Regular", "Bold"}) {
        QFile ttf(QStringLiteral(":/fonts/Vireon_Update_Elements/EurostileT-") + (style[0] == 'B' ? "Bold" : "Regu") + ".ttf");
        ASSERT_TRUE(ttf.open(QIODevice::ReadOnly));
        const QRawFont raw(ttf.readAll(), 12);
        EXPECT_EQ(raw.familyName() + ' ' + raw.styleName(), QStringLiteral("Orbitron ") + style);
        EXPECT_EQ(raw.weight(), style[0] == 'B' ? QFont::Bold : QFont::Normal);
    }
}

} // namespace
} // namespace apptest
