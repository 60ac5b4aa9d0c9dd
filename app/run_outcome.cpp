#include "run_outcome.h"

#include "mainwindow.h"
#include "surface_access.h"
#include "timing.h"
#include "wording.h"

namespace vireon::app {

engine::Policy windowPolicy()
{
    engine::Policy policy;
    policy.firstOfSeveral = true; // the first listed, as an open by the USB ids takes
    // A surface that is restarting as UPDATE is pressed is waited for.
    policy.surfaceWait = policy.openSettle;
    policy.pause = core::kRestartPause;
    policy.restartAllowance = core::restartAllowance();
    policy.returnLimit = MainWindow::kDeviceReturnLimit;
    policy.firstStageOpenRetries = core::kLastRetry + 1;
    policy.secondStageRetries = core::kLastRetry + 1;
    engine::Wording &w = policy.wording;
    w.runAgain = w.commandAgain = "run the update again";
    w.plugIn = w.noSurface = "plug the surface in and run the update again";
    w.chooseOne = "unplug all but one surface and run the update again";
    w.permission = core::permissionFix().toStdString();
    w.imageChanged = "leave vireonTemp1.txt and vireonTemp2.txt alone while the update runs, then choose the file again";
    return policy;
}

QString boxReason(const engine::Outcome &outcome)
{
    QString reason = QString::fromStdString(outcome.message);
    if (!outcome.fix.empty())
        reason += QLatin1Char('\n') + QString::fromStdString(engine::asSentence(outcome.fix));
    return reason;
}

QString notStartedBox(const engine::Outcome &outcome)
{
    if (outcome.ending == engine::Ending::Busy)
        return QStringLiteral("%1\nOnly one updater can update a surface at a time. Wait until that update has "
                              "finished, then press UPDATE again.")
            .arg(QString::fromStdString(outcome.message));
    if (outcome.ending == engine::Ending::NoLock)
        return boxReason(outcome);
    return QStringLiteral("%1\nConnect the Vireon Surface, then press UPDATE again.")
        .arg(QString::fromStdString(outcome.message));
}

QString firstStageBox(const engine::Outcome &outcome)
{
    if (outcome.ending == engine::Ending::NotRestarted)
        return QStringLiteral("The Vireon Surface did not restart after its first update stage.\n"
                              "Unplug it, plug it back in and run the update again.");
    return QStringLiteral("Firmware update 1 failed.\nPlease restart the application and try again.");
}

QString betweenStagesBox(const engine::Outcome &outcome)
{
    if (outcome.ending == engine::Ending::NotRestarted)
        return firstStageBox(outcome);
    return QStringLiteral("The Vireon Surface did not come back after its first update stage.\n"
                          "Unplug it, plug it back in and run the update again.");
}

bool loggedByWindow(const engine::Note &note)
{
    return note.kind == engine::Note::Kind::Retry || note.kind == engine::Note::Kind::StayedOn;
}

} // namespace vireon::app
