#include "endings.h"

#include "wording.h"

namespace vireon::engine::endings {
namespace {

std::string n(int value) { return std::to_string(value); }

Outcome make(Ending ending, Exit code, std::string message, std::string fix, std::string result)
{
    Outcome out;
    out.ending = ending;
    out.code = code;
    out.message = std::move(message);
    out.fix = std::move(fix);
    out.result = std::move(result);
    return out;
}

// What a run that stopped in image `image` with `rowsWritten` of its rows
// sent leaves for the user to do.
std::string mend(int image, int rowsWritten, const Wording &w)
{
    if (rowsWritten > 0)
        return "the surface may hold a partial image: " + w.runAgain + ", which mends it.";
    if (image == 1)
        return "nothing was written: " + w.runAgain + ".";
    return "image 2 is not programmed yet: " + w.runAgain + ", which programs both.";
}

std::string resultOfImage1(Cause cause, int rowsWritten)
{
    switch (cause) {
    case Cause::ApplicationCheck:
        return "Result: failed in image 1; the file may be damaged or not for this surface.";
    case Cause::WrongChip:
        return "Result: failed in image 1; nothing was written: the file is not for this surface.";
    case Cause::OtherChip:
        return "Result: failed in image 1; the surface still runs its second chip's bootloader; re-plug it and run the "
               "update again.";
    default:
        return rowsWritten > 0 ? "Result: failed in image 1; the surface may hold part of image 1 and not image 2; run "
                                 "the update again."
                               : "Result: failed in image 1; nothing was written; run the update again.";
    }
}

const std::string kImage2Failed = "Result: failed in image 2; the surface holds image 1 only; run the update again.";
const std::string kStoppedBefore = "Result: stopped before image 1; nothing was written.";
const std::string kStoppedBetween = "Result: stopped after image 1; the surface holds image 1 only; run the update again.";
const std::string kReplug = "unplug the surface, plug it in again and ";

} // namespace

Outcome fileRefused(const RunRequest &request)
{
    return make(Ending::FileRefused, request.problemCode, request.problem, request.problemFix,
                "Result: not started: the file was refused; nothing was written.");
}

Outcome noSurface(const Selector &selector, Millis waited, const Surfaces &attached, const Wording &wording)
{
    const std::string result = "Result: not started: no surface to update; nothing was written.";
    if (!selector.any())
        return make(Ending::NoSurface, Exit::NoSurface,
                    "No surface with " +
                        (selector.path.empty() ? "serial number " + selector.serial : "path " + selector.path) +
                        " is attached" + (attached.empty() ? "" : " (attached: " + describe(attached) + ")") + ".",
                    wording.checkSelector + ".", result);
    return make(Ending::NoSurface, Exit::NoSurface,
                waited.count() > 0 ? "No Vireon Surface was attached within " + seconds(waited.count()) + " s."
                                   : "No Vireon Surface is attached.",
                wording.noSurface + ".", result);
}

Outcome severalSurfaces(const Surfaces &attached, const Wording &wording)
{
    return make(Ending::NoSurface, Exit::Usage, n(static_cast<int>(attached.size())) + " surfaces are attached: " +
                                                    describe(attached) + ".",
                wording.chooseOne + ".", "Result: not started: several surfaces and none chosen; nothing was written.");
}

Outcome busy(const LockAnswer &answer, const Wording &wording)
{
    if (answer.setupProblem)
        return make(Ending::NoLock, Exit::SetupProblem, answer.problem, answer.fix,
                    "Result: not started: no place for the surface's lock; nothing was written.");
    return make(Ending::Busy, Exit::SurfaceBusy, answer.problem,
                "wait until that update has finished, then " + wording.commandAgain + ".",
                "Result: not started: another updater is updating the surface; nothing was written.");
}

Outcome notOpened(int image, const StageReport &report, const Surface &surface, const Policy &policy)
{
    const Wording &w = policy.wording;
    Outcome out;
    switch (report.open) {
    case StageReport::Open::PermissionDenied:
        out = make(Ending::NotOpened, Exit::PermissionDenied,
                   "This user may not open the surface " + describe(surface) + ": " + report.openError, w.permission + ".",
                   "");
        break;
    case StageReport::Open::Gone:
        out = make(Ending::NotOpened, Exit::NoSurface, "The surface " + describe(surface) + " is no longer attached.",
                   w.plugIn + ".", "");
        break;
    default:
        out = make(Ending::NotOpened, Exit::TransferFailed,
                   "The surface " + describe(surface) + " could not be opened: " + report.openError,
                   kReplug + w.commandAgain + ".", "");
        break;
    }
    out.stage = image;
    if (image == 1) {
        out.result = "Result: not started: the surface could not be opened; nothing was written.";
    } else {
        out.ending = Ending::SecondImageFailed;
        out.result = kImage2Failed;
    }
    return out;
}

Outcome stageFailed(int image, const CauseAccount &account, int rowsWritten, const Policy &policy)
{
    const Wording &w = policy.wording;
    const bool verify = policy.verify;
    Outcome out = make(image == 1 ? Ending::FirstImageFailed : Ending::SecondImageFailed, Exit::BootloaderRefused,
                       account.reason, "", image == 1 ? resultOfImage1(account.cause, rowsWritten) : kImage2Failed);
    if (verify)
        out.result = "Result: the check of image " + n(image) + " failed.";
    out.cause = account.cause;
    out.stage = image;
    switch (account.cause) {
    case Cause::None:
    case Cause::NotRestarted:
        out.code = Exit::Success;
        break;
    case Cause::Aborted:
        return stopped(StoppedAt::InImage, image, rowsWritten, false, policy);
    case Cause::NoAnswer:
    case Cause::TransferFailed:
    case Cause::Unplugged:
        out.code = Exit::TransferFailed;
        out.fix = "keep the surface plugged in and check its cable; " +
                  (verify ? "then " + w.checkAgain + "." : mend(image, rowsWritten, w));
        break;
    case Cause::OtherChip:
        out.code = Exit::DeviceMismatch;
        out.fix = kReplug + w.commandAgain + ".";
        break;
    case Cause::WrongChip:
        out.code = Exit::DeviceMismatch;
        out.fix = "use the firmware file made for this surface.";
        break;
    case Cause::StillFirstChip:
        out.code = Exit::NotRestarted;
        out.fix = kReplug + w.commandAgain + ".";
        break;
    case Cause::ApplicationCheck:
        out.fix = verify ? w.programIt + "."
                         : "use the firmware file as it was delivered for this surface: the same file again cannot "
                           "help.";
        break;
    case Cause::RowMismatch:
    case Cause::DeviceStatus:
    case Cause::Refused:
        out.fix = verify ? w.programIt + "." : mend(image, rowsWritten, w);
        break;
    case Cause::FileUnreadable:
        out.code = Exit::FileRefused;
        out.fix = "check that the file is still readable, or choose another.";
        break;
    }
    return out;
}

Outcome imageChanged(int image, const std::string &problem, int rowsWritten, const Policy &policy)
{
    Outcome out = make(image == 1 ? Ending::FirstImageFailed : Ending::SecondImageFailed, Exit::FileRefused, problem,
                       policy.wording.imageChanged + ".",
                       image == 1 ? resultOfImage1(Cause::Refused, rowsWritten) : kImage2Failed);
    out.stage = image;
    return out;
}

Outcome notRestarted(Millis stayedOn, const Policy &policy)
{
    Outcome out = make(Ending::NotRestarted, Exit::NotRestarted,
                       stayedOn.count() > 0 ? "The surface stayed on the bus for " + seconds(stayedOn.count()) +
                                                  " s after image 1: it did not restart into its second chip."
                                            : stillFirstChipText(),
                       kReplug + policy.wording.commandAgain + ".",
                       "Result: image 1 programmed; the surface did not restart into its second chip; re-plug it and "
                       "run the update again.");
    out.cause = Cause::StillFirstChip;
    out.stage = stayedOn.count() > 0 ? 0 : 1;
    return out;
}

Outcome notBack(int image, const Policy &policy)
{
    const Wording &w = policy.wording;
    const std::string limit = seconds(policy.returnLimit.count());
    if (image == 0)
        return make(Ending::FirstImageFailed, Exit::NoReturn,
                    "The surface did not come back within " + limit + " s of leaving the bus.",
                    kReplug + w.commandAgain + ".",
                    "Result: failed in image 1; the surface did not come back; re-plug it and run the update again.");
    return make(Ending::NotBack, Exit::NoReturn,
                "The surface did not come back within " + limit + " s of leaving the bus after image 1.",
                policy.verify ? kReplug + w.checkAgain + "."
                              : kReplug + w.runAgain + ": image 2 is not programmed yet.",
                "Result: image 1 programmed; the surface did not come back for image 2; re-plug it and run the update "
                "again.");
}

Outcome stopped(StoppedAt where, int image, int rowsWritten, bool closing, const Policy &policy)
{
    const Wording &w = policy.wording;
    const std::string unchanged = "nothing was changed on the surface.";
    Outcome out = make(Ending::Stopped, Exit::Interrupted, "", "", kStoppedBefore);
    out.cause = Cause::Aborted;
    const std::string by = closing ? "Stopped: the updater was closed" : "Interrupted";
    switch (where) {
    case StoppedAt::BeforeImage1:
        out.message = by + (closing ? " before image 1 was programmed." : " while waiting for a surface.");
        out.fix = unchanged;
        break;
    case StoppedAt::BetweenImages:
        out.result = kStoppedBetween;
        if (policy.verify) {
            out.message = by + " between the two checks.";
            out.fix = unchanged;
        } else {
            out.message = by + " after image 1 was programmed: image 2 is not programmed yet.";
            out.fix = w.runAgain + ", which programs both.";
        }
        break;
    case StoppedAt::InImage:
        out.stage = image;
        if (policy.verify) {
            out.message = by + " during the check of image " + n(image) + ".";
            out.fix = unchanged;
        } else if (rowsWritten > 0) {
            out.message = by + " while programming image " + n(image) + ": the surface may hold a partial image.";
            out.fix = w.runAgain + ", which mends it.";
            out.result = "Result: stopped in image " + n(image) + "; the surface may hold part of image " + n(image) +
                         "; run the update again.";
        } else {
            out.message = by + " before any row of image " + n(image) + " was written.";
            out.fix = image == 1 ? unchanged : w.runAgain + ", which programs both.";
            out.result = image == 1 ? kStoppedBefore : kStoppedBetween;
        }
        break;
    }
    return out;
}

Outcome succeeded(const std::string &fileName, bool restartNote, const bool applicationChecked[2], const Policy &policy)
{
    Outcome out = make(policy.verify ? Ending::Verified : Ending::Programmed, Exit::Success, "", "",
                       "Result: both images programmed.");
    if (policy.verify) {
        std::string checks;
        if (applicationChecked[0] && applicationChecked[1])
            checks = "each row's checksum and both application checks matched";
        else
            checks = std::string("each row's checksum matched; the bootloader made no application check of ") +
                     (applicationChecked[0] ? "image 2" : applicationChecked[1] ? "image 1" : "either image");
        out.message = "Verify complete: the bootloader's checks found no difference from " + fileName + " (" + checks +
                      "). They cannot see every change: see the manual page.";
        out.result = "Result: both images match the file.";
        out.checks.rows = true;
        out.checks.application[0] = applicationChecked[0];
        out.checks.application[1] = applicationChecked[1];
    } else {
        out.message = "Update complete: both images of " + fileName + " are programmed.";
    }
    if (restartNote) {
        out.cause = Cause::NotRestarted;
        out.message += " " + notRestartedText();
        out.result = "Result: both images programmed; " + lowerFirst(notRestartedText());
    }
    return out;
}

} // namespace vireon::engine::endings
