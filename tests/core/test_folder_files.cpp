// Files the updater makes in folders it does not own, on real files: what
// each kind of file planted at one of its names does to it, texts from
// outside made one log entry each, the temporary images read through their
// open files, and the lock that keeps one updater per surface.
#include "folder_files.h"
#include "log_line.h"
#include "printable.h"
#include "temporary_images.h"

#include "cyacd_gen.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

using namespace vireon::core;

const QByteArray kVictim = "the user's own notes\n";

class FolderFilesTest : public ::testing::Test {
protected:
    QString at(const QString &name) const { return dir.filePath(name); }
    QByteArray read(const QString &name) const
    {
        QFile f(at(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    QString write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(at(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return f.fileName();
    }
    static QByteArray name(const QString &path) { return QFile::encodeName(path); }

    // What the test plants at the name "x" (a victim file beside it).
    enum class Planted { Nothing, Regular, Link, DanglingLink, Pipe, Socket, Folder, HardLink, Foreign };
    void plant(Planted what)
    {
        write("victim", kVictim);
        switch (what) {
        case Planted::Nothing:
            break;
        case Planted::Regular:
            write("x", "earlier\n");
            break;
        case Planted::Link:
            ASSERT_TRUE(QFile::link(at("victim"), at("x")));
            break;
        case Planted::DanglingLink:
            ASSERT_TRUE(QFile::link(at("missing/victim"), at("x")));
            break;
        case Planted::Pipe:
            ASSERT_EQ(mkfifo(name(at("x")).constData(), 0600), 0);
            break;
        case Planted::Socket:
            ASSERT_EQ(mknod(name(at("x")).constData(), S_IFSOCK | 0600, 0), 0);
            break;
        case Planted::Folder:
            ASSERT_TRUE(QDir(dir.path()).mkdir("x"));
            break;
        case Planted::HardLink:
            ASSERT_EQ(::link(name(at("victim")).constData(), name(at("x")).constData()), 0);
            break;
        case Planted::Foreign: // another user's file (only root can give one away)
            write("x", "theirs\n");
            ASSERT_EQ(::chown(name(at("x")).constData(), 4242, 4242), 0);
            break;
        }
    }
    QTemporaryDir dir;
};

// Appending (the log) creates anew or appends to a regular file, and refuses
// anything else without touching what a link points to.
TEST_F(FolderFilesTest, AppendingNeverFollowsALinkNorOpensAnOddFile)
{
    const struct {
        const char *what;
        Planted planted;
        QString problem; // "%1": the name's path; empty: appended
        QByteArray after;
    } cases[] = {
        {"nothing", Planted::Nothing, {}, "entry\n"},
        {"a regular file", Planted::Regular, {}, "earlier\nentry\n"},
        {"a link", Planted::Link, "%1 is a symbolic link, not a regular file. The updater does not write to it.", {}},
        {"a dangling link", Planted::DanglingLink,
         "%1 is a symbolic link, not a regular file. The updater does not write to it.", {}},
        {"a named pipe", Planted::Pipe, "%1 is a named pipe (FIFO), not a regular file. The updater does not write to it.",
         {}},
        {"a folder", Planted::Folder, "%1 is a folder, not a regular file. The updater does not write to it.", {}},
        {"a hard link", Planted::HardLink,
         "%1 has 2 names (hard links): it may be another file under this name. The updater does not write to it.",
         kVictim},
        {"another user's file", Planted::Foreign,
         "%1 belongs to the user uid 4242, not to you. The updater does not write to it.", "theirs\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.planted == Planted::Foreign && ::geteuid() != 0)
            continue;
        plant(c.planted);
        OpenedFile opened = openForAppend(at("x"));
        EXPECT_EQ(opened.problem, c.problem.isEmpty() ? QString() : c.problem.arg(at("x")));
        if (opened.ok()) {
            ASSERT_EQ(::write(opened.file.fd(), "entry\n", 6), 6);
        }
        if (c.planted != Planted::Pipe && c.planted != Planted::Folder && c.planted != Planted::Link) {
            EXPECT_EQ(read("x"), c.after.isEmpty() ? QByteArray("<unreadable>") : c.after);
        }
        EXPECT_EQ(read("victim"), kVictim);
        EXPECT_FALSE(QFileInfo::exists(at("missing")));
        QDir(dir.path()).rmdir("x");
        QFile::remove(at("x"));
    }
}

// Replacing (the temporary images) puts a new file of this user's at the
// name, whatever stood there, and says what that was; a folder stays.
TEST_F(FolderFilesTest, ReplacingPutsANewFileAtTheNameAndNeverWritesThroughALink)
{
    const struct {
        const char *what;
        Planted planted;
        QString found;
        bool replaced;
    } cases[] = {
        {"nothing", Planted::Nothing, {}, true},
        {"a regular file", Planted::Regular, {}, true},
        {"a link", Planted::Link, "a symbolic link", true},
        {"a dangling link", Planted::DanglingLink, "a symbolic link", true},
        {"a named pipe", Planted::Pipe, "a named pipe (FIFO)", true},
        {"a socket", Planted::Socket, "a socket", true},
        {"a folder", Planted::Folder, {}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        plant(c.planted);
        const ReplacedFile written = replaceFile(at("x"), "image\n");
        EXPECT_EQ(written.ok(), c.replaced);
        EXPECT_EQ(written.found, c.found);
        EXPECT_EQ(written.problem, c.replaced ? QString() : at("x") + " is a folder, not a file.");
        EXPECT_EQ(read("victim"), kVictim);
        EXPECT_FALSE(QFileInfo::exists(at("missing")));
        if (c.replaced) {
            const QFileInfo made(at("x"));
            EXPECT_TRUE(made.isFile() && !made.isSymLink());
            EXPECT_EQ(read("x"), "image\n");
            EXPECT_EQ(made.permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::WriteGroup), 0);
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".x.").size(), 0); // no leftovers
        QDir(dir.path()).rmdir("x");
        QFile::remove(at("x"));
    }
}

TEST_F(FolderFilesTest, ReplacingOnAFullDiskNamesTheFileAndLeavesNoHalfWrittenFile)
{
    write("x", "earlier\n");
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const ReplacedFile written = replaceFile(at("x"), "a whole image\n");
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(written.problem, at("x") + " cannot be written: File too large.");
    EXPECT_EQ(read("x"), "earlier\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files), QStringList{"x"});
}

// A file the user names is read only when it is a regular file (a link the
// user named is followed), and refused by its kind at once otherwise.
TEST_F(FolderFilesTest, OnlyARegularFileIsOpenedForReading)
{
    write("regular", "rows\n");
    ASSERT_TRUE(QFile::link(at("regular"), at("link")));
    ASSERT_EQ(mkfifo(name(at("pipe")).constData(), 0600), 0);
    ASSERT_EQ(mknod(name(at("socket")).constData(), S_IFSOCK | 0600, 0), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const struct {
        QString path;
        QString problem;
        bool notRegular;
    } cases[] = {
        {at("regular"), {}, false},
        {at("link"), {}, false},
        {at("pipe"), at("pipe") + " is a named pipe (FIFO), not a regular file.", true},
        {at("socket"), at("socket") + " is a socket, not a regular file.", true},
        {"/dev/null", "/dev/null is a character device, not a regular file.", true},
        {at("folder"), at("folder") + " is a folder, not a regular file.", true},
        {at("missing"), "No such file or directory", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const OpenedFile opened = openRegularFile(c.path);
        EXPECT_EQ(opened.problem, c.problem);
        EXPECT_EQ(opened.notRegular, c.notRegular);
        QByteArray bytes;
        if (opened.ok()) {
            EXPECT_TRUE(readWhole(opened.file.fd(), &bytes, 100) && bytes == "rows\n");
        }
    }
}

// Every control character written out, so that a text from outside can
// never begin a line of its own; a device's text cut when absurdly long.
TEST(Printable, ControlsAreEscapedAndDeviceTextsCut)
{
    const struct {
        const char *what;
        QString in, escaped;
    } cases[] = {
        {"plain", "VS-0001", "VS-0001"},
        {"line feed", "a\nb", "a\\nb"},
        {"carriage return", "a\rb", "a\\rb"},
        {"tab", "a\tb", "a\\tb"},
        {"escape sequence", "a\x1b[31mb", "a\\x1b[31mb"},
        {"nul and delete", QString("a") + QChar(0) + QChar(0x7f), "a\\x00\\x7f"},
        {"next line (C1)", QString("a") + QChar(0x85) + "b", "a\\x85b"},
        {"line separator", QString("a") + QChar(0x2028) + "b", "a\\u2028b"},
        {"right-to-left override", QString("fw") + QChar(0x202E) + "dcyc.exe", "fw\\u202edcyc.exe"},
        {"embeddings and marks",
         QString(QChar(0x202A)) + QChar(0x202B) + QChar(0x202C) + QChar(0x202D) + QChar(0x200E) + QChar(0x200F) +
             QChar(0x061C),
         "\\u202a\\u202b\\u202c\\u202d\\u200e\\u200f\\u061c"},
        {"isolates", QString(QChar(0x2066)) + QChar(0x2067) + QChar(0x2068) + QChar(0x2069), "\\u2066\\u2067\\u2068\\u2069"},
        {"not ASCII", "Oberfläche", "Oberfläche"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(escapeControls(c.in), c.escaped);
        EXPECT_EQ(deviceText(c.in), c.escaped);
    }
    const std::wstring longSerial(5000, L'7');
    EXPECT_EQ(deviceText(longSerial.c_str()), QString(kMaxDeviceTextLength, '7') + "...");
    EXPECT_EQ(deviceText(QString(kMaxDeviceTextLength, '7')), QString(kMaxDeviceTextLength, '7'));
    const wchar_t invalid[] = {L'A', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), L'\n', 0};
    EXPECT_EQ(deviceText(invalid), QString("A") + QChar(0xFFFD) + QChar(0xFFFD) + "\\n");
    EXPECT_EQ(deviceText(static_cast<const wchar_t *>(nullptr)), QString());
}

// A path and a device's text with a line feed, a carriage return and an
// escape sequence: each log entry stays one line.
TEST_F(FolderFilesTest, EachLogEntryIsOneLineWhateverItNames)
{
    const QString log = at("log.txt");
    const QString path = "/home/u/a\nforged: Firmware update 2 success. errorFlag==0\rb\x1b[2K.cyacd";
    const wchar_t serial[] = L"VS\n12:00:00am  Main Thread: forged\x1b]0;title\x07";
    ASSERT_EQ(prepareLog(QDateTime::currentDateTime(), log), QString());
    ASSERT_TRUE(appendLogEntry(" Main Thread: ", "Temp filepath: " + path + "\n", log));
    ASSERT_TRUE(appendLogEntry(" Thread 1: ", "Surface: " + deviceText(serial) + "\n", log));
    const QStringList lines = QString::fromUtf8(read("log.txt")).split('\n');
    ASSERT_EQ(lines.size(), 4); // the creation line, two entries, the end
    EXPECT_TRUE(lines[0].startsWith("Log Created: "));
    const QRegularExpression stamp("^\\d\\d:\\d\\d:\\d\\d[ap]m ");
    EXPECT_EQ(lines[1].mid(10),
              " Main Thread: Temp filepath: /home/u/a\\nforged: Firmware update 2 success. errorFlag==0\\rb\\x1b[2K.cyacd");
    EXPECT_EQ(lines[2].mid(10), " Thread 1: Surface: VS\\n12:00:00am  Main Thread: forged\\x1b]0;title\\x07");
    EXPECT_TRUE(stamp.match(lines[1]).hasMatch() && stamp.match(lines[2]).hasMatch());
    EXPECT_EQ(lines[3], "");
}

// The temporary images: the bootloader host reads each from a sealed copy of
// the bytes written, whatever is put at its name or written into the file
// later, and unchanged() says when the name no longer holds those bytes.
TEST_F(FolderFilesTest, TemporaryImagesAreReadThroughTheFilesChecked)
{
    const QByteArray one = QByteArray::fromStdString(vireon::tools::imageText({.rowCount = 2, .rowSize = 16, .seed = 1}));
    const QByteArray two = QByteArray::fromStdString(vireon::tools::imageText({.rowCount = 2, .rowSize = 16, .seed = 2}));
    const QByteArray other = QByteArray::fromStdString(vireon::tools::imageText({.rowCount = 2, .rowSize = 16, .seed = 3}));
    const SplitImages split = splitFirmwareFile(write("f.cyacd", one + two));
    const struct {
        const char *what;
        std::function<void()> change;
        QString problem; // "%1": image 2's path
    } cases[] = {
        {"left alone", [] {}, {}},
        {"replaced by rename",
         [&] { ASSERT_EQ(::rename(name(write("swap", other)).constData(), name(at("t2")).constData()), 0); },
         "%1 was replaced or removed after the file was checked: image 2 is not the one checked."},
        {"removed", [&] { QFile::remove(at("t2")); },
         "%1 was replaced or removed after the file was checked: image 2 is not the one checked."},
        {"written in place", [&] { write("t2", other); }, "Image 2 in %1 has changed since the file was chosen."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(QFile::link(at("victim"), at("t2")) || QFileInfo(at("t2")).isSymLink());
        write("victim", kVictim);
        TemporaryImages images;
        ASSERT_TRUE(images.write(split, at("t1"), at("t2")).path.isEmpty());
        EXPECT_EQ(images.oddFilesReplaced(),
                  QStringList{at("t2") + " was a symbolic link; it was replaced by the image, and what it pointed to "
                                         "was left alone."});
        EXPECT_EQ(read("victim"), kVictim);
        ASSERT_TRUE(images.check(split).ok());
        c.change();
        EXPECT_EQ(images.unchanged(1).reason, QString());
        EXPECT_EQ(images.unchanged(2).reason, c.problem.isEmpty() ? QString() : c.problem.arg(at("t2")));
        // The host's path reads the bytes checked, even when they were
        // written over in the named file itself; and nobody can change them
        // through it.
        QFile host(QFile::decodeName(images.hostPath(2)));
        ASSERT_TRUE(host.open(QIODevice::ReadOnly));
        EXPECT_EQ(host.readAll(), two);
        const int writer = ::open(images.hostPath(2).constData(), O_WRONLY | O_CLOEXEC);
        EXPECT_EQ(::write(writer, "x", 1), -1);
        ::close(writer);
        EXPECT_NE(::truncate(images.hostPath(2).constData(), 0), 0);
        images.remove();
        // A file someone else put at the name is theirs: it stays.
        EXPECT_EQ(QFileInfo::exists(at("t2")), c.problem.contains("replaced") && QString(c.what) != "removed");
        EXPECT_FALSE(QFileInfo::exists(at("t1")));
        QFile::remove(at("t2"));
    }
}

} // namespace
