#include "json_lines.h"

#include "progress_meter.h"

#include <QJsonDocument>

#include <cmath>

namespace vireon::flash {
namespace {

// Two decimals are plenty for a rate or a time, and keep the lines short.
double rounded(double value)
{
    return std::round(value * 100) / 100;
}

} // namespace

QJsonObject stepObject(const Step &step, const QString &message, const QJsonObject &fields)
{
    QJsonObject object = fields;
    object.insert(QStringLiteral("stage"), QLatin1String(step.key));
    object.insert(QStringLiteral("message"), message);
    return object;
}

QJsonObject rowObject(const Step &step, const char *action, const ProgressMeter &meter, int overall)
{
    const double left = meter.secondsLeft();
    return {{QStringLiteral("stage"), QLatin1String(step.key)},
            {QStringLiteral("action"), QLatin1String(action)},
            {QStringLiteral("rows_done"), meter.rowsDone()},
            {QStringLiteral("rows_total"), meter.rowsTotal()},
            {QStringLiteral("percent"), meter.percent()},
            {QStringLiteral("overall_percent"), overall},
            {QStringLiteral("rate"), rounded(meter.rate())},
            {QStringLiteral("seconds_left"), left < 0 ? QJsonValue() : QJsonValue(rounded(left))}};
}

QJsonObject endObject(const Step &step, const Outcome &outcome)
{
    QJsonObject object{{QStringLiteral("stage"), QLatin1String(step.key)},
                       {QStringLiteral("result"), outcome.ok() ? QStringLiteral("success") : QStringLiteral("failure")},
                       {QStringLiteral("exit_code"), static_cast<int>(outcome.code)},
                       {QStringLiteral("message"), outcome.message}};
    if (!outcome.ok()) {
        object.insert(QStringLiteral("error"), QLatin1String(exitName(outcome.code)));
        object.insert(QStringLiteral("fix"), outcome.fix);
    }
    // A verify that found no difference says what it compared.
    if (outcome.checks.rows)
        object.insert(QStringLiteral("checks"),
                      QJsonObject{{QStringLiteral("row_checksums"), true},
                                  {QStringLiteral("application_check_image1"), outcome.checks.application[0]},
                                  {QStringLiteral("application_check_image2"), outcome.checks.application[1]}});
    return object;
}

QByteArray jsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace vireon::flash
