// The shipped vireon-control itself, in a child process under the preload,
// served by this process's testbed: it starts, and its presence check
// follows the surface. An absent surface shows in the program's debug
// output (its window category turned on) as "Pixmap: updateWhiteDisabled"
// on every tick; a present one
// shows as listings that read the surface's HID device in sysfs with no
// such line after them.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <sys/inotify.h>
#include <unistd.h>

#include "cyacd_gen.h"
#include "hidraw_testbed.h"

namespace {

class Watched {
public:
    explicit Watched(QProcess &program) : program(program) {}
    ~Watched() { close(notify); }
    // Reads the program's output and the listings until `done` holds;
    // false when a minute went by first.
    template <class F> bool until(F done)
    {
        for (int waited = 0; waited < 600 && program.state() == QProcess::Running; ++waited) {
            program.waitForReadyRead(100);
            const QByteArray more = program.readAll();
            if (more.contains("Pixmap: updateWhiteDisabled")) {
                absentTicks += more.count("Pixmap: updateWhiteDisabled");
                presentReads = 0;
            }
            inotify_event events[16];
            for (ssize_t n; (n = read(notify, events, sizeof events)) > 0;)
                presentReads += int(n / ssize_t(sizeof(inotify_event)));
            if (done())
                return true;
        }
        return false;
    }
    // Counts the opens of the HID device's uevent from now on.
    void watch(const std::string &device) { inotify_add_watch(notify, (device + "/uevent").c_str(), IN_OPEN); }

    QProcess &program;
    const int notify = inotify_init1(IN_NONBLOCK);
    int absentTicks = 0;  // absent ticks seen
    int presentReads = 0; // reads of the surface since the last absent tick
};

TEST(ShippedProgram, StartsAndItsPresenceCheckFollowsTheSurface)
{
    QTemporaryDir dir;
    vireon::testbed::HidrawTestbed bed(vireon::tools::targetsFor({vireon::tools::ImageSpec{}}));
    bed.unplug();
    QProcess program; // inherits the preload and the testbed's directory
    program.setWorkingDirectory(dir.path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vireon.window.debug=true"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VIREON_CONTROL), QStringList());
    ASSERT_TRUE(program.waitForStarted(30000));
    Watched watched(program);

    EXPECT_TRUE(watched.until([&] { return watched.absentTicks >= 2; }));
    bed.plug();
    watched.watch(bed.hidDevicePath());
    EXPECT_TRUE(watched.until([&] { return watched.presentReads >= 3; })); // about one read a tick
    const int absent = watched.absentTicks;
    bed.unplug();
    EXPECT_TRUE(watched.until([&] { return watched.absentTicks >= absent + 2; }));

    EXPECT_EQ(program.state(), QProcess::Running);
    program.terminate();
    EXPECT_TRUE(program.waitForFinished(30000)); // before the testbed goes
    QFile log(dir.filePath("log.txt"));
    EXPECT_TRUE(log.open(QIODevice::ReadOnly) && log.readAll().contains("Main Thread: "));
}

} // namespace
