// Signed firmware through the window's file choice and again at UPDATE, with
// keys and signatures the real minisign tool makes at test time: the signer
// in the log, the refusal box, and nothing reaching the surface after a
// refusal. Exits 77 without minisign.
#include "app_fixture.h"
#include "minisign_kit.h"
#include "stage_line.h"

#include <cstdio>
#include <cstdlib>

namespace apptest {
namespace {

using Form = vireon::tools::MinisignKit::Form;

class SignedChoiceTest : public WindowTest {
public:
    void SetUp() override
    {
        if (!vireon::tools::MinisignKit::available()) {
            std::fprintf(stderr, "minisign is not installed: skipped\n");
            std::exit(77);
        }
        WindowTest::SetUp();
        ASSERT_TRUE(QDir(keys.path()).mkdir("trusted"));
        ASSERT_FALSE(kit.makeKey("maker").isEmpty()) << qPrintable(kit.error());
        ASSERT_FALSE(kit.makeKey("stranger").isEmpty());
        ASSERT_TRUE(QFile::copy(keys.filePath("maker.pub"), keys.filePath("trusted/maker.pub")));
        probe().trustLocations() = {{keys.filePath("trusted")}, keys.filePath("policy.conf")};
    }
    QString keyId(const QString &name)
    {
        QFile pub(keys.filePath(name + ".pub"));
        return pub.open(QIODevice::ReadOnly) ? QString::fromLatin1(pub.readLine()).trimmed().section(' ', -1) : QString();
    }
    void requireSignatures()
    {
        QFile policy(keys.filePath("policy.conf"));
        ASSERT_TRUE(policy.open(QIODevice::WriteOnly) && policy.write("require-signature = yes\n") > 0);
    }
    void sign(const QString &key, Form form = Form::Prehashed)
    {
        ASSERT_TRUE(kit.sign(key, path("surface.cyacd"), form, "release 1.0")) << qPrintable(kit.error());
    }
    static void edit(const QString &name, const std::function<void(QByteArray &)> &change)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        change(bytes);
        ASSERT_TRUE(f.resize(0) && f.seek(0) && f.write(bytes) == bytes.size());
    }
    static QString refusal(const QString &reason)
    {
        return "surface.cyacd cannot be used to update the surface.\n" + reason;
    }
    // The log's window entries about the signature.
    static QStringList signatureEntries() { return logEntries().filter(" Main Thread: Signature check: "); }

    QTemporaryDir keys; // the private keys stay out of the working folder
    vireon::tools::MinisignKit kit{keys.path()};
};

TEST_F(SignedChoiceTest, TheChoiceLogsTheSignerOrRefusesWithTheReasonAndItsFix)
{
    const QString keep = "Use the firmware file exactly as its maker released it.";
    const struct Case {
        const char *name;
        std::function<void(SignedChoiceTest &)> prepare;
        QString box; // empty: chosen, no box
        QString logged;
    } cases[] = {
        {"prehashed", [](SignedChoiceTest &t) { t.sign("maker"); }, {},
         "Signature good: signed with the trusted key id %1 (%2); trusted comment: release 1.0"},
        {"legacy", [](SignedChoiceTest &t) { t.sign("maker", Form::Legacy); }, {},
         "Signature good: signed with the trusted key id %1 (%2); trusted comment: release 1.0"},
        {"a changed byte",
         [](SignedChoiceTest &t) {
             t.sign("maker");
             edit("surface.cyacd", [](QByteArray &b) { b[b.size() - 2] = b[b.size() - 2] == '0' ? '1' : '0'; });
         },
         refusal("The file was changed after it was signed: it does not match its signature in "
                 "surface.cyacd.minisig.\n" + keep),
         {}},
        {"another key", [](SignedChoiceTest &t) { t.sign("stranger"); },
         refusal("It was signed with a key this computer does not trust: key id %3.\nIf you trust the file's maker, "
                 "install their public key (a .pub file whose key id is %3) in /etc/vireon-control/keys/."),
         {}},
        {"a changed comment",
         [](SignedChoiceTest &t) {
             t.sign("maker");
             edit("surface.cyacd.minisig", [](QByteArray &b) { b.replace("release 1.0", "release 2.0"); });
         },
         refusal("The trusted comment in surface.cyacd.minisig was changed after it was signed.\nUse the signature "
                 "exactly as the maker released it, or ask them for it again."),
         {}},
        {"unsigned", [](SignedChoiceTest &) {}, {},
         "The file carries no signature (no surface.cyacd.minisig beside it); it is used unsigned."},
        {"unsigned, signatures required", [](SignedChoiceTest &t) { t.requireSignatures(); },
         refusal("The file carries no signature (no surface.cyacd.minisig beside it), and this computer requires "
                 "signed firmware (require-signature = yes in %4).\nAsk the surface's maker for the signed release: "
                 "the firmware file with its .minisig file beside it."),
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove("log.txt");
        QFile::remove(keys.filePath("policy.conf"));
        QFile::remove(path("surface.cyacd.minisig"));
        goodFile();
        c.prepare(*this);
        const auto seen = choose(path("surface.cyacd"));
        const QString box = QString(c.box).replace("%3", keyId("stranger")).replace("%4", keys.filePath("policy.conf"));
        ASSERT_EQ(seen.size(), box.isEmpty() ? 1u : 2u); // the dialog, and the refusal box
        if (!box.isEmpty()) {
            EXPECT_EQ(seen[1].title, "Vireon Surface Bootloader");
            EXPECT_EQ(seen[1].text, box);
            EXPECT_EQ(signatureEntries(), QStringList{" Main Thread: Signature check: " + box.section('\n', 1, 1)});
            EXPECT_FALSE(QFileInfo::exists(path("vireonTemp1.txt")) || QFileInfo::exists(path("vireonTemp2.txt")));
        } else {
            const QString logged = QString(c.logged).arg(keyId("maker"), keys.filePath("trusted/maker.pub"));
            EXPECT_EQ(signatureEntries(), QStringList{" Main Thread: Signature check: " + logged});
        }
        attachSurface();
        probe().doHID();
        EXPECT_EQ(probe().selectedFilePath() != nullptr, box.isEmpty());
        EXPECT_EQ(probe().updateEnabled(), box.isEmpty());
        sim::Bus::instance().reset();
    }
}

// Before a run the line under the progress bar names the next step, and a
// good signature's verdict with it.
TEST_F(SignedChoiceTest, AChosenSignedFileShowsItsVerdictOnTheStageLine)
{
    attachSurface();
    goodFile();
    sign("maker");
    choose(path("surface.cyacd"));
    probe().doHID();
    const auto *line = window().findChild<QLabel *>("stageLine");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(qobject_cast<const vireon::app::StageLine *>(line)->wholeText(),
              "Press UPDATE to program surface.cyacd. The file is signed with the trusted key " + keyId("maker") +
                  ": release 1.0.");
}

// A policy that meant "require" in other words refuses an unsigned file: the
// box names the line it could not read, and the log says why signatures are
// required.
TEST_F(SignedChoiceTest, ANearMissPolicyRefusesAnUnsignedFileAndTheBoxSaysWhy)
{
    const QString policy = keys.filePath("policy.conf");
    QFile file(policy);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("Require-Signature = yes\n") > 0);
    file.close();
    goodFile();
    const auto seen = choose(path("surface.cyacd"));
    ASSERT_EQ(seen.size(), 2u); // the dialog, and the refusal box
    const QString unclear = "line 1 of " + policy + " is not a setting this program knows";
    EXPECT_EQ(seen[1].text, refusal("The file carries no signature (no surface.cyacd.minisig beside it), and this "
                                    "computer requires signed firmware (" + unclear + ").\nAsk the surface's maker for "
                                    "the signed release: the firmware file with its .minisig file beside it."));
    EXPECT_TRUE(signatureEntries().contains(" Main Thread: Signature check: The policy file's " + unclear +
                                            " (it knows \"require-signature = yes\" and \"= no\"). Signatures are "
                                            "required until it is mended."))
        << qPrintable(signatureEntries().join('\n'));
}

TEST_F(SignedChoiceTest, UpdateChecksTheSignatureAgainUnderTheKeysAndPolicyInForceThen)
{
    goodFile();
    sign("maker");
    const auto surface = attachSurface();
    choose(path("surface.cyacd"));
    probe().doHID();
    ASSERT_TRUE(probe().updateEnabled());

    // The maker's key is taken off this computer between the choice and UPDATE.
    ASSERT_TRUE(QFile::remove(keys.filePath("trusted/maker.pub")));
    std::vector<Seen> seen = withModals({}, [this]() { QTest::mouseClick(probe().ui().updateLabel, Qt::LeftButton); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, refusal("It was signed with a key this computer does not trust: key id " + keyId("maker") +
                                    ".\nIf you trust the file's maker, install their public key (a .pub file whose "
                                    "key id is " +
                                    keyId("maker") + ") in /etc/vireon-control/keys/."));
    EXPECT_TRUE(logEntries().contains(" Main Thread: The chosen file is not usable any more. Update not started."));
    EXPECT_EQ(surface->exchanges(), 0);
    EXPECT_EQ(probe().selectedFilePath(), nullptr);
}

} // namespace
} // namespace apptest
