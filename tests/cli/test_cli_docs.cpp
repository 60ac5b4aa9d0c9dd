// What vireon-flash --help and its manual page (cli/vireon-flash.1) tell a
// script's author: every exit code by its number and name, and every
// member of the JSON lines, as the commands really print them.
#include "cyacd_gen.h"
#include "exit_codes.h"
#include "flash.h"
#include "hidsim.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace vireon;

namespace {

QString help()
{
    char *text = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&text, &size);
    flash::run({QStringLiteral("vireon-flash"), QStringLiteral("--help")}, out, stderr);
    std::fclose(out);
    const QString help = QString::fromLocal8Bit(text);
    std::free(text);
    return help;
}

// The manual page as text: troff's escaped hyphens plain.
QString manual()
{
    QFile page(QStringLiteral(VIREON_FLASH_MANUAL));
    EXPECT_TRUE(page.open(QIODevice::ReadOnly)) << VIREON_FLASH_MANUAL;
    return QString::fromUtf8(page.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
}

// The part of `text` from `from` to the next `to` (or the end).
QString part(const QString &text, const QString &from, const QString &to)
{
    const int start = text.indexOf(from);
    if (start < 0)
        return {};
    const int end = text.indexOf(to, start + from.size());
    return text.mid(start, end < 0 ? -1 : end - start);
}

bool namesWord(const QString &text, const QString &word)
{
    return text.contains(QRegularExpression(QStringLiteral("(^|[^a-z_])%1([^a-z_]|$)").arg(word)));
}

TEST(CliDocs, EveryExitCodeIsInTheHelpAndTheManualByItsName)
{
    // The help's list runs over lines: one line of it.
    const QString helpCodes = part(help(), QStringLiteral("Exit codes:"), QStringLiteral(".\n")).simplified();
    const QString manualCodes = part(manual(), QStringLiteral(".SH EXIT STATUS"), QStringLiteral(".SH "));
    int named = 0;
    for (int code = 0; code < 256; ++code) {
        const QString name = QLatin1String(flash::exitName(static_cast<flash::Exit>(code)));
        if (name == QLatin1String("unknown"))
            continue;
        ++named;
        EXPECT_TRUE(helpCodes.contains(QStringLiteral(" %1 %2,").arg(code).arg(name)) ||
                    helpCodes.endsWith(QStringLiteral(" %1 %2").arg(code).arg(name)))
            << code << " " << qPrintable(name) << " in: " << qPrintable(helpCodes);
        const QString entry = code == 0 ? QStringLiteral(".B 0\n") : QStringLiteral(".BR %1 \" (%2)\"\n").arg(code).arg(name);
        EXPECT_TRUE(manualCodes.contains(entry)) << qPrintable(entry);
    }
    EXPECT_EQ(named, 13); // 0 to 11 and 130
}

// Every member any command's JSON lines carry, nested ones included,
// collected from real runs: an update that succeeds and one that finds no
// surface, list (one surface refuses to be opened) and doctor (a trusted key
// given).
class CliJson : public testing::Test
{
protected:
    void SetUp() override { sim::Bus::instance().reset(); }
    void TearDown() override { sim::Bus::instance().reset(); }

    void collect(const QStringList &arguments)
    {
        char *text = nullptr;
        size_t size = 0;
        FILE *out = open_memstream(&text, &size);
        FILE *err = std::fopen("/dev/null", "w");
        flash::run(QStringList{QStringLiteral("vireon-flash"), QStringLiteral("--json")} + arguments, out, err);
        std::fclose(out);
        std::fclose(err);
        for (const QByteArray &line : QByteArray(text).split('\n'))
            if (!line.isEmpty())
                add(QJsonDocument::fromJson(line).object());
        std::free(text);
    }
    void add(const QJsonObject &object)
    {
        for (auto member = object.begin(); member != object.end(); ++member) {
            members.insert(member.key());
            if (member->isObject())
                add(member->toObject());
            for (const QJsonValue &item : member->toArray())
                add(item.toObject());
        }
    }

    QTemporaryDir dir;
    QSet<QString> members;
};

TEST_F(CliJson, EveryMemberTheCommandsPrintIsInTheHelpAndTheManual)
{
    const std::vector<tools::ImageSpec> images = tools::twoChipImages(4, 64);
    const QString file = dir.filePath(QStringLiteral("fw.cyacd"));
    ASSERT_TRUE(tools::writeFile(file.toStdString(), images));
    sim::SurfaceOptions options;
    options.targets = tools::targetsFor(images);
    options.offBusAfterExit = std::chrono::milliseconds(2);
    options.serialNumber = L"VS-0001";
    sim::Bus::instance().attach(options);
    options.serialNumber = L"VS-0002";
    sim::Fault refuse{sim::Fault::OpenRefused};
    refuse.count = 1 << 30;
    sim::Bus::instance().attach(options)->addFault(refuse);
    // A public key in minisign's format: "Ed", a key id and 32 bytes.
    const QString key = dir.filePath(QStringLiteral("maker.pub"));
    QFile pub(key);
    ASSERT_TRUE(pub.open(QIODevice::WriteOnly));
    pub.write("untrusted comment: a maker's key\n" + (QByteArray("Ed12345678") + QByteArray(32, 'k')).toBase64() + "\n");
    pub.close();

    collect({QStringLiteral("--serial"), QStringLiteral("VS-0001"), QStringLiteral("update"), file});
    collect({QStringLiteral("--serial"), QStringLiteral("VS-0009"), QStringLiteral("update"), file});
    collect({QStringLiteral("list")});
    collect({QStringLiteral("--trusted-key"), key, QStringLiteral("doctor")});
    for (const char *expected : {"overall_percent", "trusted_comment", "can_open", "require_signature", "key_id", "fix"})
        ASSERT_TRUE(members.contains(QLatin1String(expected))) << expected << ": the runs did not reach it";

    const QString helpJson = part(help(), QStringLiteral("JSON lines"), QStringLiteral("Exit codes:"));
    const QString manualJson = part(manual(), QStringLiteral(".SH JSON LINES"), QStringLiteral(".SH "));
    for (const QString &member : members) {
        EXPECT_TRUE(namesWord(helpJson, member)) << qPrintable(member) << " is not in --help";
        EXPECT_TRUE(namesWord(manualJson, member)) << qPrintable(member) << " is not in the manual's JSON LINES";
    }
}

} // namespace
