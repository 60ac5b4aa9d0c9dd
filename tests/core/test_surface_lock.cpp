// The one-updater-per-surface lock against a careless set-up and a hostile
// neighbour: the lock's name, a second claim refused naming the holder, and
// the folder it lives in when another local user made the shared name
// first (that user's steps run as uid 4242 with setpriv). The places are a
// tree of the test's own standing in for /tmp, /run/user and the home
// folder. Exits 77 when it cannot act as another user (not root, or no
// setpriv).
#include "surface_lock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace {

using namespace vireon::core;

constexpr int kNeighbour = 4242;

class SurfaceLockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Everyone may reach the tree; its tmp is shared as /tmp is.
        ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0755), 0);
        for (const char *folder : {"tmp", "run/user", "home"})
            ASSERT_TRUE(QDir(root.path()).mkpath(folder));
        ASSERT_EQ(::chmod(QFile::encodeName(at("tmp")).constData(), 01777), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(at("home")).constData(), 0700), 0);
    }
    QString at(const QString &name) const { return root.filePath(name); }
    RuntimePlaces places(const QString &given = {}) const
    {
        return {given, at("run/user"), at("tmp"), at("home")};
    }
    QString shared() const { return at("tmp/vireon-%1").arg(::geteuid()); }
    // Runs a command as the neighbour, as a local user would.
    static void asNeighbour(const QStringList &command)
    {
        if (::geteuid() != 0 || !QFileInfo::exists("/usr/bin/setpriv")) {
            std::fprintf(stderr, "needs root and setpriv to act as another user: skipped\n");
            std::exit(77);
        }
        const QString id = QString::number(kNeighbour);
        QProcess process;
        process.start("/usr/bin/setpriv", QStringList{"--reuid=" + id, "--regid=" + id, "--clear-groups"} + command);
        ASSERT_TRUE(process.waitForFinished(10000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().constData();
    }

    QTemporaryDir root;
};

TEST_F(SurfaceLockTest, ASecondClaimOfTheSameSurfaceIsRefusedNamingTheHolder)
{
    const QString runtime = at("runtime");
    ASSERT_TRUE(QDir().mkdir(runtime));
    ASSERT_TRUE(QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    EXPECT_EQ(surfaceLockKey("VS-0001", "/dev/hidraw3"), "serial-VS-0001");
    EXPECT_EQ(surfaceLockKey("a/b\\n..", "/dev/hidraw3"), "serial-a%2Fb%5Cn..");
    EXPECT_EQ(surfaceLockKey({}, "sim:7"), "path-sim%3A7");
    EXPECT_EQ(surfaceLockPath("serial-VS-0001", places(runtime)), runtime + "/vireon-surface-serial-VS-0001.lock");

    SurfaceLock first(places(runtime)), second(places(runtime)), other(places(runtime));
    ASSERT_TRUE(first.claim("VS-0001", "/dev/hidraw3"));
    EXPECT_FALSE(second.claim("VS-0001", "/dev/hidraw9")); // the same surface on another node
    EXPECT_FALSE(second.setupProblem());
    EXPECT_EQ(second.holder(), QCoreApplication::applicationPid());
    // The holder's program is the name the lock records: this test's own.
    EXPECT_TRUE(second.problem().endsWith(QString(", process %1) is updating the surface with serial number VS-0001.")
                                              .arg(QCoreApplication::applicationPid())))
        << second.problem().toStdString();
    EXPECT_TRUE(other.claim("VS-0002", "/dev/hidraw3"));
    first.release();
    EXPECT_TRUE(second.claim("VS-0001", "/dev/hidraw9"));
}

// The places in their order: a private $XDG_RUNTIME_DIR, the login
// manager's folder, then the shared one, made private when missing.
TEST_F(SurfaceLockTest, TheFirstPrivateFolderOfTheUsersOwnIsTheRuntimeFolder)
{
    const QString open = at("open");
    ASSERT_TRUE(QDir().mkdir(open));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    EXPECT_EQ(runtimeFolder(places(open)).path, shared()) << "a runtime folder others may write to is passed over";
    EXPECT_EQ(QFileInfo(shared()).permissions() & 0x0077, 0) << "made for this user alone";

    const QString login = at("run/user/%1").arg(::geteuid());
    ASSERT_TRUE(QDir().mkdir(login));
    ASSERT_EQ(::chmod(QFile::encodeName(login).constData(), 0700), 0);
    EXPECT_EQ(runtimeFolder(places()).path, login);
}

// A neighbour who made the shared name first, as a folder or as a link to
// one of theirs, never holds the lock: the home folder's own takes its
// place, and two updaters of one surface still meet there.
TEST_F(SurfaceLockTest, ASharedFolderAnotherUserMadeFirstIsNeverUsed)
{
    const QString mine = at("home/.cache/vireon-control");
    const struct {
        const char *what;
        QStringList steps;
    } cases[] = {
        {"a folder", {"mkdir", "-m", "0777", shared()}},
        {"a link", {"sh", "-c", "mkdir -m 0777 \"$0.theirs\" && ln -s \"$0.theirs\" \"$0\"", shared()}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        asNeighbour({"rm", "-rf", shared(), shared() + ".theirs"});
        asNeighbour(c.steps);
        const RuntimeFolder folder = runtimeFolder(places());
        EXPECT_EQ(folder.path, mine);
        EXPECT_EQ(QFileInfo(mine).permissions() & 0x0077, 0);
        SurfaceLock first(places()), second(places());
        ASSERT_TRUE(first.claim("VS-0001", "/dev/hidraw0"));
        EXPECT_FALSE(second.claim("VS-0001", "/dev/hidraw0"));
        EXPECT_FALSE(second.setupProblem());
        EXPECT_TRUE(QDir(shared()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty())
            << "nothing of ours in the neighbour's folder";
    }
}

// With no private folder anywhere, the update stops with a set-up problem
// that names the neighbour's folder and its owner, never without its lock.
TEST_F(SurfaceLockTest, WithNoPrivateFolderTheClaimIsASetUpProblem)
{
    asNeighbour({"mkdir", "-m", "0777", shared()});
    ASSERT_EQ(::chmod(QFile::encodeName(at("home")).constData(), 0777), 0);
    SurfaceLock lock(places());
    EXPECT_FALSE(lock.claim("VS-0001", "/dev/hidraw0"));
    EXPECT_TRUE(lock.setupProblem());
    EXPECT_EQ(lock.problem(), QString("No folder of yours alone holds the surface locks: %1 belongs to the user uid "
                                      "%2, not to you, and your home folder %3 is not yours alone. The update does not "
                                      "start without its lock.")
                                  .arg(shared())
                                  .arg(kNeighbour)
                                  .arg(at("home")));
    EXPECT_EQ(lock.fix(), "set XDG_RUNTIME_DIR to a folder of your own that nobody else may use (mode 700), then try "
                          "again.");
}

} // namespace
