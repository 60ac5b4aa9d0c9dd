#include "minisign.h"

#include <QList>
#include <QTextCodec>

#include <sodium.h>

namespace vireon::core {
namespace {

const QByteArray kUntrusted = QByteArrayLiteral("untrusted comment: ");
const QByteArray kTrusted = QByteArrayLiteral("trusted comment: ");

// The text's lines without their line ends ("\n", or "\r\n" from a copy
// made on another system). A last line end is optional; empty lines after
// the last one are no line.
QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    return lines;
}

QString lineCount(int lines, int wanted)
{
    if (lines == 0)
        return QStringLiteral("it is empty");
    if (lines < wanted)
        return QStringLiteral("it ends after line %1 of %2").arg(lines).arg(wanted);
    return QStringLiteral("it has %1 lines, not %2").arg(lines).arg(wanted);
}

// Standard base64 with padding, nothing else on the line; empty on error.
QByteArray decode(const QByteArray &line, int bytes)
{
    const auto decoded = QByteArray::fromBase64Encoding(line, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != bytes || decoded.decoded.toBase64() != line)
        return {};
    return decoded.decoded;
}

QString notBase64(int line, int bytes)
{
    return QStringLiteral("line %1 is not the base64 of %2 bytes").arg(line).arg(bytes);
}

QString algorithmProblem(const QByteArray &algorithm, const char *known)
{
    QString shown;
    for (char c : algorithm)
        shown += c >= 0x20 && c < 0x7F ? QString(QLatin1Char(c)) : QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    return QStringLiteral("its algorithm is '%1', not Ed25519 (%2)").arg(shown, QLatin1String(known));
}

bool validUtf8(const QByteArray &text)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(text.constData(), text.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

const unsigned char *bytes(const QByteArray &array) { return reinterpret_cast<const unsigned char *>(array.constData()); }

bool holds(const QByteArray &signature, const QByteArray &message, const QByteArray &publicKey)
{
    return crypto_sign_verify_detached(bytes(signature), bytes(message), static_cast<unsigned long long>(message.size()),
                                       bytes(publicKey)) == 0;
}

// What both formats begin with: `wanted` lines, the untrusted comment, then
// the base64 of `bytes` bytes, which go to `decoded`.
QString readHead(const QList<QByteArray> &lines, int wanted, int bytes, QByteArray *decoded)
{
    if (lines.size() != wanted)
        return lineCount(lines.size(), wanted);
    if (!lines[0].startsWith(kUntrusted))
        return QStringLiteral("line 1 does not begin with \"untrusted comment: \"");
    *decoded = decode(lines[1], bytes);
    return decoded->isEmpty() ? notBase64(2, bytes) : QString();
}

} // namespace

QString parsePublicKey(const QByteArray &text, MinisignKey *key)
{
    QByteArray decoded;
    if (const QString problem = readHead(linesOf(text), 2, 42, &decoded); !problem.isEmpty())
        return problem;
    if (decoded.left(2) != "Ed")
        return algorithmProblem(decoded.left(2), "'Ed'");
    key->keyId = decoded.mid(2, 8);
    key->publicKey = decoded.mid(10, 32);
    return {};
}

QString parseSignature(const QByteArray &text, MinisignSignature *signature)
{
    const QList<QByteArray> lines = linesOf(text);
    QByteArray decoded;
    if (const QString problem = readHead(lines, 4, 74, &decoded); !problem.isEmpty())
        return problem;
    const QByteArray algorithm = decoded.left(2);
    if (algorithm != "ED" && algorithm != "Ed")
        return algorithmProblem(algorithm, "'Ed' or 'ED'");
    if (!lines[2].startsWith(kTrusted))
        return QStringLiteral("line 3 does not begin with \"trusted comment: \"");
    const QByteArray comment = lines[2].mid(kTrusted.size());
    if (!validUtf8(comment))
        return QStringLiteral("its trusted comment is not valid UTF-8 text");
    const QByteArray global = decode(lines[3], 64);
    if (global.isEmpty())
        return notBase64(4, 64);
    signature->prehashed = algorithm == "ED";
    signature->keyId = decoded.mid(2, 8);
    signature->signature = decoded.mid(10, 64);
    signature->trustedComment = comment;
    signature->globalSignature = global;
    return {};
}

QString keyIdText(const QByteArray &keyId)
{
    quint64 number = 0;
    for (int i = keyId.size() - 1; i >= 0; --i)
        number = (number << 8) | static_cast<uchar>(keyId[i]);
    return QString::number(number, 16).toUpper();
}

Verdict verifySignature(const MinisignSignature &signature, const MinisignKey &key, const QByteArray &file)
{
    if (signature.keyId != key.keyId)
        return Verdict::OtherKey;
    if (!sodiumReady())
        return Verdict::NoLibrary;
    QByteArray signedBytes = file;
    if (signature.prehashed) {
        signedBytes = QByteArray(crypto_generichash_BYTES_MAX, '\0');
        crypto_generichash(reinterpret_cast<unsigned char *>(signedBytes.data()), crypto_generichash_BYTES_MAX,
                           bytes(file), static_cast<unsigned long long>(file.size()), nullptr, 0);
    }
    const bool fileHolds = holds(signature.signature, signedBytes, key.publicKey);
    const bool commentHolds =
        holds(signature.globalSignature, signature.signature + signature.trustedComment, key.publicKey);
    if (fileHolds)
        return commentHolds ? Verdict::Good : Verdict::CommentChanged;
    return commentHolds ? Verdict::FileChanged : Verdict::ImpostorKey;
}

} // namespace vireon::core
