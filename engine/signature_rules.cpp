#include "signature_rules.h"

namespace vireon::engine {
namespace {

using Problem = SignatureVerdict::Problem;

SignatureVerdict bad(SignatureVerdict verdict, Problem problem, std::string reason, std::string fix)
{
    verdict.status = SignatureVerdict::Status::Bad;
    verdict.problem = problem;
    verdict.reason = std::move(reason);
    verdict.fix = std::move(fix);
    return verdict;
}

} // namespace

const char *SignatureVerdict::statusName() const
{
    switch (status) {
    case Status::Good: return "good";
    case Status::Bad: return "bad";
    case Status::None: break;
    }
    return "none";
}

std::string SignatureVerdict::summary() const
{
    if (status == Status::Good)
        return "Signature good: signed with the trusted key id " + keyId + " (" + keyFile +
               "); trusted comment: " + trustedComment;
    if (!refused())
        return "The file carries no signature (no " + signatureFile + " " + signatureWhere + "); it is used unsigned.";
    return reason;
}

SignatureVerdict checkSignature(std::string_view file, const SignatureFile &signature,
                                const std::vector<TrustedKey> &keys, const SignatureRequirement &requirement,
                                const Crypto &crypto)
{
    SignatureVerdict verdict;
    const std::string &name = signature.name;
    verdict.signatureFile = name;
    verdict.signatureWhere = requirement.signatureWhere;
    const std::string askAgain = "Use the signature exactly as the maker released it, or ask them for it again.";
    switch (signature.kind) {
    case SignatureFile::Missing:
        verdict.required = requirement.required;
        if (verdict.required) {
            verdict.problem = Problem::Unsigned;
            verdict.reason = "The file carries no signature (no " + name + " " + requirement.signatureWhere +
                             "), and this computer requires signed firmware (" + requirement.requiredBy + ").";
            verdict.fix = "Ask the surface's maker for the signed release: the firmware file with its .minisig file "
                          "beside it.";
        }
        return verdict;
    case SignatureFile::Unreadable:
        return bad(verdict, Problem::Unreadable, "The file's signature " + name + " cannot be read (" + signature.error + ").",
                   "Check that " + name + " is a file you may read.");
    case SignatureFile::TooLarge:
        return bad(verdict, Problem::Malformed,
                   name + " is not a signature: it is larger than " + std::to_string(kMaxSignatureFileSize / 1024) +
                       " KiB, and a minisign signature is a few hundred bytes.",
                   askAgain);
    case SignatureFile::Read:
        break;
    }
    MinisignSignature parsed;
    if (const std::string problem = parseSignature(signature.bytes, &parsed); !problem.empty())
        return bad(verdict, Problem::Malformed, name + " is not a minisign signature this program can read: " + problem + ".",
                   askAgain);
    verdict.keyId = keyIdText(parsed.keyId);
    // Key ids are random: two trusted keys may share one, so each with the
    // signature's id is tried before the first failure is reported.
    Verdict failure = Verdict::OtherKey;
    for (const TrustedKey &trusted : keys) {
        const Verdict found = verifySignature(parsed, trusted.key, file, crypto);
        if (found == Verdict::Good) {
            verdict.status = SignatureVerdict::Status::Good;
            verdict.keyFile = trusted.path;
            verdict.trustedComment = parsed.trustedComment;
            return verdict;
        }
        if (failure == Verdict::OtherKey)
            failure = found;
    }
    switch (failure) {
    case Verdict::FileChanged:
        return bad(verdict, Problem::FileChanged,
                   "The file was changed after it was signed: it does not match its signature in " + name + ".",
                   "Use the firmware file exactly as its maker released it.");
    case Verdict::CommentChanged:
        return bad(verdict, Problem::CommentChanged, "The trusted comment in " + name + " was changed after it was signed.",
                   askAgain);
    case Verdict::ImpostorKey:
        return bad(verdict, Problem::ImpostorKey,
                   "The signature in " + name + " names the trusted key id " + verdict.keyId +
                       " but was not made with that key: it was signed with another key that carries the same id.",
                   "Do not use this file; ask the surface's maker for the release and its signature again.");
    case Verdict::NoLibrary:
        return bad(verdict, Problem::NoLibrary,
                   "The signature cannot be checked: the cryptography library libsodium did not start.",
                   "Reinstall the package libsodium23.");
    case Verdict::Good:
    case Verdict::OtherKey:
        break;
    }
    return bad(verdict, Problem::UntrustedKey,
               "It was signed with a key this computer does not trust: key id " + verdict.keyId + ".",
               "If you trust the file's maker, install their public key (a .pub file whose key id is " + verdict.keyId +
                   ") in " + requirement.keysFolder + ".");
}

} // namespace vireon::engine
