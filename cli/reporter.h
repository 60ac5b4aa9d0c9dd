// Everything the command tells its user goes through one Reporter, one
// policy per channel:
//   standard output  steps, progress and results (or, with --json, one JSON
//                    object per line instead); -q keeps only the end
//   standard error   failures with their fix, and warnings, always
//   --log FILE       every step and each tenth of a stage, in the window's
//                    log line format, tagged with the stage
// Progress on a terminal is one line redrawn in place; elsewhere a plain
// line at every tenth. Colour only on a terminal and never with NO_COLOR.
#ifndef VIREON_CLI_REPORTER_H
#define VIREON_CLI_REPORTER_H

#include "exit_codes.h"
#include "options.h"
#include "progress_meter.h"
#include "steps.h"

#include <QJsonObject>

#include <cstdio>
#include <mutex>

namespace vireon::flash {

class Reporter
{
public:
    Reporter(const Options &options, FILE *out, FILE *err);

    // A step of the run begins or ends; `fields` go into its JSON line.
    void step(const Step &step, const QString &text, const QJsonObject &fields = {});

    // Something about the set-up the user must hear even with -q (a policy
    // that requires signatures for a reason they did not mean): on standard
    // error as "vireon-flash: warning: TEXT", in the log, and with --json as
    // a step too.
    void warn(const Step &step, const QString &text);

    // The rows of one programming or verify action: start, one call per row
    // the host reports (from the action's thread), end.
    // `rowsBefore`: rows the command's earlier stages did, for the overall
    // figure (see setOverallRows).
    void startRows(const Step &step, const char *action, int rowsTotal, int rowsBefore = 0);
    // The rows of the whole command: its overall percent counts them across
    // the stages and never goes back, not even when a stage is tried again.
    void setOverallRows(int rowsTotal);
    void row();
    void endRows();

    // One entry of list or doctor: `human` on the terminal, `json` with --json.
    // The entries are the command's result: -q prints them too, but those
    // marked `minor` (a doctor check that holds).
    void entry(const Step &step, const QString &human, QJsonObject json, bool minor = false);

    // The command's end: its result line, and for a failure the message and
    // its fix on standard error.
    void finish(const Step &step, const Outcome &outcome);

private:
    void log(const Step &step, const QString &text);
    void drawRow(bool final);
    int overallPercent();
    QString paint(const QString &text, const char *sgr, bool colored) const;

    const Options &options_;
    FILE *out_;
    FILE *err_;
    bool terminal_ = false;
    bool outColor_ = false;
    bool errColor_ = false;
    bool logWarned_ = false;

    std::mutex mutex_; // rows arrive on the action's thread
    const Step *rowStep_ = nullptr;
    const char *action_ = "";
    ProgressMeter meter_;
    int overallTotal_ = 0;
    int rowsBefore_ = 0;
    int overallShown_ = 0;
    ProgressMeter::Clock::time_point lastDraw_{};
    bool lineOpen_ = false; // a redrawn line waits for its line end
};

} // namespace vireon::flash

#endif
