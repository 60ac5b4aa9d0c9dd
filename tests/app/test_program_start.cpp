// The shipped program and the demo as a user starts them, each in a child
// process in a folder of its own: --help and --version answer without a
// window, and a start on the X server prints nothing on standard error.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "version.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct Program {
    const char *name;
    const char *path;
};
const Program kPrograms[] = {{"vireon-control", VIREON_CONTROL}, {"vireon-control-demo", VIREON_CONTROL_DEMO}};

class ProgramTest : public ::testing::TestWithParam<Program> {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    void start(const QStringList &arguments, const QProcessEnvironment &environment)
    {
        process.setWorkingDirectory(folder.path());
        process.setProcessEnvironment(environment);
        process.start(QString::fromLocal8Bit(GetParam().path), arguments);
        ASSERT_TRUE(process.waitForStarted());
    }
    bool logged(const QString &text) const
    {
        QFile log(QDir(folder.path()).filePath("log.txt"));
        return log.open(QIODevice::ReadOnly) && log.readAll().contains(text.toUtf8());
    }

    QTemporaryDir folder;
    QProcess process;
};

TEST_P(ProgramTest, HelpAndVersionAnswerAndExitWithoutAWindow)
{
    // No display: a program that tried to open its window would fail.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    const QString name = QString::fromLatin1(GetParam().name);
    const struct {
        const char *option;
        QString out;
    } cases[] = {{"--version", name + " " VIREON_VERSION "\n"}, {"--help", "usage: " + name}, {"-h", "usage: " + name}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.option);
        start({c.option}, environment);
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        EXPECT_TRUE(out.startsWith(c.out)) << out.toStdString();
        EXPECT_EQ(process.readAllStandardError().toStdString(), "");
        EXPECT_FALSE(QFile::exists(QDir(folder.path()).filePath("log.txt"))) << "no window was made";
    }
}

TEST_P(ProgramTest, AStartPrintsNothingOnStandardError)
{
    start({}, QProcessEnvironment::systemEnvironment());
    ASSERT_TRUE(QTest::qWaitFor([this] { return logged("*** Version"); }, 60000));
    // A few presence ticks and the first paints.
    QTest::qWait(2000);
    EXPECT_EQ(process.state(), QProcess::Running);
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.readAllStandardError().toStdString(), "");
    EXPECT_TRUE(process.readAllStandardOutput().startsWith("vireon.control " VIREON_VERSION "\n"));
}

// Both share the folder's temporary images and log: a second one started
// in the same folder says which one runs there, and makes no window of its own.
TEST_P(ProgramTest, ASecondOneInTheSameFolderIsRefused)
{
    start({}, QProcessEnvironment::systemEnvironment());
    ASSERT_TRUE(QTest::qWaitFor([this] { return logged("*** Version"); }, 60000));
    QProcess second;
    second.setWorkingDirectory(folder.path());
    second.start(QString::fromLocal8Bit(GetParam().path), QStringList());
    const QString refusal = QString("Another updater (process %1) is running in %2. This one exits.")
                                .arg(process.processId())
                                .arg(folder.path());
    EXPECT_TRUE(QTest::qWaitFor([&] { return logged(refusal); }, 60000));
    second.kill(); // it waits for the user to read its box
    second.waitForFinished();
    process.terminate();
    process.waitForFinished();
    QFile log(QDir(folder.path()).filePath("log.txt"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().count("*** Updater Started"), 1);
}

// A log.txt at the file-size limit (ulimit -f) is a log that cannot be
// written, as on a full disk: the window starts and stays, where the
// signal for a write past the limit would end it.
TEST_P(ProgramTest, ALogAtTheFileSizeLimitDoesNotEndTheProgram)
{
    if (!QFile::exists("/usr/bin/prlimit")) {
        std::fprintf(stderr, "prlimit is not installed: skipped\n");
        std::exit(77);
    }
    constexpr int kLimit = 4096;
    QFile log(QDir(folder.path()).filePath("log.txt"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly) && log.write(QByteArray(kLimit, 'x')) == kLimit);
    log.close();
    process.setWorkingDirectory(folder.path());
    process.start("/usr/bin/prlimit", {QString("--fsize=%1").arg(kLimit), "--", QString::fromLocal8Bit(GetParam().path)});
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([this] { return process.state() != QProcess::Running || process.bytesAvailable() > 0; }, 60000));
    QTest::qWait(1500); // presence ticks, each logging nothing new, and the first paints
    ASSERT_EQ(process.state(), QProcess::Running) << "ended by the file-size limit";
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(QFileInfo(log).size(), kLimit) << "nothing written past the limit";
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramTest, ::testing::ValuesIn(kPrograms),
                         [](const auto &info) { return std::string(info.param.name == std::string("vireon-control") ? "Shipped" : "Demo"); });

} // namespace
