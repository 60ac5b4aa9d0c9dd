#include "quiet_setup.h"

#include <QString>

namespace vireon::app {

namespace {
QtMessageHandler g_previous = nullptr;

// The pass words its finding as a plain warning; everything else goes on
// to the handler that was installed before.
void holdBackConnectByName(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QMetaObject::connectSlotsByName: No matching signal for on_")))
        return;
    if (g_previous != nullptr)
        g_previous(type, context, message);
}
} // namespace

void withoutConnectByNameWarnings(const std::function<void()> &setupUi)
{
    // Only the GUI thread runs yet: no other thread logs while the handler
    // is swapped.
    g_previous = qInstallMessageHandler(holdBackConnectByName);
    setupUi();
    qInstallMessageHandler(g_previous);
    g_previous = nullptr;
}

} // namespace vireon::app
