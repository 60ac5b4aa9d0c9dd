// Fuzzes the two minisign parsers. The input's first byte chooses which:
// even, the rest is a .minisig checked against the public key below; odd,
// the rest is a .pub checked with the genuine signature below. The message
// is fixed. Whatever the parsers accept and the check calls good must hold
// when libsodium is asked directly: the signature over the message (or its
// BLAKE2b-512 hash) and the global signature over the signature and the
// trusted comment, with the key that was parsed; and the comment must be
// UTF-8. Only public material is here: the private key that made the
// signatures was thrown away.
#include "minisign_rules.h"
#include "signature_check.h"

#include <QByteArray>
#include <QString>

#include <sodium.h>

#include <cstdint>
#include <cstdlib>

using namespace vireon::engine;

namespace {

const QByteArray kMessage = QByteArrayLiteral("vireon fuzz message\n");
const QByteArray kPublicKey = QByteArrayLiteral("untrusted comment: minisign public key 185EB45A3D037F44\n"
                                                "RWREfwM9WrReGE+1am/DH3q81RplfXGQy/eCRWfPTKy9s4ANBIt9gLCK\n");
const QByteArray kSignature = QByteArrayLiteral(
    "untrusted comment: signature from minisign secret key\n"
    "RUREfwM9WrReGIpxEELVyB5ne9YvIveuHpdFuBlxsdC+tjWg/XOPFoqY1/ISASUe+sULjxNWBUDLVlCMN/EKk0dbkNH/rNERFAY=\n"
    "trusted comment: release 1.0\n"
    "ZEqQP9QYNrodyQmjGSEzjnxhayDiEKZ+RtJiabFUBC/PE3sGCvDUqO3+RRUobnlF1WDEqMhrjuA85++RaD4HAg==\n");

const unsigned char *bytes(const QByteArray &array) { return reinterpret_cast<const unsigned char *>(array.constData()); }

bool holds(const QByteArray &signature, const QByteArray &message, const QByteArray &key)
{
    return signature.size() == crypto_sign_BYTES && key.size() == crypto_sign_PUBLICKEYBYTES &&
           crypto_sign_verify_detached(bytes(signature), bytes(message), static_cast<unsigned long long>(message.size()),
                                       bytes(key)) == 0;
}

// What libsodium says of a pair the check called good.
void requireGenuine(const MinisignSignature &signature, const MinisignKey &key)
{
    QByteArray signedBytes = kMessage;
    if (signature.prehashed) {
        signedBytes = QByteArray(64, '\0');
        crypto_generichash(reinterpret_cast<unsigned char *>(signedBytes.data()), 64, bytes(kMessage),
                           static_cast<unsigned long long>(kMessage.size()), nullptr, 0);
    }
    const auto q = [](const std::string &text) { return QByteArray::fromStdString(text); };
    if (!holds(q(signature.signature), signedBytes, q(key.publicKey)) ||
        !holds(q(signature.globalSignature), q(signature.signature + signature.trustedComment), q(key.publicKey)) ||
        QString::fromUtf8(q(signature.trustedComment)).toUtf8() != q(signature.trustedComment) ||
        signature.keyId != key.keyId)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = sodium_init() >= 0;
    if (!ready || size == 0 || size > kMaxSignatureFileSize)
        return 0;
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    MinisignKey key;
    MinisignSignature signature;
    const bool keyMode = (data[0] & 1) != 0;
    const std::string keyProblem = parsePublicKey(keyMode ? text : kPublicKey.toStdString(), &key);
    const std::string signatureProblem = parseSignature(keyMode ? kSignature.toStdString() : text, &signature);
    if (!keyProblem.empty() || !signatureProblem.empty())
        return 0;
    if (verifySignature(signature, key, kMessage.toStdString(), vireon::core::sodium()) == Verdict::Good)
        requireGenuine(signature, key);
    return 0;
}
