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
    Failure check(const QByteArray &bytes)
    {
        const SplitImages split = splitFirmwareFile(write("f.cyacd", bytes));
        EXPECT_TRUE(writeImageFiles(split, temp1, temp2).ok());
        return checkImageFiles(split, temp1, temp2);
    }
    QTemporaryDir dir;
    const QString temp1 = dir.filePath("t1"), temp2 = dir.filePath("t2");
};

TEST_F(FirmwareFileTest, TheImagesWrittenToDiskAreCheckedByTheFileRulesNamingTheFilesLine)
{
    const QByteArray good = image(1) + image(2);
    EXPECT_TRUE(check(good).ok());
    QByteArray bad = good;
    bad[bad.indexOf('\n', bad.indexOf("\n:", image(1).size()) + 1) + 3] = 'Z'; // line 7: image 2's second row
    const Failure found = check(bad);
    EXPECT_EQ(std::make_tuple(found.image, found.line), std::make_tuple(2, 7));
    EXPECT_TRUE(found.reason.startsWith("Line 7 of the file (image 2) has 'Z'")) << found.reason.toStdString();
    const SplitImages split = splitFirmwareFile(write("f.cyacd", good));
    EXPECT_EQ(std::make_tuple(split.rows1, split.rows2), std::make_tuple(3, 3));
}

TEST_F(FirmwareFileTest, ATooLargeVanishedOrChangedFileIsRefused)
{
    // Past the limit the file is refused by its size, unread.
    QFile big(dir.filePath("big.cyacd"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(vireon::engine::kMaxFirmwareFileSize + 1));
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
    ASSERT_TRUE(writeImageFiles(split, temp1, temp2).ok());
    ASSERT_TRUE(checkImageFiles(withoutTexts(split), temp1, temp2).ok());
    QFile cut(temp2);
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite) && cut.resize(image(2).indexOf('\n', image(2).indexOf('\n') + 1) + 1));
    const Failure changed = checkImageFiles(withoutTexts(split), temp1, temp2);
    EXPECT_EQ(std::make_pair(changed.image, changed.reason),
              std::make_pair(2, "Image 2 in " + temp2 + " has changed since the file was chosen."));
}

TEST_F(FirmwareFileTest, AnImageFileThatCannotBeWrittenIsNamedWithItsReason)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("t2")); // a folder in the file's place
    const Failure problem = writeImageFiles(splitFirmwareFile(write("f.cyacd", image(1) + image(2))), temp1, temp2);
    EXPECT_EQ(problem.path, temp2);
    EXPECT_FALSE(problem.reason.isEmpty());
}

} // namespace
