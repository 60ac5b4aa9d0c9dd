// A label that reports mouse presses and releases as signals. The window's
// two image buttons are made of it; each connects the pair it needs. The
// keyboard (Space, Return, Enter) and the accessibility press action reach
// the same signals, so every way of pressing behaves as the mouse does.
#ifndef VIREON_APP_CLICKLABEL_H
#define VIREON_APP_CLICKLABEL_H

#include <QLabel>

class QFocusEvent;
class QKeyEvent;
class QMouseEvent;
class QPaintEvent;

class clicklabel : public QLabel
{
    Q_OBJECT

public:
    explicit clicklabel(QWidget *parent = nullptr);

    // A whole click, press then release, as the mouse sends it; nothing
    // while the label is disabled, as the mouse gets nothing then either.
    void click();

signals:
    void clickPressBrowseFile();
    void clickReleaseBrowseFile();
    void clickPressUpdate();
    void clickReleaseUpdate();

protected:
    // Any mouse button, anywhere: the label that took the press also gets
    // the release, even outside it. The event is not passed on.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    // Space presses on its key press and releases on its key release, as a
    // push button does; Return and Enter click at once. Other keys go on
    // to the window.
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    // Losing the focus with Space held is a release elsewhere, as a mouse
    // release outside the label is: the click happens.
    void focusOutEvent(QFocusEvent *event) override;
    // The picture, and around it the focus mark while the label has the
    // keyboard focus.
    void paintEvent(QPaintEvent *event) override;
    // A new tooltip is a new accessible description: screen readers are told.
    bool event(QEvent *event) override;

private:
    void press();
    void release();

    bool spaceDown_ = false;
};

#endif
