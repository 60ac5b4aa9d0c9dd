#include "options.h"

#include "exit_codes.h"

#include <cmath>

namespace vireon::flash {
namespace {

const QString kDevice = QStringLiteral("device");
const QString kSerial = QStringLiteral("serial");
const QString kWait = QStringLiteral("wait");
const QString kReturnTimeout = QStringLiteral("return-timeout");
const QString kJson = QStringLiteral("json");
const QString kLog = QStringLiteral("log");
const QString kQuiet = QStringLiteral("q");
const QString kTrustedKey = QStringLiteral("trusted-key");
const QString kRequireSignature = QStringLiteral("require-signature");
const QString kVersion = QStringLiteral("version");
const QString kHelp = QStringLiteral("help");

void addOptions(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOptions({
        {kDevice, QStringLiteral("Use the surface at this device path (see 'list')."), QStringLiteral("PATH")},
        {kSerial, QStringLiteral("Use the surface with this serial number."), QStringLiteral("SERIAL")},
        {kWait, QStringLiteral("Wait up to SECONDS for a surface to be attached (default 0)."),
         QStringLiteral("SECONDS"), QStringLiteral("0")},
        {kReturnTimeout,
         QStringLiteral("How long the surface may stay off the bus while it restarts between the two images "
                        "(default 60, at least 1)."),
         QStringLiteral("SECONDS"), QStringLiteral("60")},
        {kJson, QStringLiteral("Print one JSON object per line (see the manual page).")},
        {kLog, QStringLiteral("Append every step to FILE, in the window's log format."), QStringLiteral("FILE")},
        {kQuiet, QStringLiteral("Print errors only (and what list finds, and the checks of doctor that fail).")},
        {kTrustedKey,
         QStringLiteral("Also trust this minisign public key (.pub) for the file's signature; may be given more "
                        "than once."),
         QStringLiteral("FILE")},
        {kRequireSignature, QStringLiteral("Refuse a firmware file that carries no signature (FILE.minisig).")},
        {kVersion, QStringLiteral("Print the version and exit.")},
        {{QStringLiteral("h"), kHelp}, QStringLiteral("Print this help and exit.")},
    });
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list | doctor | update FILE | verify FILE"));
}

// The longest wait either option takes: a day.
constexpr double kLongestSeconds = 86400;
// A restart takes the surface off the bus and through the USB enumeration
// again, which takes longer than this: a shorter --return-timeout would end
// every update between its two images, with the surface half updated.
constexpr double kShortestReturnSeconds = 1;

// A number of seconds from `least` to a day; else why not, one sentence.
QString readSeconds(const QString &option, const QString &text, double least, double *seconds)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return QStringLiteral("--%1 takes a number of seconds; '%2' is not a number.").arg(option, text);
    if (value < least)
        return least == 0 ? QStringLiteral("--%1 takes a number of seconds, 0 or more.").arg(option)
                          : QStringLiteral("--%1 %2 is too short: the surface needs at least %3 s to restart; "
                                           "give %3 or more (default 60).")
                                .arg(option, text)
                                .arg(least);
    if (value > kLongestSeconds)
        return QStringLiteral("--%1 %2 is too large: at most %3 seconds (a day).").arg(option, text).arg(kLongestSeconds);
    *seconds = value;
    return QString();
}

// Every exit code with its name ("0 success, 1 setup-problem, ..."), from
// the codes themselves, so that none is left out; wrapped to the help's
// width after its first line's "Exit codes: ".
QString exitCodeList()
{
    QStringList codes;
    for (int code = 0; code < 256; ++code) {
        const char *name = exitName(static_cast<Exit>(code));
        if (qstrcmp(name, "unknown") != 0)
            codes << QStringLiteral("%1 %2").arg(code).arg(QLatin1String(name));
    }
    QString text;
    int column = 12; // "Exit codes: "
    for (int i = 0; i < codes.size(); ++i) {
        const QString item = codes.at(i) + (i + 1 < codes.size() ? QStringLiteral(",") : QString());
        if (column > 12 && column + 1 + item.size() > 79) {
            text += QLatin1Char('\n');
            column = 0;
        } else if (column > 12) {
            text += QLatin1Char(' ');
            ++column;
        }
        text += item;
        column += item.size();
    }
    return text;
}

ParsedArguments error(const QString &text)
{
    ParsedArguments parsed;
    parsed.kind = ParsedArguments::Error;
    parsed.error = text;
    return parsed;
}

} // namespace

ParsedArguments parseArguments(QCommandLineParser &parser, const QStringList &arguments)
{
    addOptions(parser);
    if (!parser.parse(arguments))
        return error(parser.errorText());

    ParsedArguments parsed;
    if (parser.isSet(kHelp)) {
        parsed.kind = ParsedArguments::Help;
        return parsed;
    }
    if (parser.isSet(kVersion)) {
        parsed.kind = ParsedArguments::Version;
        return parsed;
    }

    Options &o = parsed.options;
    o.device = parser.value(kDevice);
    o.serial = parser.value(kSerial);
    if (parser.isSet(kDevice) && parser.isSet(kSerial))
        return error(QStringLiteral("Choose the surface by --device or by --serial, not both."));
    if (parser.isSet(kDevice) && o.device.isEmpty())
        return error(QStringLiteral("--device needs a device path."));
    if (parser.isSet(kSerial) && o.serial.isEmpty())
        return error(QStringLiteral("--serial needs a serial number."));
    if (const QString why = readSeconds(kWait, parser.value(kWait), 0, &o.waitSeconds); !why.isEmpty())
        return error(why);
    if (const QString why = readSeconds(kReturnTimeout, parser.value(kReturnTimeout), kShortestReturnSeconds,
                                        &o.returnSeconds);
        !why.isEmpty())
        return error(why);
    o.json = parser.isSet(kJson);
    o.quiet = parser.isSet(kQuiet);
    o.logFile = parser.value(kLog);
    if (parser.isSet(kLog) && o.logFile.isEmpty())
        return error(QStringLiteral("--log needs a file name."));
    o.trustedKeys = parser.values(kTrustedKey);
    if (o.trustedKeys.contains(QString()))
        return error(QStringLiteral("--trusted-key needs a public key file (.pub)."));
    o.requireSignature = parser.isSet(kRequireSignature);

    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return error(QStringLiteral("No command given: list, doctor, update FILE or verify FILE."));
    const QString &command = words.first();
    const bool takesFile = command == QLatin1String("update") || command == QLatin1String("verify");
    if (command == QLatin1String("list"))
        o.command = Options::Command::List;
    else if (command == QLatin1String("doctor"))
        o.command = Options::Command::Doctor;
    else if (command == QLatin1String("update"))
        o.command = Options::Command::Update;
    else if (command == QLatin1String("verify"))
        o.command = Options::Command::Verify;
    else
        return error(QStringLiteral("Unknown command '%1': list, doctor, update FILE or verify FILE.").arg(command));
    if (takesFile && words.size() != 2)
        return error(QStringLiteral("'%1' takes one firmware file (.cyacd).").arg(command));
    if (!takesFile && words.size() != 1)
        return error(QStringLiteral("'%1' takes no file.").arg(command));
    if (takesFile)
        o.file = words.at(1);
    parsed.kind = ParsedArguments::Run;
    return parsed;
}

QString helpText(const QCommandLineParser &parser, const QString &programName)
{
    // The parser's own text starts with a usage line built from the
    // application object's arguments; ours names the commands instead.
    QString options = parser.helpText();
    const int start = options.indexOf(QStringLiteral("Options:"));
    const int end = options.indexOf(QStringLiteral("Arguments:"));
    options = options.mid(start, end > start ? end - start : -1).trimmed();
    return QStringLiteral("Usage: %1 [options] list\n"
                          "       %1 [options] doctor\n"
                          "       %1 [options] update FILE\n"
                          "       %1 [options] verify FILE\n"
                          "\n"
                          "Programs a Vireon Surface's two chips with a two-image firmware file (.cyacd),\n"
                          "checks what a surface holds, lists the attached surfaces and checks the set-up.\n"
                          "\n"
                          "Commands:\n"
                          "  list         each attached surface: device path, serial number, access\n"
                          "  doctor       check the udev rule, the device nodes' access and that a surface\n"
                          "               is attached, list the trusted signing keys and the signature\n"
                          "               policy; each finding with its fix\n"
                          "  update FILE  check the whole file and its signature (FILE.minisig), then\n"
                          "               program image 1, wait for the surface to restart, and program\n"
                          "               image 2\n"
                          "  verify FILE  the same two stages, comparing instead of programming\n"
                          "\n"
                          "%2\n"
                          "\n"
                          "JSON lines (--json): one object per line, each with \"stage\" (check, wait,\n"
                          "stage1, restart, stage2, done; list, doctor) and:\n"
                          "  a step     message; device and serial as a stage begins; signature\n"
                          "             {status (good, bad, none), key_id, trusted_comment}\n"
                          "  a row      action (program, verify), rows_done, rows_total, percent,\n"
                          "             overall_percent (both stages), rate, seconds_left\n"
                          "  the end    result (success, failure), exit_code, message; error (the exit\n"
                          "             code's name below) and fix for a failure\n"
                          "  list       path, serial, can_open, error\n"
                          "  doctor     check, ok, message, fix; keys [{key_id, path}],\n"
                          "             require_signature\n"
                          "\n"
                          "Exit codes: %3.\n"
                          "See vireon-flash(1) for what each means.\n")
        .arg(programName, options, exitCodeList());
}

} // namespace vireon::flash
