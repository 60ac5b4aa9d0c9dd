#include "signatures.h"

namespace vireon::flash {

RunTrust trustForRun(const Options &options)
{
    RunTrust run{core::loadTrust(options.trustLocations), {}};
    for (const QString &path : options.trustedKeys) {
        const QString problem = core::addTrustedKey(run.trust, path);
        if (!problem.isEmpty() && run.error.isEmpty())
            run.error = QStringLiteral("--trusted-key: %1").arg(problem);
    }
    if (options.requireSignature) {
        run.trust.requireSignature = true;
        run.trust.requiredBy = QStringLiteral("--require-signature");
    }
    return run;
}

QJsonObject signatureObject(const core::SignatureCheck &check)
{
    return {{QStringLiteral("status"), QLatin1String(check.statusName())},
            {QStringLiteral("key_id"), QString::fromStdString(check.keyId)},
            {QStringLiteral("trusted_comment"), QString::fromStdString(check.trustedComment)}};
}

QString policyText(const core::Trust &trust, const QString &policyFile)
{
    if (trust.requireSignature)
        return QStringLiteral("Signatures are required: a file without one is refused (%1).").arg(trust.requiredBy);
    return QStringLiteral("Signatures are checked when a file carries one; a file without one is used unsigned "
                          "(\"require-signature = yes\" in %1 or --require-signature refuses it).")
        .arg(policyFile);
}

} // namespace vireon::flash
