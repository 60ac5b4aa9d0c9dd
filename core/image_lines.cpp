#include "image_lines.h"

namespace vireon::core::detail {

namespace {

// The host reads at most this many characters of a line in one piece, its
// line end included; the rest of a longer line would come as a line of its
// own.
constexpr int kReadLimit = 767;
constexpr int kHeaderDigits = 10; // silicon id and revision
constexpr int kRowBytes = 6;      // array id, row number, length, checksum
constexpr int kLastArray = 3;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// `digits` hex digits as bytes; `digits` is even and all are hex.
QByteArray pairs(const char *digits, int count)
{
    QByteArray bytes(count / 2, '\0');
    for (int i = 0; i < count / 2; ++i)
        bytes[i] = static_cast<char>(hexValue(digits[2 * i]) * 16 + hexValue(digits[2 * i + 1]));
    return bytes;
}

int byteAt(const QByteArray &bytes, int i) { return static_cast<unsigned char>(bytes[i]); }

// A row's bytes hold a whole row: its length field matches.
bool wholeRow(const QByteArray &bytes)
{
    return bytes.size() >= kRowBytes && (byteAt(bytes, 3) << 8 | byteAt(bytes, 4)) + kRowBytes == bytes.size();
}

// The digits of a line (after a row's ':'): hex pairs, nothing else.
QString digitProblem(const char *digits, int count, bool header)
{
    for (int i = 0; i < count; ++i) {
        if (hexValue(digits[i]) >= 0)
            continue;
        const QString what = describeByte(static_cast<unsigned char>(digits[i]));
        // What comes before it would be a whole line on its own: it is
        // something after the line's last pair.
        const bool whole = i % 2 == 0 && (header ? i >= kHeaderDigits : wholeRow(pairs(digits, i)));
        return whole ? QStringLiteral("has %1 after its last hex pair").arg(what)
                     : QStringLiteral("has %1 where a hex digit belongs").arg(what);
    }
    if (count % 2 != 0)
        return QStringLiteral("has an odd number of hex digits (%1)").arg(count);
    return {};
}

QString headerProblem(const char *text, int size)
{
    if (size == 0)
        return QStringLiteral("is empty where the image's header belongs");
    QString bad = digitProblem(text, size, true);
    if (bad.isEmpty() && size < kHeaderDigits)
        bad = QStringLiteral("is too short for a header: it has %1 hex digits where at least %2 belong")
                  .arg(size)
                  .arg(kHeaderDigits);
    return bad;
}

QString rowProblem(const char *text, int size)
{
    if (size == 0)
        return QStringLiteral("is empty");
    if (text[0] != ':')
        return QStringLiteral("begins with %1 where ':' belongs").arg(describeByte(static_cast<unsigned char>(text[0])));
    const QString bad = digitProblem(text + 1, size - 1, false);
    if (!bad.isEmpty())
        return bad;
    const QByteArray row = pairs(text + 1, size - 1);
    if (row.size() < kRowBytes)
        return QStringLiteral("is too short for a row: it has %1 hex digits where at least %2 belong")
            .arg(size - 1)
            .arg(2 * kRowBytes);
    if (byteAt(row, 0) > kLastArray)
        return QStringLiteral("names flash array %1; the surface's arrays are 0 to %2").arg(byteAt(row, 0)).arg(kLastArray);
    if (!wholeRow(row))
        return QStringLiteral("says its row holds %1 bytes but holds %2")
            .arg(byteAt(row, 3) << 8 | byteAt(row, 4))
            .arg(row.size() - kRowBytes);
    // The row's bytes, its checksum byte included, add up to zero (mod 256)
    // when the row is intact.
    unsigned sum = 0;
    for (char b : row)
        sum += static_cast<unsigned char>(b);
    if ((sum & 0xFF) != 0)
        return QStringLiteral("has a checksum that does not match its data");
    return {};
}

} // namespace

QString describeByte(unsigned char byte)
{
    switch (byte) {
    case 0:
        return QStringLiteral("a NUL byte");
    case ' ':
        return QStringLiteral("a blank");
    case '\t':
        return QStringLiteral("a tab");
    case '\r':
        return QStringLiteral("a carriage return");
    default:
        break;
    }
    if (byte > ' ' && byte < 0x7F)
        return QStringLiteral("'%1'").arg(QChar(byte));
    return QStringLiteral("byte 0x%1").arg(QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0')));
}

ImageFault checkImageBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {0, QStringLiteral("is empty")};
    int rows = 0, number = 0;
    for (int start = 0; start < bytes.size(); ) {
        ++number;
        int end = bytes.indexOf('\n', start);
        const bool ended = end >= 0;
        if (!ended)
            end = bytes.size();
        // The reader drops any carriage returns before the line end.
        int size = end - start;
        if (size + (ended ? 1 : 0) > kReadLimit)
            return {number, QStringLiteral("is longer than the %1 characters the updater reads in a line").arg(kReadLimit - 1)};
        while (size > 0 && bytes[start + size - 1] == '\r')
            --size;
        const char *text = bytes.constData() + start;
        const QString bad = number == 1 ? headerProblem(text, size) : rowProblem(text, size);
        if (!bad.isEmpty())
            return {number, bad};
        rows += number == 1 ? 0 : 1;
        start = end + 1;
    }
    if (rows == 0)
        return {0, QStringLiteral("holds a header but no rows")};
    return {};
}

} // namespace vireon::core::detail
