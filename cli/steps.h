// The steps of a run, as they are named on the terminal, in JSON lines and
// in the log file.
#ifndef VIREON_CLI_STEPS_H
#define VIREON_CLI_STEPS_H

namespace vireon::flash {

struct Step {
    const char *key;    // JSON "stage": "check", "stage1", ...
    const char *label;  // on the terminal: "stage 1"
    const char *logTag; // in the log file: " Stage 1: "
};

namespace step {
constexpr Step Check{"check", "file check", " Check: "};
constexpr Step Wait{"wait", "surface", " Wait: "};
constexpr Step Stage1{"stage1", "stage 1", " Stage 1: "};
constexpr Step Restart{"restart", "restart", " Restart: "};
constexpr Step Stage2{"stage2", "stage 2", " Stage 2: "};
constexpr Step Done{"done", "done", " Done: "};
constexpr Step List{"list", "list", " List: "};
constexpr Step Doctor{"doctor", "doctor", " Doctor: "};
} // namespace step

} // namespace vireon::flash

#endif
