// minisign's two small text formats, read from bytes, and the order in
// which a signature is checked: the rules every front end applies to a
// signed firmware file. The two cryptographic primitives come from
// libsodium, passed in (the desktop's C library, the page's JavaScript
// build); nothing here computes a hash or a signature itself.
//
//   NAME.pub      "untrusted comment: ..." then base64 of "Ed", the 8-byte
//                 key id and the 32-byte Ed25519 public key
//   FILE.minisig  "untrusted comment: ...", base64 of the algorithm ("ED":
//                 signed over the file's BLAKE2b-512 hash, "Ed": over the
//                 file itself), key id and 64-byte signature, then
//                 "trusted comment: TEXT" and base64 of the global
//                 signature over the 64 signature bytes followed by TEXT
//
// Each parser either fills its record or says, in a few words for the
// user, what is wrong with the text.
#ifndef VIREON_ENGINE_MINISIGN_RULES_H
#define VIREON_ENGINE_MINISIGN_RULES_H

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vireon::engine {

// A .minisig file larger than this is refused unread: the tool writes a few
// hundred bytes, and its trusted comment stays under 8 KiB.
constexpr size_t kMaxSignatureFileSize = 8 * 1024;
// The same for a .pub file, which holds two short lines.
constexpr size_t kMaxPublicKeyFileSize = 4 * 1024;

struct MinisignKey {
    std::string keyId;     // 8 bytes
    std::string publicKey; // 32 bytes
};

struct MinisignSignature {
    bool prehashed = true;       // "ED": over the BLAKE2b-512 hash; "Ed": over the bytes
    std::string keyId;           // 8 bytes
    std::string signature;       // 64 bytes
    std::string trustedComment;  // the text after "trusted comment: ", valid UTF-8
    std::string globalSignature; // 64 bytes
};

// Empty when `text` is a public key; else what is wrong with it, such as
// "line 2 is not the base64 of 42 bytes".
std::string parsePublicKey(std::string_view text, MinisignKey *key);
std::string parseSignature(std::string_view text, MinisignSignature *signature);

// The key id as people see it: the 8 bytes as a little-endian 64-bit number
// in upper-case hex, "8F2E6E2B58C64574", without leading zeros, as the
// minisign tool prints it in a public key's comment.
std::string keyIdText(std::string_view keyId);

// Whether `text` is valid UTF-8 (no overlong forms, no surrogates).
bool validUtf8(std::string_view text);

// libsodium's two primitives.
struct Crypto {
    // The library started.
    std::function<bool()> ready;
    // Ed25519: whether `signature` (64 bytes) of `message` holds for the
    // 32-byte `publicKey`.
    std::function<bool(std::string_view signature, std::string_view message, std::string_view publicKey)> verify;
    // BLAKE2b with a 64-byte output and no key.
    std::function<std::string(std::string_view message)> blake2b512;
};

enum class Verdict {
    Good,           // both signatures hold: the file and the comment are the signer's
    OtherKey,       // the signature's key id is not this key's
    FileChanged,    // the signature over the file does not hold
    CommentChanged, // the file's holds, the one over the trusted comment does not
    ImpostorKey,    // neither holds: made with another key that carries this key's id
    NoLibrary,      // libsodium could not be started
};

// For records the parsers filled. Checks the key id, the signature over
// `file` (or over its BLAKE2b-512 hash) and the global signature over the
// signature and the trusted comment. The global one does not cover the
// file, so it tells a file changed after signing (it still holds) from a
// signature made with another key that only carries this key's id (neither
// holds).
Verdict verifySignature(const MinisignSignature &signature, const MinisignKey &key, std::string_view file,
                        const Crypto &crypto);

} // namespace vireon::engine

#endif
