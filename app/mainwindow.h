// The updater's one window: it owns the log, the chosen firmware file and
// its two temporary images, the presence monitor and the update sequence.
#ifndef VIREON_APP_MAINWINDOW_H
#define VIREON_APP_MAINWINDOW_H

#include <QFile>
#include <QMainWindow>
#include <QPixmap>
#include <QString>

#include <hidapi/hidapi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

class QCloseEvent;
class QDateTime;
class QThread;
class QTime;
class QTimer;
class Worker;
class Worker2;

namespace Ui {
class MainWindow;
}

// The program's version, shown in the log banner and the version label.
constexpr double updaterVersion = 0.12;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // How long the update waits for the surface to come back after its
    // first stage restarted it.
    static constexpr std::chrono::milliseconds kDeviceReturnLimit{60000};

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void incprogbar();
    void createLog();
    void writeToLog(QString message, hid_device *device = nullptr);
    void splitFile();
    int programfile2();
    int doHID();

    // The log's time formats: an entry's time stamp ("03:07:09pm") and the
    // line written when the log is created.
    static QString logTimeStamp(const QTime &time);
    static QString logCreationLine(const QDateTime &when);

public slots:
    void update500ms();
    void update1s();

private slots:
    void on_browseFileButton_clicked();
    void on_updateButton_clicked();
    void slotClickPressUpdate();
    void slotClickReleaseUpdate();
    void slotClickPressBrowseFile();
    void slotClickReleaseBrowseFile();

protected:
    // While a worker programs, closing is refused; during the pause or the
    // wait for the surface, closing ends the run and the updater.
    void closeEvent(QCloseEvent *event) override;

private:
    friend struct MainWindowProbe; // the tests look at the window's state

    // Where an update run is. Also published as the window's dynamic
    // property "updateStage" (idle, starting, first stage, pause, wait,
    // second stage, ending), which the demo's walk-through follows.
    enum class Stage { Idle, Starting, FirstStage, Pause, Wait, SecondStage, Ending };
    void setStage(Stage next);

    // No usable file is chosen, or it was just refused: UPDATE is not
    // offered until another choice succeeds.
    void forgetChosenFile();
    // Each temporary image must read back as one well-formed image before
    // the file counts as chosen; firstLineN is the chosen file's line that
    // begins image N, for the message.
    bool checkTemporaryImages(int firstLine1, int firstLine2);
    // The image buttons' tooltips say what they do and why UPDATE is not
    // offered.
    void updateToolTips();

    // Sleeps in the event loop until at least one event has been handled:
    // a tick, a repaint, a box, or a worker's end (each worker's finished()
    // is also queued to this window, which wakes the loop at once).
    void waitForEvents();
    // Waits while a worker's run goes on, holding the progress at `ceiling`;
    // the first pass logs `firstPass`.
    void waitWhileBusy(const std::atomic<bool> &busy, const QString &firstPass, int ceiling);
    // The progress bar is held at `ceiling` while the run waits.
    void holdProgressAt(int ceiling);
    void showProgress();
    void stopProgressTimer();
    // The reset at retries and failure ends: not updating, bar at 0 and
    // off, browsing on again.
    void runReset();
    void deleteTemporaryFiles();
    // Shows the empty file panel: no file is chosen.
    void clearFileName();
    // The end of every run that got past its first stage (success, a failed
    // second stage, a surface that did not come back).
    void endOfRun();
    // The surface did not come back after the first stage.
    void giveUpWaitingForSurface();
    // The window was closed before the first stage, during the pause or
    // during the wait: nothing is being programmed, the run just ends.
    void endClosedRun();

    std::unique_ptr<char[]> selectedFilePath; // null: no usable file chosen
    bool writingFirstImage = false;
    bool writingSecondImage = false;
    bool updating = false;
    int connectedFlag = 0;
    int progressCount = 0;
    int programAttempts = 0;
    int secondFileAttempts = 0;
    int waitCount = 0;
    QString fileName;
    QString statusString;
    QFile tempFile1;
    QFile tempFile2;
    QPixmap browseDown;
    QPixmap browseUp;
    QPixmap browseDisabled;
    QPixmap updateWhiteDisabled;
    QPixmap updateGreenUp;
    QPixmap updateGreenDown;
    QPixmap updateRedUp;
    bool updateEnabled = false;
    bool updatePressed = false;
    uint16_t vendorId = 0;  // set at every presence check
    uint16_t productId = 0;
    Ui::MainWindow *ui;
    QThread *thread;
    QThread *thread2;
    Worker *worker;
    Worker2 *worker2;

    // The run's 1 s progress timer, made by a run's first attempt.
    QTimer *progressTimer = nullptr;
    // The ceiling of the stage the run is in; 0 outside a run.
    int progressCeiling = 0;
    Stage stage = Stage::Idle;
    bool closeRequested = false;
    std::chrono::milliseconds deviceReturnLimit = kDeviceReturnLimit;
};

#endif
