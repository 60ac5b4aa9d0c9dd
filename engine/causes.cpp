#include "causes.h"

#include "cybtldr_command.h"
#include "result_text.h"
#include "wording.h"

namespace vireon::engine {
namespace {

std::string where(const StageAccount &stage)
{
    const TransferRecord &t = stage.transfer;
    const std::string image = std::to_string(stage.image);
    if (t.faultRow < 0)
        return "It stopped at exchange " + std::to_string(t.faultExchange) + " of image " + image + " (" +
               commandName(t.faultCommand) + ").";
    // The flash row the failed exchange's request named; its array only
    // when it is not the first.
    const std::string array = t.faultArray == 0 ? "" : " in flash array " + std::to_string(t.faultArray);
    return "It stopped at row " + std::to_string(t.faultRow) + array + " of image " + image + " (" +
           commandName(t.faultCommand) + "), exchange " + std::to_string(t.faultExchange) + ".";
}

std::string transferText(const StageAccount &stage)
{
    const TransferRecord &t = stage.transfer;
    std::string what;
    switch (t.fault) {
    case TransferFault::WriteFailed: what = "the write failed (" + t.hidText + ")"; break;
    case TransferFault::ReadFailed: what = "the read failed (" + t.hidText + ")"; break;
    case TransferFault::Unplugged: what = "the surface was unplugged"; break;
    case TransferFault::ShortAnswer:
        what = "the surface's answer was cut short (" + std::to_string(t.bytesGot) + " of " +
               std::to_string(t.bytesNeeded) + " bytes)";
        break;
    case TransferFault::BadFrame: what = "the surface's answer was not a whole packet"; break;
    case TransferFault::BadChecksum: what = "the surface's answer had a wrong checksum"; break;
    case TransferFault::NoAnswer:
    case TransferFault::None: what = "the surface did not answer"; break;
    }
    return "The transfer to the surface failed: " + what + ". " + where(stage);
}

bool isTransferFailure(int result) { return result != 0 && (result < 0 || (result & BL_COMM_ERROR_FLAG) != 0); }

CauseAccount mismatch(const StageAccount &stage)
{
    const TransferRecord &t = stage.transfer;
    const uint32_t other = stage.imageIds[stage.image == 1 ? 1 : 0];
    if (t.identified && other != 0 && t.siliconId == other) {
        if (stage.image == 1)
            return {Cause::OtherChip, "The surface answered as its second chip: it still runs the second chip's "
                                      "bootloader from an unfinished update."};
        return {Cause::StillFirstChip, stillFirstChipText()};
    }
    const std::string answered = t.identified ? " (it answered silicon id 0x" + hex(t.siliconId, 8) + ", image " +
                                                    std::to_string(stage.image) + " is for 0x" +
                                                    hex(stage.imageIds[stage.image - 1], 8) + ")"
                                              : "";
    return {Cause::WrongChip, "The surface's chip is not the one image " + std::to_string(stage.image) + " is for" +
                                  answered + ": the file is not for this surface."};
}

} // namespace

const char *causeName(Cause cause)
{
    switch (cause) {
    case Cause::None: return "None";
    case Cause::NotRestarted: return "NotRestarted";
    case Cause::NoAnswer: return "NoAnswer";
    case Cause::TransferFailed: return "TransferFailed";
    case Cause::Unplugged: return "Unplugged";
    case Cause::OtherChip: return "OtherChip";
    case Cause::StillFirstChip: return "StillFirstChip";
    case Cause::WrongChip: return "WrongChip";
    case Cause::RowMismatch: return "RowMismatch";
    case Cause::ApplicationCheck: return "ApplicationCheck";
    case Cause::DeviceStatus: return "DeviceStatus";
    case Cause::FileUnreadable: return "FileUnreadable";
    case Cause::Aborted: return "Aborted";
    case Cause::Refused: return "Refused";
    }
    return "?";
}

std::string noAnswerText(long long readLimitMs)
{
    return "The surface did not answer within " + seconds(readLimitMs) + " s.";
}

std::string notRestartedText()
{
    return "The surface did not restart by itself: unplug and re-plug it to start the new firmware.";
}

std::string stillFirstChipText() { return "The surface did not restart into its second chip after image 1."; }

std::string statusWording(int status) { return "status " + std::to_string(status) + " (0x" + hex(status, 2) + ")"; }

CauseAccount accountFor(const StageAccount &stage)
{
    const TransferRecord &t = stage.transfer;
    const int result = stage.result;
    const std::string image = std::to_string(stage.image);
    if (result == BL_SUCCESS) {
        if (!t.exitLost())
            return {};
        if (stage.image == 1)
            return {Cause::StillFirstChip, stillFirstChipText()};
        return {Cause::NotRestarted, notRestartedText()};
    }
    if (result == BL_ABORTED)
        return {Cause::Aborted, resultMessage(result)};
    // The transport's record says what the host's code cannot: which call,
    // what hidapi said, where.
    if (isTransferFailure(result) || (t.failed() && !t.exitLost())) {
        if (t.fault == TransferFault::NoAnswer)
            return {Cause::NoAnswer, noAnswerText(t.readLimitMs) + " " + where(stage)};
        return {t.fault == TransferFault::Unplugged ? Cause::Unplugged : Cause::TransferFailed, transferText(stage)};
    }
    if (result == BL_DEVICE_MISMATCH)
        return mismatch(stage);
    if (result == BL_CHECKSUM_MISMATCH) {
        const bool applicationCheck = t.lastAnswered == CMD_VERIFY_CHECKSUM || t.lastAnswered == CMD_GET_APP_STATUS;
        if (applicationCheck)
            return {Cause::ApplicationCheck,
                    stage.verify ? "The surface's application check of image " + image +
                                       " failed: it does not hold the image."
                                 : "Every row of image " + image +
                                       " was written, but the surface's application check failed: the file may be "
                                       "damaged or not for this surface."};
        return {Cause::RowMismatch,
                stage.verify ? "The surface does not hold image " + image + " of the file: a row's checksum differs."
                             : "A row of image " + image +
                                   " did not read back as written: its checksum on the surface differs."};
    }
    if ((result & BL_DEVICE_STATUS_FLAG) != 0 && (result & ~BL_DEVICE_STATUS_FLAG) <= 0xFF)
        return {Cause::DeviceStatus, "The device answered " + statusWording(result - BL_DEVICE_STATUS_FLAG) + "."};
    if (result >= BL_FILE_NOT_ACCESSIBLE && result <= BL_BAD_FORM)
        return {Cause::FileUnreadable, "Image " + image + " could not be read: " + resultMessage(result)};
    const char *message = resultMessage(result);
    return {Cause::Refused,
            message ? message : "The bootloader refused (result " + std::to_string(result) + ")."};
}

} // namespace vireon::engine
