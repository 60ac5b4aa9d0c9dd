// minisign's two small text formats, read from bytes, and the check of a
// signature with libsodium. Makers sign with the minisign tool; this side
// only reads and verifies.
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
// user, what is wrong with the text; nothing here reads a file.
#ifndef VIREON_CORE_MINISIGN_H
#define VIREON_CORE_MINISIGN_H

#include <QByteArray>
#include <QString>

namespace vireon::core {

// A .minisig file larger than this is refused unread: the tool writes a few
// hundred bytes, and its trusted comment stays under 8 KiB.
constexpr qint64 kMaxSignatureFileSize = 8 * 1024;
// The same for a .pub file, which holds two short lines.
constexpr qint64 kMaxPublicKeyFileSize = 4 * 1024;

struct MinisignKey {
    QByteArray keyId;     // 8 bytes
    QByteArray publicKey; // 32 bytes
};

struct MinisignSignature {
    bool prehashed = true;     // "ED": over the BLAKE2b-512 hash; "Ed": over the bytes
    QByteArray keyId;          // 8 bytes
    QByteArray signature;      // 64 bytes
    QByteArray trustedComment; // the text after "trusted comment: ", valid UTF-8
    QByteArray globalSignature; // 64 bytes
};

// Empty when `text` is a public key; else what is wrong with it, such as
// "line 2 is not base64".
QString parsePublicKey(const QByteArray &text, MinisignKey *key);
QString parseSignature(const QByteArray &text, MinisignSignature *signature);

// The key id as people see it: the 8 bytes as a little-endian 64-bit number
// in upper-case hex, "8F2E6E2B58C64574", without leading zeros, as the
// minisign tool prints it in a public key's comment.
QString keyIdText(const QByteArray &keyId);

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
Verdict verifySignature(const MinisignSignature &signature, const MinisignKey &key, const QByteArray &file);

} // namespace vireon::core

#endif
