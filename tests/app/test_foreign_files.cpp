// The window in a folder it does not own, with files a careless or hostile
// neighbour put there: links at the names it writes, a named pipe or a
// device chosen as firmware, a lock file that is not its own, a name that
// would forge a log line, and another updater busy with the same surface.
#include "app_fixture.h"

#include "single_instance.h"
#include "surface_identity.h"

#include <QLockFile>
#include <QProcess>

#include <atomic>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace apptest {
namespace {

const QString kVictimText = "the user's own notes\n";

class ForeignFilesTest : public WindowTest {
protected:
    static bool logged(const QString &entry) { return logEntries().contains(" Main Thread: " + entry); }
    static bool link(const QString &target, const QString &name) { return QFile::link(target, path(name)); }
};

// Each planted file is left as it was, the program's own file is made anew
// beside it, and the log says what was found.
TEST_F(ForeignFilesTest, ALinkAtANameTheWindowWritesIsNeverFollowed)
{
    const QString victim = write("notes.txt", kVictimText);
    const struct {
        const char *name;
        QString logLine; // the entry that names what was found; empty: the log cannot be written
        QString box;     // the box's informative text; empty: no box
    } cases[] = {
        {"vireonTemp1.txt",
         path("vireonTemp1.txt") + " was a symbolic link; it was replaced by the image, and what it pointed to was left alone.",
         {}},
        {"vireonTemp2.txt",
         path("vireonTemp2.txt") + " was a symbolic link; it was replaced by the image, and what it pointed to was left alone.",
         {}},
        {"log.txt", {}, path("log.txt") + " is a symbolic link, not a regular file. The updater does not write to it."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(link(victim, c.name));
        std::vector<Seen> seen = withModals({}, [this] { window(); });
        for (const Seen &more : choose(goodFile()))
            seen.push_back(more);
        EXPECT_EQ(read(victim), kVictimText);
        EXPECT_NE(probe().selectedFilePath(), nullptr); // the file is chosen all the same
        if (c.box.isEmpty()) {
            EXPECT_EQ(seen.size(), 1u); // the file dialog alone
            EXPECT_TRUE(logged(c.logLine)) << logEntries().join('\n').toStdString();
            EXPECT_FALSE(QFileInfo(path(c.name)).isSymLink());
        } else {
            ASSERT_EQ(seen.size(), 2u);
            EXPECT_EQ(seen[0].text, "Error creating log file.\nPlease click to proceed.");
            EXPECT_EQ(seen[0].info, c.box + "\nThe updater works without it, but keeps no record of the update. Start "
                                             "it in a folder you can write to, such as your home folder.");
            EXPECT_TRUE(QFileInfo(path(c.name)).isSymLink());
        }
        closeWindow();
        EXPECT_EQ(read(victim), kVictimText);
        QFile::remove(path(c.name));
        QFile::remove(path("log.txt"));
    }
}

// Only a regular file is read as firmware: anything else is refused by its
// kind, and a named pipe is never opened, so it cannot hold the window.
TEST_F(ForeignFilesTest, AFileThatIsNotRegularIsRefusedAtOnceByItsKind)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.cyacd")).constData(), 0600), 0);
    ASSERT_TRUE(link("/dev/null", "null.cyacd"));
    // A writer that does not wait opens a pipe only while a reader has it
    // open, or waits in open() for a writer: the window, should it open the
    // pipe after all. Its open then lets that reader go on, so the test ends
    // and says so.
    std::atomic<bool> done{false}, readerSeen{false};
    std::thread writer([&done, &readerSeen, pipe = QFile::encodeName(path("pipe.cyacd"))] {
        while (!done) {
            std::this_thread::sleep_for(20ms);
            const int fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                readerSeen = true;
                ::close(fd);
            }
        }
    });
    const struct {
        const char *name;
        QString kind;
    } cases[] = {{"pipe.cyacd", "a named pipe (FIFO)"}, {"null.cyacd", "a character device"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        window();
        const auto seen = choose(path(c.name));
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[1].text, path(c.name) + " is " + c.kind + ", not a regular file.");
        EXPECT_FALSE(readerSeen) << "the window opened the pipe";
        EXPECT_EQ(probe().selectedFilePath(), nullptr);
        EXPECT_TRUE(logged("Firmware error: " + seen[1].text));
        closeWindow();
    }
    done = true;
    writer.join();
}

// A lock file that is not one this user's updater left is not taken over,
// and the user is told whose it is and what to do.
TEST_F(ForeignFilesTest, ALockThatIsNotThisUsersIsNamedAndNotTakenOver)
{
    const QString lock = path(vireon::app::kFolderLockName);
    // A second user is played by the owner the test gives the file when it
    // may (root), else by the updater's idea of who it is.
    const bool root = ::geteuid() == 0;
    const uid_t me = root ? ::geteuid() : ::geteuid() + 1;
    const QString other = vireon::core::userName(root ? 65534 : ::geteuid());
    const struct {
        const char *what;
        std::function<void()> plant;
        QString problem;
    } cases[] = {
        {"another user's lock naming a running vireon-control",
         [&] {
             write(vireon::app::kFolderLockName, QString("%1\nvireon-control\n\n").arg(QCoreApplication::applicationPid()));
             if (root) {
                 ASSERT_EQ(::chown(QFile::encodeName(lock).constData(), 65534, 65534), 0);
             }
         },
         lock + " belongs to the user " + other + ", not to you."},
        {"a link", [&] { ASSERT_TRUE(link(write("notes.txt", kVictimText), vireon::app::kFolderLockName)); },
         lock + " is a symbolic link, not a regular file."},
        {"a named pipe", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0); },
         lock + " is a named pipe (FIFO), not a regular file."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        c.plant();
        QLockFile folderLock(lock);
        bool claimed = true;
        const auto seen = withModals({}, [&] { claimed = vireon::app::claimWorkingFolder(folderLock, me); });
        EXPECT_FALSE(claimed);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, "vireon.control cannot work in the folder\n" + QDir::currentPath() +
                                    "\n\nIts lock file is not one of your updaters: " + c.problem);
        EXPECT_TRUE(seen[0].info.contains("start vireon.control in a folder of your own")) << seen[0].info.toStdString();
        EXPECT_TRUE(logged("The lock file is not this user's: " + c.problem + " This one exits."));
        EXPECT_TRUE(QFileInfo::exists(lock) || QFileInfo(lock).isSymLink()); // left as it was
        QFile::remove(lock);
        QFile::remove("log.txt");
    }
    EXPECT_EQ(read(path("notes.txt")), kVictimText);
}

// A file name with line ends and an escape sequence is one log entry.
TEST_F(ForeignFilesTest, ANameWithControlCharactersIsOneLogEntry)
{
    const QString name = "a\nforged: entry\rb\x1b[31m.cyacd";
    const QString file = goodFile(name);
    choose(file);
    ASSERT_NE(probe().selectedFilePath(), nullptr);
    const QString escaped = QDir::currentPath() + "/a\\nforged: entry\\rb\\x1b[31m.cyacd";
    EXPECT_TRUE(logged("Temp filepath: " + escaped)) << logEntries().join('\n').toStdString();
    static const QRegularExpression entry("^\\d\\d:\\d\\d:\\d\\d[ap]m ");
    for (const QString &line : read("log.txt").split('\n', Qt::SkipEmptyParts).mid(1))
        EXPECT_TRUE(entry.match(line).hasMatch()) << line.toStdString();
    EXPECT_FALSE(read("log.txt").contains('\r') || read("log.txt").contains('\x1b'));
}

// One updater per surface: while another process updates the surface,
// UPDATE is refused at once, naming that process, and nothing is sent.
TEST_F(ForeignFilesTest, ASurfaceAnotherProcessUpdatesIsNotUpdatedAgain)
{
    const QString file = goodFile();
    // The other updater: vireon-flash-demo on its simulated surface (made for
    // the example file), slowed so that it holds the surface's lock for a
    // minute. Kept in a state folder, that surface reports the serial number
    // the folder gives it: this process's surface reports the same, so the
    // two are one surface.
    QTemporaryDir state;
    sim::SurfaceOptions options;
    options.targets = vireon::tools::targetsFor(images());
    options.serialNumber = sim::ownSerialNumber(QFile::encodeName(state.path()).toStdString());
    auto surface = sim::Bus::instance().attach(options);
    QProcess other;
    other.start(VIREON_FLASH_DEMO, {"--state", state.path(), "--report-ms", "200", "update", VIREON_EXAMPLE_FILE});
    // It holds the lock from before its first stage on.
    QByteArray said;
    while (!said.contains("programming image 1") && other.waitForReadyRead(-1))
        said += other.readAllStandardOutput();
    ASSERT_TRUE(said.contains("programming image 1")) << (said + other.readAllStandardError()).constData();
    window().show();
    choose(file);
    probe().doHID();
    ASSERT_TRUE(probe().updateEnabled());
    const auto seen = withModals({}, [this] { QTest::mouseClick(probe().ui().updateLabel, Qt::LeftButton); });
    const QString problem = QString("Another updater (vireon-flash-demo, process %1) is updating the surface with "
                                    "serial number %2.")
                                .arg(other.processId())
                                .arg(QString::fromStdWString(options.serialNumber));
    ASSERT_EQ(seen.size(), 1u) << seen.back().text.toStdString();
    EXPECT_EQ(seen[0].text, problem + "\nOnly one updater can update a surface at a time. Wait until that update has "
                                      "finished, then press UPDATE again.");
    EXPECT_TRUE(logged(problem + " Update not started."));
    EXPECT_EQ(surface->exchanges(), 0);
    EXPECT_EQ(window().property("updateStage").toString(), "idle");
    other.kill();
    other.waitForFinished();
}

} // namespace
} // namespace apptest
