// Plays a whole update as a user would: chooses the example file in the
// window's dialog, presses UPDATE once it is offered and answers every box
// with OK. The window publishes its run's stage as the property
// "updateStage"; each stage is timed and pictured as it begins. At the end
// it prints the log and the figures and exits 0 only when the update
// succeeded.
#ifndef VIREON_DEMO_WALKTHROUGH_H
#define VIREON_DEMO_WALKTHROUGH_H

#include "modal_answerer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <vector>

class MainWindow;

namespace vireon::sim {
class Surface;
}

namespace vireon::demo {

class Walkthrough : public QObject
{
public:
    // Pictures go to `dir`; `latency` is the surface's time per report.
    Walkthrough(MainWindow &window, vireon::sim::Surface &surface, const QString &dir,
                std::chrono::microseconds latency);

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    struct Mark {
        QString stage;
        qint64 ns;
        int reports;
    };

    void stageBegins(const QString &stage);
    void boxSeen(QWidget *modal);
    void save(const QString &name);
    void pressUpdateWhenOffered();
    double msBetween(const char *from, const char *to, int *reports) const;
    void printFigures(double wallMs) const;
    void finish();

    MainWindow &window_;
    vireon::sim::Surface &surface_;
    const QString dir_;
    const std::chrono::microseconds latency_;
    ModalAnswerer answerer_;
    QTimer poll_;
    QElapsedTimer clock_;
    std::vector<Mark> marks_;
    double cpuMs_ = 0, picturesCpuMs_ = 0;
    bool pressed_ = false, successSeen_ = false, picturesOk_ = true, finished_ = false;
    int pictures_ = 0;
};

} // namespace vireon::demo

#endif
