// The objects --json prints, one per line (schema in vireon-flash.1):
//   a step       {"stage", "message"}
//   a row        {"stage", "action", "rows_done", "rows_total", "percent", "rate", "seconds_left"}
//   the end      {"stage", "result", "exit_code", "error", "message", "fix"}
//   an entry     list and doctor add their own fields to {"stage", ...}
#ifndef VIREON_CLI_JSON_LINES_H
#define VIREON_CLI_JSON_LINES_H

#include "exit_codes.h"
#include "steps.h"

#include <QByteArray>
#include <QJsonObject>

namespace vireon::flash {

class ProgressMeter;

// `fields`: more members, as the device and serial number of the surface a
// stage starts on.
QJsonObject stepObject(const Step &step, const QString &message, const QJsonObject &fields = {});
// `overall`: the whole command's percent across both images.
QJsonObject rowObject(const Step &step, const char *action, const ProgressMeter &meter, int overall);
// "result" is "success" or "failure"; "error" is exitName() of the code.
QJsonObject endObject(const Step &step, const Outcome &outcome);

// The object as one compact line, with its line end.
QByteArray jsonLine(const QJsonObject &object);

} // namespace vireon::flash

#endif
