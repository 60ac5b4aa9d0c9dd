// The values a worker's errorFlag takes: how its latest run ended.
#ifndef VIREON_WORKERS_ERROR_FLAG_H
#define VIREON_WORKERS_ERROR_FLAG_H

namespace vireon::workers {

constexpr int kProgrammed = 0;   // the action succeeded
constexpr int kNotOpened = 1;    // the surface could not be opened
constexpr int kActionFailed = 2; // the bootloader host reported a failure

} // namespace vireon::workers

#endif
