// The one account of a stage's outcome, from the host's result code and the
// transport's record, as every front end renders it.
#include "causes.h"

#include "cybtldr_command.h"

#include <gtest/gtest.h>

using vireon::engine::Cause;
using vireon::engine::StageAccount;
using vireon::engine::TransferFault;
using vireon::engine::TransferRecord;

namespace {

constexpr uint32_t kChip1 = 0x56530001, kChip2 = 0x56530002;

TransferRecord failedAt(TransferFault fault, int exchange, uint8_t command, const char *text = "", int row = -1,
                        uint8_t array = 0)
{
    TransferRecord t;
    t.exchanges = exchange;
    t.fault = fault;
    t.faultExchange = exchange;
    t.faultCommand = command;
    t.hidText = text;
    t.readLimitMs = fault == TransferFault::NoAnswer ? 5000 : 0;
    t.faultRow = row;
    t.faultArray = array;
    return t;
}

TransferRecord answered(uint8_t last, uint32_t id = 0)
{
    TransferRecord t;
    t.lastAnswered = last;
    t.identified = id != 0;
    t.siliconId = id;
    return t;
}

StageAccount stage(int image, int result, TransferRecord transfer, bool verify = false)
{
    StageAccount s;
    s.image = image;
    s.verify = verify;
    s.result = result;
    s.transfer = transfer;
    s.imageIds[0] = kChip1;
    s.imageIds[1] = kChip2;
    return s;
}

TEST(Causes, EachRecordAndResultNamesItsCause)
{
    TransferRecord cut = failedAt(TransferFault::ShortAnswer, 12, CMD_PROGRAM_ROW, "", 5);
    cut.bytesGot = 3;
    cut.bytesNeeded = 7;
    const struct Case {
        const char *name;
        StageAccount account;
        Cause cause;
        std::string reason;
    } cases[] = {
        {"a clean success", stage(1, BL_SUCCESS, {}), Cause::None, ""},
        {"silent at the first exchange", stage(1, -1, failedAt(TransferFault::NoAnswer, 1, CMD_ENTER_BOOTLOADER)),
         Cause::NoAnswer,
         "The surface did not answer within 5 s. It stopped at exchange 1 of image 1 (enter bootloader)."},
        {"a write that failed mid-row", stage(2, -1, failedAt(TransferFault::WriteFailed, 40, CMD_SEND_DATA, "Connection timed out")),
         Cause::TransferFailed,
         "The transfer to the surface failed: the write failed (Connection timed out). It stopped at exchange 40 of "
         "image 2 (send data)."},
        {"a read that failed at a row", stage(1, -1, failedAt(TransferFault::ReadFailed, 9, CMD_VERIFY_ROW, "Input/output error", 300)),
         Cause::TransferFailed,
         "The transfer to the surface failed: the read failed (Input/output error). It stopped at row 300 of image 1 "
         "(verify row), exchange 9."},
        {"a row of another flash array", stage(1, -1, failedAt(TransferFault::Unplugged, 5, CMD_PROGRAM_ROW, "No such device", 2, 1)),
         Cause::Unplugged,
         "The transfer to the surface failed: the surface was unplugged. It stopped at row 2 in flash array 1 of "
         "image 1 (program row), exchange 5."},
        {"a cut answer is the transfer's, not the file's", stage(1, -1, cut), Cause::TransferFailed,
         "The transfer to the surface failed: the surface's answer was cut short (3 of 7 bytes). It stopped at row 5 "
         "of image 1 (program row), exchange 12."},
        {"a wrong answer checksum", stage(2, -1, failedAt(TransferFault::BadChecksum, 2, CMD_GET_FLASH_SIZE)),
         Cause::TransferFailed,
         "The transfer to the surface failed: the surface's answer had a wrong checksum. It stopped at exchange 2 of "
         "image 2 (flash size)."},
        {"image 1's exit command lost", stage(1, BL_SUCCESS, failedAt(TransferFault::WriteFailed, 16, CMD_EXIT_BOOTLOADER)),
         Cause::StillFirstChip, "The surface did not restart into its second chip after image 1."},
        {"image 2 meets the first chip", stage(2, BL_DEVICE_MISMATCH, answered(CMD_ENTER_BOOTLOADER, kChip1)),
         Cause::StillFirstChip, "The surface did not restart into its second chip after image 1."},
        {"image 2's exit command lost", stage(2, BL_SUCCESS, failedAt(TransferFault::Unplugged, 16, CMD_EXIT_BOOTLOADER)),
         Cause::NotRestarted,
         "The surface did not restart by itself: unplug and re-plug it to start the new firmware."},
        {"image 1 meets the second chip", stage(1, BL_DEVICE_MISMATCH, answered(CMD_ENTER_BOOTLOADER, kChip2)),
         Cause::OtherChip,
         "The surface answered as its second chip: it still runs the second chip's bootloader from an unfinished "
         "update."},
        {"a chip of neither image", stage(1, BL_DEVICE_MISMATCH, answered(CMD_ENTER_BOOTLOADER, 0x12345678)),
         Cause::WrongChip,
         "The surface's chip is not the one image 1 is for (it answered silicon id 0x12345678, image 1 is for "
         "0x56530001): the file is not for this surface."},
        {"the application check fails", stage(2, BL_CHECKSUM_MISMATCH, answered(CMD_VERIFY_CHECKSUM)),
         Cause::ApplicationCheck,
         "Every row of image 2 was written, but the surface's application check failed: the file may be damaged or "
         "not for this surface."},
        {"a row that reads back wrong", stage(1, BL_CHECKSUM_MISMATCH, answered(CMD_VERIFY_ROW)), Cause::RowMismatch,
         "A row of image 1 did not read back as written: its checksum on the surface differs."},
        {"verify finds another row", stage(2, BL_CHECKSUM_MISMATCH, answered(CMD_VERIFY_ROW), true), Cause::RowMismatch,
         "The surface does not hold image 2 of the file: a row's checksum differs."},
        {"a status, in one wording", stage(1, BL_DEVICE_STATUS_FLAG + 0x0B, answered(CMD_PROGRAM_ROW)),
         Cause::DeviceStatus, "The device answered status 11 (0x0b)."},
        {"the image file", stage(2, BL_FILE_NOT_ACCESSIBLE, {}), Cause::FileUnreadable,
         "Image 2 could not be read: File is not accessable."},
        {"aborted", stage(1, BL_ABORTED, {}), Cause::Aborted, "The operation was aborted."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const vireon::engine::CauseAccount told = vireon::engine::accountFor(c.account);
        EXPECT_STREQ(causeName(told.cause), causeName(c.cause));
        EXPECT_EQ(told.reason, c.reason);
    }
}

TEST(Causes, TheNoAnswerTextNamesTheLimitTheReadWaited)
{
    const struct {
        long long ms;
        const char *text;
    } cases[] = {{5000, "5"}, {300, "0.3"}, {1250, "1.25"}, {60000, "60"}};
    for (const auto &c : cases)
        EXPECT_EQ(vireon::engine::noAnswerText(c.ms), std::string("The surface did not answer within ") + c.text + " s.");
}

} // namespace
