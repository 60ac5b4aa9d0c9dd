#include "stage_line.h"

#include <QPalette>
#include <QFontMetrics>

namespace vireon::app {

namespace {
// The band between the progress bar and the footer's rule.
const QRect kBand(10, 324, 558, 20);
// Light on the window's dark blue ground.
const QColor kText(214, 226, 255);
} // namespace

StageLine::StageLine(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("stageLine"));
    setGeometry(kBand);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, kText);
    setPalette(colours);
    QFont font = this->font();
    font.setPointSize(10);
    setFont(font);
    // Its name is its text, so that a screen reader hears each new stage as
    // it is shown; before a run it says what to do next.
    setAccessibleDescription(tr("Where the update is"));
}

void StageLine::showLine(const QString &text)
{
    result_ = false;
    say(text);
}

void StageLine::showResult(const QString &result)
{
    result_ = !result.isEmpty();
    say(result_ ? result : idle_);
}

void StageLine::showIdle(const QString &text)
{
    idle_ = text;
    if (!result_)
        say(text);
}

void StageLine::say(const QString &text)
{
    if (text == whole_)
        return;
    whole_ = text;
    // A sentence longer than the line ends in "...": the whole of it is the
    // tooltip and what a screen reader reads. The name first: a label with
    // a name of its own announces no change of its text.
    const QString fits = fontMetrics().elidedText(text, Qt::ElideRight, width());
    const QString whole = fits == text ? QString() : text;
    setAccessibleName(whole);
    setToolTip(whole);
    setText(fits);
    emit shown(text);
}

} // namespace vireon::app
