// The bootloader host's own words for its result codes, as the workers log
// them and the command-line updater prints them.
#ifndef VIREON_ENGINE_RESULT_TEXT_H
#define VIREON_ENGINE_RESULT_TEXT_H

namespace vireon::engine {

// The message for a failed action's result ("The expected device does not
// match the detected device."), or null when the result has none of its own
// (transport failures, device statuses).
const char *resultMessage(int result);

} // namespace vireon::engine

#endif
