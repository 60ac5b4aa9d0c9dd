// The chosen file's signature as the page judges it: the engine's minisign
// rules, with libsodium's JavaScript build (Module.sodium, loaded by the
// page) for the two primitives, against the keys built into the page
// (trusted-keys.json, from web/keys/) under the page's build's requirement.
#ifndef VIREON_WEB_PAGE_SIGNATURE_H
#define VIREON_WEB_PAGE_SIGNATURE_H

#include "signature_rules.h"

#include <string>

namespace vireon::web {

// Trusts the key in `text` (a .pub file's text) named `name`; empty, or why
// it cannot be used.
std::string trustKey(const std::string &name, const std::string &text);
void requireSignatures(bool required);

// The verdict on `file`, named `fileName`, with the signature's text
// (`signatureGiven` false: none was chosen with it).
engine::SignatureVerdict judgeSignature(const std::string &fileName, const std::string &file, bool signatureGiven,
                                        const std::string &signature);

// A good signature's words for the line before an update: "signed with the
// trusted key 8F2E6E2B58C64574: surface 2.3.1"; empty for any other.
std::string goodSignatureWords(const engine::SignatureVerdict &verdict);

} // namespace vireon::web

#endif
