// update FILE and verify FILE: check the whole file, find the surface,
// run image 1, watch the surface restart, run image 2.
#include "commands.h"

#include "bus_watch.h"
#include "firmware_file.h"
#include "folder_files.h"
#include "interrupt.h"
#include "signatures.h"
#include "stage_job.h"
#include "surface_lock.h"
#include "temporary_images.h"

#include <hidapi/hidapi.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace vireon::flash {
namespace {

using core::Return;
using core::RestartWatch;
using core::SurfaceWait;

// A surface that has just appeared may refuse opens until udev has given
// its new node this user's access.
constexpr std::chrono::milliseconds kOpenSettle{5000};

std::chrono::steady_clock::duration seconds(double value)
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(value));
}

// The core's watches of the bus, each ended within one look by an interrupt.
SurfaceWait waitForSurface(const Selector &selector, double waitSeconds)
{
    return core::waitForSurface([&selector](const SurfaceInfo &surface) { return selector.matches(surface); },
                                seconds(waitSeconds), interrupted);
}

// StayedOn when the surface has not left within the restart allowance, Gone
// when it stayed away longer than `returnSeconds`; closes the watch's handle.
Return waitForReturn(RestartWatch &watch, double returnSeconds)
{
    return core::waitForReturn(watch, core::restartAllowance(), seconds(returnSeconds), interrupted);
}

int finish(Reporter &reporter, const Step &step, const Outcome &outcome)
{
    reporter.finish(step, outcome);
    return static_cast<int>(outcome.code);
}

struct Images {
    core::TemporaryImages files; // the host reads each through its open file
    int rows[2] = {0, 0};
    uint32_t ids[2] = {0, 0}; // the chip each image is for
};

int rowLines(const QString &image)
{
    int rows = 0;
    for (const QStringRef &line : image.splitRef(QLatin1Char('\n')))
        rows += line.startsWith(QLatin1Char(':')) ? 1 : 0;
    return rows;
}

Outcome signatureRefused(const QString &path, const core::SignatureCheck &check)
{
    QString fix = check.fix;
    if (check.problem == core::SignatureCheck::Problem::UntrustedKey)
        fix += QStringLiteral(" For this run alone, give it with --trusted-key FILE.");
    if (!fix.isEmpty())
        fix[0] = fix[0].toLower();
    return {Exit::FileRefused, QStringLiteral("%1 is refused: %2").arg(path, check.reason), fix};
}

// Splits the file; checks the signature of the bytes that were split (a
// file altered after signing is refused as that, whatever else is wrong in
// it); writes its two images where the host's file reader takes them and
// checks both as a programming run will read them.
Outcome prepareImages(const QString &path, const QTemporaryDir &dir, const core::Trust &trust, Reporter &reporter,
                      Images *images)
{
    const QString fix = QStringLiteral("use the surface's two-image firmware file (.cyacd) as it was delivered.");
    // Only a regular file is read, and a named pipe is refused at once.
    const core::OpenedFile probe = core::openRegularFile(path);
    if (!probe.ok())
        return {Exit::FileRefused,
                probe.notRegular ? QStringLiteral("%1 Only a regular file is read as firmware.").arg(probe.problem)
                                 : QStringLiteral("%1 cannot be read: %2").arg(path, probe.problem),
                probe.notRegular ? fix : QStringLiteral("check the file's name and that you may read it.")};
    if (!dir.isValid())
        return {Exit::SetupProblem, QStringLiteral("No temporary folder for the images: %1").arg(dir.errorString()),
                QStringLiteral("make sure %1 is writable (TMPDIR chooses another).").arg(QDir::tempPath())};
    // The host reads an application id from a path whose last '_' is
    // followed by one character and a '.'; the open files' paths name none.
    const QString path1 = dir.filePath(QStringLiteral("stage1_image.cyacd"));
    const QString path2 = dir.filePath(QStringLiteral("stage2_image.cyacd"));
    const core::SplitImages split = core::splitFirmwareFile(path);
    if (core::fileWasRead(split)) {
        const core::SignatureCheck signature = core::checkSignature(split.bytes, core::signaturePathFor(path), trust);
        reporter.step(step::Check, signatureStep(signature),
                      {{QStringLiteral("signature"), signatureObject(signature)}});
        if (signature.refused())
            return signatureRefused(path, signature);
    }
    const core::WriteProblem written = images->files.write(split, path1, path2);
    if (!written.path.isEmpty())
        return {Exit::FileRefused, QStringLiteral("%1 could not be written: %2").arg(written.path, written.reason),
                QStringLiteral("make sure %1 has free space (TMPDIR chooses another folder).").arg(QDir::tempPath())};
    const core::FileProblem problem = images->files.check(split);
    // The reason names the image and the line.
    if (!problem.ok())
        return {Exit::FileRefused, QStringLiteral("%1 is refused: %2").arg(path, problem.reason), fix};
    images->rows[0] = rowLines(split.image1);
    images->rows[1] = rowLines(split.image2);
    images->ids[0] = core::imageSiliconId(path1);
    images->ids[1] = core::imageSiliconId(path2);
    return {};
}

// Before and after each stage: the image programmed is the one checked.
Outcome imageUnchanged(const Images &images, int image)
{
    const core::FileProblem problem = images.files.unchanged(image);
    if (problem.ok())
        return {};
    return {Exit::FileRefused, QStringLiteral("Stage %1: %2").arg(image).arg(problem.reason),
            QStringLiteral("leave the temporary folder alone while the command runs, then run it again.")};
}

// A stage that ended well, unless its image changed meanwhile (the bytes
// programmed must be the bytes checked); its cause and note are kept.
Outcome unlessImageChanged(const Outcome &outcome, const Images &images, int image)
{
    if (!outcome.ok())
        return outcome;
    const Outcome unchanged = imageUnchanged(images, image);
    return unchanged.ok() ? outcome : unchanged;
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

// What a verify of one image compared and found equal.
QString checksMatched(int image, bool applicationChecked)
{
    return QStringLiteral("image %1: each row's checksum matched%2").arg(image).arg(
        applicationChecked ? QStringLiteral(", and the surface's application check") : QString());
}

// Which checks a verify of both images compared.
QString applicationChecks(bool first, bool second)
{
    if (first && second)
        return QStringLiteral("each row's checksum and both application checks matched");
    const QString none = first ? QStringLiteral("image 2") : second ? QStringLiteral("image 1") : QStringLiteral("either image");
    return QStringLiteral("each row's checksum matched; the bootloader made no application check of %1").arg(none);
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

    reporter.step(step::Check, QStringLiteral("checking %1").arg(options.file));
    const RunTrust trust = trustForRun(options);
    if (!trust.error.isEmpty())
        return finish(reporter, step::Check,
                      {Exit::Usage, trust.error,
                       QStringLiteral("give the maker's public key file as minisign wrote it (NAME.pub).")});
    for (const QString &problem : trust.trust.keyProblems + trust.trust.policyProblems)
        reporter.warn(step::Check, QStringLiteral("trusted keys and policy: %1").arg(problem));
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vireon-flash-XXXXXX"));
    core::markAndSweepRunFolders(dir.path());
    Images images;
    const Outcome prepared = prepareImages(options.file, dir, trust.trust, reporter, &images);
    if (!prepared.ok())
        return finish(reporter, step::Check, prepared);
    reporter.step(step::Check,
                  QStringLiteral("both images are sound (%1 and %2 rows)").arg(images.rows[0]).arg(images.rows[1]));

    const Selector selector{options.device, options.serial};
    if (options.waitSeconds > 0)
        reporter.step(step::Wait, QStringLiteral("waiting up to %1 s for a surface").arg(options.waitSeconds));
    const SurfaceWait wait = waitForSurface(selector, options.waitSeconds);
    if (wait.kind == SurfaceWait::Interrupted)
        return finish(reporter, step::Wait,
                      {Exit::Interrupted, QStringLiteral("Interrupted while waiting for a surface."),
                       QStringLiteral("nothing was changed on the surface.")});
    if (wait.kind == SurfaceWait::TimedOut)
        return finish(reporter, step::Wait, noSurface(options));
    if (selector.any() && wait.surfaces.size() > 1)
        return finish(reporter, step::Wait,
                      {Exit::Usage,
                       QStringLiteral("%1 surfaces are attached: %2.").arg(wait.surfaces.size()).arg(surfaceList(
                                                                                                   wait.surfaces)),
                       QStringLiteral("choose one with --device PATH or --serial SERIAL.")});

    // One updater per surface, whichever front end it is: taken before the
    // first command reaches the surface, held to the end.
    core::SurfaceLock surfaceLock;
    if (!surfaceLock.claim(wait.surfaces.front().serial, wait.surfaces.front().path))
        return finish(reporter, step::Wait,
                      surfaceLock.setupProblem()
                          ? Outcome{Exit::SetupProblem, surfaceLock.problem(), surfaceLock.fix()}
                          : Outcome{Exit::SurfaceBusy, surfaceLock.problem(),
                                    QStringLiteral("wait until that update has finished, then run the command again.")});

    StageJob job;
    job.action = program ? PROGRAM : VERIFY;
    job.imagePath = images.files.hostPath(1);
    job.rows = images.rows[0];
    reporter.setOverallRows(images.rows[0] + images.rows[1]);
    job.imageIds[0] = images.ids[0];
    job.imageIds[1] = images.ids[1];
    job.surface = wait.surfaces.front();
    // Only a surface that appeared while we waited may still be settling.
    job.openSettle = options.waitSeconds > 0 ? kOpenSettle : std::chrono::milliseconds(0);
    RestartWatch watch{job.surface, attachedSurfaces().size() == 1};
    struct CloseHandle {
        hid_device *&handle;
        ~CloseHandle()
        {
            if (handle != nullptr)
                hid_close(handle);
        }
    } closeAtEnd{watch.handle}; // a stage's handle that no watch took

    Outcome outcome = runStage(job, reporter, &watch.handle);
    if (outcome.cause == core::Cause::OtherChip) {
        // A surface left between its two images (an update interrupted or
        // failed after image 1) answers as its second chip. The exit
        // command that ended this attempt hands the bus to its first chip:
        // one more try once it is back tells that from a wrong file.
        reporter.step(step::Stage1, QStringLiteral("the surface answered as another chip, as it does when an "
                                                    "update stopped between its images; trying again once it has "
                                                    "restarted"));
        const Return back = waitForReturn(watch, options.returnSeconds);
        if (back.kind == Return::Interrupted)
            return finish(reporter, step::Stage1,
                          {Exit::Interrupted, QStringLiteral("Interrupted before image 1 was programmed."),
                           QStringLiteral("nothing was written to the surface.")});
        if (back.kind != Return::Gone) {
            job.surface = back.surface;
            job.openSettle = kOpenSettle;
            outcome = runStage(job, reporter, &watch.handle);
        }
    }
    outcome = unlessImageChanged(outcome, images, 1);
    if (!outcome.ok())
        return finish(reporter, step::Stage1, outcome);
    if (outcome.cause == core::Cause::StillFirstChip)
        // The exit command never reached the surface: it still runs the
        // first chip's bootloader, and image 2 would meet the wrong chip.
        return finish(reporter, step::Stage1,
                      {Exit::NotRestarted, QStringLiteral("Stage 1: ") + outcome.message,
                       QStringLiteral("unplug the surface, plug it in again and run the command again."),
                       outcome.cause});
    if (interrupted())
        return finish(reporter, step::Stage1, interruptedBetween(program));
    reporter.step(step::Stage1, program ? QStringLiteral("image 1 programmed and verified")
                                         : checksMatched(1, outcome.applicationChecked));
    const bool firstChecked = outcome.applicationChecked;

    reporter.step(step::Restart, QStringLiteral("waiting for the surface to restart (it may stay off the bus up to "
                                                 "%1 s)")
                                      .arg(options.returnSeconds));
    const Return back = waitForReturn(watch, options.returnSeconds);
    if (back.kind == Return::Interrupted)
        return finish(reporter, step::Restart, interruptedBetween(program));
    if (back.kind == Return::Gone)
        return finish(reporter, step::Restart,
                      {Exit::NoReturn,
                       QStringLiteral("The surface did not come back within %1 s of leaving the bus after image 1.")
                           .arg(options.returnSeconds),
                       program ? QStringLiteral("unplug the surface, plug it in again and run 'vireon-flash update "
                                                "FILE' again: image 2 is not programmed yet.")
                               : QStringLiteral("unplug the surface, plug it in again and run verify again.")});
    reporter.step(step::Restart,
                  back.kind == Return::StayedOn
                      ? QStringLiteral("the surface stayed on the bus for %1 s: taken as restarted in place")
                            .arg(std::chrono::duration<double>(core::restartAllowance()).count())
                      : QStringLiteral("back after %1 s off the bus").arg(back.secondsAway, 0, 'f', 1));

    job.step = &step::Stage2;
    job.number = 2;
    if (const Outcome changed = imageUnchanged(images, 2); !changed.ok())
        return finish(reporter, step::Stage2, changed);
    job.imagePath = images.files.hostPath(2);
    job.rows = images.rows[1];
    job.rowsBefore = images.rows[0];
    job.surface = back.surface;
    job.openSettle = kOpenSettle;
    watch = RestartWatch{back.surface, watch.onlySurface};
    outcome = unlessImageChanged(runStage(job, reporter, &watch.handle), images, 2);
    if (!outcome.ok())
        return finish(reporter, step::Stage2, outcome);
    reporter.step(step::Stage2, program ? QStringLiteral("image 2 programmed and verified")
                                         : checksMatched(2, outcome.applicationChecked));
    // The surface restarts into its firmware after the exit command: one
    // that stays on the bus did not get it.
    bool restarted = outcome.cause != core::Cause::NotRestarted;
    if (restarted)
        restarted = waitForReturn(watch, 0).kind != Return::StayedOn;
    else
        watch.close();
    if (!restarted)
        outcome.cause = core::Cause::NotRestarted;
    const QString note = restarted ? QString() : QLatin1Char(' ') + core::notRestartedText();
    outcome.message =
        (program ? QStringLiteral("Update complete: both images of %1 are programmed.").arg(options.file)
                 : QStringLiteral("Verify complete: the bootloader's checks found no difference from %1 (%2). They "
                                  "cannot see every change: see the manual page.")
                       .arg(options.file, applicationChecks(firstChecked, outcome.applicationChecked))) +
        note;
    return finish(reporter, step::Done, outcome);
}

} // namespace vireon::flash
