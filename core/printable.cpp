#include "printable.h"

#include <QVector>

namespace vireon::core {
namespace {

// The marks and embeddings that reorder how a line is shown: a file name
// holding a right-to-left override reads on a terminal or in the log as
// another name ("fw\u202ednyc.exe").
bool bidiControl(ushort u)
{
    return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) || u == 0x200E || u == 0x200F || u == 0x061C;
}

} // namespace

QString escapeControls(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == '\n')
            escaped += QStringLiteral("\\n");
        else if (u == '\r')
            escaped += QStringLiteral("\\r");
        else if (u == '\t')
            escaped += QStringLiteral("\\t");
        else if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            escaped += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else if (u == 0x2028 || u == 0x2029 || bidiControl(u))
            escaped += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        else
            escaped += c;
    }
    return escaped;
}

QString deviceText(const QString &text)
{
    // Unpaired surrogates would make invalid UTF-8 in the log and in JSON.
    QVector<uint> points = text.toUcs4();
    for (uint &point : points)
        if (point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            point = 0xFFFD;
    const bool cut = points.size() > kMaxDeviceTextLength;
    if (cut)
        points.resize(kMaxDeviceTextLength);
    const QString whole = QString::fromUcs4(points.constData(), points.size());
    return escapeControls(whole) + (cut ? QStringLiteral("...") : QString());
}

QString deviceText(const wchar_t *text)
{
    if (text == nullptr)
        return {};
    QVector<uint> points;
    for (const wchar_t *c = text; *c != L'\0'; ++c) {
        const auto point = static_cast<uint>(*c);
        points << ((point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) ? 0xFFFDu : point);
        if (points.size() > kMaxDeviceTextLength)
            break; // enough to tell that it is cut
    }
    return deviceText(QString::fromUcs4(points.constData(), points.size()));
}

} // namespace vireon::core
