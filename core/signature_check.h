// Whether the chosen firmware file is the one its maker released: the
// minisign signature beside it (FILE.minisig), checked against the keys
// this computer trusts, under the site's policy. Shared by the window and
// the command-line updater; the check runs on the bytes that are then split
// and programmed.
//
//   Trust trust = loadTrust(TrustLocations::system());
//   SignatureCheck check = checkSignature(bytes, signaturePathFor(path), trust);
//   if (check.refused()) ... check.reason, check.fix
#ifndef VIREON_CORE_SIGNATURE_CHECK_H
#define VIREON_CORE_SIGNATURE_CHECK_H

#include "minisign.h"

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

struct TrustedKey {
    MinisignKey key;
    QString path; // the .pub file it was read from
};

struct Trust {
    std::vector<TrustedKey> keys;
    // Key files that were found but cannot be used, and what is wrong with
    // the policy file: one sentence each.
    QStringList keyProblems;
    QStringList policyProblems;
    bool requireSignature = false;
    QString requiredBy; // why: the policy file's line, or the command's option
};

// Reads every key in the folders and the policy. A policy file that exists
// but cannot be read, or names a value other than yes or no, requires
// signatures: a site that meant to require them is never left open.
Trust loadTrust(const TrustLocations &locations);

// Adds the key in `path` (the command line's --trusted-key). Empty when it
// was added; else why it cannot be used.
QString addTrustedKey(Trust &trust, const QString &path);

// Where the signature of the firmware file at `firmwarePath` is: beside it,
// its name followed by ".minisig".
QString signaturePathFor(const QString &firmwarePath);

struct SignatureCheck {
    enum class Status { None, Good, Bad };
    // Why it is refused, for a front end that adds advice of its own.
    enum class Problem { None, Unsigned, Unreadable, Malformed, FileChanged, CommentChanged, UntrustedKey, NoLibrary };
    Status status = Status::None;
    Problem problem = Problem::None;
    QString signatureFile;  // the .minisig's name
    QString keyId;          // the signature's key id, once it could be read
    QString keyFile;        // Good: the trusted key's file
    QString trustedComment; // Good only: the signer's comment
    bool required = false;  // None: the policy requires a signature
    QString reason;         // why it is refused: the first sentence for the user
    QString fix;            // what to do about it

    bool refused() const { return status == Status::Bad || (status == Status::None && required); }
    // "good", "bad" or "none".
    const char *statusName() const;
    // One sentence for the log: whose key and the trusted comment, that the
    // file carries no signature, or the reason it is refused.
    QString summary() const;
};

// `file` is the firmware file's bytes as they were read for the split;
// `signaturePath` is read here, at most kMaxSignatureFileSize bytes of it.
SignatureCheck checkSignature(const QByteArray &file, const QString &signaturePath, const Trust &trust);

} // namespace vireon::core

#endif
