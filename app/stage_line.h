// The line under the progress bar that names where an update is, in the
// update engine's words: the rows of the image being programmed, the
// surface's restart, the wait for it to come back, then the result; before a
// run, what the user does next. The bar is only a clock; this line says what
// the surface is doing. A screen reader reads it as the label's name.
#ifndef VIREON_APP_STAGE_LINE_H
#define VIREON_APP_STAGE_LINE_H

#include <QLabel>
#include <QString>

namespace vireon::app {

class StageLine : public QLabel
{
    Q_OBJECT

public:
    // Placed in the free band under the progress bar of `parent`, two lines
    // tall: a sentence too long for one goes on in the second, whole.
    explicit StageLine(QWidget *parent);

    // What the update engine says of the run: its rows, the restart, the
    // wait for the surface.
    void showLine(const QString &text);
    // The run's end: the log's outcome line, which stays until the next
    // choice of a file or the next run; empty: the next step again.
    void showResult(const QString &result);
    // Before a run, the next step; not while a result stands.
    void showIdle(const QString &text);
    // The whole of the text shown: the label's text may end in "..." where
    // the line is too short for it.
    QString wholeText() const { return whole_; }

signals:
    // Every new text, as it is shown.
    void shown(const QString &text);

private:
    void say(const QString &text);

    QString whole_;
    QString idle_;        // the next step, as the window last told it
    bool result_ = false; // a run's result stands
};

} // namespace vireon::app

#endif
