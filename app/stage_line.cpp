#include "stage_line.h"

#include <QPalette>
#include <QFontMetrics>

namespace vireon::app {

namespace {
// The band between the progress bar and the footer's rule: two lines of
// the line's own size.
const QRect kBand(10, 323, 558, 34);
// Light on the window's dark blue ground.
const QColor kText(214, 226, 255);
// The line's size, and the smallest it is set in to keep a long sentence
// whole in the band.
constexpr int kPointSize = 10;
constexpr int kLeastPointSize = 8;

// Whether `text`, word-wrapped in `font`, fits a label of `size`.
bool fitsBand(const QFont &font, const QString &text, const QSize &size)
{
    const QRect room(0, 0, size.width(), size.height() * 4);
    return QFontMetrics(font).boundingRect(room, Qt::TextWordWrap, text).height() <= size.height();
}
} // namespace

StageLine::StageLine(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("stageLine"));
    setGeometry(kBand);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWordWrap(true);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, kText);
    setPalette(colours);
    QFont font = this->font();
    font.setPointSize(kPointSize);
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
    // A sentence longer than the line goes on in a second line; one that
    // needs more than the band's two lines is set smaller, down to the least
    // size. Only past that does it end in "...", with the whole of it the
    // tooltip and what a screen reader reads. The name first: a label with a
    // name of its own announces no change of its text.
    QFont font = this->font();
    for (int points = kPointSize; points >= kLeastPointSize; --points) {
        font.setPointSize(points);
        if (fitsBand(font, text, size()))
            break;
    }
    setFont(font);
    QString fits = text;
    if (!fitsBand(font, text, size())) {
        const QFontMetrics metrics(font);
        fits = metrics.elidedText(text, Qt::ElideRight, width() * (height() / metrics.lineSpacing()) - width() / 4);
    }
    const QString whole = fits == text ? QString() : text;
    setAccessibleName(whole);
    setToolTip(whole);
    setText(fits);
    emit shown(text);
}

} // namespace vireon::app
