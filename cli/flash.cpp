#include "flash.h"

#include "commands.h"
#include "exit_codes.h"
#include "folder_files.h"
#include "printable.h"
#include "hidapi_lock.h"
#include "interrupt.h"
#include "options.h"
#include "reporter.h"
#include "version.h"

#include <QFile>

#include <csignal>

namespace vireon::flash {
namespace {

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

int usage(FILE *err, const FrontEnd &frontEnd, const QString &error)
{
    print(err, QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(frontEnd.programName, error));
    return static_cast<int>(Exit::Usage);
}

} // namespace

int run(const QStringList &arguments, FILE *out, FILE *err, const FrontEnd &frontEnd)
{
    QCommandLineParser parser;
    parser.addOptions(frontEnd.options);
    const ParsedArguments parsed = parseArguments(parser, arguments);
    switch (parsed.kind) {
    case ParsedArguments::Help:
        print(out, helpText(parser, frontEnd.programName) + frontEnd.helpEpilogue);
        return static_cast<int>(Exit::Success);
    case ParsedArguments::Version:
        print(out, QStringLiteral("%1 %2\n").arg(frontEnd.programName, QStringLiteral(VIREON_VERSION)));
        return static_cast<int>(Exit::Success);
    case ParsedArguments::Error:
        return usage(err, frontEnd, parsed.error);
    case ParsedArguments::Run:
        break;
    }
    if (frontEnd.prepare) {
        const QString error = frontEnd.prepare(parser);
        if (!error.isEmpty())
            return usage(err, frontEnd, error);
    }

    // A log that cannot be written would lose the record of an update that
    // then goes on: refused before anything reaches a surface.
    // Never through a link planted at its name, and never a pipe or device.
    if (!parsed.options.logFile.isEmpty()) {
        const core::OpenedFile log = core::openForAppend(parsed.options.logFile);
        QString why = log.problem;
        if (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        if (!log.ok())
            return usage(err, frontEnd, QStringLiteral("cannot write the log file %1 (%2).")
                                            .arg(core::escapeControls(parsed.options.logFile), why));
    }

    // A log that reached the file-size limit (ulimit -f) is a log that
    // cannot be written, as on a full disk: the update goes on and the
    // reporter says so, where the signal would end it between two rows.
    std::signal(SIGXFSZ, SIG_IGN);
    Options options = parsed.options;
    options.trustLocations = frontEnd.trustLocations;
    InterruptGuard interrupts;
    core::hid::init();
    Reporter reporter(options, out, err);
    int code = static_cast<int>(Exit::Usage);
    switch (options.command) {
    case Options::Command::List:
        code = listCommand(options, reporter);
        break;
    case Options::Command::Doctor:
        code = doctorCommand(options, reporter);
        break;
    case Options::Command::Update:
    case Options::Command::Verify:
        code = twoStageCommand(options, reporter);
        break;
    }
    core::hid::exit();
    return code;
}

} // namespace vireon::flash
