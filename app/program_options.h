// The options every Linux program answers without opening a window:
// --help and --version (also -h). Qt's own options go on to QApplication.
#ifndef VIREON_APP_PROGRAM_OPTIONS_H
#define VIREON_APP_PROGRAM_OPTIONS_H

namespace vireon::app {

// -1 when the window is to open; else the exit status, after printing the
// help (`usage`) or "<program> <version>" on standard output.
int answerInformationOptions(int argc, char **argv, const char *program, const char *usage);

} // namespace vireon::app

#endif
