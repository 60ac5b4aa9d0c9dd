// vireon-flash as shipped, on the system's hidapi, in a child process under
// the preload, served by this process's testbed: a whole update across the
// surface's restart on the real bus, and a refused open told as a
// permission problem with its fix.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

#include <unistd.h>

#include "cyacd_gen.h"
#include "hidraw_testbed.h"

namespace {

using namespace std::chrono_literals;
using namespace vireon;

std::vector<tools::ImageSpec> images()
{
    tools::ImageSpec first;
    first.rowCount = 8;
    first.rowSize = 64;
    tools::ImageSpec second = first;
    second.siliconId = 0x56530002;
    second.seed = 2;
    return {first, second};
}

struct Outcome {
    int code = -1;
    QString err;
};

// `asUser`: without root's power over file permissions, which an exec would
// give back to a root child unless it leaves the bounding set.
Outcome flash(const QStringList &arguments, bool asUser = false)
{
    QProcess program; // inherits the preload and the testbed's directory
    if (asUser && geteuid() == 0)
        program.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--bounding-set"),
                                                             QStringLiteral("-dac_override,-dac_read_search"),
                                                             QStringLiteral("--"), QStringLiteral(VIREON_FLASH)} +
                                                     arguments);
    else
        program.start(QStringLiteral(VIREON_FLASH), arguments);
    Outcome run;
    if (program.waitForFinished(120000) && program.exitStatus() == QProcess::NormalExit)
        run.code = program.exitCode();
    run.err = QString::fromLocal8Bit(program.readAllStandardError());
    return run;
}

TEST(ShippedFlash, UpdatesBothChipsAcrossTheRestartAndTellsARefusedOpen)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("fw.cyacd"));
    ASSERT_TRUE(tools::writeFile(file.toStdString(), images()));
    testbed::HidrawTestbed bed(tools::targetsFor(images()), 300ms);

    const Outcome update = flash({QStringLiteral("update"), file, QStringLiteral("-q")});
    EXPECT_EQ(update.code, 0) << qPrintable(update.err);
    {
        auto lock = bed.lock();
        EXPECT_TRUE(bed.device().flash(0) == tools::imageRows(images()[0]));
        EXPECT_TRUE(bed.device().flash(1) == tools::imageRows(images()[1]));
    }

    ASSERT_TRUE(bed.waitPlugged(true, 5s));
    bed.denyAccess(true);
    bed.unplug();
    bed.plug();
    const Outcome refused = flash({QStringLiteral("update"), file}, true);
    EXPECT_EQ(refused.code, 5) << qPrintable(refused.err);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("70-vireon-surface.rules"))) << qPrintable(refused.err);
}

} // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    if (!testbed::underPreload()) {
        std::fprintf(stderr, "umockdev's preload library is not loaded: skipped\n");
        return 77;
    }
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
