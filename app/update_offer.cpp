#include "update_offer.h"

#include <QCoreApplication>
#include <QStringList>

namespace vireon::app {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}
} // namespace

void UpdateOffer::change(bool &fact, bool value)
{
    if (fact == value)
        return;
    fact = value;
    if (!running_)
        failed_ = false; // the failed run's picture lasts until the next news
    notify();
}

void UpdateOffer::notify()
{
    if (!offered())
        pressed_ = false;
    if (changed_)
        changed_();
}

void UpdateOffer::setSurfacePresent(bool present)
{
    change(present_, present);
}

void UpdateOffer::setFileChosen(bool chosen)
{
    change(fileChosen_, chosen);
}

void UpdateOffer::setRunning(bool running)
{
    if (running_ == running)
        return;
    running_ = running;
    if (running)
        failed_ = false; // a new run starts without the last one's failure
    notify();
}

void UpdateOffer::setRunFailed()
{
    if (!running_ || failed_)
        return;
    failed_ = true;
    notify();
}

void UpdateOffer::setPressed(bool pressed)
{
    if (pressed_ == pressed || (pressed && !offered()))
        return;
    pressed_ = pressed;
    notify();
}

QString UpdateOffer::whyNot() const
{
    QStringList why;
    if (running_) {
        why << tr("an update is running");
    } else {
        if (!present_)
            why << tr("no surface connected");
        if (!fileChosen_)
            why << tr("no file chosen");
    }
    return why.join(QStringLiteral(", "));
}

QString UpdateOffer::toolTip() const
{
    const QString what = tr("Program the chosen firmware file into the surface.");
    const QString why = whyNot();
    return why.isEmpty() ? what : what + tr("\nNot offered now: %1.").arg(why);
}

UpdateOffer::Picture UpdateOffer::picture() const
{
    if (offered())
        return pressed_ ? Picture::Down : Picture::Up;
    if (failed_)
        return Picture::Failed;
    return running_ ? Picture::Up : Picture::Faded;
}

const char *UpdateOffer::pictureName(Picture picture)
{
    static const char *const names[] = {"updateWhiteDisabled", "updateGreenUp", "updateGreenDown", "updateRedUp"};
    return names[static_cast<int>(picture)];
}

} // namespace vireon::app
