#include "program_options.h"

#include "version.h"

#include <cstdio>
#include <cstring>

namespace vireon::app {

int answerInformationOptions(int argc, char **argv, const char *program, const char *usage)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", program, VIREON_VERSION);
            return 0;
        }
    }
    return -1;
}

} // namespace vireon::app
