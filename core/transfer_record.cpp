#include "transfer_record.h"

#include "cybtldr_command.h"

namespace vireon::core {

bool TransferRecord::exitLost() const { return failed() && faultCommand == CMD_EXIT_BOOTLOADER; }

void TransferRecord::reset()
{
    const bool print = printFailures;
    *this = TransferRecord();
    printFailures = print;
}

QString commandName(uint8_t command)
{
    switch (command) {
    case CMD_VERIFY_CHECKSUM: return QStringLiteral("application check");
    case CMD_GET_FLASH_SIZE: return QStringLiteral("flash size");
    case CMD_GET_APP_STATUS: return QStringLiteral("application status");
    case CMD_ERASE_ROW: return QStringLiteral("erase row");
    case CMD_SYNC: return QStringLiteral("sync");
    case CMD_SET_ACTIVE_APP: return QStringLiteral("set active application");
    case CMD_SEND_DATA: return QStringLiteral("send data");
    case CMD_ENTER_BOOTLOADER: return QStringLiteral("enter bootloader");
    case CMD_PROGRAM_ROW: return QStringLiteral("program row");
    case CMD_VERIFY_ROW: return QStringLiteral("verify row");
    case CMD_EXIT_BOOTLOADER: return QStringLiteral("exit bootloader");
    default: return QStringLiteral("command 0x%1").arg(command, 2, 16, QLatin1Char('0'));
    }
}

} // namespace vireon::core
