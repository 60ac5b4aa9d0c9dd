// A label that reports mouse presses and releases as signals. The window's
// two image buttons are made of it; each connects the pair it needs.
#ifndef VIREON_APP_CLICKLABEL_H
#define VIREON_APP_CLICKLABEL_H

#include <QLabel>

class QMouseEvent;

class clicklabel : public QLabel
{
    Q_OBJECT

public:
    explicit clicklabel(QWidget *parent = nullptr);

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
};

#endif
