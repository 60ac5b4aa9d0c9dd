#include "signature_check.h"

#include "folder_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>


#ifndef VIREON_KEYS_DIR
#error "VIREON_KEYS_DIR names the folder the package's keys are installed in"
#endif

namespace vireon::core {
namespace {

const QString kSiteKeys = QStringLiteral("/etc/vireon-control/keys");
const QString kPolicyFile = QStringLiteral("/etc/vireon-control/policy.conf");
const QString kRequireSignature = QStringLiteral("require-signature");

// A small file read whole, or why not. Opened as any file the user names:
// a FIFO in its place does not hang the check, and only a regular file no
// larger than the limit is read.
struct SmallFile {
    enum Kind { Read, Missing, Unreadable, TooLarge };
    Kind kind = Read;
    QByteArray bytes;
    QString error; // Unreadable: the reason ("it is a folder, not a regular file")
};

SmallFile readSmallFile(const QString &path, qint64 limit)
{
    SmallFile file;
    const OpenedFile opened = openRegularFile(path);
    if (!opened.ok()) {
        file.kind = opened.error == ENOENT ? SmallFile::Missing : SmallFile::Unreadable;
        file.error = opened.notRegular ? QStringLiteral("it is %1, not a regular file").arg(opened.found)
                                       : qt_error_string(opened.error);
        return file;
    }
    if (!readWhole(opened.file.fd(), &file.bytes, limit)) {
        const int error = errno;
        file.kind = file.bytes.size() > limit ? SmallFile::TooLarge : SmallFile::Unreadable;
        file.error = qt_error_string(error);
    }
    return file;
}

QString shown(const QString &path) { return QDir::toNativeSeparators(path); }

void readPolicy(const QString &path, Trust &trust)
{
    const SmallFile policy = readSmallFile(path, 64 * 1024);
    if (policy.kind == SmallFile::Missing)
        return;
    if (policy.kind != SmallFile::Read) {
        trust.requireSignature = true;
        trust.requiredBy = QStringLiteral("%1 cannot be read").arg(shown(path));
        trust.policyProblems << QStringLiteral("The policy file %1 cannot be read (%2); signatures are required until it "
                                         "can be.")
                              .arg(shown(path),
                                   policy.kind == SmallFile::TooLarge ? QStringLiteral("it is too large") : policy.error);
        return;
    }
    const QList<QByteArray> lines = policy.bytes.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QString line = QString::fromUtf8(lines[i]);
        line = line.left(line.indexOf(QLatin1Char('#'))).trimmed();
        if (line.isEmpty())
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed();
        const QString value = equals < 0 ? QString() : line.mid(equals + 1).trimmed().toLower();
        const QString where = QStringLiteral("line %1 of %2").arg(i + 1).arg(shown(path));
        if (key != kRequireSignature) {
            trust.policyProblems << QStringLiteral("The policy file's %1 is not a setting this program knows (it knows "
                                             "\"require-signature = yes\" and \"= no\").")
                                  .arg(where);
            continue;
        }
        if (value == QLatin1String("no")) {
            trust.requireSignature = false;
            continue;
        }
        trust.requireSignature = true;
        trust.requiredBy = QStringLiteral("require-signature = yes in %1").arg(shown(path));
        if (value != QLatin1String("yes")) {
            trust.requiredBy = where;
            trust.policyProblems << QStringLiteral("The policy file's %1 says require-signature = %2; it takes yes or no. "
                                             "Signatures are required until it says which.")
                                  .arg(where, value);
        }
    }
}

QString keyFileProblem(const QString &path, const SmallFile &file, const QString &parsed)
{
    switch (file.kind) {
    case SmallFile::Read:
        return QStringLiteral("%1 is not a minisign public key: %2.").arg(shown(path), parsed);
    case SmallFile::Missing:
    case SmallFile::Unreadable:
        return QStringLiteral("%1 cannot be read (%2).").arg(shown(path), file.error);
    case SmallFile::TooLarge:
        return QStringLiteral("%1 is not a minisign public key: it is larger than %2 bytes.")
            .arg(shown(path))
            .arg(kMaxPublicKeyFileSize);
    }
    return {};
}

using Problem = SignatureCheck::Problem;

SignatureCheck bad(SignatureCheck check, Problem problem, const QString &reason, const QString &fix)
{
    check.status = SignatureCheck::Status::Bad;
    check.problem = problem;
    check.reason = reason;
    check.fix = fix;
    return check;
}

} // namespace

TrustLocations TrustLocations::system()
{
    // VIREON_CONFIG_DIR stands in for /etc/vireon-control (its keys/ and its
    // policy.conf): the tests and the demos are given a folder of their own,
    // so that no site's policy decides how they end.
    const QString site = qEnvironmentVariable("VIREON_CONFIG_DIR");
    if (!site.isEmpty())
        return {{QStringLiteral(VIREON_KEYS_DIR), site + QStringLiteral("/keys")}, site + QStringLiteral("/policy.conf")};
    return {{QStringLiteral(VIREON_KEYS_DIR), kSiteKeys}, kPolicyFile};
}

Trust loadTrust(const TrustLocations &locations)
{
    Trust trust;
    for (const QString &folder : locations.keyFolders) {
        const QStringList names = QDir(folder).entryList({QStringLiteral("*.pub")}, QDir::Files | QDir::System,
                                                         QDir::Name);
        for (const QString &name : names)
            if (const QString problem = addTrustedKey(trust, QDir(folder).filePath(name)); !problem.isEmpty())
                trust.keyProblems << problem;
    }
    readPolicy(locations.policyFile, trust);
    return trust;
}

QString addTrustedKey(Trust &trust, const QString &path)
{
    const SmallFile file = readSmallFile(path, kMaxPublicKeyFileSize);
    TrustedKey key;
    key.path = path;
    const QString parsed = file.kind == SmallFile::Read ? parsePublicKey(file.bytes, &key.key) : QString();
    if (file.kind != SmallFile::Read || !parsed.isEmpty())
        return keyFileProblem(path, file, parsed);
    trust.keys.push_back(key);
    return {};
}

QString signaturePathFor(const QString &firmwarePath) { return firmwarePath + QStringLiteral(".minisig"); }

const char *SignatureCheck::statusName() const
{
    switch (status) {
    case Status::Good:
        return "good";
    case Status::Bad:
        return "bad";
    case Status::None:
        break;
    }
    return "none";
}

QString SignatureCheck::summary() const
{
    if (status == Status::Good)
        return QStringLiteral("Signature good: signed with the trusted key id %1 (%2); trusted comment: %3")
            .arg(keyId, shown(keyFile), trustedComment);
    if (!refused())
        return QStringLiteral("The file carries no signature (no %1 beside it); it is used unsigned.").arg(signatureFile);
    return reason;
}

SignatureCheck checkSignature(const QByteArray &file, const QString &signaturePath, const Trust &trust)
{
    SignatureCheck check;
    const QString name = QFileInfo(signaturePath).fileName();
    check.signatureFile = name;
    const SmallFile read = readSmallFile(signaturePath, kMaxSignatureFileSize);
    const QString askAgain = QStringLiteral("Use the signature exactly as the maker released it, or ask them for it "
                                            "again.");
    switch (read.kind) {
    case SmallFile::Missing:
        check.required = trust.requireSignature;
        if (check.required) {
            check.problem = Problem::Unsigned;
            check.reason = QStringLiteral("The file carries no signature (no %1 beside it), and this computer "
                                          "requires signed firmware (%2).")
                               .arg(name, trust.requiredBy);
            check.fix = QStringLiteral("Ask the surface's maker for the signed release: the firmware file with its "
                                       ".minisig file beside it.");
        }
        return check;
    case SmallFile::Unreadable:
        return bad(check, Problem::Unreadable, QStringLiteral("The file's signature %1 cannot be read (%2).").arg(name, read.error),
                   QStringLiteral("Check that %1 is a file you may read.").arg(name));
    case SmallFile::TooLarge:
        return bad(check, Problem::Malformed,
                   QStringLiteral("%1 is not a signature: it is larger than %2 KiB, and a minisign signature is a "
                                  "few hundred bytes.")
                       .arg(name)
                       .arg(kMaxSignatureFileSize / 1024),
                   askAgain);
    case SmallFile::Read:
        break;
    }
    MinisignSignature signature;
    if (const QString problem = parseSignature(read.bytes, &signature); !problem.isEmpty())
        return bad(check, Problem::Malformed, QStringLiteral("%1 is not a minisign signature this program can read: %2.").arg(name, problem),
                   askAgain);
    check.keyId = keyIdText(signature.keyId);
    // Key ids are random: two trusted keys may share one, so each with the
    // signature's id is tried before the first failure is reported.
    Verdict failure = Verdict::OtherKey;
    for (const TrustedKey &trusted : trust.keys) {
        const Verdict verdict = verifySignature(signature, trusted.key, file);
        if (verdict == Verdict::Good) {
            check.status = SignatureCheck::Status::Good;
            check.keyFile = trusted.path;
            check.trustedComment = QString::fromUtf8(signature.trustedComment);
            return check;
        }
        if (failure == Verdict::OtherKey)
            failure = verdict;
    }
    switch (failure) {
    case Verdict::FileChanged:
        return bad(check, Problem::FileChanged,
                   QStringLiteral("The file was changed after it was signed: it does not match its signature in %1.")
                       .arg(name),
                   QStringLiteral("Use the firmware file exactly as its maker released it."));
    case Verdict::CommentChanged:
        return bad(check, Problem::CommentChanged, QStringLiteral("The trusted comment in %1 was changed after it was signed.").arg(name),
                   askAgain);
    case Verdict::NoLibrary:
        return bad(check, Problem::NoLibrary,
                   QStringLiteral("The signature cannot be checked: the cryptography library libsodium did not start."),
                   QStringLiteral("Reinstall the package libsodium23."));
    case Verdict::Good:
    case Verdict::OtherKey:
        break;
    }
    return bad(check, Problem::UntrustedKey,
               QStringLiteral("It was signed with a key this computer does not trust: key id %1.").arg(check.keyId),
               QStringLiteral("If you trust the file's maker, install their public key (a .pub file whose key id is "
                              "%1) in %2.")
                   .arg(check.keyId, kSiteKeys + QLatin1Char('/')));
}

} // namespace vireon::core
