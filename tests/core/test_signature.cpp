// The signature check against keys and signatures the real minisign tool
// makes at test time: both of its forms, files and comments changed after
// signing, keys this computer does not trust, a policy that requires
// signatures, and the bad .minisig and .pub files a user may meet. Exits 77 without minisign.
#include "signature_check.h"

#include "cyacd_gen.h"
#include "minisign_kit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include <sys/stat.h>

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace {

// The engine's words, for comparing with the test's.
QString q(const std::string &text) { return QString::fromStdString(text); }

using namespace vireon::core;
using Form = vireon::tools::MinisignKit::Form;
using Status = SignatureCheck::Status;

class SignatureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!vireon::tools::MinisignKit::available()) {
            std::fprintf(stderr, "minisign is not installed: skipped\n");
            std::exit(77);
        }
        ASSERT_TRUE(QDir(dir.path()).mkpath("keys"));
        ASSERT_FALSE(kit.makeKey("maker").isEmpty()) << qPrintable(kit.error());
        ASSERT_TRUE(QFile::copy(dir.filePath("maker.pub"), dir.filePath("keys/maker.pub")));
        firmware = QByteArray::fromStdString(vireon::tools::imageText({.rowCount = 3, .rowSize = 16}));
        write("fw.cyacd", firmware);
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
        return f.fileName();
    }
    QByteArray read(const QString &name)
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The key id as the tool itself prints it in the public key's comment
    // ("minisign public key 7308542BFB96EAA": no leading zeros).
    QString toolKeyId(const QString &pub) { return QString::fromLatin1(read(pub).split('\n')[0]).section(' ', -1); }
    void sign(const QString &key = "maker", Form form = Form::Prehashed, const QString &comment = {})
    {
        ASSERT_TRUE(kit.sign(key, dir.filePath("fw.cyacd"), form, comment)) << qPrintable(kit.error());
    }
    Trust trust() { return loadTrust({{dir.filePath("keys")}, dir.filePath("policy.conf")}); }
    SignatureCheck check(const QByteArray &bytes) { return checkSignature(bytes, dir.filePath("fw.cyacd.minisig"), trust()); }
    // The signature file with line `line` (from 0) edited.
    void editSignature(int line, const std::function<void(QByteArray &)> &edit)
    {
        QList<QByteArray> lines = read("fw.cyacd.minisig").split('\n');
        edit(lines[line]);
        write("fw.cyacd.minisig", lines.join('\n'));
    }

    QTemporaryDir dir;
    vireon::tools::MinisignKit kit{dir.path()};
    QByteArray firmware;
};

TEST_F(SignatureTest, BothFormsVerifyAndGiveTheSignersKeyIdAndTrustedComment)
{
    for (const Form form : {Form::Prehashed, Form::Legacy}) {
        sign("maker", form, QString::fromUtf8("release 2.3.1 – Überraschung"));
        const SignatureCheck good = check(firmware);
        EXPECT_EQ(good.status, Status::Good) << qPrintable(q(good.reason));
        EXPECT_FALSE(good.refused());
        EXPECT_EQ(q(good.keyId), toolKeyId("maker.pub"));
        EXPECT_EQ(q(good.trustedComment), QString::fromUtf8("release 2.3.1 – Überraschung"));
        EXPECT_EQ(q(good.summary()), QStringLiteral("Signature good: signed with the trusted key id %1 (%2); trusted "
                                                 "comment: release 2.3.1 – Überraschung")
                                      .arg(q(good.keyId), dir.filePath("keys/maker.pub")));
    }
}

TEST_F(SignatureTest, OneChangedByteAnywhereInTheFileIsRefusedInBothForms)
{
    const std::vector<std::function<void(QByteArray &)>> changes{
        [](QByteArray &b) { b[0] = char(b[0] ^ 1); },
        [](QByteArray &b) { b[b.size() / 2] = char(b[b.size() / 2] ^ 0x80); },
        [](QByteArray &b) { b[b.size() - 1] = 'x'; },
        [](QByteArray &b) { b.append('\n'); },
        [](QByteArray &b) { b.chop(1); },
        [](QByteArray &b) { b.clear(); },
    };
    for (const Form form : {Form::Prehashed, Form::Legacy}) {
        sign("maker", form);
        for (size_t i = 0; i < changes.size(); ++i) {
            QByteArray changed = firmware;
            changes[i](changed);
            const SignatureCheck refused = check(changed);
            EXPECT_EQ(refused.status, Status::Bad) << "change " << i;
            EXPECT_EQ(q(refused.reason), "The file was changed after it was signed: it does not match its signature in "
                                      "fw.cyacd.minisig.");
            EXPECT_EQ(q(refused.fix), "Use the firmware file exactly as its maker released it.");
        }
    }
}

TEST_F(SignatureTest, AKeyThisComputerDoesNotTrustIsRefusedByItsKeyId)
{
    ASSERT_FALSE(kit.makeKey("stranger").isEmpty());
    sign("stranger");
    const SignatureCheck refused = check(firmware);
    EXPECT_EQ(refused.status, Status::Bad);
    EXPECT_EQ(q(refused.reason), "It was signed with a key this computer does not trust: key id " +
                                  toolKeyId("stranger.pub") + ".");
    EXPECT_TRUE(q(refused.fix).contains("/etc/vireon-control/keys/")) << qPrintable(q(refused.fix));

    // The same key given for the run is trusted.
    Trust withKey = trust();
    EXPECT_EQ(addTrustedKey(withKey, dir.filePath("stranger.pub")), QString());
    EXPECT_EQ(checkSignature(firmware, dir.filePath("fw.cyacd.minisig"), withKey).status, Status::Good);
}

// A signature whose key id was set to a trusted key's is told as what it
// is, not as a file changed after signing: the signature over the trusted
// comment does not cover the file, and it fails too.
TEST_F(SignatureTest, AnImpostorKeyWithATrustedKeysIdIsToldAsSuch)
{
    ASSERT_FALSE(kit.makeKey("impostor").isEmpty());
    sign("impostor");
    const QByteArray trustedId = QByteArray::fromBase64(read("maker.pub").split('\n')[1]).mid(2, 8);
    editSignature(1, [&](QByteArray &line) {
        QByteArray decoded = QByteArray::fromBase64(line);
        decoded.replace(2, 8, trustedId);
        line = decoded.toBase64();
    });
    const SignatureCheck refused = check(firmware);
    EXPECT_EQ(refused.status, Status::Bad);
    EXPECT_EQ(refused.problem, SignatureCheck::Problem::ImpostorKey);
    EXPECT_EQ(q(refused.reason), "The signature in fw.cyacd.minisig names the trusted key id " + toolKeyId("maker.pub") +
                                  " but was not made with that key: it was signed with another key that carries the "
                                  "same id.");
    // The maker's own signature over a changed file is still told as that.
    sign("maker");
    firmware[5] = firmware[5] == '0' ? '1' : '0';
    EXPECT_EQ(check(firmware).problem, SignatureCheck::Problem::FileChanged);
}

TEST_F(SignatureTest, AChangedTrustedCommentIsRefused)
{
    sign("maker", Form::Prehashed, "release 2.3.1");
    editSignature(2, [](QByteArray &line) { line.replace("2.3.1", "2.3.2"); });
    const SignatureCheck refused = check(firmware);
    EXPECT_EQ(refused.status, Status::Bad);
    EXPECT_EQ(q(refused.reason), "The trusted comment in fw.cyacd.minisig was changed after it was signed.");
    EXPECT_TRUE(q(refused.trustedComment).isEmpty()); // never shown as the signer's
}

TEST_F(SignatureTest, BadSignatureFilesAreRefusedWithWhatIsWrong)
{
    sign();
    const QByteArray good = read("fw.cyacd.minisig");
    const QList<QByteArray> lines = good.split('\n');
    QByteArray wrongAlgorithm = QByteArray::fromBase64(lines[1]);
    wrongAlgorithm.replace(0, 2, "Xz");
    const struct {
        QByteArray text;
        const char *what;
    } cases[] = {
        {"", "it is empty"},
        {lines[0] + '\n' + lines[1] + '\n', "it ends after line 2 of 4"},
        {good + "extra\n", "it has 5 lines, not 4"},
        {"comment\n" + lines.mid(1).join('\n'), "line 1 does not begin with \"untrusted comment: \""},
        {lines[0] + "\n" + lines[1].left(40) + "!!" + lines[1].mid(42) + '\n' + lines.mid(2).join('\n'),
         "line 2 is not the base64 of 74 bytes"},
        {lines[0] + "\n" + lines[1].left(60) + '\n' + lines.mid(2).join('\n'), "line 2 is not the base64 of 74 bytes"},
        {lines[0] + "\n" + wrongAlgorithm.toBase64() + '\n' + lines.mid(2).join('\n'),
         "its algorithm is 'Xz', not Ed25519 ('Ed' or 'ED')"},
        {lines.mid(0, 2).join('\n') + "\ntrusted comment: \xff\xfe release\n" + lines[3] + '\n',
         "its trusted comment is not valid UTF-8 text"},
        {lines.mid(0, 2).join('\n') + "\ncomment: x\n" + lines[3] + '\n',
         "line 3 does not begin with \"trusted comment: \""},
        {lines.mid(0, 3).join('\n') + "\n" + lines[3].left(20) + '\n', "line 4 is not the base64 of 64 bytes"},
    };
    for (const auto &c : cases) {
        write("fw.cyacd.minisig", c.text);
        const SignatureCheck refused = check(firmware);
        EXPECT_EQ(refused.status, Status::Bad) << c.what;
        EXPECT_EQ(q(refused.reason), QStringLiteral("fw.cyacd.minisig is not a minisign signature this program can "
                                                 "read: %1.")
                                      .arg(c.what));
    }
    // The same signature with Windows line ends still holds.
    QByteArray crlf = good;
    write("fw.cyacd.minisig", crlf.replace("\n", "\r\n"));
    EXPECT_EQ(check(firmware).status, Status::Good);
}

TEST_F(SignatureTest, AHugeOrSpecialSignatureFileIsRefusedUnread)
{
    const QString path = dir.filePath("fw.cyacd.minisig");
    write("fw.cyacd.minisig", {});
    ASSERT_TRUE(QFile::resize(path, qint64(1) << 40)); // sparse: reading it would take hours
    const SignatureCheck huge = check(firmware);
    EXPECT_EQ(huge.status, Status::Bad);
    EXPECT_EQ(q(huge.reason), "fw.cyacd.minisig is not a signature: it is larger than 8 KiB, and a minisign signature is "
                           "a few hundred bytes.");

    // A FIFO nobody writes to would block a plain read for ever.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const SignatureCheck fifo = check(firmware);
    EXPECT_EQ(fifo.status, Status::Bad);
    EXPECT_EQ(q(fifo.reason), "The file's signature fw.cyacd.minisig cannot be read (it is a named pipe (FIFO), not a regular file).");
}

TEST_F(SignatureTest, KeyFilesThatAreNotKeysAreNamedAndLeftOut)
{
    const QByteArray key = read("maker.pub");
    const QList<QByteArray> lines = key.split('\n');
    QByteArray otherAlgorithm = QByteArray::fromBase64(lines[1]);
    otherAlgorithm.replace(0, 2, "ED");
    const struct {
        const char *name;
        QByteArray text;
        const char *what;
    } cases[] = {
        {"empty.pub", "", "it is empty"},
        {"one-line.pub", lines[1] + '\n', "it ends after line 1 of 2"},
        {"garbled.pub", lines[0] + "\n%%%" + lines[1].mid(3) + '\n', "line 2 is not the base64 of 42 bytes"},
        {"short.pub", lines[0] + '\n' + lines[1].left(52) + '\n', "line 2 is not the base64 of 42 bytes"},
        {"algorithm.pub", lines[0] + '\n' + otherAlgorithm.toBase64() + '\n', "its algorithm is 'ED', not Ed25519 ('Ed')"},
    };
    for (const auto &c : cases)
        write(QStringLiteral("keys/") + c.name, c.text);
    write("keys/notes.txt", "not a key, not read");
    const Trust t = trust();
    ASSERT_EQ(t.keys.size(), 1u);
    EXPECT_EQ(q(t.keys[0].path), dir.filePath("keys/maker.pub"));
    QStringList expected;
    for (const auto &c : cases)
        expected << QStringLiteral("%1 is not a minisign public key: %2.").arg(dir.filePath(QStringLiteral("keys/") + c.name), c.what);
    expected.sort(); // the folder is read in name order
    EXPECT_EQ(t.keyProblems, expected);

    Trust explicitKey = trust();
    EXPECT_EQ(addTrustedKey(explicitKey, dir.filePath("missing.pub")),
              dir.filePath("missing.pub") + " cannot be read (No such file or directory).");
}

} // namespace

namespace {

TEST(KeyIdText, IsTheLittleEndianNumberInUpperCaseHexWithoutLeadingZeros)
{
    EXPECT_EQ(vireon::engine::keyIdText(QByteArray::fromHex("7445c6582b6e2e8f").toStdString()), "8F2E6E2B58C64574");
    EXPECT_EQ(vireon::engine::keyIdText(QByteArray::fromHex("aaea96fb2b540807").toStdString()), "708542BFB96EAAA");
}

} // namespace
