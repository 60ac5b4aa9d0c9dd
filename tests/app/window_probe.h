// The window's friend in the tests, on the simulated bus and on the real
// USB stack alike: what the tests look at and change inside MainWindow.
#pragma once

#include <QPixmap>
#include <QThread>
#include <QTimer>

#include <chrono>

#include "file_choice.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "update_sequence.h"
#include "worker2.h"

struct MainWindowProbe {
    MainWindow &w;
    Ui::MainWindow &ui() const { return *w.ui; }
    const char *selectedFilePath() const { return w.selectedFilePath.get(); }
    bool updating() const { return w.updating; }
    // As a run's start and end set it.
    void setRunning(bool running) const
    {
        w.updating = running;
        w.offer.setRunning(running);
    }
    int &progressCount() const { return w.progressCount; }
    int connectedFlag() const { return w.connectedFlag; }
    bool updateEnabled() const { return w.updateEnabled; }
    bool updatePressed() const { return w.updatePressed; }
    const QString &statusString() const { return w.statusString; }
    vireon::core::TrustLocations &trustLocations() const { return w.files->trustLocations; }
    std::chrono::milliseconds &deviceReturnLimit() const { return w.sequence->deviceReturnLimit(); }
    const QPixmap &browseUp() const { return w.browseUp; }
    const QPixmap &browseDown() const { return w.browseDown; }
    const QPixmap &browseDisabled() const { return w.browseDisabled; }
    const QPixmap &updateWhiteDisabled() const { return w.updateWhiteDisabled; }
    const QPixmap &updateGreenUp() const { return w.updateGreenUp; }
    const QPixmap &updateGreenDown() const { return w.updateGreenDown; }
    const QPixmap &updateRedUp() const { return w.updateRedUp; }
    void doHID() const { w.doHID(); }
    void writeToLog(const QString &text) const { w.writeToLog(text); }
    QTimer *presenceTimer() const { return w.findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly); }
    QThread *thread(int n) const { return n == 1 ? w.thread : w.thread2; }
    // No run goes on: the window is back to idle and both threads ended.
    bool idle() const { return w.property("updateStage").toString() == "idle" && w.thread->wait(60000) && w.thread2->wait(60000); }
    // A second-stage worker that gives up on opens sooner, wired as the
    // window wires its own.
    void useWorker2(std::chrono::milliseconds openLimit) const
    {
        delete w.worker2;
        w.worker2 = new Worker2(nullptr, openLimit);
        w.worker2->moveToThread(w.thread2);
        QObject::connect(w.worker2, SIGNAL(workRequested()), w.thread2, SLOT(start()));
        QObject::connect(w.thread2, SIGNAL(started()), w.worker2, SLOT(doWork()));
        QObject::connect(w.worker2, SIGNAL(finished()), w.thread2, SLOT(quit()), Qt::DirectConnection);
        QObject::connect(w.worker2, &Worker2::finished, &w, [] {}, Qt::QueuedConnection);
    }
};
