// The firmware file's signature on the command line: the keys trusted for
// this run (the system's and --trusted-key) under the policy in force (the
// site's and --require-signature), and how a check is told with --json: a
// "signature" object beside the check's own words.
#ifndef VIREON_CLI_SIGNATURES_H
#define VIREON_CLI_SIGNATURES_H

#include "options.h"
#include "signature_check.h"

#include <QJsonObject>

namespace vireon::flash {

struct RunTrust {
    core::Trust trust;
    QString error; // a --trusted-key file that cannot be used; empty: none
};

RunTrust trustForRun(const Options &options);

// {"status": "good" | "bad" | "none", "key_id", "trusted_comment"}; the two
// texts are empty where there is nothing to say.
QJsonObject signatureObject(const core::SignatureCheck &check);

// The policy in force, one sentence: whether an unsigned file is refused
// and why; `policyFile` is where a site turns the requirement on.
QString policyText(const core::Trust &trust, const QString &policyFile);

} // namespace vireon::flash

#endif
