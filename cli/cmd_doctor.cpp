// doctor: checks the set-up a user needs to update without root, and
// prints each finding with its fix.
//  - a udev rule for the surface where udev reads rules, tagging it
//    "uaccess", in a file that sorts before 73-seat-late.rules (where the
//    uaccess tag is turned into the seat user's access);
//  - a surface attached;
//  - each attached surface's node readable and writable by this user;
//  - the trusted signing keys found and the signature policy in force.
#include "commands.h"

#include "signatures.h"
#include "surfaces.h"

#include <QJsonArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <hidapi/hidapi.h>

#include <algorithm>

namespace vireon::flash {
namespace {

const QString kSeatLate = QStringLiteral("73-seat-late.rules");
const QString kReload = QStringLiteral("run 'sudo udevadm control --reload', then unplug the surface and plug it in "
                                       "again.");

struct RuleFile {
    QString path;
    bool uaccess = false;
    bool early = false; // sorts before 73-seat-late.rules
};

struct Check {
    QString name;
    bool ok = false;
    QString message;
    QString fix;
    QJsonObject extra; // with --json: the check's own fields
};

// A rule line that matches the surface's USB ids (either quote style,
// either case of the hex digits), not commented out.
bool matchesSurface(const QString &line)
{
    static const QRegularExpression vendor(QStringLiteral("idVendor\\}?==\"1502\""),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression product(QStringLiteral("idProduct\\}?==\"0101\""),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString trimmed = line.trimmed();
    return !trimmed.startsWith(QLatin1Char('#')) && trimmed.contains(vendor) && trimmed.contains(product);
}

// The rule files udev reads that match the surface. A file name in a
// folder of higher priority hides the same name further down.
std::vector<RuleFile> surfaceRules(const QStringList &dirs)
{
    std::vector<RuleFile> found;
    QSet<QString> seen;
    for (const QString &dir : dirs) {
        const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.rules")}, QDir::Files | QDir::System,
                                                            QDir::Name);
        for (const QFileInfo &info : files) {
            if (seen.contains(info.fileName()))
                continue;
            seen.insert(info.fileName());
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
                continue; // a rule masked by /dev/null reads as nothing too
            const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
            for (const QString &line : lines) {
                if (!matchesSurface(line))
                    continue;
                RuleFile rule;
                rule.path = info.filePath();
                rule.uaccess = line.contains(QLatin1String("TAG+=\"uaccess\""));
                rule.early = info.fileName() < kSeatLate;
                found.push_back(rule);
                break;
            }
        }
    }
    return found;
}

Check ruleCheck()
{
    const QStringList dirs = udevRuleDirs();
    const std::vector<RuleFile> rules = surfaceRules(dirs);
    Check check;
    check.name = QStringLiteral("udev-rule");
    for (const RuleFile &rule : rules) {
        if (rule.uaccess && rule.early) {
            check.ok = true;
            check.message = QStringLiteral("udev rule %1 gives the seat's user access (uaccess, before %2).")
                                .arg(rule.path, kSeatLate);
            return check;
        }
    }
    if (rules.empty()) {
        check.message = QStringLiteral("No udev rule for the surface (USB 1502:0101) in %1.").arg(dirs.join(", "));
        check.fix = QStringLiteral("install 70-vireon-surface.rules into /usr/lib/udev/rules.d/ (the package does); ") +
                    kReload;
    } else if (!rules.front().uaccess) {
        check.message = QStringLiteral("udev rule %1 matches the surface but does not tag it \"uaccess\".")
                            .arg(rules.front().path);
        check.fix = QStringLiteral("add TAG+=\"uaccess\" to its line; ") + kReload;
    } else {
        check.message = QStringLiteral("udev rule %1 sorts after %2, where the uaccess tag is acted on: it comes too "
                                       "late.")
                            .arg(rules.front().path, kSeatLate);
        check.fix = QStringLiteral("rename it to a number below 73, such as 70-vireon-surface.rules; ") + kReload;
    }
    return check;
}

void report(Reporter &reporter, const Check &check, int *failures)
{
    if (!check.ok)
        ++*failures;
    QString human = (check.ok ? QStringLiteral("ok    ") : QStringLiteral("FAIL  ")) + check.message;
    if (!check.fix.isEmpty())
        human += QStringLiteral("\n      fix: ") + check.fix;
    QJsonObject json = check.extra;
    json.insert(QStringLiteral("check"), check.name);
    json.insert(QStringLiteral("ok"), check.ok);
    json.insert(QStringLiteral("message"), check.message);
    json.insert(QStringLiteral("fix"), check.fix);
    reporter.entry(step::Doctor, human, json, check.ok);
}

// The keys a signed file is checked against; a key file that cannot be
// used is a problem to fix, no key at all only when signatures are required.
Check keysCheck(const Options &options, const RunTrust &run)
{
    Check check;
    check.name = QStringLiteral("trusted-keys");
    QStringList found;
    QJsonArray keys;
    for (const core::TrustedKey &key : run.trust.keys) {
        const QString id = QString::fromStdString(engine::keyIdText(key.key.keyId));
        const QString path = QString::fromStdString(key.path);
        found << QStringLiteral("key id %1 (%2)").arg(id, path);
        keys.append(QJsonObject{{QStringLiteral("key_id"), id}, {QStringLiteral("path"), path}});
    }
    check.extra.insert(QStringLiteral("keys"), keys);
    QStringList problems = run.trust.keyProblems;
    if (!run.error.isEmpty())
        problems << run.error;
    const QString folders = options.trustLocations.keyFolders.join(QStringLiteral(" and "));
    check.message = found.isEmpty() ? QStringLiteral("No trusted signing key in %1.").arg(folders)
                                    : QStringLiteral("%1 trusted signing key(s): %2.").arg(found.size()).arg(
                                          found.join(QStringLiteral(", ")));
    check.ok = problems.isEmpty() && !(found.isEmpty() && run.trust.requireSignature);
    if (!problems.isEmpty()) {
        check.message += QLatin1Char(' ') + problems.join(QLatin1Char(' '));
        const bool folder = std::any_of(problems.begin(), problems.end(), [](const QString &problem) {
            return problem.startsWith(QLatin1String("The key folder "));
        });
        check.fix = folder ? QStringLiteral("make each key folder named above a folder everyone may read (mode 755), "
                                            "and each file in it the maker's public key as minisign wrote it.")
                           : QStringLiteral("replace each file named above with the maker's public key as minisign "
                                            "wrote it, or remove it.");
    } else if (!check.ok) {
        const QStringList &folders = options.trustLocations.keyFolders; // the site's is the last
        check.fix = QStringLiteral("signatures are required, so every file is refused until the maker's public key "
                                   "(NAME.pub) is installed in %1.")
                        .arg(folders.isEmpty() ? QString() : folders.last());
    }
    return check;
}

Check policyCheck(const Options &options, const core::Trust &trust)
{
    Check check;
    check.name = QStringLiteral("signature-policy");
    check.extra.insert(QStringLiteral("require_signature"), trust.requireSignature);
    check.message = policyText(trust, options.trustLocations.policyFile);
    const QStringList &problems = trust.policyProblems;
    check.ok = problems.isEmpty();
    if (!check.ok) {
        check.message += QLatin1Char(' ') + problems.join(QLatin1Char(' '));
        check.fix = QStringLiteral("make %1 readable, with the one line \"require-signature = yes\" or \"= no\".")
                        .arg(options.trustLocations.policyFile);
    }
    return check;
}

} // namespace

QStringList udevRuleDirs()
{
    const QString fromEnvironment = qEnvironmentVariable("VIREON_FLASH_UDEV_RULES_DIRS");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/run/udev/rules.d"),
            QStringLiteral("/usr/lib/udev/rules.d"), QStringLiteral("/lib/udev/rules.d")};
}

int doctorCommand(const Options &options, Reporter &reporter)
{
    int failures = 0;
    int checks = 1;
    report(reporter, ruleCheck(), &failures);

    const std::vector<SurfaceInfo> surfaces = attachedSurfaces(Selector{options.device, options.serial});
    Check present;
    present.name = QStringLiteral("surface-present");
    present.ok = !surfaces.empty();
    present.message = present.ok ? QStringLiteral("%1 surface(s) attached.").arg(surfaces.size())
                                 : QStringLiteral("No Vireon Surface is attached.");
    if (!present.ok)
        present.fix = QStringLiteral("plug the surface in; 'lsusb -d 1502:0101' shows whether the system sees it.");
    report(reporter, present, &failures);
    ++checks;

    for (const SurfaceInfo &surface : surfaces) {
        const core::SurfaceOpen open = openSurface(surface);
        if (open.device != nullptr)
            hid_close(open.device);
        Check access;
        access.name = QStringLiteral("surface-access");
        access.ok = open.device != nullptr;
        access.message = access.ok ? QStringLiteral("%1 is readable and writable by this user.").arg(describe(surface))
                                   : QStringLiteral("%1 cannot be opened by this user: %2").arg(describe(surface),
                                                                                               open.error);
        if (!access.ok)
            access.fix = open.permissionDenied ? permissionFix()
                                               : QStringLiteral("unplug the surface and plug it in again.");
        report(reporter, access, &failures);
        ++checks;
    }

    const RunTrust trust = trustForRun(options);
    report(reporter, keysCheck(options, trust), &failures);
    report(reporter, policyCheck(options, trust.trust), &failures);
    checks += 2;

    Outcome outcome;
    if (failures == 0) {
        outcome.message = QStringLiteral("All %1 checks hold.").arg(checks);
    } else {
        outcome = {Exit::SetupProblem,
                   QStringLiteral("%1 of %2 checks %3.")
                       .arg(failures)
                       .arg(checks)
                       .arg(failures == 1 ? QStringLiteral("does not hold") : QStringLiteral("do not hold")),
                   QStringLiteral("see the fix under each FAIL above.")};
    }
    reporter.finish(step::Doctor, outcome);
    return static_cast<int>(outcome.code);
}

} // namespace vireon::flash
