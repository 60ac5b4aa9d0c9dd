// Whether a firmware file is the one its maker released: its minisign
// signature checked against the keys the front end trusts, under the
// requirement in force, and what the user is told either way. The front end
// reads the signature file and finds the keys (on the desktop from the
// system's folders, on the page from its built-in list); the verdict and
// its words are the same everywhere.
#ifndef VIREON_ENGINE_SIGNATURE_RULES_H
#define VIREON_ENGINE_SIGNATURE_RULES_H

#include "minisign_rules.h"

#include <string>
#include <string_view>
#include <vector>

namespace vireon::engine {

struct TrustedKey {
    MinisignKey key;
    std::string path; // where it came from (its .pub file), as the user knows it
};

// The signature file beside the firmware file, as the front end found it.
struct SignatureFile {
    enum Kind { Read, Missing, Unreadable, TooLarge };
    Kind kind = Missing;
    std::string name;  // FILE.minisig
    std::string bytes; // Read: its text
    std::string error; // Unreadable: why ("Permission denied", "it is a folder, not a regular file")
};

struct SignatureRequirement {
    bool required = false;  // an unsigned file is refused
    std::string requiredBy; // why: the policy's line, an option, the page's build
    // Where a key the user trusts is installed, for the fix of a file signed
    // with another: "/etc/vireon-control/keys/".
    std::string keysFolder;
    // Where the signature is looked for, after the file: "beside it" (the
    // desktop's folder), "chosen with it" (the page's file dialog).
    std::string signatureWhere = "beside it";
};

struct SignatureVerdict {
    enum class Status { None, Good, Bad };
    // Why it is refused, for a front end that adds advice of its own.
    enum class Problem { None, Unsigned, Unreadable, Malformed, FileChanged, CommentChanged, ImpostorKey, UntrustedKey,
                         NoLibrary };
    Status status = Status::None;
    Problem problem = Problem::None;
    std::string signatureFile;  // the .minisig's name
    std::string signatureWhere = "beside it"; // where it was looked for (the requirement's)
    std::string keyId;          // the signature's key id, once it could be read
    std::string keyFile;        // Good: the trusted key's file
    std::string trustedComment; // Good only: the signer's comment
    bool required = false;      // None: the requirement is in force
    std::string reason;         // why it is refused: the first sentence for the user
    std::string fix;            // what to do about it

    bool refused() const { return status == Status::Bad || (status == Status::None && required); }
    // "good", "bad" or "none".
    const char *statusName() const;
    // One sentence for the log: whose key and the trusted comment, that the
    // file carries no signature, or the reason it is refused.
    std::string summary() const;
};

// `file`: the firmware file's bytes as they were read (and then split and
// programmed).
SignatureVerdict checkSignature(std::string_view file, const SignatureFile &signature,
                                const std::vector<TrustedKey> &keys, const SignatureRequirement &requirement,
                                const Crypto &crypto);

} // namespace vireon::engine

#endif
