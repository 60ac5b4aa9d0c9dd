// Whether UPDATE is offered, decided in one place from the facts that
// decide it: a surface on the bus, a usable file chosen, a run going, the
// last run failed, the button held down. Every part of the window that
// learns a fact tells it here; the window shows the answer (enabled state,
// picture, tooltip and so the screen reader's description) each time a
// fact changes.
#ifndef VIREON_APP_UPDATE_OFFER_H
#define VIREON_APP_UPDATE_OFFER_H

#include <QString>

#include <functional>

namespace vireon::app {

class UpdateOffer
{
public:
    // The UPDATE pictures: faded (not offered), up (offered, or a run goes
    // on), down (held down), failed (the last run failed).
    enum class Picture { Faded, Up, Down, Failed };

    // `changed` runs after every change of a fact.
    explicit UpdateOffer(std::function<void()> changed = {}) : changed_(std::move(changed)) {}

    // The last presence check saw a surface.
    void setSurfacePresent(bool present);
    // A usable file is chosen.
    void setFileChosen(bool chosen);
    // An update run holds the window, from its start to its end, retries
    // included.
    void setRunning(bool running);
    // The run that goes on has failed. Its picture stays after the run until
    // the next fact changes.
    void setRunFailed();
    // UPDATE is held down (mouse or Space); a press ends when UPDATE stops
    // being offered.
    void setPressed(bool pressed);

    bool offered() const { return present_ && fileChosen_ && !running_; }
    bool present() const { return present_; }
    bool running() const { return running_; }
    bool pressed() const { return pressed_; }
    // Why UPDATE is not offered, as the tooltip says it ("no surface
    // connected, no file chosen"); empty while it is offered.
    QString whyNot() const;
    // What UPDATE does and, when it is not offered, why.
    QString toolTip() const;
    Picture picture() const;
    // The picture's name in the window's debug trace ("updateGreenUp").
    static const char *pictureName(Picture picture);

private:
    // Sets `fact` and tells of the change; a change after a run clears its
    // failed picture.
    void change(bool &fact, bool value);
    void notify();

    bool present_ = false;
    bool fileChosen_ = false;
    bool running_ = false;
    bool failed_ = false;
    bool pressed_ = false;
    std::function<void()> changed_;
};

} // namespace vireon::app

#endif
