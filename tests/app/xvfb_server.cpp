#include "xvfb_server.h"

#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace apptest {

XvfbServer::XvfbServer()
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return;
    pid_ = fork();
    if (pid_ == 0) {
        // The child keeps the write end open across exec: Xvfb writes its
        // display number there once it accepts clients.
        dup2(ready[1], 3);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDERR_FILENO);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
               static_cast<char *>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    std::string number;
    char c;
    while (pid_ > 0 && read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(ready[0]);
    if (!number.empty())
        display_ = QStringLiteral(":") + QString::fromStdString(number);
}

XvfbServer::~XvfbServer()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

} // namespace apptest
