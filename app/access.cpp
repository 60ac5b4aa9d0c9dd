#include "access.h"

#include "clicklabel.h"
#include "ui_mainwindow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QDir>
#include <QShortcut>
#include <QTimer>

namespace vireon::app {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// An image button as assistive technology sees it: a push button whose
// press action clicks it as the mouse does. Its description is its tooltip,
// which says why UPDATE is not offered.
class ImageButtonAccessible : public QAccessibleWidget
{
public:
    explicit ImageButtonAccessible(clicklabel *label) : QAccessibleWidget(label, QAccessible::Button) {}

    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &actionName) override
    {
        if (actionName != pressAction()) {
            QAccessibleWidget::doAction(actionName);
            return;
        }
        // After the caller's return: the click may open a dialog or run a
        // whole update, which must not hold an accessibility request open.
        auto *label = static_cast<clicklabel *>(widget());
        QTimer::singleShot(0, label, &clicklabel::click);
    }
};

// The status and file panels are pictures with their text drawn on them;
// Qt's own face for a label with a picture is an image. What they tell is
// text: a screen reader reads them as labels, named by what they show.
bool isTextPanel(const QObject *object)
{
    const QString name = object->objectName();
    return name == QLatin1String("statusLabel") || name == QLatin1String("fileNameLabel");
}

QAccessibleInterface *windowFactory(const QString &className, QObject *object)
{
    if (object == nullptr || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("clicklabel"))
        return new ImageButtonAccessible(static_cast<clicklabel *>(object));
    if (className == QLatin1String("QLabel") && isTextPanel(object))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::StaticText);
    return nullptr;
}

} // namespace

void installAccessibleFaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(windowFactory);
        return true;
    }();
    (void)installed;
}

void makeAccessible(QWidget *window, Ui::MainWindow &ui)
{
    ui.browseFileLabel->setFocusPolicy(Qt::StrongFocus);
    ui.updateLabel->setFocusPolicy(Qt::StrongFocus);
    QWidget::setTabOrder(ui.browseFileLabel, ui.updateLabel);
    auto *open = new QShortcut(QKeySequence::Open, window);
    QObject::connect(open, &QShortcut::activated, ui.browseFileLabel, &clicklabel::click);

    ui.browseFileLabel->setAccessibleName(tr("Choose file"));
    ui.updateLabel->setAccessibleName(tr("UPDATE"));
    ui.progressBar->setAccessibleName(tr("Progress"));
    ui.progressBar->setAccessibleDescription(tr("How far the update has come."));
    ui.statusLabel->setAccessibleName(tr("Device status"));
    ui.statusLabel->setAccessibleDescription(tr("Whether a surface is on the bus."));
    ui.versionLabel->setAccessibleName(ui.versionLabel->text());
    ui.versionLabel->setAccessibleDescription(tr("The updater's version."));
    nameFilePanel(ui.fileNameLabel, QString());
}

void nameStatusPanel(QLabel *panel, const QString &word)
{
    panel->setAccessibleName(tr("Device status: %1").arg(word));
}

void nameFilePanel(QLabel *panel, const QString &fileName, const QString &fullPath)
{
    panel->setAccessibleName(fileName.isEmpty() ? tr("File: none chosen") : tr("File: %1").arg(fileName));
    const QString shownPath = QDir::toNativeSeparators(fullPath);
    panel->setToolTip(shownPath);
    panel->setAccessibleDescription(shownPath.isEmpty() ? tr("No file chosen") : shownPath);
}

} // namespace vireon::app
