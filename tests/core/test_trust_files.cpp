// The trust files a site writes and a careless hand can get wrong: the
// policy fails closed (every near miss of "require-signature = yes" requires
// signatures and says why), and a key folder that cannot be read is named.
// Real files in a temporary folder; the unreadable folder is read as another
// uid when the test runs as root.
#include "signature_check.h"

#include "cyacd_gen.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace {

// The engine's words, for comparing with the test's.
QString q(const std::string &text) { return QString::fromStdString(text); }

using namespace vireon::core;
using Status = SignatureCheck::Status;

// What `read` returns when run as a user who is not root and owns nothing
// here (uid 4242), in a child process; as that user already, in this one.
QStringList asAnotherUser(const std::function<QStringList()> &read)
{
    if (::geteuid() != 0)
        return read();
    int channel[2];
    if (::pipe(channel) != 0)
        return {"no pipe"};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const QByteArray text = ::setgroups(0, nullptr) == 0 && ::setresgid(4242, 4242, 4242) == 0 &&
                                        ::setresuid(4242, 4242, 4242) == 0
                                    ? read().join('\n').toUtf8()
                                    : QByteArray("could not become uid 4242");
        const ssize_t written = ::write(channel[1], text.constData(), size_t(text.size()));
        ::_exit(written == text.size() ? 0 : 1);
    }
    ::close(channel[1]);
    QByteArray text;
    char piece[4096];
    for (ssize_t got; (got = ::read(channel[0], piece, sizeof piece)) > 0;)
        text.append(piece, int(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return text.isEmpty() ? QStringList{} : QString::fromUtf8(text).split('\n');
}

class TrustFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(dir.path()).mkpath("keys"));
        firmware = QByteArray::fromStdString(vireon::tools::imageText({.rowCount = 3, .rowSize = 16}));
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
        return f.fileName();
    }
    Trust trust() { return loadTrust({{dir.filePath("keys")}, dir.filePath("policy.conf")}); }
    SignatureCheck check(const QByteArray &bytes) { return checkSignature(bytes, dir.filePath("fw.cyacd.minisig"), trust()); }

    QTemporaryDir dir;
    QByteArray firmware;
};

// The policy fails closed: only a clear "no" (or no policy file at all)
// lets an unsigned file through; every near miss of "yes" a site might
// write, and anything else it cannot read as yes or no, requires
// signatures and says why.
TEST_F(TrustFilesTest, AnUnsignedFilePassesOnlyWhenThePolicyClearlySaysNo)
{
    const QByteArray utf16 = QByteArray("\xff\xfe") + QByteArray("r\0e\0q\0u\0i\0r\0e\0-\0s\0i\0g\0n\0a\0t\0u\0r\0e\0 \0=\0 "
                                                                 "\0y\0e\0s\0\n\0", 48);
    const struct {
        QByteArray policy; // "(none)": no policy file; "(dangling)": a link to a missing file
        bool required;
        int problems;
    } cases[] = {
        {"(none)", false, 0},
        {"", false, 0},
        {"# site policy\n\nrequire-signature = no\n", false, 0},
        {"require-signature = no\r\nrequire-signature = NO # twice, the same\r\n", false, 0},
        {"\xef\xbb\xbfrequire-signature = no\n", false, 0}, // UTF-8 with a byte-order mark
        {"require-signature = yes\n", true, 0},
        {"  require-signature=YES  # all surfaces\n", true, 0},
        {"require-signature\t=\tyes", true, 0},
        {"Require-Signature = yes\n", true, 1},
        {"require_signature = yes\n", true, 1},
        {"require-signature yes\n", true, 1},
        {"require-signature: yes\n", true, 1},
        {"require-signatures = yes\n", true, 1},
        {"require-signature = no\nrequire-signatures = no\n", true, 1},
        {utf16, true, 1},
        {"require-signature = \xe9\n", true, 1}, // Latin-1, not UTF-8
        {"(dangling)", true, 1},
        {"require-signature = yes\nrequire-signature = no\n", true, 1},
        {"require-signature = no\nrequire-signature = yes\n", true, 1},
        {"require-signature = maybe\n", true, 1},
        {"require-signature = \"no\"\n", true, 1},
        {"require-signature =\n", true, 1},
        {"colour = blue\nrequire-signature = yes\n", true, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.policy.toStdString());
        QFile::remove(dir.filePath("policy.conf"));
        if (c.policy == "(dangling)")
            ASSERT_TRUE(QFile::link(dir.filePath("gone.conf"), dir.filePath("policy.conf")));
        else if (c.policy != "(none)")
            write("policy.conf", c.policy);
        const Trust t = trust();
        EXPECT_EQ(t.policyProblems.size(), c.problems) << qPrintable(t.policyProblems.join('\n'));
        EXPECT_EQ(t.requireSignature, c.required);
        const SignatureCheck unsigned_ = checkSignature(firmware, dir.filePath("fw.cyacd.minisig"), t);
        EXPECT_EQ(unsigned_.status, Status::None);
        EXPECT_EQ(unsigned_.refused(), c.required);
        if (!c.required) {
            EXPECT_EQ(q(unsigned_.summary()), "The file carries no signature (no fw.cyacd.minisig beside it); it is used "
                                           "unsigned.");
        }
        // Every problem says that signatures are required until it is mended.
        for (const QString &problem : t.policyProblems)
            EXPECT_TRUE(problem.contains("ignatures are required until")) << qPrintable(problem);
    }
    write("policy.conf", "require-signature = yes\n");
    EXPECT_EQ(q(check(firmware).reason), "The file carries no signature (no fw.cyacd.minisig beside it), and this "
                                      "computer requires signed firmware (require-signature = yes in " +
                                          dir.filePath("policy.conf") + ").");
}

// Why a near miss requires signatures is named where a refused file is told.
TEST_F(TrustFilesTest, ARefusalUnderAnUnclearPolicyNamesWhatIsUnclear)
{
    const QString policy = dir.filePath("policy.conf");
    const struct {
        QByteArray text;
        QString requiredBy;
        QString problem;
    } cases[] = {
        {"Require-Signature = yes\n", "line 1 of " + policy + " is not a setting this program knows",
         "The policy file's line 1 of " + policy + " is not a setting this program knows (it knows \"require-signature "
                                                   "= yes\" and \"= no\"). Signatures are required until it is mended."},
        {QByteArray("r\0e\0q\0", 6), policy + " is not UTF-8 text",
         "The policy file " + policy + " is not UTF-8 text (saved as UTF-16, or in another encoding); signatures are "
                                       "required until it is saved as UTF-8."},
        {"require-signature = yes\nrequire-signature = no\n", policy + " says both yes and no",
         "The policy file " + policy + " says both require-signature = yes and = no; signatures are required until it "
                                       "says one of them."},
    };
    for (const auto &c : cases) {
        write("policy.conf", c.text);
        const Trust t = trust();
        EXPECT_EQ(t.policyProblems, QStringList{c.problem});
        EXPECT_EQ(q(check(firmware).reason), "The file carries no signature (no fw.cyacd.minisig beside it), and this "
                                          "computer requires signed firmware (" + c.requiredBy + ").");
    }
    QFile::remove(policy);
    ASSERT_TRUE(QFile::link(dir.filePath("gone.conf"), policy));
    EXPECT_EQ(trust().policyProblems,
              QStringList{"The policy file " + policy + " cannot be read (it is a link to " + dir.filePath("gone.conf") +
                          ", which does not exist); signatures are required until it can be."});
}

TEST_F(TrustFilesTest, APolicyFileThatCannotBeReadRequiresSignatures)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("policy.conf")); // a folder in its place
    const Trust t = trust();
    EXPECT_TRUE(t.requireSignature);
    ASSERT_EQ(t.policyProblems.size(), 1);
    EXPECT_TRUE(t.policyProblems[0].startsWith("The policy file " + dir.filePath("policy.conf") + " cannot be read"));
}

// A key folder that cannot be listed is named, not taken for an empty one.
// (Root lists any folder: as root, the keys are read as another uid, in a
// child process.)
TEST_F(TrustFilesTest, AKeyFolderThatCannotBeReadIsNamed)
{
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFileDevice::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(dir.filePath("keys"), QFileDevice::WriteOwner));
    const QStringList problems = asAnotherUser([this] { return trust().keyProblems; });
    EXPECT_EQ(problems, QStringList{"The key folder " + dir.filePath("keys") +
                                    " cannot be read (Permission denied): no key in it is trusted."});
}

} // namespace
