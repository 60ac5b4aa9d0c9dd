// The four commands. Each reports through the reporter, ends with its
// finish line and returns the process's exit code.
#ifndef VIREON_CLI_COMMANDS_H
#define VIREON_CLI_COMMANDS_H

#include "options.h"
#include "reporter.h"

namespace vireon::flash {

int listCommand(const Options &options, Reporter &reporter);
int doctorCommand(const Options &options, Reporter &reporter);
// update and verify: the same two stages with the program or verify action.
int twoStageCommand(const Options &options, Reporter &reporter);

// Where doctor looks for udev rules, highest priority first. The
// environment variable VIREON_FLASH_UDEV_RULES_DIRS (a ':'-separated list)
// replaces the system's folders, for tests.
QStringList udevRuleDirs();

} // namespace vireon::flash

#endif
