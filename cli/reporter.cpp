#include "reporter.h"

#include <algorithm>

#include "json_lines.h"
#include "folder_files.h"
#include "log_line.h"
#include "printable.h"

#include <cstdlib>

#include <unistd.h>

namespace vireon::flash {
namespace {

using Clock = ProgressMeter::Clock;

// A terminal redraw at most this often; every row would only flicker.
constexpr std::chrono::milliseconds kRedrawEvery{100};

bool noColor()
{
    const char *value = std::getenv("NO_COLOR");
    return value != nullptr && value[0] != '\0';
}

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

QString timeLeft(double seconds)
{
    if (seconds < 0)
        return QStringLiteral("time left unknown");
    if (seconds < 60)
        return QStringLiteral("%1 s left").arg(seconds, 0, 'f', 1);
    const int whole = static_cast<int>(seconds + 0.5);
    return QStringLiteral("%1 min %2 s left").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

Reporter::Reporter(const Options &options, FILE *out, FILE *err) : options_(options), out_(out), err_(err)
{
    terminal_ = isatty(fileno(out_)) == 1;
    outColor_ = terminal_ && !noColor();
    errColor_ = isatty(fileno(err_)) == 1 && !noColor();
}

QString Reporter::paint(const QString &text, const char *sgr, bool colored) const
{
    return colored ? QStringLiteral("\x1b[%1m%2\x1b[0m").arg(QLatin1String(sgr), text) : text;
}

void Reporter::log(const Step &step, const QString &text)
{
    if (options_.logFile.isEmpty())
        return;
    if (!core::appendLogEntry(QLatin1String(step.logTag), text + QLatin1Char('\n'), options_.logFile) &&
        !logWarned_) {
        logWarned_ = true;
        const QString why = core::appendProblem(options_.logFile);
        write(err_, QStringLiteral("vireon-flash: cannot append to the log file %1%2\n")
                        .arg(core::escapeControls(options_.logFile),
                             why.isEmpty() ? QString() : QStringLiteral(": ") + core::escapeControls(why)));
    }
}

void Reporter::step(const Step &step, const QString &text, const QJsonObject &fields)
{
    std::lock_guard<std::mutex> hold(mutex_);
    log(step, text);
    if (options_.quiet)
        return;
    if (options_.json)
        write(out_, QString::fromUtf8(jsonLine(stepObject(step, text, fields))));
    else
        write(out_, paint(QLatin1String(step.label), "1", outColor_) + QStringLiteral(": ") +
                        core::escapeControls(text) + QLatin1Char('\n'));
}

void Reporter::warn(const Step &step, const QString &text)
{
    std::lock_guard<std::mutex> hold(mutex_);
    log(step, text);
    if (options_.json && !options_.quiet)
        write(out_, QString::fromUtf8(jsonLine(stepObject(step, text, {{QStringLiteral("warning"), true}}))));
    write(err_, paint(QStringLiteral("vireon-flash: warning: "), "1;33", errColor_) + core::escapeControls(text) +
                    QLatin1Char('\n'));
}

void Reporter::setOverallRows(int rowsTotal)
{
    std::lock_guard<std::mutex> hold(mutex_);
    overallTotal_ = rowsTotal;
    overallShown_ = 0;
}

int Reporter::overallPercent()
{
    if (overallTotal_ <= 0)
        return meter_.percent();
    const int done = std::min(rowsBefore_ + meter_.rowsDone(), overallTotal_);
    overallShown_ = std::max(overallShown_, done * 100 / overallTotal_);
    return overallShown_;
}

void Reporter::startRows(const Step &step, const char *action, int rowsTotal, int rowsBefore)
{
    std::lock_guard<std::mutex> hold(mutex_);
    rowsBefore_ = rowsBefore;
    rowStep_ = &step;
    action_ = action;
    meter_.start(rowsTotal, Clock::now());
    lastDraw_ = Clock::time_point{};
}

void Reporter::row()
{
    std::lock_guard<std::mutex> hold(mutex_);
    if (rowStep_ == nullptr)
        return;
    const bool tenth = meter_.addRow(Clock::now());
    if (tenth)
        log(*rowStep_, QStringLiteral("%1 %2 of %3 rows (%4 %)")
                            .arg(QLatin1String(action_))
                            .arg(meter_.rowsDone())
                            .arg(meter_.rowsTotal())
                            .arg(meter_.percent()));
    if (options_.quiet)
        return;
    if (options_.json) {
        write(out_, QString::fromUtf8(jsonLine(rowObject(*rowStep_, action_, meter_, overallPercent()))));
    } else if (terminal_) {
        if (Clock::now() - lastDraw_ >= kRedrawEvery) // endRows draws the last state
            drawRow(false);
    } else if (tenth) {
        write(out_, QStringLiteral("%1: %2 %3 % (%4 of %5 rows, %6 rows/s, %7), overall %8 %\n")
                        .arg(QLatin1String(rowStep_->label), QLatin1String(action_))
                        .arg(meter_.percent())
                        .arg(meter_.rowsDone())
                        .arg(meter_.rowsTotal())
                        .arg(meter_.rate(), 0, 'f', 1)
                        .arg(timeLeft(meter_.secondsLeft()))
                        .arg(overallPercent()));
    }
}

void Reporter::drawRow(bool final)
{
    lastDraw_ = Clock::now();
    const QString line = QStringLiteral("%1  %2 %3/%4 rows  %5 %  %6 rows/s  %7  overall %8 %")
                             .arg(paint(QLatin1String(rowStep_->label), "1", outColor_), QLatin1String(action_))
                             .arg(meter_.rowsDone())
                             .arg(meter_.rowsTotal())
                             .arg(meter_.percent(), 3)
                             .arg(meter_.rate(), 0, 'f', 1)
                             .arg(timeLeft(meter_.secondsLeft()))
                             .arg(overallPercent(), 3);
    // Back to the line's start, the new text, then clear what is left of
    // the old one.
    write(out_, QStringLiteral("\r") + line + QStringLiteral("\x1b[K") + (final ? QStringLiteral("\n") : QString()));
    lineOpen_ = !final;
}

void Reporter::endRows()
{
    std::lock_guard<std::mutex> hold(mutex_);
    if (rowStep_ != nullptr && lineOpen_)
        drawRow(true);
    rowStep_ = nullptr;
}

void Reporter::entry(const Step &step, const QString &human, QJsonObject json, bool minor)
{
    std::lock_guard<std::mutex> hold(mutex_);
    log(step, human);
    if (options_.json) {
        json.insert(QStringLiteral("stage"), QLatin1String(step.key));
        write(out_, QString::fromUtf8(jsonLine(json)));
    } else if (!options_.quiet || !minor) {
        write(out_, human + QLatin1Char('\n'));
    }
}

void Reporter::finish(const Step &step, const Outcome &outcome)
{
    std::lock_guard<std::mutex> hold(mutex_);
    if (lineOpen_) {
        write(out_, QStringLiteral("\n"));
        lineOpen_ = false;
    }
    log(step, outcome.ok() ? outcome.message
                            : QStringLiteral("%1 (exit %2: %3) Fix: %4")
                                  .arg(outcome.message)
                                  .arg(static_cast<int>(outcome.code))
                                  .arg(QLatin1String(exitName(outcome.code)), outcome.fix));
    if (options_.json)
        write(out_, QString::fromUtf8(jsonLine(endObject(step, outcome))));
    if (outcome.ok()) {
        // A success that needs the user's hand is told even when quiet.
        const bool note = outcome.cause == engine::Cause::NotRestarted;
        if (!options_.json && (!options_.quiet || note) && !outcome.message.isEmpty())
            write(out_, paint(core::escapeControls(outcome.message), "32", outColor_) + QLatin1Char('\n'));
        return;
    }
    QString text = paint(QStringLiteral("vireon-flash: "), "1;31", errColor_) + core::escapeControls(outcome.message) +
                   QLatin1Char('\n');
    if (!outcome.fix.isEmpty())
        text += QStringLiteral("  fix: ") + core::escapeControls(outcome.fix) + QLatin1Char('\n');
    write(err_, text);
}

} // namespace vireon::flash
