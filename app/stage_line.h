// The line under the progress bar that names where an update is: the rows
// of the image being programmed, the surface's restart, the wait for it to
// come back, then the result. The bar is only a clock; this line says what
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

    // "Image 1: row 120 of 391": `image`'s rows programmed so far, of the
    // rows its temporary image file holds (counted by beginImage).
    void beginImage(int image, const QString &imagePath);
    void showRows(int rowsDone);
    // "The surface is restarting (10 s)": the pause, in seconds left.
    void showRestarting(int secondsLeft);
    // "Waiting for the surface to come back (4 s)": seconds waited so far.
    void showWaiting(int secondsWaited);
    // The run's end: the log's outcome line (run_outcome.h); empty: the
    // idle text.
    void showResult(const QString &result);
    // The whole of the text shown: the label's text may end in "..." where
    // the line is too short for it.
    QString wholeText() const { return whole_; }

    // The texts, for the tests and for anyone who words the same thing.
    static QString rowsText(int image, int rowsDone, int rowsTotal);
    static QString restartingText(int secondsLeft);
    static QString waitingText(int secondsWaited);
    // Before the first run, and as a fresh run starts.
    static QString idleText();

signals:
    // Every new text, as it is shown.
    void shown(const QString &text);

private:
    void say(const QString &text);

    QString whole_;
    int image_ = 0;
    int rowsTotal_ = 0;
};

// The rows (lines beginning with ':') of an image file; 0 when it cannot be read.
int imageRowCount(const QString &imagePath);

} // namespace vireon::app

#endif
