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
    QString write(const QString &name, const QString &text)
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) == text.toUtf8().size());
        return f.fileName();
    }
    static QString image(uint32_t seed)
    {
        return QString::fromStdString(vireon::tools::imageText({.rowCount = 3, .rowSize = 16, .seed = seed}));
    }
    // Splits `text`, writes both images and checks them.
    FileProblem check(const QString &text)
    {
        const SplitImages split = splitFirmwareFile(write("f.cyacd", text));
        const QString temp1 = dir.filePath("t1"), temp2 = dir.filePath("t2");
        EXPECT_TRUE(writeImageFiles(split, temp1, temp2).path.isEmpty());
        return checkImageFiles(split, temp1, temp2);
    }
    QTemporaryDir dir;
};

TEST_F(FirmwareFileTest, HeadersShareTheLinesOutAndNumberWhereEachImageBegins)
{
    const SplitImages split = splitFirmwareFile(write("f.cyacd", ":00\nH1\n:01\n\nH3\r\n:02"));
    EXPECT_EQ(split.image1, "H1\n:01\n");          // the row before the first header goes nowhere
    EXPECT_EQ(split.image2, "\nH3\n:02\n");        // an empty line is a header; later headers join image 2
    EXPECT_EQ(std::make_pair(split.firstLine1, split.firstLine2), std::make_pair(2, 4));

    const SplitImages none = splitFirmwareFile(dir.filePath("missing.cyacd"));
    EXPECT_TRUE(none.image1.isEmpty() && none.image2.isEmpty() && none.firstLine1 == 0 && none.firstLine2 == 0);
}

TEST_F(FirmwareFileTest, CheckNamesTheImageTheChosenFilesLineAndTheReason)
{
    EXPECT_TRUE(check(image(1) + image(2)).ok());

    QString bad = image(2); // image 2 begins on line 5; its second row is line 7
    bad.replace(bad.section('\n', 2, 2), bad.section('\n', 2, 2).chopped(1) + (bad.section('\n', 2, 2).endsWith('0') ? "1" : "0"));
    const FileProblem checksum = check(image(1) + bad);
    EXPECT_EQ(std::make_tuple(checksum.image, checksum.line, checksum.reason),
              std::make_tuple(2, 7, QString("The row's checksum does not match its data.")));

    const FileProblem missing = check(image(1));
    EXPECT_EQ(std::make_pair(missing.image, missing.line), std::make_pair(2, 0)); // the image as a whole
    EXPECT_TRUE(missing.reason.startsWith("The image is missing"));

    const FileProblem junk = check("H1\n:zz\n" + image(2));
    EXPECT_EQ(std::make_tuple(junk.image, junk.line), std::make_tuple(1, 1)); // a short header
}

TEST_F(FirmwareFileTest, AnImageFileThatCannotBeWrittenIsNamedWithItsReason)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("t2")); // a folder in the file's place
    const WriteProblem problem = writeImageFiles(splitFirmwareFile(write("f.cyacd", image(1) + image(2))),
                                                 dir.filePath("t1"), dir.filePath("t2"));
    EXPECT_EQ(problem.path, dir.filePath("t2"));
    EXPECT_FALSE(problem.reason.isEmpty());
    const FileProblem unreadable = checkImageFile(dir.filePath("gone"));
    EXPECT_EQ(unreadable.reason, "The temporary file cannot be read.");
}

} // namespace
