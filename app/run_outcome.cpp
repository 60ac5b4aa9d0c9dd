#include "run_outcome.h"

namespace vireon::app::outcome {

namespace {
// "the surface ..." from "The surface ...".
QString lowerFirst(const QString &text) { return text.isEmpty() ? text : text.left(1).toLower() + text.mid(1); }
} // namespace

QString bothProgrammed(const core::CauseAccount &note)
{
    return note.cause == core::Cause::NotRestarted
               ? QStringLiteral("Result: both images programmed; %1").arg(lowerFirst(note.reason))
               : QStringLiteral("Result: both images programmed.");
}

QString notOpened()
{
    return QStringLiteral("Result: not started: the surface could not be opened; nothing was written.");
}

QString firstImageFailed(const core::CauseAccount &cause)
{
    switch (cause.cause) {
    case core::Cause::ApplicationCheck:
        return QStringLiteral("Result: failed in image 1; the file may be damaged or not for this surface.");
    case core::Cause::WrongChip:
        return QStringLiteral("Result: failed in image 1; nothing was written: the file is not for this surface.");
    case core::Cause::OtherChip:
        return QStringLiteral("Result: failed in image 1; the surface still runs its second chip's bootloader; "
                              "re-plug it and run the update again.");
    default:
        return QStringLiteral("Result: failed in image 1; the surface may hold part of image 1 and not image 2; "
                              "run the update again.");
    }
}

QString notBack()
{
    return QStringLiteral("Result: image 1 programmed; the surface did not come back for image 2; re-plug it and "
                          "run the update again.");
}

QString secondImageFailed()
{
    return QStringLiteral("Result: failed in image 2; the surface holds image 1 only; run the update again.");
}

QString closed(bool afterFirstImage)
{
    return afterFirstImage
               ? QStringLiteral("Result: stopped after image 1; the surface holds image 1 only; run the update again.")
               : QStringLiteral("Result: stopped before image 1; nothing was written.");
}

} // namespace vireon::app::outcome
