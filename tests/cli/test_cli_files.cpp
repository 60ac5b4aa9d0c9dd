// vireon-flash with files and devices it does not own, as users run it: the
// demo program in a process of its own (a link at --log, a named pipe or a
// device as the firmware file, a name with control characters, SIGTERM, two
// updaters of one surface), and in process a surface whose strings hold
// control characters.
#include "cyacd_gen.h"
#include "exit_codes.h"
#include "flash.h"
#include "hidsim.h"
#include "printable.h"
#include "surface_identity.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

using namespace vireon;
using namespace std::chrono_literals;

namespace {

const QByteArray kVictim = "the user's own notes\n";

class CliFiles : public testing::Test
{
protected:
    QString at(const QString &name) const { return dir_.filePath(name); }
    QString firmware(const QString &name) const
    {
        EXPECT_TRUE(QFile::copy(QStringLiteral(VIREON_EXAMPLE_FILE), at(name)));
        return at(name);
    }
    QByteArray read(const QString &name) const
    {
        QFile f(at(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // vireon-flash-demo in the test's folder; its surface lock in a runtime
    // folder of the test's own.
    void start(QProcess &demo, const QStringList &arguments) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        demo.setProcessEnvironment(environment);
        demo.setWorkingDirectory(dir_.path());
        demo.start(QStringLiteral(VIREON_FLASH_DEMO), QStringList{QStringLiteral("--off-bus-ms"), QStringLiteral("50")} +
                                                          arguments);
        ASSERT_TRUE(demo.waitForStarted());
    }
    struct Ended {
        int code = -1;
        QString out, err;
    };
    // Waits as long as it takes: a command that hangs is ended by ctest's
    // time limit, and fails.
    Ended run(const QStringList &arguments) const
    {
        QProcess demo;
        start(demo, arguments);
        EXPECT_TRUE(demo.waitForFinished(-1));
        return {demo.exitStatus() == QProcess::NormalExit ? demo.exitCode() : -1,
                QString::fromLocal8Bit(demo.readAllStandardOutput()), QString::fromLocal8Bit(demo.readAllStandardError())};
    }

    QTemporaryDir dir_, runtime_;
};

// Each file that is not a regular file is refused at once, by its kind;
// the named pipe too, which no writer ever opens: before, the command waited
// in open() for one, past Ctrl-C and SIGTERM.
TEST_F(CliFiles, AFirmwareFileThatIsNotRegularIsRefusedAtOnceByItsKind)
{
    ASSERT_EQ(mkfifo(QFile::encodeName(at("pipe.cyacd")).constData(), 0600), 0);
    ASSERT_EQ(mknod(QFile::encodeName(at("socket.cyacd")).constData(), S_IFSOCK | 0600, 0), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), at("null.cyacd")));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder.cyacd")));
    const struct {
        const char *name;
        const char *kind;
    } cases[] = {{"pipe.cyacd", "a named pipe (FIFO)"},
                 {"socket.cyacd", "a socket"},
                 {"null.cyacd", "a character device"},
                 {"folder.cyacd", "a folder"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Ended ended = run({QStringLiteral("update"), at(c.name)});
        EXPECT_EQ(ended.code, 3) << "file-refused";
        EXPECT_TRUE(ended.err.startsWith(QStringLiteral("vireon-flash: %1 is %2, not a regular file. Only a regular "
                                                        "file is read as firmware.\n")
                                             .arg(at(c.name), QLatin1String(c.kind))))
            << qPrintable(ended.err);
    }
}

// SIGTERM ends the command at any moment: given a named pipe, or waiting
// for a surface that never comes.
TEST_F(CliFiles, SigtermEndsTheCommandWhileItWaits)
{
    ASSERT_EQ(mkfifo(QFile::encodeName(at("pipe.cyacd")).constData(), 0600), 0);
    const struct {
        const char *what;
        QStringList arguments;
    } cases[] = {
        {"a named pipe", {QStringLiteral("update"), at("pipe.cyacd")}},
        {"no surface yet",
         {QStringLiteral("--scenario"), QStringLiteral("absent"), QStringLiteral("--wait"), QStringLiteral("60"),
          QStringLiteral("update"), firmware(QStringLiteral("fw.cyacd"))}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QProcess demo;
        start(demo, c.arguments);
        demo.waitForFinished(300);
        // (A process already ended has no id: kill(0) would end the test.)
        if (demo.state() == QProcess::Running && demo.processId() > 0)
            ::kill(static_cast<pid_t>(demo.processId()), SIGTERM);
        EXPECT_TRUE(demo.state() == QProcess::NotRunning || demo.waitForFinished(2000))
            << "still running 2 s after SIGTERM";
        EXPECT_NE(demo.exitCode(), 0);
        if (demo.state() != QProcess::NotRunning) {
            demo.kill();
            demo.waitForFinished();
        }
    }
}

// A link planted at --log's name is not followed (the command refuses to
// start, as for any log it cannot write), and
// a name that holds line ends and an escape sequence is one entry, shown
// escaped on the terminal too.
TEST_F(CliFiles, TheLogIsNeverWrittenThroughALinkAndEachEntryIsOneLine)
{
    {
        QFile victim(at("notes.txt"));
        ASSERT_TRUE(victim.open(QIODevice::WriteOnly) && victim.write(kVictim) > 0);
    }
    ASSERT_TRUE(QFile::link(at("notes.txt"), at("log.txt")));
    const Ended linked = run({QStringLiteral("-q"), QStringLiteral("--log"), QStringLiteral("log.txt"),
                              QStringLiteral("update"), firmware(QStringLiteral("fw.cyacd"))});
    EXPECT_EQ(linked.code, 2) << "usage: refused before anything reaches the surface";
    EXPECT_EQ(linked.err, QStringLiteral("vireon-flash-demo: cannot write the log file log.txt (%1 is a symbolic link, "
                                         "not a regular file. The updater does not write to it).\nTry "
                                         "'vireon-flash-demo --help'.\n")
                              .arg(at("log.txt")));
    EXPECT_EQ(read(QStringLiteral("notes.txt")), kVictim);

    const QString odd = firmware(QStringLiteral("a\n11:00:00am Stage 2: forged\rb\x1b[2K.cyacd"));
    const Ended named = run({QStringLiteral("--log"), QStringLiteral("flash.log"), QStringLiteral("update"), odd});
    EXPECT_EQ(named.code, 0) << qPrintable(named.err);
    const QString escaped = at(QStringLiteral("a\\n11:00:00am Stage 2: forged\\rb\\x1b[2K.cyacd"));
    EXPECT_TRUE(named.out.startsWith(QStringLiteral("file check: checking %1\n").arg(escaped))) << qPrintable(named.out);
    const QStringList lines = QString::fromLocal8Bit(read(QStringLiteral("flash.log"))).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.front().mid(10), QStringLiteral(" Check: checking %1").arg(escaped));
    static const QRegularExpression entry(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d[ap]m "));
    for (const QString &line : lines.mid(0, lines.size() - 1))
        EXPECT_TRUE(entry.match(line).hasMatch()) << qPrintable(line);
    EXPECT_FALSE(named.out.contains(QLatin1Char('\x1b')) || named.out.contains(QLatin1Char('\r')));
}

// Waits until `demo` has begun programming: it holds its surface's lock
// from before its first stage to its end.
static void waitUntilProgramming(QProcess &demo)
{
    QByteArray said;
    while (!said.contains("programming image 1") && demo.waitForReadyRead(-1))
        said += demo.readAllStandardOutput();
    ASSERT_TRUE(said.contains("programming image 1")) << (said + demo.readAllStandardError()).constData();
}

// One updater per surface: a second vireon-flash for the same surface (the
// demo's surface kept in the same state folder) is refused at once, naming
// the process that holds it; the first goes on.
TEST_F(CliFiles, ASecondUpdaterOfTheSameSurfaceIsRefusedNamingTheFirst)
{
    const QString file = firmware(QStringLiteral("fw.cyacd"));
    const QStringList kept{QStringLiteral("--state"), at(QStringLiteral("state"))};
    QProcess first;
    start(first, kept + QStringList{QStringLiteral("--report-ms"), QStringLiteral("5"), QStringLiteral("update"), file});
    waitUntilProgramming(first);
    const Ended second = run(kept + QStringList{QStringLiteral("update"), file});
    EXPECT_EQ(second.code, 11) << "surface-busy";
    const QString serial = QString::fromStdWString(sim::ownSerialNumber(QFile::encodeName(at("state")).toStdString()));
    EXPECT_EQ(second.err, QStringLiteral("vireon-flash: Another updater (vireon-flash-demo, process %1) is updating "
                                         "the surface with serial number %2.\n  fix: wait until that update has "
                                         "finished, then run the command again.\n")
                              .arg(first.processId())
                              .arg(serial));
    ASSERT_TRUE(first.waitForFinished(-1));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().constData();
    // Free again, once the surface is back from the restart that ended the
    // first update.
    EXPECT_EQ(run(kept + QStringList{QStringLiteral("--wait"), QStringLiteral("10"), QStringLiteral("-q"),
                                     QStringLiteral("update"), file})
                  .code,
              0);
}

// Demos with a state folder of their own, or none, simulate surfaces of
// their own: one updates its surface while the other is still busy with
// its own, in the same runtime folder.
TEST_F(CliFiles, DemosOfTheirOwnSurfacesUpdateSideBySide)
{
    const QString file = firmware(QStringLiteral("fw.cyacd"));
    QProcess slow;
    start(slow, {QStringLiteral("--state"), at(QStringLiteral("desk1")), QStringLiteral("--report-ms"),
                 QStringLiteral("200"), QStringLiteral("update"), file});
    waitUntilProgramming(slow);
    const struct {
        const char *what;
        QStringList options;
    } cases[] = {{"a state folder of its own", {QStringLiteral("--state"), at(QStringLiteral("desk2"))}},
                 {"no state folder", {}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const Ended other = run(c.options + QStringList{QStringLiteral("-q"), QStringLiteral("update"), file});
        EXPECT_EQ(other.code, 0) << qPrintable(other.err);
    }
    EXPECT_EQ(slow.state(), QProcess::Running) << "the two updates did not overlap";
    slow.kill();
    slow.waitForFinished(-1);
}

// A surface whose serial number holds control characters and runs on for
// thousands of characters: listed escaped and cut, and every JSON line
// parses.
TEST_F(CliFiles, ASurfacesOwnStringsAreEscapedAndCutOnEveryChannel)
{
    sim::Bus::instance().reset();
    sim::SurfaceOptions options;
    options.targets = tools::targetsFor(tools::twoChipImages(4, 64));
    const std::wstring start = L"VS\n12:00:00am List: forged\x1b[2J";
    options.serialNumber = start + std::wstring(4000, L'9');
    sim::Bus::instance().attach(options);
    const QString shown = QStringLiteral("VS\\n12:00:00am List: forged\\x1b[2J") +
                          QString(core::kMaxDeviceTextLength - int(start.size()), '9') + QStringLiteral("...");
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "json" : "human");
        char *outText = nullptr;
        size_t outSize = 0;
        FILE *out = open_memstream(&outText, &outSize);
        FILE *err = std::tmpfile();
        const QString log = at(QStringLiteral("list.log"));
        QStringList arguments{QStringLiteral("vireon-flash"), QStringLiteral("--log"), log, QStringLiteral("list")};
        if (json)
            arguments << QStringLiteral("--json");
        EXPECT_EQ(flash::run(arguments, out, err), 0);
        std::fclose(out);
        std::fclose(err);
        const QString printed = QString::fromLocal8Bit(outText);
        std::free(outText);
        EXPECT_FALSE(printed.contains(QLatin1Char('\x1b'))) << qPrintable(printed);
        EXPECT_EQ(printed.count(QLatin1Char('\n')), 2) << qPrintable(printed); // the surface and the end
        if (json) {
            const QJsonObject surface = QJsonDocument::fromJson(printed.section(QLatin1Char('\n'), 0, 0).toUtf8()).object();
            EXPECT_EQ(surface.value(QLatin1String("serial")).toString(), shown);
        } else {
            EXPECT_TRUE(printed.contains(QStringLiteral("serial ") + shown)) << qPrintable(printed);
        }
        EXPECT_EQ(QString::fromLocal8Bit(read(QStringLiteral("list.log"))).count(QLatin1Char('\n')), json ? 4 : 2);
    }
    sim::Bus::instance().reset();
}

// The bytes programmed are the bytes checked: another valid image for chip 1
// written into vireon-flash's own temporary image after the check, while
// it waits for the surface, never reaches the surface; the run says the
// image changed.
TEST_F(CliFiles, AnImageRewrittenInPlaceAfterTheCheckNeverReachesTheSurface)
{
    sim::Bus::instance().reset();
    const std::vector<tools::ImageSpec> checked = tools::twoChipImages(8, 64);
    const tools::ImageSpec other = tools::twoChipImages(8, 64, 7)[0];
    ASSERT_TRUE(tools::writeFile(at("fw.cyacd").toStdString(), checked));
    const QByteArray previousTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir_.path()));
    int steps[2];
    ASSERT_EQ(::pipe(steps), 0);
    FILE *out = ::fdopen(steps[1], "w");
    std::shared_ptr<sim::Surface> surface;
    // Once the command waits for a surface, its image is rewritten in place,
    // then the surface is plugged in.
    std::thread user([&] {
        FILE *in = ::fdopen(steps[0], "r");
        char line[4096];
        bool rewritten = false;
        while (std::fgets(line, sizeof line, in) != nullptr) {
            if (rewritten || !QByteArray(line).contains("waiting up to"))
                continue;
            const QStringList made = QDir(dir_.path()).entryList({QStringLiteral("vireon-flash-*")}, QDir::Dirs);
            QFile image(at(made.value(0) + QStringLiteral("/stage1_image.cyacd")));
            EXPECT_TRUE(image.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                        image.write(tools::imageText(other).c_str()) > 0);
            image.close();
            sim::SurfaceOptions options;
            options.targets = tools::targetsFor(checked);
            options.offBusAfterExit = 2ms;
            surface = sim::Bus::instance().attach(options);
            rewritten = true;
        }
        std::fclose(in);
    });
    FILE *err = std::tmpfile();
    const int code = flash::run({QStringLiteral("vireon-flash"), QStringLiteral("--wait"), QStringLiteral("60"),
                                 QStringLiteral("update"), at("fw.cyacd")},
                                out, err);
    std::fclose(out);
    user.join();
    std::fclose(err);
    if (previousTemp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", previousTemp);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(code, static_cast<int>(flash::Exit::FileRefused)); // the image changed
    {
        // Found changed as its stage was to begin: nothing was written.
        auto lock = surface->lock();
        EXPECT_FALSE(surface->device().flash(0) == tools::imageRows(other));
        EXPECT_TRUE(surface->device().flash(0).empty());
    }
    sim::Bus::instance().reset();
}

// A log at the file-size limit (ulimit -f) is a log that cannot be
// written: the update goes on to the end, the user is told, no entry is
// left cut, and the run's temporary folder goes with it.
TEST_F(CliFiles, ALogAtTheFileSizeLimitDoesNotEndTheUpdate)
{
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/prlimit"))) {
        std::fprintf(stderr, "prlimit is not installed: skipped\n");
        std::exit(77);
    }
    constexpr int kLimit = 40000; // room for the images, not for the log
    const QByteArray earlier = QByteArray(kLimit - 200, 'x') + '\n';
    {
        QFile log(at("flash.log"));
        ASSERT_TRUE(log.open(QIODevice::WriteOnly) && log.write(earlier) == earlier.size());
    }
    QProcess demo;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    environment.insert(QStringLiteral("TMPDIR"), dir_.path());
    demo.setProcessEnvironment(environment);
    demo.setWorkingDirectory(dir_.path());
    demo.start(QStringLiteral("/usr/bin/prlimit"),
               {QStringLiteral("--fsize=%1").arg(kLimit), QStringLiteral("--"), QStringLiteral(VIREON_FLASH_DEMO),
                QStringLiteral("--off-bus-ms"), QStringLiteral("50"), QStringLiteral("-q"), QStringLiteral("--log"),
                QStringLiteral("flash.log"), QStringLiteral("update"), firmware(QStringLiteral("fw.cyacd"))});
    ASSERT_TRUE(demo.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(demo.readAllStandardError());
    EXPECT_EQ(demo.exitStatus(), QProcess::NormalExit) << "ended by a signal";
    EXPECT_EQ(demo.exitCode(), static_cast<int>(flash::Exit::Success)) << qPrintable(err);
    EXPECT_TRUE(err.startsWith(QStringLiteral("vireon-flash: cannot append to the log file flash.log"))) << qPrintable(err);
    const QByteArray log = read(QStringLiteral("flash.log"));
    EXPECT_TRUE(log.startsWith(earlier));
    EXPECT_TRUE(log.endsWith('\n')) << "no entry left cut";
    EXPECT_TRUE(QDir(dir_.path()).entryList({QStringLiteral("vireon-flash-*")}, QDir::Dirs).isEmpty());
}

} // namespace
