// The updater's one window: it owns the log, the chosen firmware file and
// its two temporary images, the presence monitor and the update sequence.
#ifndef VIREON_APP_MAINWINDOW_H
#define VIREON_APP_MAINWINDOW_H

#include <QFile>
#include <QMainWindow>
#include <QPixmap>
#include <QString>

#include <hidapi/hidapi.h>

#include <cstdint>
#include <memory>

class QDateTime;
class QTime;

namespace Ui {
class MainWindow;
}

// The program's version, shown in the log banner and the version label.
constexpr double updaterVersion = 0.12;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
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

private:
    friend struct MainWindowProbe; // the tests look at the window's state

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
    // The two programming workers and their threads (thread, thread2,
    // worker, worker2) follow here with the update sequence.
};

#endif
