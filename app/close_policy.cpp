#include "close_policy.h"

#include <QMessageBox>

namespace vireon::app {

CloseAnswer answerClose(RunStage stage)
{
    switch (stage) {
    case RunStage::FirstStage:
    case RunStage::SecondStage:
        return CloseAnswer::Refuse;
    case RunStage::Starting:
    case RunStage::Pause:
    case RunStage::Wait:
        return CloseAnswer::EndRun;
    case RunStage::Idle:
    case RunStage::Ending:
        break;
    }
    return CloseAnswer::Close;
}

void showCloseRefused(QWidget *window)
{
    QMessageBox::information(window, QStringLiteral("Vireon Surface Bootloader"),
                             QStringLiteral("An update is running.\nPlease wait until it has finished "
                                            "before closing the updater."));
}

} // namespace vireon::app
