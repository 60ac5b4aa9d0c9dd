// Whether the chosen firmware file is the one its maker released: the
// minisign signature beside it (FILE.minisig), checked against the keys
// this computer trusts, under the site's policy. Shared by the window and
// the command-line updater; the check runs on the bytes that are then split
// and programmed. Here the files are read (keys, policy, signature) and
// the policy is parsed; the engine's signature rules judge and word it.
//
//   Trust trust = loadTrust(TrustLocations::system());
//   SignatureCheck check = checkSignature(bytes, signaturePathFor(path), trust);
//   if (check.refused()) ... check.reason, check.fix
#ifndef VIREON_CORE_SIGNATURE_CHECK_H
#define VIREON_CORE_SIGNATURE_CHECK_H

#include "signature_rules.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace vireon::core {

// Where the trusted keys and the policy are read from. The program uses
// system(); tests give folders of their own.
struct TrustLocations {
    QStringList keyFolders; // every *.pub in each
    QString policyFile;     // "require-signature = yes" turns the requirement on

    // The package's keys, the site's keys and the site's policy file (the
    // site's under $VIREON_CONFIG_DIR when it is set, else /etc/vireon-control).
    static TrustLocations system();
};

using engine::TrustedKey;

struct Trust {
    std::vector<TrustedKey> keys;
    // Key files that were found but cannot be used, and what is wrong with
    // the policy file: one sentence each.
    QStringList keyProblems;
    QStringList policyProblems;
    bool requireSignature = false;
    QString requiredBy; // why: the policy file's line, or the command's option
};

// Reads every key in the folders and the policy. The policy fails closed:
// a policy file that exists (a link to a missing file included) but cannot
// be read, is not UTF-8 text, holds a line other than "require-signature =
// yes" or "= no" (comments and blank lines aside), or says both, requires
// signatures, and policyProblems says why: a site that meant to require
// them is never left open. A key folder that exists but cannot be listed
// is named in keyProblems.
Trust loadTrust(const TrustLocations &locations);

// Adds the key in `path` (the command line's --trusted-key). Empty when it
// was added; else why it cannot be used.
QString addTrustedKey(Trust &trust, const QString &path);

// Where the signature of the firmware file at `firmwarePath` is: beside it,
// its name followed by ".minisig".
QString signaturePathFor(const QString &firmwarePath);

// The verdict and its words are the engine's, the same on every front end.
using SignatureCheck = engine::SignatureVerdict;

// libsodium's primitives for the engine's signature rules.
const engine::Crypto &sodium();

// `file` is the firmware file's bytes as they were read for the split;
// `signaturePath` is read here, at most kMaxSignatureFileSize bytes of it.
SignatureCheck checkSignature(const QByteArray &file, const QString &signaturePath, const Trust &trust);

} // namespace vireon::core

#endif
