// The steps of a run, as they are named on the terminal, in JSON lines and
// in the log file.
#ifndef VIREON_CLI_STAGES_H
#define VIREON_CLI_STAGES_H

namespace vireon::flash {

struct Stage {
    const char *key;    // JSON "stage": "check", "stage1", ...
    const char *label;  // on the terminal: "stage 1"
    const char *logTag; // in the log file: " Stage 1: "
};

namespace stage {
constexpr Stage Check{"check", "file check", " Check: "};
constexpr Stage Wait{"wait", "surface", " Wait: "};
constexpr Stage Stage1{"stage1", "stage 1", " Stage 1: "};
constexpr Stage Restart{"restart", "restart", " Restart: "};
constexpr Stage Stage2{"stage2", "stage 2", " Stage 2: "};
constexpr Stage Done{"done", "done", " Done: "};
constexpr Stage List{"list", "list", " List: "};
constexpr Stage Doctor{"doctor", "doctor", " Doctor: "};
} // namespace stage

} // namespace vireon::flash

#endif
