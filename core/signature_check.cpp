#include "signature_check.h"

#include "folder_files.h"

#include <sodium.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

#include <cerrno>

#include <dirent.h>
#include <sys/stat.h>


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

// What stands at the policy's name when it cannot be opened: nothing at
// all (no policy), or a link whose target is missing, which is a policy
// meant but not readable.
bool danglingLink(const QString &path)
{
    struct stat status {};
    return lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISLNK(status.st_mode);
}

// Text this program can read as the policy: UTF-8 (a leading byte-order
// mark allowed), no NUL bytes. A line saved as UTF-16 is neither.
bool readableText(QByteArray *bytes)
{
    if (bytes->startsWith("\xEF\xBB\xBF"))
        bytes->remove(0, 3);
    if (bytes->contains('\0'))
        return false;
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(bytes->constData(), bytes->size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

// The policy fails closed: anything but a clear yes or no (a name it does
// not know, a line it cannot parse, text it cannot read, lines that
// contradict each other) requires signatures, and says why.
void requireFor(Trust &trust, const QString &requiredBy, const QString &problem)
{
    trust.requireSignature = true;
    if (trust.policyProblems.isEmpty()) // the first thing unclear is the one named
        trust.requiredBy = requiredBy;
    trust.policyProblems << problem;
}

void readPolicy(const QString &path, Trust &trust)
{
    SmallFile policy = readSmallFile(path, 64 * 1024);
    if (policy.kind == SmallFile::Missing && danglingLink(path)) {
        policy.kind = SmallFile::Unreadable;
        policy.error = QStringLiteral("it is a link to %1, which does not exist")
                           .arg(shown(QFile::symLinkTarget(path)));
    }
    if (policy.kind == SmallFile::Missing)
        return;
    if (policy.kind != SmallFile::Read) {
        requireFor(trust, QStringLiteral("%1 cannot be read").arg(shown(path)),
                   QStringLiteral("The policy file %1 cannot be read (%2); signatures are required until it can be.")
                       .arg(shown(path),
                            policy.kind == SmallFile::TooLarge ? QStringLiteral("it is too large") : policy.error));
        return;
    }
    if (!readableText(&policy.bytes)) {
        requireFor(trust, QStringLiteral("%1 is not UTF-8 text").arg(shown(path)),
                   QStringLiteral("The policy file %1 is not UTF-8 text (saved as UTF-16, or in another encoding); "
                                  "signatures are required until it is saved as UTF-8.")
                       .arg(shown(path)));
        return;
    }
    bool saidYes = false, saidNo = false;
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
        if (equals < 0 || key != kRequireSignature) {
            requireFor(trust, QStringLiteral("%1 is not a setting this program knows").arg(where),
                       QStringLiteral("The policy file's %1 is not a setting this program knows (it knows "
                                      "\"require-signature = yes\" and \"= no\"). Signatures are required until it "
                                      "is mended.")
                           .arg(where));
            continue;
        }
        if (value == QLatin1String("yes")) {
            saidYes = true;
            trust.requireSignature = true;
            if (trust.policyProblems.isEmpty())
                trust.requiredBy = QStringLiteral("require-signature = yes in %1").arg(shown(path));
        } else if (value == QLatin1String("no")) {
            saidNo = true;
        } else {
            requireFor(trust, where,
                       QStringLiteral("The policy file's %1 says require-signature = %2; it takes yes or no. "
                                      "Signatures are required until it says which.")
                           .arg(where, value));
        }
    }
    if (saidYes && saidNo)
        requireFor(trust, QStringLiteral("%1 says both yes and no").arg(shown(path)),
                   QStringLiteral("The policy file %1 says both require-signature = yes and = no; signatures are "
                                  "required until it says one of them.")
                       .arg(shown(path)));
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
            .arg(engine::kMaxPublicKeyFileSize);
    }
    return {};
}

// A key folder that is there but cannot be listed hides every key in it:
// named, where a missing one (a site that installs no key) is not.
QString keyFolderProblem(const QString &folder)
{
    DIR *listing = opendir(QFile::encodeName(folder).constData());
    if (listing != nullptr) {
        closedir(listing);
        return {};
    }
    const int error = errno;
    if (error == ENOENT)
        return {};
    return QStringLiteral("The key folder %1 cannot be read (%2): no key in it is trusted.")
        .arg(shown(folder), qt_error_string(error));
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
        if (const QString problem = keyFolderProblem(folder); !problem.isEmpty())
            trust.keyProblems << problem;
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
    const SmallFile file = readSmallFile(path, engine::kMaxPublicKeyFileSize);
    TrustedKey key;
    key.path = shown(path).toStdString();
    const QString parsed = file.kind == SmallFile::Read
                               ? QString::fromStdString(engine::parsePublicKey(file.bytes.toStdString(), &key.key))
                               : QString();
    if (file.kind != SmallFile::Read || !parsed.isEmpty())
        return keyFileProblem(path, file, parsed);
    trust.keys.push_back(key);
    return {};
}

QString signaturePathFor(const QString &firmwarePath) { return firmwarePath + QStringLiteral(".minisig"); }

const engine::Crypto &sodium()
{
    static const engine::Crypto crypto{
        [] {
            static const bool ready = sodium_init() >= 0;
            return ready;
        },
        [](std::string_view signature, std::string_view message, std::string_view publicKey) {
            return signature.size() == crypto_sign_BYTES && publicKey.size() == crypto_sign_PUBLICKEYBYTES &&
                   crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.data()),
                                               reinterpret_cast<const unsigned char *>(message.data()), message.size(),
                                               reinterpret_cast<const unsigned char *>(publicKey.data())) == 0;
        },
        [](std::string_view message) {
            std::string hash(crypto_generichash_BYTES_MAX, '\0');
            crypto_generichash(reinterpret_cast<unsigned char *>(hash.data()), hash.size(),
                               reinterpret_cast<const unsigned char *>(message.data()), message.size(), nullptr, 0);
            return hash;
        }};
    return crypto;
}

SignatureCheck checkSignature(const QByteArray &file, const QString &signaturePath, const Trust &trust)
{
    const SmallFile read = readSmallFile(signaturePath, engine::kMaxSignatureFileSize);
    engine::SignatureFile signature;
    signature.name = QFileInfo(signaturePath).fileName().toStdString();
    signature.kind = read.kind == SmallFile::Read        ? engine::SignatureFile::Read
                     : read.kind == SmallFile::Missing   ? engine::SignatureFile::Missing
                     : read.kind == SmallFile::TooLarge  ? engine::SignatureFile::TooLarge
                                                         : engine::SignatureFile::Unreadable;
    signature.bytes = read.bytes.toStdString();
    signature.error = read.error.toStdString();
    const engine::SignatureRequirement requirement{trust.requireSignature, trust.requiredBy.toStdString(),
                                                   (kSiteKeys + QLatin1Char('/')).toStdString()};
    return engine::checkSignature(std::string_view(file.constData(), size_t(file.size())), signature, trust.keys,
                                  requirement, sodium());
}

} // namespace vireon::core
