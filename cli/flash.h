// vireon-flash as a function: reads the command line, runs the command and
// returns the exit code. The program's main calls it on the real hidapi;
// the demo and the tests call it on the simulated bus, and may add options
// of their own (the demo's scenarios).
#ifndef VIREON_CLI_FLASH_H
#define VIREON_CLI_FLASH_H

#include "signature_check.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace vireon::flash {

struct FrontEnd {
    QString programName = QStringLiteral("vireon-flash");
    QList<QCommandLineOption> options; // the front end's own options
    QString helpEpilogue;              // printed after the help text
    // Called once the command line has been read and before the command
    // runs; a non-empty text is a usage error.
    std::function<QString(const QCommandLineParser &)> prepare;
    // Where the trusted keys and the signature policy are read.
    core::TrustLocations trustLocations = core::TrustLocations::system();
};

// `arguments` starts with the program name. Output goes to `out`, failures
// to `err`. Ctrl-C and SIGTERM are handled while it runs.
int run(const QStringList &arguments, FILE *out, FILE *err, const FrontEnd &frontEnd = FrontEnd());

} // namespace vireon::flash

#endif
