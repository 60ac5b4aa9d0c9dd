// The command line: a command (list, doctor, update FILE, verify FILE) and
// its options, read with QCommandLineParser into one plain value. Nothing
// here touches a device or prints.
#ifndef VIREON_CLI_OPTIONS_H
#define VIREON_CLI_OPTIONS_H

#include "signature_check.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace vireon::flash {

struct Options {
    enum class Command { List, Doctor, Update, Verify };
    Command command = Command::List;
    QString file;                  // update and verify
    QString device;                // --device PATH
    QString serial;                // --serial SERIAL
    double waitSeconds = 0;        // --wait: how long to wait for a surface to appear
    double returnSeconds = 60;     // --return-timeout: how long a restarting surface may stay away
    bool json = false;             // --json: one JSON object per line on standard output
    bool quiet = false;            // -q: errors only
    QString logFile;               // --log FILE
    QStringList trustedKeys;       // --trusted-key FILE, repeatable: keys trusted for this run
    bool requireSignature = false; // --require-signature: an unsigned file is refused
    // Where the trusted keys and the site's policy are read: the system's,
    // unless a front end (a test) gives its own.
    core::TrustLocations trustLocations = core::TrustLocations::system();
};

struct ParsedArguments {
    enum Kind { Run, Help, Version, Error } kind = Error;
    Options options;
    QString error; // for Error: what is wrong, one sentence
};

// Adds the program's options to `parser` (which may already hold a front
// end's own options) and reads `arguments`, the program name first.
ParsedArguments parseArguments(QCommandLineParser &parser, const QStringList &arguments);

// The text --help prints: the parser's option list with the commands.
QString helpText(const QCommandLineParser &parser, const QString &programName);

} // namespace vireon::flash

#endif
