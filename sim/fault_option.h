// One fault on the simulated surface as the demo programs take it:
// KIND:STAGE:N, exchange N (from 1) of stage 1 or 2, or "last" for the
// stage's exit command. The stage is the chip of the chain the image is for.
#ifndef VIREON_SIM_FAULT_OPTION_H
#define VIREON_SIM_FAULT_OPTION_H

#include "hidsim.h"

#include <optional>
#include <string>

namespace vireon::sim {

// The kinds and what each does, for a program's --help.
extern const char kFaultHelp[];

// The fault `text` names, or nothing with `why` telling what is wrong.
std::optional<Fault> parseFaultOption(const std::string &text, std::string *why);

} // namespace vireon::sim

#endif
