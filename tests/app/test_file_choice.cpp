// Choosing the firmware file through the real dialog: the suffix rule, the
// split into the two temporary images, the check of each image, and what
// the user is told when something is wrong.
#include "app_fixture.h"

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace apptest {
namespace {

using vireon::tools::imageText;

class FileChoiceTest : public WindowTest {
protected:
    QString temp1() const { return read(current() + "/vireonTemp1.txt"); }
    QString temp2() const { return read(current() + "/vireonTemp2.txt"); }
    bool logged(const QString &entry) const { return logEntries().contains(" Main Thread: " + entry); }
    QString image(int i) const { return QString::fromStdString(imageText(images()[static_cast<size_t>(i)])); }
    QString fileWith(const QString &name, const QString &text)
    {
        EXPECT_TRUE(write(path(name), text.toUtf8()));
        return path(name);
    }
    // The file is chosen and offered once the surface is seen.
    void expectChosen(const QString &file)
    {
        attachSurface();
        probe().doHID();
        ASSERT_NE(probe().selectedFilePath(), nullptr);
        EXPECT_EQ(QString::fromUtf8(probe().selectedFilePath()), QFileInfo(file).canonicalFilePath());
        EXPECT_TRUE(probe().updateEnabled());
    }
    void expectNoneChosen()
    {
        attachSurface();
        probe().doHID();
        EXPECT_EQ(probe().selectedFilePath(), nullptr);
        EXPECT_FALSE(probe().updateEnabled());
        EXPECT_FALSE(probe().ui().updateLabel->isEnabled());
    }
};

TEST_F(FileChoiceTest, GoodFileIsSplitLoggedAndChosenByItsCanonicalPathUntilTheNext)
{
    const QString file = fileWith(QString::fromUtf8("fïrmware.cyacd"), image(0) + image(1));
    ASSERT_TRUE(QFile::link(file, path("link.cyacd")));
    EXPECT_TRUE(choose(path("link.cyacd")).size() == 1); // the dialog, no box
    EXPECT_EQ(temp1(), image(0));
    EXPECT_EQ(temp2(), image(1));
    const QStringList expected{" Main Thread: Temp filepath: " + QFileInfo(file).canonicalFilePath(),
                               " Main Thread: Temp filepath 1: " + current() + "/vireonTemp1.txt",
                               " Main Thread: Temp filepath 2: " + current() + "/vireonTemp2.txt",
                               " Main Thread: Writing to the 2 temporary files...",
                               " Main Thread: File split successfully"};
    EXPECT_EQ(logEntries().mid(3), expected);
    EXPECT_EQ(probe().ui().fileNameLabel->pixmap(Qt::ReturnByValue).size(), QSize(363, 41));
    expectChosen(file);
    EXPECT_EQ(QByteArray(probe().selectedFilePath()), QFileInfo(file).canonicalFilePath().toUtf8());

    // A second choice is split from scratch.
    auto specs = images();
    specs[0].seed = 5;
    specs[1].seed = 6;
    ASSERT_TRUE(vireon::tools::writeFile(path("second.cyacd").toStdString(), specs));
    choose(path("second.cyacd"));
    EXPECT_EQ(temp1().toStdString(), imageText(specs[0]));
    EXPECT_EQ(temp2().toStdString(), imageText(specs[1]));
    expectChosen(path("second.cyacd"));

    closeWindow();
    EXPECT_FALSE(QFileInfo::exists(current() + "/vireonTemp1.txt"));
    EXPECT_FALSE(QFileInfo::exists(current() + "/vireonTemp2.txt"));
}

TEST_F(FileChoiceTest, OnlyTheLowerCaseSuffixIsTakenAndARefusalChangesNothing)
{
    const QString good = fileWith("good.cyacd", image(0) + image(1));
    choose(good);
    const QString upper = fileWith("upper.CYACD", image(1) + image(0));
    const QString other = fileWith("other.txt", image(1) + image(0));
    for (const auto &steps : {std::deque<ModalScript::Step>{ModalScript::choose(upper), ModalScript::ok()},
                              std::deque<ModalScript::Step>{ModalScript::choose(other), ModalScript::ok()},
                              std::deque<ModalScript::Step>{ModalScript::cancel(), ModalScript::ok()}}) {
        const auto seen = browse(steps);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[1].title, "Vireon Surface Bootloader");
        EXPECT_EQ(seen[1].text, "Please Select a file ending with '.cyacd'");
    }
    EXPECT_EQ(temp1(), image(0));
    EXPECT_EQ(logEntries().filter("Temp filepath: ").size(), 1);
    expectChosen(good);
}

// How the lines of a file are shared out between the two images, and which
// files the image check refuses, naming the image and the chosen file's line.
TEST_F(FileChoiceTest, SplitSharesOutLinesByHeaderAndTheCheckRefusesBadImages)
{
    const QString a = image(0), b = image(1);
    auto line = [](const QString &text, int from, int to = -2) { return text.section('\n', from, to == -2 ? from : to) + '\n'; };
    auto flipLastDigit = [](QString l) { return l.chopped(2) + (l.endsWith("0\n") ? "1\n" : "0\n"); };
    const QString null;
    const struct {
        const char *what;
        QString text, temp1, temp2, box;
    } cases[] = {
        {"two images", a + b, a, b, {}},
        {"rows before the first header go nowhere", ":0000000001AA\n" + a + b, a, b, {}},
        {"CR LF line ends", QString(a + b).replace("\n", "\r\n"), a, b, {}},
        {"one header only", a, a, "", "Image 2 of the firmware file is not usable.\nThe image is missing"},
        {"a third header joins the second image", a + b + a, a, b + a, "Image 2 of the firmware file is not usable.\n"
                                                                        "Line 11: The line is not a row line"},
        {"an empty line inside image 1 starts image 2", line(a, 0, 1) + "\n" + line(a, 2, 4) + b, line(a, 0, 1),
         "\n" + line(a, 2, 4) + b, "Image 2 of the firmware file is not usable.\nLine 3: The header line is empty."},
        {"an empty line before the second header", a + "\n" + b, a, "\n" + b,
         "Image 2 of the firmware file is not usable.\nLine 6: The header line is empty."},
        {"a header that starts with a blank", a + " " + b, a, " " + b,
         "Image 2 of the firmware file is not usable.\nLine 6: The header line is too short"},
        {"row checksum", line(a, 0, 1) + flipLastDigit(line(a, 2)) + line(a, 3, 4) + b, null, null,
         "Image 1 of the firmware file is not usable.\nLine 3: The row's checksum does not match its data."},
        {"row length", a + line(b, 0) + line(b, 1).chopped(3) + "\n" + line(b, 2, 4), null, null,
         "Image 2 of the firmware file is not usable.\nLine 7: The row's length field does not match the line."},
        {"short header", "1234\n" + line(a, 1, 4) + b, null, null,
         "Image 1 of the firmware file is not usable.\nLine 1: The header line is too short"},
        {"no rows", a + line(b, 0), null, null, "Image 2 of the firmware file is not usable.\nThe image holds no rows."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        choose(fileWith("good.cyacd", a + b));
        QFile::remove(path("log.txt"));
        const QString file = fileWith("split.cyacd", c.text);
        const auto seen = choose(file, c.box.isEmpty() ? std::deque<ModalScript::Step>{}
                                                       : std::deque<ModalScript::Step>{ModalScript::ok()});
        if (!c.temp1.isNull()) {
            EXPECT_EQ(temp1(), c.temp1);
            EXPECT_EQ(temp2(), c.temp2);
        }
        EXPECT_TRUE(logged("File split successfully"));
        if (c.box.isEmpty()) {
            EXPECT_EQ(seen.size(), 1u);
            expectChosen(file);
            continue;
        }
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[1].title, "Vireon Surface Bootloader");
        EXPECT_TRUE(seen[1].text.startsWith(c.box)) << seen[1].text.toStdString();
        const QString image = c.box.left(7).toLower(), why = c.box.section('\n', 1);
        EXPECT_EQ(logEntries().filter(" Main Thread: Firmware file check failed: " + image + ": " + why).size(), 1);
        expectNoneChosen();
    }
}

TEST_F(FileChoiceTest, UnreadableFileIsReportedAndNotChosen)
{
    choose(fileWith("good.cyacd", image(0) + image(1)));
    expectChosen(path("good.cyacd"));
    // A socket is there to be listed but cannot be opened, even by root.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path("locked.cyacd"));
    ASSERT_LT(size_t(name.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    QFile locked(path("locked.cyacd"));
    ASSERT_FALSE(locked.open(QIODevice::ReadOnly));

    const auto seen = choose(path("locked.cyacd"), {ModalScript::ok()});
    ::close(fd);
    ASSERT_EQ(seen.size(), 2u); // no second box from the image check
    EXPECT_EQ(seen[1].title, "Vireon Surface");
    EXPECT_EQ(seen[1].text, locked.errorString());
    // The entry ends its line, so the next one starts on its own.
    EXPECT_TRUE(logged("Firmware error: " + locked.errorString()));
    EXPECT_TRUE(logged("Temp filepath 1: " + current() + "/vireonTemp1.txt"));
    EXPECT_EQ(temp1(), "");
    EXPECT_EQ(shown(probe().ui().updateLabel), probe().updateWhiteDisabled().cacheKey());
    expectNoneChosen();
}

TEST_F(FileChoiceTest, TemporaryFileThatCannotBeWrittenIsReported)
{
    const QString file = fileWith("good.cyacd", image(0) + image(1));
    // A folder in a temporary file's place cannot be opened, even by root;
    // /dev/full takes the open and refuses the data.
    auto folder = [this](const char *temp) { return QDir(current()).mkdir(temp); };
    auto full = [this](const char *temp) { return QFile::link("/dev/full", current() + "/" + temp); };
    const struct {
        const char *what;
        const char *temp;
        std::function<bool(const char *)> block;
    } cases[] = {
        {"first cannot be created", "vireonTemp1.txt", folder},
        {"second cannot be created", "vireonTemp2.txt", folder},
        {"disk full", "vireonTemp2.txt", full},
        {"disk full", "vireonTemp1.txt", full},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        choose(file);
        expectChosen(file);
        QFile::remove(path("log.txt"));
        ASSERT_TRUE(QFile::remove(current() + "/" + c.temp));
        ASSERT_TRUE(c.block(c.temp));
        const auto seen = choose(file, {ModalScript::ok()});
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[1].title, "Vireon Surface Bootloader");
        EXPECT_TRUE(seen[1].text.startsWith("The temporary files could not be written in " + current()))
            << seen[1].text.toStdString();
        EXPECT_TRUE(seen[1].text.contains(c.temp));
        EXPECT_EQ(logEntries().filter(" Main Thread: Could not write temporary file " + current() + "/" + c.temp + ": ").size(), 1);
        EXPECT_FALSE(logged("File split successfully"));
        expectNoneChosen();
        QDir(current()).rmdir(c.temp);
        QFile::remove(current() + "/" + c.temp);
    }
}

TEST_F(FileChoiceTest, LongNamesAreElidedToFitThePanel)
{
    // Where the name is painted: the pixels that differ from the bare panel.
    auto textColumns = [this]() {
        const QImage drawn = probe().ui().fileNameLabel->pixmap(Qt::ReturnByValue).toImage();
        const QImage panel = QPixmap(":/new/prefix1/Vireon_Update_Elements/Blue Window.png")
                                 .scaled(drawn.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                 .toImage()
                                 .convertToFormat(drawn.format());
        int left = drawn.width(), right = -1;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                if (drawn.pixel(x, y) != panel.pixel(x, y)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return std::make_pair(left, right);
    };
    const QString longName = QString(120, 'w') + "-end.cyacd";
    choose(fileWith(longName, image(0) + image(1)));
    const auto [left, right] = textColumns();
    const int width = probe().ui().fileNameLabel->pixmap(Qt::ReturnByValue).width();
    // Unelided, the name would run far past both edges.
    EXPECT_GT(left, 0);
    EXPECT_LT(right, width - 1);
    EXPECT_GT(right - left, width / 2);
    expectChosen(path(longName));

    choose(fileWith("a.cyacd", image(0) + image(1)));
    const auto [shortLeft, shortRight] = textColumns();
    EXPECT_LT(shortRight - shortLeft, (right - left) / 2);
}

} // namespace
} // namespace apptest
