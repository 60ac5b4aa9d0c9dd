// The updater's one window: it owns the log, the chosen firmware file and
// its two temporary images, the presence monitor and the update sequence.
#ifndef VIREON_APP_MAINWINDOW_H
#define VIREON_APP_MAINWINDOW_H

#include <QFile>
#include <QMainWindow>
#include <QPixmap>
#include <QString>

#include <hidapi/hidapi.h>

#include "update_offer.h"
#include "version.h"

#include <chrono>
#include <cstdint>
#include <memory>

class QCloseEvent;
class QDateTime;
class QFont;
class QThread;
class QTime;
class Worker;
class Worker2;

namespace Ui {
class MainWindow;
}
namespace vireon::app {
class FileChoice;
class StageLine;
class Presence;
class UpdateSequence;
} // namespace vireon::app

// The program's version, shown in the log banner and the version label.
constexpr double updaterVersion = VIREON_VERSION_NUMBER;

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

    // The log's time formats (the shared core's): an entry's time stamp
    // ("03:07:09pm") and the line written when the log is created.
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
    // wait for the surface the user is asked whether to stop the run there;
    // before the first stage, closing ends the run and the updater.
    void closeEvent(QCloseEvent *event) override;

private:
    friend struct MainWindowProbe; // the tests look at the window's state

    void answerCloseQuestion(bool stop);
    void showProgress();
    // Shows whether UPDATE is offered: its enabled state, focus policy,
    // picture and tooltip (which says why not, and is its description for
    // screen readers). Runs whenever one of the offer's facts changes.
    void showOffer();
    // The constructor's steps.
    void startWorkers();
    // The file choice, the presence tick and the update run, each given the
    // parts of the window it works on.
    void makeCollaborators();
    void connectImageButtons();
    void startPresenceTimer();
    void loadPictures();
    void applyFonts(const QFont &boldFont);

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
    // Whether UPDATE is offered; `updateEnabled` and `updatePressed` show its
    // answer to the button's slots.
    vireon::app::UpdateOffer offer;
    QThread *thread;
    QThread *thread2;
    Worker *worker;
    Worker2 *worker2;
    vireon::app::StageLine *stageLine = nullptr; // under the progress bar; a child of the window

    std::unique_ptr<vireon::app::FileChoice> files;
    std::unique_ptr<vireon::app::Presence> presence;
    std::unique_ptr<vireon::app::UpdateSequence> sequence;
};

#endif
