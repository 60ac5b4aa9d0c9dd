// The firmware file's split, the writing of its two images and their check,
// as the command-line updater calls them: no window, real files.
#include "firmware_file.h"

#include "cyacd_gen.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace vireon::core;

class FirmwareFileTest : public ::testing::Test {
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return f.fileName();
    }
    static QByteArray image(uint32_t seed)
    {
        return QByteArray::fromStdString(vireon::tools::imageText({.rowCount = 3, .rowSize = 16, .seed = seed}));
    }
    // Splits `bytes`, writes both images and checks them.
    FileProblem check(const QByteArray &bytes)
    {
        const SplitImages split = splitFirmwareFile(write("f.cyacd", bytes));
        EXPECT_TRUE(writeImageFiles(split, temp1, temp2).path.isEmpty());
        return checkImageFiles(split, temp1, temp2);
    }
    QTemporaryDir dir;
    const QString temp1 = dir.filePath("t1"), temp2 = dir.filePath("t2");
};

// Line `line` (from 0) of `text` with `edit` applied to it.
QByteArray editLine(QByteArray text, int line, const std::function<void(QByteArray &)> &edit)
{
    QList<QByteArray> lines = text.split('\n');
    edit(lines[line]);
    return lines.join('\n');
}

TEST_F(FirmwareFileTest, HeadersShareTheLinesOutAndNumberWhereEachImageBegins)
{
    const SplitImages split = splitFirmwareFile(write("f.cyacd", ":00\nH1\n:01\n\nH3\r\n:02"));
    EXPECT_EQ(split.image1, "H1\n:01\n");          // the row before the first header goes nowhere
    EXPECT_EQ(split.image2, "\nH3\n:02\n");        // an empty line is a header; later headers join image 2
    EXPECT_EQ(std::make_pair(split.firstLine1, split.firstLine2), std::make_pair(2, 4));

    const SplitImages none = splitFirmwareFile(dir.filePath("missing.cyacd"));
    EXPECT_TRUE(none.image1.isEmpty() && none.image2.isEmpty() && none.firstLine1 == 0 && none.firstLine2 == 0);
}

// Image 1 is lines 1-4 of the file (a header and three rows), image 2 lines 5-8.
TEST_F(FirmwareFileTest, CheckRefusesWhatTheHostWouldMisreadNamingTheLineTheImageAndTheByte)
{
    const QByteArray good = image(1) + image(2);
    EXPECT_TRUE(check(good).ok());
    // A header may hold more fields than the host reads, and CR LF ends lines.
    EXPECT_TRUE(check(editLine(good, 4, [](QByteArray &l) { l += "0000"; })).ok());
    EXPECT_TRUE(check(QByteArray(good).replace("\n", "\r\n")).ok());

    auto zeroTo = [](const char *by) { return [by](QByteArray &l) { l.replace(l.indexOf('0'), 1, by); }; };
    const struct {
        const char *what;
        QByteArray text;
        int image, line;
        QString reason;
    } cases[] = {
        {"Z for a 0", editLine(good, 6, zeroTo("Z")), 2, 7,
         "Line 7 of the file (image 2) has 'Z' where a hex digit belongs."},
        {"a blank for a 0", editLine(good, 1, zeroTo(" ")), 1, 2,
         "Line 2 of the file (image 1) has a blank where a hex digit belongs."},
        {"GG in a header", editLine(good, 4, [](QByteArray &l) { l.replace(2, 2, "GG"); }), 2, 5,
         "Line 5 of the file (image 2) has 'G' where a hex digit belongs."},
        {"a NUL and garbage after a row", editLine(good, 7, [](QByteArray &l) { l += QByteArray("\0junk", 5); }), 2, 8,
         "Line 8 of the file (image 2) has a NUL byte after its last hex pair."},
        {"a bell byte after a header", editLine(good, 0, [](QByteArray &l) { l += '\a'; }), 1, 1,
         "Line 1 of the file (image 1) has byte 0x07 after its last hex pair."},
        {"a header too short for the host", editLine(good, 0, [](QByteArray &l) { l.truncate(8); }), 1, 1,
         "Line 1 of the file (image 1) is too short for a header: it has 8 hex digits where at least 10 belong."},
        {"flash array 4", editLine(good, 2, [](QByteArray &l) { l.replace(1, 2, "04"); }), 1, 3,
         "Line 3 of the file (image 1) names flash array 4; the surface's arrays are 0 to 3."},
        {"a row checksum", editLine(good, 6, [](QByteArray &l) { l[l.size() - 1] = l.endsWith('0') ? '1' : '0'; }), 2, 7,
         "Line 7 of the file (image 2) has a checksum that does not match its data."},
        {"a header without rows", image(1) + image(2).left(image(2).indexOf('\n') + 1), 2, 0,
         "Image 2 of the file holds a header but no rows."},
        {"one image", image(1), 0, 0, "This file holds one image (its header is line 1); the surface takes two."},
        {"three images", good + image(3), 0, 0,
         "This file holds three images (their headers are lines 1, 5 and 9); the surface takes two."},
        {"base64 junk", "U0dWc2JHOGdkMjl5YkdRPQ==\nQUFBQUFBQUFBQUFB\n", 0, 0,
         "This is not a firmware file: none of its lines is a row of firmware data (a line beginning with ':')."},
        {"a NUL at the start of a row", editLine(good, 2, [](QByteArray &l) { l[0] = '\0'; }), 0, 3,
         "Line 3 of the file begins with a NUL byte, not with ':' (a row) or a hex digit (a header)."},
        {"an empty line", editLine(good, 3, [](QByteArray &l) { l += '\n'; }), 0, 5, "Line 5 of the file is empty."},
        {"an empty line inside image 1", editLine(good, 1, [](QByteArray &l) { l += '\n'; }), 0, 3, "Line 3 of the file is empty."},
        {"a header that starts with a blank", editLine(good, 4, [](QByteArray &l) { l.prepend(' '); }), 0, 5,
         "Line 5 of the file begins with a blank, not with ':' (a row) or a hex digit (a header)."},
        {"an empty file", "", 0, 0, "This file is empty."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const FileProblem found = check(c.text);
        EXPECT_EQ(std::make_tuple(found.image, found.line, found.reason), std::make_tuple(c.image, c.line, c.reason));
    }
}

TEST_F(FirmwareFileTest, ATooLargeVanishedOrChangedFileIsRefused)
{
    // Past the limit the file is refused by its size, unread.
    QFile big(dir.filePath("big.cyacd"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(kMaxFirmwareFileSize + 1));
    const SplitImages unread = splitFirmwareFile(big.fileName());
    EXPECT_EQ(unread.lines, 0);
    EXPECT_EQ(checkImageFiles(unread, temp1, temp2).reason,
              "This file is 16.0 MiB (16777217 bytes); a firmware file for the surface is at most 16 MiB.");
    // A device is not read at all.
    EXPECT_EQ(checkImageFiles(splitFirmwareFile("/dev/zero"), temp1, temp2).reason,
              "/dev/zero is a character device, not a regular file. Only a regular file is read as firmware.");
    EXPECT_EQ(checkImageFiles(splitFirmwareFile(dir.filePath("gone.cyacd")), temp1, temp2).reason,
              "The chosen file can no longer be read (No such file or directory).");

    // The images are checked against what was written, here image 2 cut
    // to its header and one row after the check accepted it.
    const SplitImages split = splitFirmwareFile(write("f.cyacd", image(1) + image(2)));
    ASSERT_TRUE(writeImageFiles(split, temp1, temp2).path.isEmpty());
    ASSERT_TRUE(checkImageFiles(withoutTexts(split), temp1, temp2).ok());
    QFile cut(temp2);
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite) && cut.resize(image(2).indexOf('\n', image(2).indexOf('\n') + 1) + 1));
    const FileProblem changed = checkImageFiles(withoutTexts(split), temp1, temp2);
    EXPECT_EQ(std::make_pair(changed.image, changed.reason),
              std::make_pair(2, "Image 2 in " + temp2 + " has changed since the file was chosen."));
}

TEST_F(FirmwareFileTest, AnImageFileThatCannotBeWrittenIsNamedWithItsReason)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("t2")); // a folder in the file's place
    const WriteProblem problem = writeImageFiles(splitFirmwareFile(write("f.cyacd", image(1) + image(2))), temp1, temp2);
    EXPECT_EQ(problem.path, temp2);
    EXPECT_FALSE(problem.reason.isEmpty());
    EXPECT_EQ(checkImageFile(dir.filePath("gone")).reason, "gone cannot be read (No such file or directory).");
    EXPECT_EQ(checkImageFile(temp1).reason, "");
}

} // namespace
