// update FILE and verify FILE: check the whole file, find the surface,
// run image 1, watch the surface restart, run image 2.
#include "commands.h"

#include "bus_watch.h"
#include "firmware_file.h"
#include "interrupt.h"
#include "stage_run.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace vireon::flash {
namespace {

// A surface that has just appeared may refuse opens until udev has given
// its new node this user's access.
constexpr std::chrono::milliseconds kOpenSettle{5000};

int finish(Reporter &reporter, const Stage &stage, const Outcome &outcome)
{
    reporter.finish(stage, outcome);
    return static_cast<int>(outcome.code);
}

struct Images {
    QByteArray paths[2];
    int rows[2] = {0, 0};
};

// Writes the two images where the host's file reader takes them. The host
// reads an application id from a path whose last '_' is followed by one
// character and a '.'; "_image." names none, whatever the folder is called.
bool writeImages(const core::FirmwareFile &file, const QTemporaryDir &dir, Images *images, QString *error)
{
    for (int i = 0; i < 2; ++i) {
        QFile out(dir.filePath(QStringLiteral("stage%1_image.cyacd").arg(i + 1)));
        const QByteArray &text = file.images[i].text;
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(text) != text.size() || !out.flush()) {
            *error = QStringLiteral("%1: %2").arg(out.fileName(), out.errorString());
            return false;
        }
        images->paths[i] = QFile::encodeName(out.fileName());
        images->rows[i] = 0;
        for (const QByteArray &line : text.split('\n'))
            images->rows[i] += line.startsWith(':') ? 1 : 0;
    }
    return true;
}

QString surfaceList(const std::vector<SurfaceInfo> &surfaces)
{
    QStringList names;
    for (const SurfaceInfo &surface : surfaces)
        names << describe(surface);
    return names.join(QStringLiteral(", "));
}

Outcome noSurface(const Options &options)
{
    const std::vector<SurfaceInfo> attached = attachedSurfaces();
    if (!options.device.isEmpty() || !options.serial.isEmpty())
        return {Exit::NoSurface,
                QStringLiteral("No surface with %1 %2 is attached%3.")
                    .arg(options.device.isEmpty() ? QStringLiteral("serial number") : QStringLiteral("path"),
                         options.device.isEmpty() ? options.serial : options.device,
                         attached.empty() ? QString() : QStringLiteral(" (attached: %1)").arg(surfaceList(attached))),
                QStringLiteral("check the path or serial number with 'vireon-flash list'.")};
    return {Exit::NoSurface,
            options.waitSeconds > 0
                ? QStringLiteral("No Vireon Surface was attached within %1 s.").arg(options.waitSeconds)
                : QStringLiteral("No Vireon Surface is attached."),
            QStringLiteral("plug the surface in (or give --wait SECONDS); if it is plugged in, 'vireon-flash doctor' "
                           "checks the set-up.")};
}

Outcome interruptedBetween(bool program)
{
    if (!program)
        return {Exit::Interrupted, QStringLiteral("Interrupted between the two checks."),
                QStringLiteral("nothing was changed on the surface.")};
    return {Exit::Interrupted,
            QStringLiteral("Interrupted after image 1 was programmed: image 2 is not programmed yet."),
            QStringLiteral("run 'vireon-flash update FILE' again, which programs both.")};
}

} // namespace

int twoStageCommand(const Options &options, Reporter &reporter)
{
    const bool program = options.command == Options::Command::Update;

    reporter.step(stage::Check, QStringLiteral("checking %1").arg(options.file));
    const core::FirmwareFile file = core::readFirmwareFile(options.file);
    if (!file.ok) {
        const QString where = file.line > 0 ? QStringLiteral(", line %1").arg(file.line) : QString();
        return finish(reporter, stage::Check,
                      {Exit::FileRefused,
                       QStringLiteral("%1 is refused: image %2%3: %4").arg(options.file).arg(file.image).arg(where,
                                                                                                          file.reason),
                       QStringLiteral("use the surface's two-image firmware file (.cyacd) as it was delivered.")});
    }
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vireon-flash-XXXXXX"));
    Images images;
    QString writeError;
    if (!dir.isValid() || !writeImages(file, dir, &images, &writeError))
        return finish(reporter, stage::Check,
                      {Exit::FileRefused,
                       QStringLiteral("The images could not be written to a temporary folder: %1")
                           .arg(dir.isValid() ? writeError : dir.errorString()),
                       QStringLiteral("make sure %1 is writable and has free space (TMPDIR chooses another).")
                           .arg(QDir::tempPath())});
    reporter.step(stage::Check,
                  QStringLiteral("both images are sound (%1 and %2 rows)").arg(images.rows[0]).arg(images.rows[1]));

    const Selector selector{options.device, options.serial};
    if (options.waitSeconds > 0)
        reporter.step(stage::Wait, QStringLiteral("waiting up to %1 s for a surface").arg(options.waitSeconds));
    const SurfaceWait wait = waitForSurface(selector, options.waitSeconds);
    if (wait.kind == SurfaceWait::Interrupted)
        return finish(reporter, stage::Wait,
                      {Exit::Interrupted, QStringLiteral("Interrupted while waiting for a surface."),
                       QStringLiteral("nothing was changed on the surface.")});
    if (wait.kind == SurfaceWait::TimedOut)
        return finish(reporter, stage::Wait, noSurface(options));
    if (selector.any() && wait.surfaces.size() > 1)
        return finish(reporter, stage::Wait,
                      {Exit::Usage,
                       QStringLiteral("%1 surfaces are attached: %2.").arg(wait.surfaces.size()).arg(surfaceList(
                                                                                                   wait.surfaces)),
                       QStringLiteral("choose one with --device PATH or --serial SERIAL.")});

    StageJob job;
    job.action = program ? PROGRAM : VERIFY;
    job.imagePath = images.paths[0];
    job.rows = images.rows[0];
    job.surface = wait.surfaces.front();
    // Only a surface that appeared while we waited may still be settling.
    job.openSettle = options.waitSeconds > 0 ? kOpenSettle : std::chrono::milliseconds(0);
    const RestartWatch watch{job.surface, attachedSurfaces().size() == 1};

    Outcome outcome = runStage(job, reporter);
    if (outcome.code == Exit::DeviceMismatch) {
        // A surface left between its two images (an update interrupted or
        // failed after image 1) answers as its second chip. The exit
        // command that ended this attempt hands the bus to its first chip:
        // one more try once it is back tells that from a wrong file.
        reporter.step(stage::Stage1, QStringLiteral("the surface answered as another chip, as it does when an "
                                                    "update stopped between its images; trying again once it has "
                                                    "restarted"));
        const Return back = waitForReturn(watch, kLeaveGrace, options.returnSeconds);
        if (back.kind == Return::Interrupted)
            return finish(reporter, stage::Stage1,
                          {Exit::Interrupted, QStringLiteral("Interrupted before image 1 was programmed."),
                           QStringLiteral("nothing was written to the surface.")});
        if (back.kind != Return::Gone) {
            job.surface = back.surface;
            job.openSettle = kOpenSettle;
            outcome = runStage(job, reporter);
        }
    }
    if (!outcome.ok())
        return finish(reporter, stage::Stage1, outcome);
    if (interrupted())
        return finish(reporter, stage::Stage1, interruptedBetween(program));
    reporter.step(stage::Stage1, program ? QStringLiteral("image 1 programmed and verified")
                                         : QStringLiteral("the surface holds image 1"));

    reporter.step(stage::Restart, QStringLiteral("waiting for the surface to restart (it may stay off the bus up to "
                                                 "%1 s)")
                                      .arg(options.returnSeconds));
    const Return back = waitForReturn(watch, kLeaveGrace, options.returnSeconds);
    if (back.kind == Return::Interrupted)
        return finish(reporter, stage::Restart, interruptedBetween(program));
    if (back.kind == Return::Gone)
        return finish(reporter, stage::Restart,
                      {Exit::NoReturn,
                       QStringLiteral("The surface did not come back within %1 s of leaving the bus after image 1.")
                           .arg(options.returnSeconds),
                       program ? QStringLiteral("unplug the surface, plug it in again and run 'vireon-flash update "
                                                "FILE' again: image 2 is not programmed yet.")
                               : QStringLiteral("unplug the surface, plug it in again and run verify again.")});
    reporter.step(stage::Restart,
                  back.kind == Return::StayedOn
                      ? QStringLiteral("the surface stayed on the bus for %1 s: taken as restarted in place")
                            .arg(std::chrono::duration<double>(kLeaveGrace).count())
                      : QStringLiteral("back after %1 s off the bus").arg(back.secondsAway, 0, 'f', 1));

    job.stage = &stage::Stage2;
    job.number = 2;
    job.imagePath = images.paths[1];
    job.rows = images.rows[1];
    job.surface = back.surface;
    job.openSettle = kOpenSettle;
    outcome = runStage(job, reporter);
    if (!outcome.ok())
        return finish(reporter, stage::Stage2, outcome);
    reporter.step(stage::Stage2, program ? QStringLiteral("image 2 programmed and verified")
                                         : QStringLiteral("the surface holds image 2"));
    outcome.message = program ? QStringLiteral("Update complete: both images of %1 are programmed.").arg(options.file)
                              : QStringLiteral("Verify complete: the surface holds both images of %1.").arg(options.file);
    return finish(reporter, stage::Done, outcome);
}

} // namespace vireon::flash
