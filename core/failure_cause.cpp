#include "failure_cause.h"

#include <QFile>

#include "cybtldr_command.h"
#include "timing.h"
#include "result_text.h"

namespace vireon::core {
namespace {

QString where(const StageAccount &stage)
{
    const TransferRecord &t = stage.transfer;
    if (t.faultRow < 0)
        return QStringLiteral("It stopped at exchange %1 of image %2 (%3).")
            .arg(t.faultExchange)
            .arg(stage.image)
            .arg(commandName(t.faultCommand));
    // The flash row the failed exchange's request named; its array only
    // when it is not the first.
    const QString array = t.faultArray == 0 ? QString() : QStringLiteral(" in flash array %1").arg(t.faultArray);
    return QStringLiteral("It stopped at row %1%2 of image %3 (%4), exchange %5.")
        .arg(t.faultRow)
        .arg(array)
        .arg(stage.image)
        .arg(commandName(t.faultCommand))
        .arg(t.faultExchange);
}

QString transferText(const StageAccount &stage)
{
    const TransferRecord &t = stage.transfer;
    QString what;
    switch (t.fault) {
    case TransferFault::WriteFailed: what = QStringLiteral("the write failed (%1)").arg(t.hidText); break;
    case TransferFault::ReadFailed: what = QStringLiteral("the read failed (%1)").arg(t.hidText); break;
    case TransferFault::Unplugged: what = QStringLiteral("the surface was unplugged"); break;
    case TransferFault::ShortAnswer:
        what = QStringLiteral("the surface's answer was cut short (%1 of %2 bytes)").arg(t.bytesGot).arg(t.bytesNeeded);
        break;
    case TransferFault::BadFrame: what = QStringLiteral("the surface's answer was not a whole packet"); break;
    case TransferFault::BadChecksum: what = QStringLiteral("the surface's answer had a wrong checksum"); break;
    case TransferFault::NoAnswer:
    case TransferFault::None: what = QStringLiteral("the surface did not answer"); break;
    }
    return QStringLiteral("The transfer to the surface failed: %1. %2").arg(what, where(stage));
}

bool isTransferFailure(int result) { return result != 0 && (result < 0 || (result & BL_COMM_ERROR_FLAG) != 0); }

CauseAccount mismatch(const StageAccount &stage)
{
    const TransferRecord &t = stage.transfer;
    const uint32_t other = stage.imageIds[stage.image == 1 ? 1 : 0];
    if (t.identified && other != 0 && t.siliconId == other) {
        if (stage.image == 1)
            return {Cause::OtherChip, QStringLiteral("The surface answered as its second chip: it still runs the "
                                                     "second chip's bootloader from an unfinished update.")};
        return {Cause::StillFirstChip,
                QStringLiteral("The surface did not restart into its second chip after image 1.")};
    }
    const QString answered =
        t.identified ? QStringLiteral(" (it answered silicon id 0x%1, image %2 is for 0x%3)")
                           .arg(t.siliconId, 8, 16, QLatin1Char('0'))
                           .arg(stage.image)
                           .arg(stage.imageIds[stage.image - 1], 8, 16, QLatin1Char('0'))
                     : QString();
    return {Cause::WrongChip, QStringLiteral("The surface's chip is not the one image %1 is for%2: the file is not "
                                             "for this surface.")
                                  .arg(stage.image)
                                  .arg(answered)};
}

} // namespace

QString noAnswerText()
{
    const double seconds = static_cast<double>(readLimit().count()) / 1000.0;
    return QStringLiteral("The surface did not answer within %1 s.").arg(seconds);
}

QString notRestartedText()
{
    return QStringLiteral("The surface did not restart by itself: unplug and re-plug it to start the new firmware.");
}

QString statusWording(int status)
{
    return QStringLiteral("status %1 (0x%2)").arg(status).arg(status, 2, 16, QLatin1Char('0'));
}

uint32_t imageSiliconId(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const uint32_t id = file.readLine(64).left(8).toUInt(&ok, 16);
    return ok ? id : 0;
}

CauseAccount accountFor(const StageAccount &stage)
{
    const TransferRecord &t = stage.transfer;
    const int result = stage.result;
    if (result == BL_SUCCESS) {
        if (!t.exitLost())
            return {};
        if (stage.image == 1)
            return {Cause::StillFirstChip,
                    QStringLiteral("The surface did not restart into its second chip after image 1.")};
        return {Cause::NotRestarted, notRestartedText()};
    }
    if (result == BL_ABORTED)
        return {Cause::Aborted, QLatin1String(resultMessage(result))};
    // The transport's record says what the host's code cannot: which call,
    // what hidapi said, where.
    if (isTransferFailure(result) || (t.failed() && !t.exitLost())) {
        if (t.fault == TransferFault::NoAnswer)
            return {Cause::NoAnswer, noAnswerText() + QLatin1Char(' ') + where(stage)};
        return {t.fault == TransferFault::Unplugged ? Cause::Unplugged : Cause::TransferFailed, transferText(stage)};
    }
    if (result == BL_DEVICE_MISMATCH)
        return mismatch(stage);
    if (result == BL_CHECKSUM_MISMATCH) {
        const bool applicationCheck = t.lastAnswered == CMD_VERIFY_CHECKSUM || t.lastAnswered == CMD_GET_APP_STATUS;
        if (applicationCheck)
            return {Cause::ApplicationCheck,
                    stage.verify
                        ? QStringLiteral("The surface's application check of image %1 failed: it does not hold "
                                         "the image.")
                              .arg(stage.image)
                        : QStringLiteral("Every row of image %1 was written, but the surface's application check "
                                         "failed: the file may be damaged or not for this surface.")
                              .arg(stage.image)};
        return {Cause::RowMismatch,
                stage.verify ? QStringLiteral("The surface does not hold image %1 of the file: a row's checksum "
                                              "differs.")
                                   .arg(stage.image)
                             : QStringLiteral("A row of image %1 did not read back as written: its checksum on the "
                                              "surface differs.")
                                   .arg(stage.image)};
    }
    if ((result & BL_DEVICE_STATUS_FLAG) != 0 && (result & ~BL_DEVICE_STATUS_FLAG) <= 0xFF)
        return {Cause::DeviceStatus,
                QStringLiteral("The device answered %1.").arg(statusWording(result - BL_DEVICE_STATUS_FLAG))};
    if (result >= BL_FILE_NOT_ACCESSIBLE && result <= BL_BAD_FORM)
        return {Cause::FileUnreadable,
                QStringLiteral("Image %1 could not be read: %2").arg(stage.image).arg(QLatin1String(resultMessage(result)))};
    const char *message = resultMessage(result);
    return {Cause::Refused, message ? QLatin1String(message) : QStringLiteral("The bootloader refused (result %1).")
                                                                   .arg(result)};
}

} // namespace vireon::core
