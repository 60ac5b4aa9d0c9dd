// Signing material made with the real minisign tool, for tests, benchmarks
// and fuzz seeds: key pairs without a password in a folder the caller owns
// (a temporary one: no private key is ever kept), and signatures of either
// form. Every call runs the tool and waits for it.
#ifndef VIREON_TOOLS_MINISIGN_KIT_H
#define VIREON_TOOLS_MINISIGN_KIT_H

#include <QString>
#include <QStringList>

namespace vireon::tools {

class MinisignKit
{
public:
    // Whether the minisign tool is installed.
    static bool available();

    // Keys and signatures are written into `folder`.
    explicit MinisignKit(const QString &folder) : folder_(folder) {}

    // Makes the key pair NAME.key and NAME.pub in the folder; returns the
    // public key's path, or an empty string when the tool failed.
    QString makeKey(const QString &name);

    enum class Form { Prehashed, Legacy };
    // Signs `file` with the key NAME into `out` (default: FILE.minisig).
    // An empty trusted comment leaves the tool's own. False when the tool
    // failed.
    bool sign(const QString &name, const QString &file, Form form = Form::Prehashed,
              const QString &trustedComment = {}, const QString &out = {});

    // The tool's last error output.
    const QString &error() const { return error_; }

private:
    bool run(const QStringList &arguments);

    QString folder_;
    QString error_;
};

} // namespace vireon::tools

#endif
