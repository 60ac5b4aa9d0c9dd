// The command's exit codes (the update engine's, one per way an update
// ends; vireon-flash.1 documents each) and how a command ended.
#ifndef VIREON_CLI_EXIT_CODES_H
#define VIREON_CLI_EXIT_CODES_H

#include <QString>

#include "outcome.h"

namespace vireon::flash {

using engine::Exit;
using engine::exitName;

// How a command ended: the exit code, a sentence for the user and, for a
// failure, what to do about it.
struct Outcome {
    Exit code = Exit::Success;
    QString message;
    QString fix;
    // For an update: the cause the engine named (a success may carry one,
    // with a note in `message`).
    engine::Cause cause = engine::Cause::None;
    // For a verify that found no difference: what matched.
    engine::Checks checks{};

    bool ok() const { return code == Exit::Success; }
};

} // namespace vireon::flash

#endif
