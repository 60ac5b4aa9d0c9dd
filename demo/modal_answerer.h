// Answers the application's modal dialogs and boxes as a user would, for the
// window tests and the demo's walk-through: a file dialog is given a file
// name and accepted (an empty name cancels it), a message box is closed
// with OK, or with its default button when it has no OK.
#ifndef VIREON_DEMO_MODAL_ANSWERER_H
#define VIREON_DEMO_MODAL_ANSWERER_H

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>

namespace vireon::demo {

// Types `file` into the open file dialog `modal` and accepts it, or
// cancels it when `file` is empty. False when `modal` shows no file name
// field (yet): try again later.
bool answerFileDialog(QWidget *modal, const QString &file);

// A modal given this property (true) by `seen` is left open.
constexpr const char *kLeaveOpen = "vireonLeaveOpen";

// Polls for the active modal widget and answers each one once as it opens.
// One still open after a minute is cancelled, so nothing hangs on it.
class ModalAnswerer : public QObject
{
public:
    // `nextFile` names the file for each file dialog; `seen` is shown every
    // modal before it is answered.
    explicit ModalAnswerer(std::function<QString()> nextFile, std::function<void(QWidget *)> seen = {},
                           std::chrono::milliseconds period = std::chrono::milliseconds(10));

private:
    void poll();

    std::function<QString()> nextFile_;
    std::function<void(QWidget *)> seen_;
    QTimer poll_;
    QPointer<QWidget> current_; // a box that is gone may leave its address to the next
    QElapsedTimer open_;
};

} // namespace vireon::demo

#endif
