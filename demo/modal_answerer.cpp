#include "modal_answerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace vireon::demo {

bool answerFileDialog(QWidget *modal, const QString &file)
{
    auto *field = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (field == nullptr)
        return false;
    if (!file.isEmpty())
        field->setText(file);
    QMetaObject::invokeMethod(modal, file.isEmpty() ? "reject" : "accept");
    return true;
}

ModalAnswerer::ModalAnswerer(std::function<QString()> nextFile, std::function<void(QWidget *)> seen,
                             std::chrono::milliseconds period)
    : nextFile_(std::move(nextFile)), seen_(std::move(seen))
{
    connect(&poll_, &QTimer::timeout, this, [this]() { poll(); });
    poll_.start(static_cast<int>(period.count()));
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal == current_ && open_.elapsed() > 60000)
        QMetaObject::invokeMethod(modal, "reject");
    if (modal == nullptr || modal == current_.data())
        return;
    auto *box = qobject_cast<QMessageBox *>(modal);
    if (box == nullptr && modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) == nullptr)
        return; // a dialog still being built
    current_ = modal;
    open_.start();
    if (seen_)
        seen_(modal);
    if (!modal->isVisible() || modal->property(kLeaveOpen).toBool())
        return; // `seen` answered it, or leaves it open as a user who ignores it
    if (box != nullptr) {
        // OK where the box has one, else its default answer.
        QAbstractButton *answer = box->button(QMessageBox::Ok);
        if (answer == nullptr)
            answer = box->defaultButton();
        if (answer != nullptr)
            answer->click();
        else
            QMetaObject::invokeMethod(box, "reject");
    } else
        answerFileDialog(modal, nextFile_ ? nextFile_() : QString());
}

} // namespace vireon::demo
