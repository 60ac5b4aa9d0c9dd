// The folders a test process keeps to itself, made at the start of its main
// and removed at its end:
// - its own runtime folder, so that its surface locks are its alone: tests
//   running in parallel use simulated surfaces of the same names;
// - its own empty site folder for keys and policy, never the machine's
//   /etc/vireon-control (a site that requires signatures would refuse the
//   tests' unsigned files).
#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace vireon::tests {

class PrivateFolders
{
public:
    PrivateFolders()
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
        qputenv("VIREON_CONFIG_DIR", QFile::encodeName(site_.path()));
    }
    PrivateFolders(const PrivateFolders &) = delete;
    PrivateFolders &operator=(const PrivateFolders &) = delete;

    QString runtimePath(const QString &name) const { return runtime_.filePath(name); }

private:
    QTemporaryDir runtime_;
    QTemporaryDir site_;
};

} // namespace vireon::tests
