// Choosing the firmware file through the real dialog: the suffix rule, the
// split into the two temporary images, the check of each image, and what
// the user is told when something is wrong.
#include "app_fixture.h"

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
                               " Main Thread: File split successfully"};
    EXPECT_EQ(logEntries().mid(3), expected);
    EXPECT_EQ(probe().ui().fileNameLabel->pixmap(Qt::ReturnByValue).size(), QSize(363, 41));
    expectChosen(file);

    // A second choice is split from scratch (its first image is looked at
    // after the refusals below, which must leave it as it is).
    const QString second = write("second.cyacd", image(1) + image(0));
    choose(second);
    EXPECT_EQ(read("vireonTemp2.txt"), image(0));

    // Only the lower-case suffix is taken, and a refusal changes nothing: a
    // name with another suffix, or none when the dialog is cancelled.
    const QString upper = write("upper.CYACD", image(0) + image(1)), other = write("other.txt", image(0) + image(1));
    for (const QString &refused : {upper, other, QString()}) {
        const auto seen = choose(refused);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[1].title, "Vireon Surface Bootloader");
        EXPECT_EQ(seen[1].text, "Please Select a file ending with '.cyacd'");
    }
    EXPECT_EQ(read("vireonTemp1.txt"), image(1));
    EXPECT_EQ(logEntries().filter("Temp filepath: ").size(), 2);
    expectChosen(second);

    closeWindow();
    EXPECT_FALSE(QFileInfo::exists(path("vireonTemp1.txt")) || QFileInfo::exists(path("vireonTemp2.txt")));
}

// How the lines of a file are shared out between the two images, and which
// files the image check refuses, naming the image and the chosen file's line.
TEST_F(FileChoiceTest, SplitSharesOutLinesByHeaderAndTheCheckRefusesBadImages)
{
    const QString a = image(0), b = image(1);
    auto line = [](const QString &text, int from, int to = -2) { return text.section('\n', from, to == -2 ? from : to) + '\n'; };
    auto flipLastDigit = [](QString l) { return l.chopped(2) + (l.endsWith("0\n") ? "1\n" : "0\n"); };
    const QString null;
    // A refused file names the image and why: "Image <image> of the firmware
    // file is not usable.\n<why>"; image 0: the file is taken.
    const struct {
        const char *what;
        QString text, temp1, temp2;
        int image;
        QString why;
    } cases[] = {
        {"rows before the first header go nowhere", ":0000000001AA\n" + a + b, a, b, 0, {}},
        {"CR LF line ends", QString(a + b).replace("\n", "\r\n"), a, b, 0, {}},
        {"one header only", a, a, "", 2, "The image is missing"},
        {"a third header joins the second image", a + b + a, a, b + a, 2, "Line 11: The line is not a row line"},
        {"an empty line inside image 1 starts image 2", line(a, 0, 1) + "\n" + line(a, 2, 4) + b, line(a, 0, 1),
         "\n" + line(a, 2, 4) + b, 2, "Line 3: The header line is empty."},
        {"an empty line before the second header", a + "\n" + b, a, "\n" + b, 2, "Line 6: The header line is empty."},
        {"a header that starts with a blank", a + " " + b, a, " " + b, 2, "Line 6: The header line is too short"},
        {"row checksum", line(a, 0, 1) + flipLastDigit(line(a, 2)) + line(a, 3, 4) + b, null, null, 1,
         "Line 3: The row's checksum does not match its data."},
        {"row length", a + line(b, 0) + line(b, 1).chopped(3) + "\n" + line(b, 2, 4), null, null, 2,
         "Line 7: The row's length field does not match the line."},
        {"short header", "1234\n" + line(a, 1, 4) + b, null, null, 1, "Line 1: The header line is too short"},
        {"no rows", a + line(b, 0), null, null, 2, "The image holds no rows."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        choose(goodFile()); // a refused file must not leave the last good one chosen
        QFile::remove("log.txt");
        const QString file = write("split.cyacd", c.text);
        const auto seen = choose(file);
        if (!c.temp1.isNull()) {
            EXPECT_EQ(std::make_pair(read("vireonTemp1.txt"), read("vireonTemp2.txt")), std::make_pair(c.temp1, c.temp2));
        }
        EXPECT_TRUE(logged("File split successfully"));
        ASSERT_EQ(seen.size(), c.image == 0 ? 1u : 2u);
        if (c.image == 0) {
            expectChosen(file);
            continue;
        }
        EXPECT_EQ(seen[1].title, "Vireon Surface Bootloader");
        const QString box = QString("Image %1 of the firmware file is not usable.\n").arg(c.image) + c.why;
        EXPECT_TRUE(seen[1].text.startsWith(box)) << seen[1].text.toStdString();
        EXPECT_EQ(logEntries().filter(QString(" Main Thread: Firmware file check failed: image %1: ").arg(c.image) + c.why).size(), 1);
        expectChosen({});
    }
}

TEST_F(FileChoiceTest, UnreadableFileOrUnwritableTemporaryFileIsReportedAndNothingStaysChosen)
{
    const QString file = goodFile();
    choose(file);
    expectChosen(file);
    // A socket is there to be listed but cannot be opened, even by root.
    ASSERT_EQ(::mknod(QFile::encodeName(path("locked.cyacd")).constData(), S_IFSOCK | 0600, 0), 0);
    QFile locked(path("locked.cyacd"));
    ASSERT_FALSE(locked.open(QIODevice::ReadOnly));

    const auto seen = choose(locked.fileName());
    ASSERT_EQ(seen.size(), 2u); // no second box from the image check
    EXPECT_EQ(seen[1].title, "Vireon Surface");
    EXPECT_EQ(seen[1].text, locked.errorString());
    // The entry ends its line, so the next one starts on its own.
    EXPECT_TRUE(logged("Firmware error: " + locked.errorString()));
    EXPECT_TRUE(logged("Temp filepath 1: " + path("vireonTemp1.txt")));
    EXPECT_EQ(read("vireonTemp1.txt"), "");
    EXPECT_EQ(shown(probe().ui().updateLabel), probe().updateWhiteDisabled().cacheKey());
    expectChosen({});

    // A folder in a temporary file's place cannot be opened, even by root;
    // /dev/full takes the open and refuses the data.
    const std::pair<const char *, bool> cases[] = {
        {"vireonTemp1.txt", false}, {"vireonTemp2.txt", false}, {"vireonTemp2.txt", true}, {"vireonTemp1.txt", true}};
    for (const auto &[temp, full] : cases) {
        SCOPED_TRACE(std::string(temp) + (full ? " on a full disk" : " cannot be created"));
        choose(file);
        expectChosen(file);
        QFile::remove("log.txt");
        ASSERT_TRUE(QFile::remove(temp) && (full ? QFile::link("/dev/full", temp) : QDir().mkdir(temp)));
        const auto seen = choose(file);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[1].title, "Vireon Surface Bootloader");
        const QString where = "The temporary files could not be written in " + QDir::currentPath() + "\n(" + temp + ": ";
        EXPECT_TRUE(seen[1].text.startsWith(where)) << seen[1].text.toStdString();
        EXPECT_EQ(logEntries().filter(" Main Thread: Could not write temporary file " + path(temp) + ": ").size(), 1);
        EXPECT_FALSE(logged("File split successfully"));
        expectChosen({});
        QDir().rmdir(temp);
        QFile::remove(temp);
    }
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
