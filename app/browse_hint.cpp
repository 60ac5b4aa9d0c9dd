#include "browse_hint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace vireon::app {

namespace {

void showHint(QWidget *browse)
{
    QString hint = QCoreApplication::translate("MainWindow", "Choose the firmware file (.cyacd) to program into the surface.");
    if (!browse->isEnabled())
        hint += QCoreApplication::translate("MainWindow", "\nNot available while an update is running.");
    browse->setToolTip(hint);
}

class HintFollower : public QObject
{
public:
    explicit HintFollower(QWidget *browse) : QObject(browse) { browse->installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            showHint(static_cast<QWidget *>(watched));
        return false;
    }
};

} // namespace

void keepBrowseHint(QWidget *browse)
{
    new HintFollower(browse);
    showHint(browse);
}

} // namespace vireon::app
