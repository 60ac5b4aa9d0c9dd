#include "access.h"

#include "clicklabel.h"
#include "painted_texts.h"
#include "ui_mainwindow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QDir>
#include <QProgressBar>
#include <QShortcut>
#include <QTimer>

#include <algorithm>

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

// The window's parts as a screen reader walks them: in the window's order,
// row by row from the top and left to right within a row (each heading
// before the control it names, the banner at the foot), whatever order the
// widgets were made in. A part whose middle lies within the height of the
// first part of a row is in that row.
class ReadingOrderAccessible : public QAccessibleWidget
{
public:
    explicit ReadingOrderAccessible(QWidget *widget) : QAccessibleWidget(widget) {}

    QAccessibleInterface *child(int index) const override { return ordered().value(index); }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return ordered().indexOf(const_cast<QAccessibleInterface *>(child));
    }

private:
    QList<QAccessibleInterface *> ordered() const
    {
        QList<QAccessibleInterface *> parts;
        for (int i = 0; i < QAccessibleWidget::childCount(); ++i)
            parts << QAccessibleWidget::child(i);
        const auto middle = [](QAccessibleInterface *part) { return part->rect().center().y(); };
        std::stable_sort(parts.begin(), parts.end(),
                         [&](QAccessibleInterface *a, QAccessibleInterface *b) { return middle(a) < middle(b); });
        for (int first = 0; first < parts.size();) {
            const QRect row = parts.at(first)->rect();
            int end = first + 1;
            while (end < parts.size() && middle(parts.at(end)) <= row.bottom())
                ++end;
            std::stable_sort(parts.begin() + first, parts.begin() + end,
                             [](QAccessibleInterface *a, QAccessibleInterface *b) { return a->rect().x() < b->rect().x(); });
            first = end;
        }
        return parts;
    }
};

// The progress bar tells how far the update has come; nobody sets it.
// Qt's face for it offers the value to set, which the accessibility bus
// turns into Increase and Decrease actions: this one offers no value and
// no action, and gives the value as its text.
class ProgressAccessible : public QAccessibleWidget
{
public:
    explicit ProgressAccessible(QProgressBar *bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Value)
            return QAccessibleWidget::text(t);
        const auto *bar = static_cast<const QProgressBar *>(widget());
        const int span = bar->maximum() - bar->minimum();
        return QStringLiteral("%1 %").arg(span > 0 ? 100 * (bar->value() - bar->minimum()) / span : 0);
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

const QString kTitleName = QStringLiteral("titleText");
const QString kBannerName = QStringLiteral("bannerText");

QAccessibleInterface *windowFactory(const QString &className, QObject *object)
{
    if (object == nullptr || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("clicklabel"))
        return new ImageButtonAccessible(static_cast<clicklabel *>(object));
    if (className == QLatin1String("QLabel") && isTextPanel(object))
        return new QAccessibleWidget(widget, QAccessible::StaticText);
    if (className == QLatin1String("QLabel") && object->objectName() == kTitleName)
        return new QAccessibleWidget(widget, QAccessible::Heading);
    if (className == QLatin1String("QProgressBar"))
        return new ProgressAccessible(static_cast<QProgressBar *>(object));
    if (className == QLatin1String("QWidget") && object->objectName() == QLatin1String("centralWidget"))
        return new ReadingOrderAccessible(widget);
    return nullptr;
}

// A text the window's picture carries, where the picture draws it: a label
// that shows nothing itself (the picture does) and lets the mouse through,
// for screen readers.
void namePaintedText(QWidget *window, const QString &objectName, const QRect &at, const QString &text)
{
    auto *label = new QLabel(window);
    label->setObjectName(objectName);
    label->setGeometry(at);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setAccessibleName(text);
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
    // Where tools/assets/background.cpp draws them.
    namePaintedText(ui.centralWidget, kTitleName, QRect(10, 12, 568, 62),
                    QStringLiteral("%1 %2").arg(QLatin1String(painted::kName), QLatin1String(painted::kSubtitle)));
    namePaintedText(ui.centralWidget, kBannerName, QRect(10, 372, 495, 24), QLatin1String(painted::kBanner));
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
