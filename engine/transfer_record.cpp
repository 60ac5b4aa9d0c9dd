#include "transfer_record.h"

#include "cybtldr_command.h"
#include "wording.h"

namespace vireon::engine {

bool TransferRecord::exitLost() const { return failed() && faultCommand == CMD_EXIT_BOOTLOADER; }

void TransferRecord::reset()
{
    const bool print = printFailures;
    *this = TransferRecord();
    printFailures = print;
}

std::string commandName(uint8_t command)
{
    switch (command) {
    case CMD_VERIFY_CHECKSUM: return "application check";
    case CMD_GET_FLASH_SIZE: return "flash size";
    case CMD_GET_APP_STATUS: return "application status";
    case CMD_ERASE_ROW: return "erase row";
    case CMD_SYNC: return "sync";
    case CMD_SET_ACTIVE_APP: return "set active application";
    case CMD_SEND_DATA: return "send data";
    case CMD_ENTER_BOOTLOADER: return "enter bootloader";
    case CMD_PROGRAM_ROW: return "program row";
    case CMD_VERIFY_ROW: return "verify row";
    case CMD_EXIT_BOOTLOADER: return "exit bootloader";
    default: return "command 0x" + hex(command, 2);
    }
}

} // namespace vireon::engine
