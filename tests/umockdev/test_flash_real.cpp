// vireon-flash as shipped, on the system's hidapi, in a child process under
// the preload, served by this process's testbed: a whole update across the
// surface's restart on the real bus, a refused open told as a permission
// problem with its fix, and two processes updating two surfaces at once.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

#include <unistd.h>

#include "cyacd_gen.h"
#include "hidraw_testbed.h"
#include "../private_folders.h"

namespace {

using namespace std::chrono_literals;
using namespace vireon;

std::vector<tools::ImageSpec> images(uint32_t seed = 1) { return tools::twoChipImages(8, 64, seed); }

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

// An update stopped between its images leaves the surface in its second
// chip's bootloader. The next update meets that chip, waits for the restart
// its exit command begins, and programs both chips: on the first try, every
// time, on the real stack where a departing node is still listed for a
// moment as it goes.
TEST(ShippedFlash, ASurfaceLeftInItsSecondChipIsUpdatedOnTheFirstTryEveryTime)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("fw.cyacd"));
    ASSERT_TRUE(tools::writeFile(file.toStdString(), images()));
    testbed::HidrawTestbed bed(tools::targetsFor(images()), 300ms);
    int updated = 0;
    for (int run = 0; run < 20; ++run) {
        ASSERT_TRUE(bed.waitPlugged(true, 5s));
        {
            auto lock = bed.lock();
            bed.device().clearFlash(0);
            bed.device().clearFlash(1);
            if (bed.device().currentTarget() == 0)
                bed.device().restart(); // the second chip has the bus
        }
        // The last run ended as the surface left the bus to restart: the
        // next waits for it to be back.
        const Outcome update = flash({QStringLiteral("update"), file, QStringLiteral("-q"), QStringLiteral("--wait"),
                                      QStringLiteral("10")});
        EXPECT_EQ(update.code, 0) << "run " << run << ": " << qPrintable(update.err);
        auto lock = bed.lock();
        updated += update.code == 0 && bed.device().flash(0) == tools::imageRows(images()[0]) &&
                   bed.device().flash(1) == tools::imageRows(images()[1]);
    }
    EXPECT_EQ(updated, 20);
}

// Two surfaces, each updated by its own process with its own file: each
// surface holds its file's images, and both saw the same number of reports,
// so neither process wrote to the other's surface.
TEST(ShippedFlash, TwoProcessesUpdateTwoSurfacesAtOnce)
{
    QTemporaryDir dir;
    const QString serials[] = {QStringLiteral("VS-0001"), QStringLiteral("VS-0002")};
    QString files[2];
    std::vector<std::unique_ptr<testbed::HidrawTestbed>> beds;
    for (unsigned i = 0; i < 2; ++i) {
        files[i] = dir.filePath(QStringLiteral("fw%1.cyacd").arg(i));
        ASSERT_TRUE(tools::writeFile(files[i].toStdString(), images(1 + 10 * i)));
        beds.push_back(std::make_unique<testbed::HidrawTestbed>(tools::targetsFor(images(1 + 10 * i)), 300ms, i,
                                                                 serials[i].toStdString()));
    }
    QProcess runs[2];
    for (unsigned i = 0; i < 2; ++i)
        runs[i].start(QStringLiteral(VIREON_FLASH),
                      {QStringLiteral("update"), files[i], QStringLiteral("--serial"), serials[i], QStringLiteral("-q")});
    for (unsigned i = 0; i < 2; ++i) {
        ASSERT_TRUE(runs[i].waitForFinished(120000));
        EXPECT_EQ(runs[i].exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(runs[i].exitCode(), 0) << qPrintable(QString::fromLocal8Bit(runs[i].readAllStandardError()));
        auto lock = beds[i]->lock();
        EXPECT_TRUE(beds[i]->device().flash(0) == tools::imageRows(images(1 + 10 * i)[0])) << i;
        EXPECT_TRUE(beds[i]->device().flash(1) == tools::imageRows(images(1 + 10 * i)[1])) << i;
    }
    EXPECT_GT(beds[0]->exchanges(), 0);
    EXPECT_EQ(beds[0]->exchanges(), beds[1]->exchanges());
}

} // namespace

int main(int argc, char **argv)
{
    const vireon::tests::PrivateFolders folders;
    // The programs started here meet the same leak of Debian 12's hidapi as
    // the other real-path tests (hid_open_path, when a node hangs up as it
    // is opened; see test_main.cpp): their leak check is told of it.
    QFile suppressions(folders.runtimePath(QStringLiteral("lsan-suppressions")));
    if (suppressions.open(QIODevice::WriteOnly) && suppressions.write("leak:libhidapi-hidraw.so.0\n") > 0) {
        suppressions.close();
        QByteArray options = qgetenv("LSAN_OPTIONS");
        if (!options.isEmpty())
            options += ':';
        options += "suppressions=" + QFile::encodeName(suppressions.fileName());
        qputenv("LSAN_OPTIONS", options);
    }
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
