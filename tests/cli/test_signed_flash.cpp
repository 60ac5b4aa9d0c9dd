// Signed firmware through vireon-flash-demo as a user runs it, with keys and
// signatures the real minisign tool makes at test time; and doctor's list
// of the trusted keys and the policy, in process with folders of the
// test's own. Exits 77 without minisign.
#include "exit_codes.h"
#include "cyacd_gen.h"
#include "flash.h"
#include "hidsim.h"
#include "minisign_kit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace vireon;
using Exit = vireon::flash::Exit;
using Form = tools::MinisignKit::Form;

namespace {

struct DemoRun {
    int code = -1;
    QJsonObject signature; // the check step's "signature" object
    bool reachedSurface = false;
    QString err;
};

class SignedFlash : public testing::Test
{
public:
    void SetUp() override
    {
        if (!tools::MinisignKit::available()) {
            std::fprintf(stderr, "minisign is not installed: skipped\n");
            std::exit(77);
        }
        ASSERT_FALSE(kit.makeKey(QStringLiteral("maker")).isEmpty()) << qPrintable(kit.error());
        ASSERT_FALSE(kit.makeKey(QStringLiteral("stranger")).isEmpty());
        ASSERT_TRUE(QFile::copy(QStringLiteral(VIREON_EXAMPLE_FILE), file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    // The key id the tool printed into the public key's comment.
    QString keyId(const QString &name)
    {
        QFile pub(path(name + QStringLiteral(".pub")));
        return pub.open(QIODevice::ReadOnly) ? QString::fromLatin1(pub.readLine()).trimmed().section(' ', -1) : QString();
    }
    void edit(const QString &name, const std::function<void(QByteArray &)> &change)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        change(bytes);
        ASSERT_TRUE(f.resize(0) && f.seek(0) && f.write(bytes) == bytes.size());
    }
    DemoRun demo(const QStringList &options)
    {
        QProcess process;
        process.start(QStringLiteral(VIREON_FLASH_DEMO),
                      QStringList{"--off-bus-ms", "100", "--report-ms", "0", "--json"} + options +
                          QStringList{"update", file});
        EXPECT_TRUE(process.waitForFinished(120000));
        DemoRun run;
        run.code = process.exitCode();
        run.err = QString::fromLocal8Bit(process.readAllStandardError());
        for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.contains(QLatin1String("signature")))
                run.signature = object.value(QLatin1String("signature")).toObject();
            run.reachedSurface |= object.value(QLatin1String("stage")).toString().startsWith(QLatin1String("stage"));
        }
        return run;
    }

    // vireon-flash in process, its keys and policy in the test's folder.
    struct InProcess {
        int code = -1;
        QString out, err;
    };
    InProcess flashHere(const QStringList &arguments)
    {
        flash::FrontEnd frontEnd;
        frontEnd.trustLocations = {{path("keys")}, path("policy.conf")};
        char *outText = nullptr, *errText = nullptr;
        size_t outSize = 0, errSize = 0;
        FILE *out = open_memstream(&outText, &outSize);
        FILE *err = open_memstream(&errText, &errSize);
        InProcess ran;
        ran.code = flash::run(QStringList{"vireon-flash"} + arguments, out, err, frontEnd);
        std::fclose(out);
        std::fclose(err);
        ran.out = QString::fromLocal8Bit(outText);
        ran.err = QString::fromLocal8Bit(errText);
        std::free(outText);
        std::free(errText);
        return ran;
    }

    QTemporaryDir dir;
    tools::MinisignKit kit{dir.path()};
    const QString file = dir.filePath(QStringLiteral("surface.cyacd"));
};

TEST_F(SignedFlash, EachSignatureCaseEndsWithItsStatusAndOnlyAGoodOrAbsentOneReachesTheSurface)
{
    const QStringList trustMaker{"--trusted-key", path("maker.pub")};
    const struct Case {
        const char *name;
        std::function<void(SignedFlash &)> prepare;
        QStringList options;
        Exit code;
        const char *status;
        const char *says; // on standard error
    } cases[] = {
        {"prehashed", [](SignedFlash &t) { ASSERT_TRUE(t.kit.sign("maker", t.file, Form::Prehashed, "release 1.0")); },
         trustMaker, Exit::Success, "good", ""},
        {"legacy", [](SignedFlash &t) { ASSERT_TRUE(t.kit.sign("maker", t.file, Form::Legacy, "release 1.0")); },
         trustMaker, Exit::Success, "good", ""},
        {"a changed byte",
         [](SignedFlash &t) {
             ASSERT_TRUE(t.kit.sign("maker", t.file));
             t.edit("surface.cyacd", [](QByteArray &b) { b[b.size() / 2] = b[b.size() / 2] == '0' ? '1' : '0'; });
         },
         trustMaker, Exit::FileRefused, "bad", "The file was changed after it was signed"},
        {"another key", [](SignedFlash &t) { ASSERT_TRUE(t.kit.sign("stranger", t.file)); }, trustMaker,
         Exit::FileRefused, "bad", "It was signed with a key this computer does not trust: key id "},
        {"a changed comment",
         [](SignedFlash &t) {
             ASSERT_TRUE(t.kit.sign("maker", t.file, Form::Prehashed, "release 1.0"));
             t.edit("surface.cyacd.minisig", [](QByteArray &b) { b.replace("release 1.0", "release 9.9"); });
         },
         trustMaker, Exit::FileRefused, "bad", "The trusted comment in surface.cyacd.minisig was changed"},
        {"unsigned", [](SignedFlash &) {}, trustMaker, Exit::Success, "none", ""},
        {"unsigned, signatures required", [](SignedFlash &) {}, trustMaker + QStringList{"--require-signature"},
         Exit::FileRefused, "none", "this computer requires signed firmware (--require-signature)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(file + QStringLiteral(".minisig"));
        QFile::remove(file);
        ASSERT_TRUE(QFile::copy(QStringLiteral(VIREON_EXAMPLE_FILE), file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        c.prepare(*this);
        const DemoRun run = demo(c.options);
        EXPECT_EQ(run.code, static_cast<int>(c.code)) << qPrintable(run.err);
        EXPECT_EQ(run.signature.value(QLatin1String("status")).toString(), QLatin1String(c.status));
        EXPECT_EQ(run.reachedSurface, c.code == Exit::Success);
        EXPECT_TRUE(run.err.contains(QLatin1String(c.says))) << qPrintable(run.err);
        if (QLatin1String(c.status) == QLatin1String("good")) {
            EXPECT_EQ(run.signature.value(QLatin1String("key_id")).toString(), keyId("maker"));
            EXPECT_EQ(run.signature.value(QLatin1String("trusted_comment")).toString(), QLatin1String("release 1.0"));
        }
        if (QByteArray(c.name) == "another key") {
            EXPECT_TRUE(run.err.contains(keyId("stranger"))) << qPrintable(run.err);
        }
    }
}

TEST_F(SignedFlash, DoctorListsTheTrustedKeysAndThePolicyInForce)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("keys"));
    ASSERT_TRUE(QFile::copy(path("maker.pub"), path("keys/maker.pub")));
    QFile broken(path("keys/broken.pub"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly) && broken.write("untrusted comment: x\nnot a key\n") > 0);
    broken.close();
    QFile policy(path("policy.conf"));
    ASSERT_TRUE(policy.open(QIODevice::WriteOnly) && policy.write("require-signature = yes\n") > 0);
    policy.close();

    const InProcess doctor = flashHere({"--json", "doctor"});
    std::map<QString, QJsonObject> checks;
    for (const QString &line : doctor.out.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        checks[object.value(QLatin1String("check")).toString()] = object;
    }
    EXPECT_EQ(doctor.code, static_cast<int>(Exit::SetupProblem));

    const QJsonObject keys = checks["trusted-keys"];
    EXPECT_FALSE(keys.value(QLatin1String("ok")).toBool()); // the broken key file is named
    EXPECT_TRUE(keys.value(QLatin1String("message")).toString().contains(path("keys/broken.pub") + " is not a minisign "
                                                                                                   "public key"));
    const QJsonArray listed = keys.value(QLatin1String("keys")).toArray();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].toObject().value(QLatin1String("key_id")).toString(), keyId("maker"));
    EXPECT_EQ(listed[0].toObject().value(QLatin1String("path")).toString(), path("keys/maker.pub"));

    const QJsonObject policyCheck = checks["signature-policy"];
    EXPECT_TRUE(policyCheck.value(QLatin1String("ok")).toBool());
    EXPECT_TRUE(policyCheck.value(QLatin1String("require_signature")).toBool());
    EXPECT_EQ(policyCheck.value(QLatin1String("message")).toString(),
              "Signatures are required: a file without one is refused (require-signature = yes in " +
                  path("policy.conf") + ").");
}

// A policy file that meant "require" but misses the exact words refuses an
// unsigned file, and says why on standard error even with -q; nothing
// reaches the surface.
TEST_F(SignedFlash, ANearMissPolicyRefusesAnUnsignedFileAndSaysWhyEvenWhenQuiet)
{
    sim::Bus::instance().reset();
    sim::SurfaceOptions options;
    options.targets = tools::targetsFor(tools::twoChipImages(4, 64));
    const auto surface = sim::Bus::instance().attach(options);
    ASSERT_TRUE(tools::writeFile(file.toStdString(), tools::twoChipImages(4, 64)));
    QFile policy(path("policy.conf"));
    ASSERT_TRUE(policy.open(QIODevice::WriteOnly) && policy.write("require-signature: yes\n") > 0);
    policy.close();

    const InProcess refused = flashHere({"-q", "update", file});
    const QString said = refused.err;
    EXPECT_EQ(refused.code, static_cast<int>(Exit::FileRefused));
    const QString unclear = "line 1 of " + path("policy.conf") + " is not a setting this program knows";
    EXPECT_TRUE(said.startsWith("vireon-flash: warning: trusted keys and policy: The policy file's " + unclear))
        << qPrintable(said);
    EXPECT_TRUE(said.contains("this computer requires signed firmware (" + unclear + ")")) << qPrintable(said);
    EXPECT_EQ(surface->exchanges(), 0);
    sim::Bus::instance().reset();
}

// doctor names a key folder it cannot list, rather than "no key".
TEST_F(SignedFlash, DoctorNamesAKeyFolderItCannotRead)
{
    QFile notFolder(path("keys"));
    ASSERT_TRUE(notFolder.open(QIODevice::WriteOnly));
    notFolder.close();
    const QString printed = flashHere({"doctor"}).out;
    EXPECT_TRUE(printed.contains("FAIL  No trusted signing key in " + path("keys") + ". The key folder " + path("keys") +
                                 " cannot be read (Not a directory): no key in it is trusted.\n      fix: make each key "
                                 "folder named above a folder everyone may read (mode 755)"))
        << qPrintable(printed);
}

} // namespace
