// Choosing the firmware file through the real dialog: the suffix rule, the
// split into the two temporary images, the check of each image, and what
// the user is told when something is wrong.
#include "app_fixture.h"
#include "window_skin.h"

#include <sys/stat.h>

namespace apptest {
namespace {

class FileChoiceTest : public WindowTest {
protected:
    static bool logged(const QString &entry) { return logEntries().contains(" Main Thread: " + entry); }
    // Once the surface is seen, `file` is chosen and offered; an empty name:
    // no file is chosen and UPDATE is not offered.
    void expectChosen(const QString &file)
    {
        attachSurface();
        probe().doHID();
        const char *chosen = probe().selectedFilePath();
        EXPECT_EQ(chosen ? QString::fromUtf8(chosen) : QString(), file.isEmpty() ? QString() : QFileInfo(file).canonicalFilePath());
        EXPECT_EQ(probe().updateEnabled(), !file.isEmpty());
        EXPECT_EQ(probe().ui().updateLabel->isEnabled(), !file.isEmpty());
    }
    // A refused file leaves the empty panel, no temporary images (unless a
    // folder stands in one's place) and nothing chosen.
    void expectRefused(const QString &folder = {})
    {
        const QLabel *panel = probe().ui().fileNameLabel;
        EXPECT_EQ(panel->pixmap(Qt::ReturnByValue).toImage(),
                  vireon::app::element("Blue Window.png", panel->size()).toImage());
        for (const char *temp : {"vireonTemp1.txt", "vireonTemp2.txt"})
            EXPECT_EQ(QFileInfo::exists(path(temp)), folder == temp) << temp;
        expectChosen({});
    }
};

TEST_F(FileChoiceTest, GoodFileIsSplitLoggedAndChosenByItsCanonicalPathUntilTheNextGoodOne)
{
    const QString file = write(QString::fromUtf8("fïrmware.cyacd"), image(0) + image(1));
    ASSERT_TRUE(QFile::link(file, path("link.cyacd")));
    EXPECT_EQ(choose(path("link.cyacd")).size(), 1u); // the dialog, no box
    EXPECT_EQ(read("vireonTemp1.txt"), image(0));
    EXPECT_EQ(read("vireonTemp2.txt"), image(1));
    const QStringList expected{" Main Thread: Temp filepath: " + QFileInfo(file).canonicalFilePath(),
                               " Main Thread: Temp filepath 1: " + path("vireonTemp1.txt"),
                               " Main Thread: Temp filepath 2: " + path("vireonTemp2.txt"),
                               " Main Thread: Writing to the 2 temporary files...",
                               " Main Thread: File split successfully",
                               // beside the name chosen, as a command line names it
                               " Main Thread: Signature check: The file carries no signature (no "
                               "link.cyacd.minisig beside it); it is used unsigned."};
    EXPECT_EQ(logEntries().mid(3), expected);
    EXPECT_EQ(probe().ui().fileNameLabel->pixmap(Qt::ReturnByValue).size(), QSize(363, 41));
    expectChosen(file);

    // A second choice is split from scratch (its first image is looked at
    // after the refusals below, which must leave it as it is).
    const QString second = write("second.cyacd", image(1) + image(0));
    choose(second);
    EXPECT_EQ(read("vireonTemp2.txt"), image(0));

    // Only the lower-case suffix is taken, and a refusal changes nothing: a
    // name with another suffix is told; a cancelled dialog is no mistake and
    // shows nothing more.
    const QString upper = write("upper.CYACD", image(0) + image(1)), other = write("other.txt", image(0) + image(1));
    for (const QString &refused : {upper, other, QString()}) {
        const auto seen = choose(refused);
        ASSERT_EQ(seen.size(), refused.isEmpty() ? 1u : 2u);
        if (refused.isEmpty())
            continue;
        EXPECT_EQ(seen[1].title, "Vireon Surface Bootloader");
        EXPECT_EQ(seen[1].text, "Please Select a file ending with '.cyacd'");
    }
    EXPECT_EQ(read("vireonTemp1.txt"), image(1));
    EXPECT_EQ(logEntries().filter("Temp filepath: ").size(), 2);
    expectChosen(second);

    closeWindow();
    EXPECT_FALSE(QFileInfo::exists(path("vireonTemp1.txt")) || QFileInfo::exists(path("vireonTemp2.txt")));
}

// How the lines of a file are shared out between the two images, and what
// the box and the log say of a file the whole-file check refuses (each
// reason is worked through in tests/core).
TEST_F(FileChoiceTest, SplitSharesOutLinesByHeaderAndTheCheckRefusesBadFiles)
{
    const QString a = image(0), b = image(1);
    auto line = [](const QString &text, int from, int to = -2) { return text.section('\n', from, to == -2 ? from : to) + '\n'; };
    // Image 0: the file is taken and split into `temp1` and `temp2`; else
    // the box and the log give `why`.
    const struct {
        const char *what;
        QString text, temp1, temp2;
        int image;
        QString why;
    } cases[] = {
        {"rows before the first header go nowhere", ":0000000001AA\n" + a + b, a, b, 0, {}},
        {"CR LF line ends", QString(a + b).replace("\n", "\r\n"), a, b, 0, {}},
        {"a third header", a + b + a, {}, {}, 2,
         "This file holds three images (their headers are lines 1, 6 and 11); the surface takes two."},
        {"a blank for a 0", a + line(b, 0, 2) + line(b, 3).replace(1, 1, ' ') + line(b, 4), {}, {}, 2,
         "Line 9 of the file (image 2) has a blank where a hex digit belongs."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        choose(goodFile()); // a refused file must not leave the last good one chosen
        QFile::remove("log.txt");
        const QString file = write("split.cyacd", c.text);
        const auto seen = choose(file);
        EXPECT_TRUE(logged("File split successfully"));
        ASSERT_EQ(seen.size(), c.image == 0 ? 1u : 2u);
        if (c.image == 0) {
            EXPECT_EQ(std::make_pair(read("vireonTemp1.txt"), read("vireonTemp2.txt")), std::make_pair(c.temp1, c.temp2));
            expectChosen(file);
            continue;
        }
        EXPECT_EQ(seen[1].title, "Vireon Surface Bootloader");
        EXPECT_EQ(seen[1].text, "split.cyacd cannot be used to update the surface.\n" + c.why +
                                    "\nPlease choose the surface's firmware file again.");
        EXPECT_TRUE(logged("Firmware file check failed: " + c.why));
        expectRefused();
    }
}

TEST_F(FileChoiceTest, UnreadableFileOrUnwritableTemporaryFileIsReportedAndNothingStaysChosen)
{
    const QString file = goodFile();
    choose(file);
    expectChosen(file);
    // A socket is there to be listed but is not a regular file: refused by
    // its kind, unopened.
    ASSERT_EQ(::mknod(QFile::encodeName(path("locked.cyacd")).constData(), S_IFSOCK | 0600, 0), 0);
    const auto seen = choose(path("locked.cyacd"));
    ASSERT_EQ(seen.size(), 2u); // no second box from the image check
    EXPECT_EQ(seen[1].title, "Vireon Surface");
    const QString refusal = path("locked.cyacd") + " is a socket, not a regular file.";
    EXPECT_EQ(seen[1].text, refusal);
    // The entry ends its line, so the next one starts on its own.
    EXPECT_TRUE(logged("Firmware error: " + refusal));
    EXPECT_TRUE(logged("Temp filepath 1: " + path("vireonTemp1.txt")));
    EXPECT_EQ(shown(probe().ui().updateLabel), probe().updateWhiteDisabled().cacheKey());
    expectRefused();

    // A folder in a temporary file's place is not replaced, even by root.
    for (const char *temp : {"vireonTemp1.txt", "vireonTemp2.txt"}) {
        SCOPED_TRACE(temp);
        choose(file);
        expectChosen(file);
        QFile::remove("log.txt");
        ASSERT_TRUE(QFile::remove(temp) && QDir().mkdir(temp));
        const auto seen = choose(file);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[1].title, "Vireon Surface Bootloader");
        const QString where = "The temporary files could not be written in " + QDir::currentPath() + "\n(" + temp + ": ";
        EXPECT_TRUE(seen[1].text.startsWith(where)) << seen[1].text.toStdString();
        EXPECT_EQ(logEntries().filter(" Main Thread: Could not write temporary file " + path(temp) + ": ").size(), 1);
        EXPECT_FALSE(logged("File split successfully"));
        expectRefused(temp);
        QDir().rmdir(temp);
    }
}

TEST_F(FileChoiceTest, AFileLargerThanAnyFirmwareIsRefusedWithItsSize)
{
    QFile huge(path("huge.cyacd"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.write(image(0).toUtf8()) > 0 && huge.resize(50 << 20));
    const auto seen = choose(huge.fileName());
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].text, "huge.cyacd cannot be used to update the surface.\nThis file is 50.0 MiB (52428800 bytes); a "
                            "firmware file for the surface is at most 16 MiB.\nPlease choose the surface's firmware file again.");
    expectRefused();
}

// Two names that differ only in their elided middle: the panel's tooltip and
// accessible description give each whole path; no file, no tooltip.
TEST_F(FileChoiceTest, ThePanelsTooltipAndDescriptionAreTheChosenFilesFullPath)
{
    const QLabel *panel = probe().ui().fileNameLabel;
    EXPECT_EQ(panel->toolTip(), "");
    EXPECT_EQ(panel->accessibleDescription(), "No file chosen");
    const QString stem = "vireon-surface-firmware-for-the-studio-model-";
    for (const QString version : {"2.3.0", "2.3.1"}) {
        const QString file = goodFile(stem + version + "-release.cyacd");
        choose(file);
        EXPECT_EQ(panel->toolTip(), QFileInfo(file).canonicalFilePath());
        EXPECT_EQ(panel->accessibleDescription(), QFileInfo(file).canonicalFilePath());
    }
    write("broken.cyacd", "not firmware\n");
    withModals({path("broken.cyacd")}, [this]() { QTest::mouseClick(probe().ui().browseFileLabel, Qt::LeftButton); });
    EXPECT_EQ(panel->toolTip(), "");
    EXPECT_EQ(panel->accessibleDescription(), "No file chosen");
}

TEST_F(FileChoiceTest, LongNamesAreElidedToFitThePanel)
{
    choose(goodFile(QString(120, 'w') + "-end.cyacd"));
    // The first and last columns where the name is painted: those that
    // differ from the bare panel.
    const QImage drawn = probe().ui().fileNameLabel->pixmap(Qt::ReturnByValue).toImage();
    const QPixmap blue(":/new/prefix1/Vireon_Update_Elements/Blue Window.png");
    const QImage panel = blue.scaled(drawn.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .toImage()
                             .convertToFormat(drawn.format());
    std::pair<int, int> text{drawn.width(), -1};
    for (int x = 0; x < drawn.width(); ++x)
        if (drawn.copy(x, 0, 1, drawn.height()) != panel.copy(x, 0, 1, drawn.height()))
            text = {std::min(text.first, x), x};
    // Unelided, the name would run far past both edges.
    EXPECT_GT(text.first, 0);
    EXPECT_LT(text.second, drawn.width() - 1);
    EXPECT_GT(text.second - text.first, drawn.width() / 2);
}

} // namespace
} // namespace apptest
