#include "result_text.h"

#include "cybtldr_api.h"

namespace vireon::engine {

const char *resultMessage(int result)
{
    switch (result) {
    case BL_FILE_NOT_ACCESSIBLE: return "File is not accessable.";
    case BL_END_OF_FILE: return "Reached the end of the file.";
    case BL_LENGTH_OUT_OF_RANGE: return "The amount of data available is outside the expected range.";
    case BL_BAD_FORM: return "The data is not of the proper form.";
    case BL_COMMAND_NOT_RECOGNIZED: return "The command is not recognized.";
    case BL_DEVICE_MISMATCH: return "The expected device does not match the detected device.";
    case BL_VERSION_NOT_SUPPORTED: return "The bootloader version detected is not supported.";
    case BL_CHECKSUM_MISMATCH: return "The checksum does not match the expected value.";
    case BL_ARRAY_INVALID: return "The flash array is not valid.";
    case BL_ROW_INVALID: return "The flash row is not valid.";
    case BL_NOT_READY: return "The bootloader is not ready to process data.";
    case BL_APP_ACTIVE: return "The application is currently marked as active.";
    case BL_UNKNOWN_ERROR: return "An unknown error occured.";
    case BL_ABORTED: return "The operation was aborted.";
    default: return nullptr;
    }
}

} // namespace vireon::engine
