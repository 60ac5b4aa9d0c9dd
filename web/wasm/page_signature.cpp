#include "page_signature.h"

#include <emscripten.h>

#include <vector>

namespace vireon::web {
namespace {

std::vector<engine::TrustedKey> &trustedKeys()
{
    static std::vector<engine::TrustedKey> keys;
    return keys;
}

engine::SignatureRequirement &requirement()
{
    static engine::SignatureRequirement required{
        false, "the page was built to require signed firmware",
        "the page's trusted keys (web/keys/ of its build; then build and serve the page again)", "chosen with it"};
    return required;
}

EM_JS(int, sodium_ready, (), { return Module.sodium ? 1 : 0; });

EM_JS(int, sodium_verify,
      (const char *signature, int signatureSize, const char *message, int messageSize, const char *key, int keySize), {
          return Module.sodium.crypto_sign_verify_detached(HEAPU8.subarray(signature, signature + signatureSize),
                                                           HEAPU8.subarray(message, message + messageSize),
                                                           HEAPU8.subarray(key, key + keySize))
                     ? 1
                     : 0;
      });

EM_JS(void, sodium_blake2b512, (const char *message, int size, char *hash), {
    HEAPU8.set(Module.sodium.crypto_generichash(64, HEAPU8.subarray(message, message + size)), hash);
});

const engine::Crypto &sodium()
{
    static const engine::Crypto crypto{
        [] { return sodium_ready() != 0; },
        [](std::string_view signature, std::string_view message, std::string_view key) {
            return signature.size() == 64 && key.size() == 32 &&
                   sodium_verify(signature.data(), static_cast<int>(signature.size()), message.data(),
                                 static_cast<int>(message.size()), key.data(), static_cast<int>(key.size())) != 0;
        },
        [](std::string_view message) {
            std::string hash(64, '\0');
            sodium_blake2b512(message.data(), static_cast<int>(message.size()), hash.data());
            return hash;
        }};
    return crypto;
}

} // namespace

std::string trustKey(const std::string &name, const std::string &text)
{
    engine::TrustedKey trusted;
    trusted.path = name;
    if (text.size() > engine::kMaxPublicKeyFileSize)
        return name + " is not a public key: it is larger than it can be.";
    const std::string problem = engine::parsePublicKey(text, &trusted.key);
    if (!problem.empty())
        return name + " is not a minisign public key: " + problem + ".";
    trustedKeys().push_back(trusted);
    return {};
}

void requireSignatures(bool required) { requirement().required = required; }

engine::SignatureVerdict judgeSignature(const std::string &fileName, const std::string &file, bool signatureGiven,
                                        const std::string &signature)
{
    engine::SignatureFile found;
    found.name = fileName + ".minisig";
    found.kind = !signatureGiven                                 ? engine::SignatureFile::Missing
                 : signature.size() > engine::kMaxSignatureFileSize ? engine::SignatureFile::TooLarge
                                                                    : engine::SignatureFile::Read;
    if (found.kind == engine::SignatureFile::Read)
        found.bytes = signature;
    return engine::checkSignature(file, found, trustedKeys(), requirement(), sodium());
}

std::string goodSignatureWords(const engine::SignatureVerdict &verdict)
{
    if (verdict.status != engine::SignatureVerdict::Status::Good)
        return {};
    return "signed with the trusted key " + verdict.keyId +
           (verdict.trustedComment.empty() ? "" : ": " + verdict.trustedComment);
}

} // namespace vireon::web
