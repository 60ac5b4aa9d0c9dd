// update FILE and verify FILE: check the whole file, then do what the update
// engine says (find the surface, take its lock, run image 1, watch the
// surface restart, run image 2) and tell each step and the end.
#include "commands.h"

#include "firmware_file.h"
#include "folder_files.h"
#include "interrupt.h"
#include "signatures.h"
#include "stage_job.h"
#include "surface_lock.h"
#include "surfaces.h"
#include "temporary_images.h"
#include "timing.h"

#include <QDir>
#include <QTemporaryDir>

#include <thread>

namespace vireon::flash {
namespace {

using engine::Millis;

Millis now()
{
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

Millis milliseconds(double seconds) { return Millis(static_cast<long long>(seconds * 1000.0 + 0.5)); }

engine::Policy policyFor(const Options &options)
{
    engine::Policy policy;
    policy.verify = options.command == Options::Command::Verify;
    policy.surfaceWait = milliseconds(options.waitSeconds);
    policy.returnLimit = milliseconds(options.returnSeconds);
    policy.restartAllowance = core::restartAllowance();
    engine::Wording &w = policy.wording;
    w.runAgain = "run 'vireon-flash update FILE' again";
    w.commandAgain = "run the command again";
    w.checkAgain = "run verify again";
    w.programIt = "run 'vireon-flash update FILE' to program it";
    w.plugIn = "plug the surface in and run the command again";
    w.noSurface = "plug the surface in (or give --wait SECONDS); if it is plugged in, 'vireon-flash doctor' checks "
                  "the set-up";
    w.checkSelector = "check the path or serial number with 'vireon-flash list'";
    w.chooseOne = "choose one with --device PATH or --serial SERIAL";
    w.permission = permissionFix().chopped(1).toStdString();
    w.imageChanged = "leave the temporary folder alone while the command runs, then run it again";
    return policy;
}

engine::Surfaces listBus()
{
    engine::Surfaces seen;
    for (const SurfaceInfo &surface : attachedSurfaces())
        seen.push_back({surface.path.toStdString(), surface.serial.toStdString(), surface.enumeration});
    return seen;
}

// The file's check, its signature's, and the images written where the host
// reads them: what the engine is told as the run starts.
struct CheckedFile {
    engine::RunRequest request;
    StageImages images;
    core::TemporaryImages files;
};

void refuse(engine::RunRequest &request, engine::Exit code, const QString &problem, const QString &fix)
{
    request.problemCode = code;
    request.problem = problem.toStdString();
    request.problemFix = fix.toStdString();
}

// Splits the file; checks the signature of the bytes that were split (a file
// altered after signing is refused as that, whatever else is wrong in it);
// writes its two images where the host's file reader takes them and checks
// both as a programming run will read them.
void check(const QString &path, const QTemporaryDir &dir, const core::Trust &trust, Reporter &reporter,
           CheckedFile *checked)
{
    engine::RunRequest &request = checked->request;
    request.fileName = path.toStdString();
    const QString fix = QStringLiteral("use the surface's two-image firmware file (.cyacd) as it was delivered.");
    // Only a regular file is read, and a named pipe is refused at once.
    const core::OpenedFile probe = core::openRegularFile(path);
    if (!probe.ok())
        return refuse(request, engine::Exit::FileRefused,
                      probe.notRegular ? QStringLiteral("%1 Only a regular file is read as firmware.").arg(probe.problem)
                                       : QStringLiteral("%1 cannot be read: %2").arg(path, probe.problem),
                      probe.notRegular ? fix : QStringLiteral("check the file's name and that you may read it."));
    if (!dir.isValid())
        return refuse(request, engine::Exit::SetupProblem,
                      QStringLiteral("No temporary folder for the images: %1").arg(dir.errorString()),
                      QStringLiteral("make sure %1 is writable (TMPDIR chooses another).").arg(QDir::tempPath()));
    // The host reads an application id from a path whose last '_' is
    // followed by one character and a '.'; the open files' paths name none.
    const QString path1 = dir.filePath(QStringLiteral("stage1_image.cyacd"));
    const QString path2 = dir.filePath(QStringLiteral("stage2_image.cyacd"));
    const core::SplitImages split = core::splitFirmwareFile(path);
    if (core::fileWasRead(split)) {
        const core::SignatureCheck signature = core::checkSignature(split.bytes, core::signaturePathFor(path), trust);
        request.signature = signature.summary();
        reporter.step(step::Check, QString::fromStdString(signature.summary()),
                      {{QStringLiteral("signature"), signatureObject(signature)}});
        if (signature.refused()) {
            QString signatureFix = QString::fromStdString(signature.fix);
            if (signature.problem == core::SignatureCheck::Problem::UntrustedKey)
                signatureFix += QStringLiteral(" For this run alone, give it with --trusted-key FILE.");
            if (!signatureFix.isEmpty())
                signatureFix[0] = signatureFix[0].toLower();
            return refuse(request, engine::Exit::FileRefused,
                          QStringLiteral("%1 is refused: %2").arg(path, QString::fromStdString(signature.reason)),
                          signatureFix);
        }
    }
    const core::WriteProblem written = checked->files.write(split, path1, path2);
    if (!written.path.isEmpty())
        return refuse(request, engine::Exit::FileRefused,
                      QStringLiteral("%1 could not be written: %2").arg(written.path, written.reason),
                      QStringLiteral("make sure %1 has free space (TMPDIR chooses another folder).").arg(QDir::tempPath()));
    const core::FileProblem problem = checked->files.check(split);
    // The reason names the image and the line.
    if (!problem.ok())
        return refuse(request, engine::Exit::FileRefused, QStringLiteral("%1 is refused: %2").arg(path, problem.reason),
                      fix);
    const int rows[2] = {split.rows1, split.rows2};
    const uint32_t chips[2] = {split.chip1, split.chip2};
    for (int i = 0; i < 2; ++i) {
        request.images[i] = {rows[i], chips[i]};
        checked->images.paths[i] = checked->files.hostPath(i + 1);
        checked->images.rows[i] = rows[i];
        checked->images.ids[i] = chips[i];
    }
}

// The CLI's step for each note of the engine.
const Step &stepOf(engine::Part part)
{
    switch (part) {
    case engine::Part::Check: return step::Check;
    case engine::Part::Wait: return step::Wait;
    case engine::Part::Stage1: return step::Stage1;
    case engine::Part::Restart: return step::Restart;
    case engine::Part::Stage2: return step::Stage2;
    case engine::Part::Done: return step::Done;
    }
    return step::Check;
}

// The step a run's end is told under.
const Step &stepOf(const engine::Outcome &outcome)
{
    switch (outcome.ending) {
    case engine::Ending::FileRefused: return step::Check;
    case engine::Ending::NoSurface:
    case engine::Ending::Busy:
    case engine::Ending::NoLock: return step::Wait;
    case engine::Ending::NotOpened:
    case engine::Ending::FirstImageFailed:
    case engine::Ending::NotRestarted: return step::Stage1;
    case engine::Ending::NotBack: return step::Restart;
    case engine::Ending::SecondImageFailed: return step::Stage2;
    case engine::Ending::Stopped: return outcome.stage == 2 ? step::Stage2 : step::Stage1;
    case engine::Ending::Programmed:
    case engine::Ending::Verified: break;
    }
    return step::Done;
}

Outcome shown(const engine::Outcome &outcome)
{
    const QString message = QString::fromStdString(outcome.message);
    Outcome out{outcome.code,
                outcome.stage == 0 || outcome.success() ? message : QStringLiteral("Stage %1: %2").arg(outcome.stage).arg(message),
                QString::fromStdString(outcome.fix), outcome.cause};
    out.checks = outcome.checks;
    return out;
}

// Whether the image the stage programs (or programmed) is still the one
// checked; the engine is told when it is not.
bool unchanged(const CheckedFile &checked, int image, engine::UpdateEngine &engine, engine::Step *step)
{
    const core::FileProblem problem = checked.files.unchanged(image);
    if (problem.ok())
        return true;
    *step = engine.imageChanged(now(), image, problem.reason.toStdString());
    return false;
}

} // namespace

int twoStageCommand(const Options &options, Reporter &reporter)
{
    reporter.step(step::Check, QStringLiteral("checking %1").arg(options.file));
    const RunTrust trust = trustForRun(options);
    if (!trust.error.isEmpty()) {
        reporter.finish(step::Check, {Exit::Usage, trust.error,
                                      QStringLiteral("give the maker's public key file as minisign wrote it (NAME.pub).")});
        return static_cast<int>(Exit::Usage);
    }
    for (const QString &problem : trust.trust.keyProblems + trust.trust.policyProblems)
        reporter.warn(step::Check, QStringLiteral("trusted keys and policy: %1").arg(problem));
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vireon-flash-XXXXXX"));
    core::markAndSweepRunFolders(dir.path());
    CheckedFile checked;
    check(options.file, dir, trust.trust, reporter, &checked);
    checked.request.selector = {options.device.toStdString(), options.serial.toStdString()};
    reporter.setOverallRows(checked.images.rows[0] + checked.images.rows[1]);

    engine::UpdateEngine engine(policyFor(options));
    core::SurfaceLock surfaceLock; // one updater per surface, whichever front end it is
    engine::Step step = engine.start(now(), checked.request);
    for (bool firstLook = true;;) {
        for (const engine::Note &note : step.notes)
            if (note.kind != engine::Note::Kind::Signature) // told as the check found it
                reporter.step(stepOf(note.part), QString::fromStdString(note.text));
        const engine::Next next = step.next;
        switch (next.kind) {
        case engine::Next::Look:
            if (interrupted()) {
                step = engine.interrupted(now());
                break;
            }
            if (!std::exchange(firstLook, false))
                std::this_thread::sleep_for(core::kBusPollInterval);
            step = engine.seen(now(), listBus());
            break;
        case engine::Next::Claim: {
            const bool taken = surfaceLock.claim(QString::fromStdString(next.surface.serial),
                                                 QString::fromStdString(next.surface.path));
            step = engine.claimed(now(), {taken, surfaceLock.setupProblem(), surfaceLock.problem().toStdString(),
                                          surfaceLock.fix().toStdString()});
            break;
        }
        case engine::Next::RunStage: {
            const int image = next.stage.image;
            if (!unchanged(checked, image, engine, &step))
                break;
            const core::StageResult result = runStage(next.stage, checked.images, reporter,
                                                      image == 1 ? step::Stage1 : step::Stage2,
                                                      image == 1 ? 0 : checked.images.rows[0]);
            // The bytes programmed must be the bytes checked.
            if (result.opened() && result.report.result == 0 && !unchanged(checked, image, engine, &step))
                break;
            step = engine.stageEnded(now(), result.report);
            break;
        }
        case engine::Next::Pause: // the command line watches the bus instead
            step = engine.pauseOver(now());
            break;
        case engine::Next::Finish:
        case engine::Next::Nothing:
            reporter.finish(stepOf(next.outcome), shown(next.outcome));
            return static_cast<int>(next.outcome.code);
        }
    }
}

} // namespace vireon::flash
