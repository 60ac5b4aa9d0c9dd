#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "imagecheck.h"
#include "worker.h"
#include "worker2.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QStringList>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

const QString kLogFileName = QStringLiteral("log.txt");
const QString kBoxTitle = QStringLiteral("Vireon Surface Bootloader");
const QString kElements = QStringLiteral(":/new/prefix1/Vireon_Update_Elements/");
const QString kBlueWindow = QStringLiteral(":/new/prefix1/Vireon_Update_Elements/Blue Window.png");
const QColor kPanelText(39, 46, 94, 255);

// The window's labels were laid out for a narrower typeface than the one we
// ship: a text that would be cut off at its size is narrowed until it fits.
void narrowToFit(QWidget *widget, const QString &text, int width)
{
    QFont font = widget->font();
    const int natural = QFontMetrics(font).horizontalAdvance(text);
    if (natural <= width || natural <= 0)
        return;
    font.setStretch(qMax(50, 100 * width / natural));
    widget->setFont(font);
}

QPixmap element(const QString &file, const QSize &size)
{
    return QPixmap(kElements + file).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), thread(nullptr), thread2(nullptr), worker(nullptr),
      worker2(nullptr)
{
    qDebug() << QCoreApplication::applicationDirPath();
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("vireon.control"));

    std::printf("vireon.control %s\n", qPrintable(QString::number(updaterVersion)));
    std::printf("Copyright (C) 2026 the vireon.control developers\n");
    std::fflush(stdout);

    createLog();
    setWindowIcon(QIcon(kElements + QStringLiteral("Orbel_Icon.ico")));
    writeToLog(QStringLiteral("*** Updater Started: %1\n")
                   .arg(QDateTime::currentDateTime().toString(QStringLiteral("ddd MMMM d"))));
    writeToLog(QStringLiteral("*** Version: %1\n").arg(updaterVersion));

    // Each requestWork() gives one run on the worker's own thread, which
    // ends with the run.
    thread = new QThread;
    worker = new Worker;
    worker->moveToThread(thread);
    thread2 = new QThread;
    worker2 = new Worker2;
    worker2->moveToThread(thread2);
    connect(worker, SIGNAL(workRequested()), thread, SLOT(start()));
    connect(worker2, SIGNAL(workRequested()), thread2, SLOT(start()));
    connect(thread, SIGNAL(started()), worker, SLOT(doWork()));
    connect(thread2, SIGNAL(started()), worker2, SLOT(doWork()));
    connect(worker, SIGNAL(finished()), thread, SLOT(quit()), Qt::DirectConnection);
    connect(worker2, SIGNAL(finished()), thread2, SLOT(quit()), Qt::DirectConnection);
    // A run's end also reaches this thread as a posted event, which wakes
    // the update sequence's waits at once.
    connect(worker, &Worker::finished, this, [] {}, Qt::QueuedConnection);
    connect(worker2, &Worker2::finished, this, [] {}, Qt::QueuedConnection);

    connect(ui->browseFileLabel, &clicklabel::clickPressBrowseFile, this, &MainWindow::slotClickPressBrowseFile);
    connect(ui->browseFileLabel, &clicklabel::clickReleaseBrowseFile, this, &MainWindow::slotClickReleaseBrowseFile);
    connect(ui->updateLabel, &clicklabel::clickPressUpdate, this, &MainWindow::slotClickPressUpdate);
    connect(ui->updateLabel, &clicklabel::clickReleaseUpdate, this, &MainWindow::slotClickReleaseUpdate);

    selectedFilePath.reset();
    progressCount = 0;
    programAttempts = 0;
    secondFileAttempts = 0;
    waitCount = 0;
    connectedFlag = 0;
    updating = false;
    writingFirstImage = false;
    writingSecondImage = false;

    QTimer *presenceTimer = new QTimer(this);
    connect(presenceTimer, &QTimer::timeout, this, &MainWindow::update500ms);
    presenceTimer->start(500);

    // Both font files are registered under one family; a bold font of it
    // takes the bold file and a plain one the regular file.
    QFont boldFont;
    const int boldId = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Vireon_Update_Elements/EurostileT-Bold.ttf"));
    const QStringList families = boldId >= 0 ? QFontDatabase::applicationFontFamilies(boldId) : QStringList();
    if (!families.isEmpty())
        boldFont = QFont(families.first());
    else
        qDebug() << "The bold font could not be registered; the window uses the default font";
    boldFont.setStyleStrategy(QFont::PreferAntialias);
    const int regularId =
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Vireon_Update_Elements/EurostileT-Regu.ttf"));
    if (regularId < 0)
        qDebug() << "The regular font could not be registered; the window uses the default font";
    qDebug() << "Font ids:" << boldId << regularId;

    QPalette windowPalette = palette();
    windowPalette.setBrush(QPalette::Window, element(QStringLiteral("VIREON_BACKGROUND.png"), size()));
    setPalette(windowPalette);

    const QPixmap fileBlue = element(QStringLiteral("Blue Window.png"), ui->fileNameLabel->size());
    ui->fileNameLabel->setPixmap(fileBlue);

    browseUp = element(QStringLiteral("Solid Up Dot.png"), ui->browseFileLabel->size());
    browseDown = element(QStringLiteral("Solid Down Dot.png"), ui->browseFileLabel->size());
    browseDisabled = element(QStringLiteral("Faded Up Dot.png"), ui->browseFileLabel->size());
    ui->browseFileLabel->setEnabled(true);
    ui->browseFileLabel->setPixmap(browseUp);

    updateWhiteDisabled = element(QStringLiteral("Faded Up UPDATE White.png"), ui->updateLabel->size());
    updateGreenUp = element(QStringLiteral("Solid Up UPDATE Green.png"), ui->updateLabel->size());
    updateGreenDown = element(QStringLiteral("Solid Down UPDATE Green.png"), ui->updateLabel->size());
    updateRedUp = element(QStringLiteral("Solid Up UPDATE Red.png"), ui->updateLabel->size());
    ui->updateLabel->setEnabled(false);
    updateEnabled = false;
    ui->updateLabel->setPixmap(updateWhiteDisabled);
    updatePressed = false;

    ui->statusLabel->setPixmap(fileBlue.scaled(ui->statusLabel->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    ui->statusLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    QFont font = boldFont;
    font.setPointSize(16);
    font.setBold(true);
    ui->statusText->setFont(font);
    ui->label_2->setFont(font);
    ui->progressText->setFont(font);
    ui->statusLabel->setFont(font);
    font.setPointSize(10);
    ui->fileNameLabel->setFont(font);
    font.setPointSize(7);
    font.setBold(false);
    ui->versionLabel->setFont(font);

    ui->versionLabel->setText(QStringLiteral("v%1").arg(updaterVersion));
    for (QLabel *label : {ui->statusText, ui->label_2, ui->progressText})
        narrowToFit(label, label->text(), label->width());
    narrowToFit(ui->statusLabel, QStringLiteral("DISCONNECTED"), ui->statusLabel->width() - 16);
    updateToolTips();
    setStage(Stage::Idle);
}

MainWindow::~MainWindow()
{
    worker->abort();
    worker2->abort();
    thread->wait();
    thread2->wait();
    deleteTemporaryFiles();
    delete thread;
    delete thread2;
    delete worker;
    delete worker2;
    writeToLog(QStringLiteral("*** Updater Closed ***\n"));
    delete ui;
}

QString MainWindow::logTimeStamp(const QTime &time)
{
    return time.toString(QStringLiteral("hh:mm:ssap"));
}

QString MainWindow::logCreationLine(const QDateTime &when)
{
    return QStringLiteral("Log Created: ") + when.toString(QStringLiteral("ddd MMMM d h:mm:ssap")) +
           QStringLiteral("\n");
}

void MainWindow::createLog()
{
    if (QFile::exists(kLogFileName))
        return;
    QFile log(kLogFileName);
    if (log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        QTextStream out(&log);
        out << logCreationLine(QDateTime::currentDateTime());
        out.flush();
        log.close();
        return;
    }
    qDebug() << "log file error\n";
    QMessageBox::information(this, kBoxTitle, QStringLiteral("Error creating log file.\nPlease click to proceed."));
}

void MainWindow::writeToLog(QString message, hid_device *device)
{
    QFile log(kLogFileName);
    if (!log.open(QIODevice::Append | QIODevice::WriteOnly | QIODevice::Text)) {
        qDebug() << "log file error";
        return;
    }
    QTextStream out(&log);
    out << logTimeStamp(QTime::currentTime()) << " Main Thread: " << message;
    if (device != nullptr)
        out << static_cast<const void *>(device) << Qt::endl;
    out.flush();
    log.close();
}

void MainWindow::update500ms()
{
    doHID();
}

void MainWindow::update1s()
{
    incprogbar();
}

void MainWindow::incprogbar()
{
    ++progressCount;
    // A tick that comes while the run waits behind a box is held as well.
    if (progressCeiling > 0 && progressCount > progressCeiling)
        progressCount = progressCeiling;
    showProgress();
}

void MainWindow::slotClickPressBrowseFile()
{
    if (ui->browseFileLabel->isEnabled())
        ui->browseFileLabel->setPixmap(browseDown);
}

void MainWindow::slotClickReleaseBrowseFile()
{
    if (!ui->browseFileLabel->isEnabled())
        return;
    ui->browseFileLabel->setPixmap(browseUp);
    on_browseFileButton_clicked();
}

void MainWindow::slotClickPressUpdate()
{
    if (!updateEnabled)
        return;
    ui->updateLabel->setPixmap(updateGreenDown);
    updatePressed = true;
}

void MainWindow::slotClickReleaseUpdate()
{
    if (!updateEnabled)
        return;
    ui->updateLabel->setPixmap(updateGreenUp);
    updatePressed = false;
    on_updateButton_clicked();
}

void MainWindow::setStage(Stage next)
{
    static const char *const names[] = {"idle", "starting", "first stage", "pause", "wait", "second stage", "ending"};
    stage = next;
    setProperty("updateStage", QString::fromLatin1(names[static_cast<int>(next)]));
}

void MainWindow::waitForEvents()
{
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void MainWindow::waitWhileBusy(const std::atomic<bool> &busy, const QString &firstPass, int ceiling)
{
    // Asleep in the event loop: the worker's queued finished() or a tick
    // wakes each pass.
    for (bool first = true; busy; first = false) {
        if (first) {
            writeToLog(firstPass);
            qDebug() << "Waiting for the worker:" << firstPass.trimmed();
        }
        waitForEvents();
        holdProgressAt(ceiling);
    }
}

void MainWindow::showProgress()
{
    ui->progressBar->setValue(progressCount);
}

void MainWindow::holdProgressAt(int ceiling)
{
    progressCeiling = ceiling;
    if (progressCount > ceiling - 1) {
        progressCount = ceiling;
        showProgress();
    }
}

void MainWindow::stopProgressTimer()
{
    if (progressTimer != nullptr)
        progressTimer->stop();
}

void MainWindow::runReset()
{
    updating = false;
    writingFirstImage = false;
    writingSecondImage = false;
    progressCeiling = 0;
    progressCount = 0;
    showProgress();
    ui->progressBar->setEnabled(false);
    ui->browseFileLabel->setEnabled(true);
    // The presence check showed the faded dot during the run.
    ui->browseFileLabel->setPixmap(browseUp);
    updateToolTips();
}

void MainWindow::deleteTemporaryFiles()
{
    if (!tempFile1.fileName().isEmpty())
        QFile::remove(tempFile1.fileName());
    if (!tempFile2.fileName().isEmpty())
        QFile::remove(tempFile2.fileName());
}

void MainWindow::clearFileName()
{
    selectedFilePath.reset();
    ui->fileNameLabel->setPixmap(element(QStringLiteral("Blue Window.png"), ui->fileNameLabel->size()));
    updateToolTips();
}

void MainWindow::on_updateButton_clicked()
{
    QCoreApplication::processEvents();
    writeToLog(QStringLiteral("Beginning update process...\n"));
    qDebug() << "programAttempts at the start:" << programAttempts;

    if (programAttempts == 0) {
        closeRequested = false;
        // A failed run deleted the temporary images while the file stayed
        // chosen: the file is split (and checked) again.
        if (!QFileInfo::exists(tempFile1.fileName()) || !QFileInfo::exists(tempFile2.fileName())) {
            writeToLog(QStringLiteral("Temporary files missing. Splitting the chosen file again.\n"));
            splitFile();
            if (!selectedFilePath) {
                writeToLog(QStringLiteral("The chosen file is not usable any more. Update not started.\n"));
                deleteTemporaryFiles();
                return;
            }
        }
        setStage(Stage::Starting);
        delete progressTimer;
        progressTimer = new QTimer(this);
        connect(progressTimer, &QTimer::timeout, this, &MainWindow::update1s);
        QMessageBox::information(this, kBoxTitle,
                                 QStringLiteral("Do not manually disconnect Vireon Surface from USB during update "
                                                "process.\nYou may hear a disconnect system sound. Please leave it "
                                                "physically connected.\nTotal process will take approximately 90 "
                                                "seconds.\n"));
        if (closeRequested) {
            endClosedRun();
            return;
        }
        progressTimer->start(1000);
    }

    ui->progressBar->setEnabled(true);
    ui->browseFileLabel->setEnabled(false);
    ui->updateLabel->setEnabled(false);
    updating = true;
    writingFirstImage = false;
    writingSecondImage = false;
    updateToolTips();

    // First stage.
    setStage(Stage::FirstStage);
    progressCeiling = 50;
    worker->abort();
    thread->wait();
    worker->requestWork();
    waitWhileBusy(worker->busyFlag, QStringLiteral("Programming first file...\n"), 50);

    const int firstResult = worker->errorFlag;
    if (firstResult == vireon::workers::kNotOpened) {
        writeToLog(QStringLiteral("errorFlag==1 \n"));
        if (programAttempts <= 4) {
            ++programAttempts;
            runReset();
            writeToLog(QStringLiteral("Could not open device. Trying again... \n"));
            on_updateButton_clicked();
            stopProgressTimer();
            qDebug() << "programAttempts at the end:" << programAttempts;
            return;
        }
        qDebug() << "The first stage gives up after" << programAttempts << "retries";
        stopProgressTimer();
        ui->updateLabel->setPixmap(updateRedUp);
        setStage(Stage::Ending);
        QMessageBox::warning(this, kBoxTitle, QStringLiteral("Could not open device. Check permissions.\nPlease try again.\n"));
        runReset();
        deleteTemporaryFiles();
        writeToLog(QStringLiteral("Could not open device. Tried %1 times. Check Permissions. errorFlag==1.\n")
                       .arg(programAttempts));
        programAttempts = 0;
        worker->abort();
        setStage(Stage::Idle);
        return;
    }
    if (firstResult != vireon::workers::kProgrammed) {
        stopProgressTimer();
        writeToLog(QStringLiteral("Firmware Update 1 Failed. errorFlag==2\n"));
        ui->updateLabel->setPixmap(updateRedUp);
        setStage(Stage::Ending);
        QMessageBox::warning(this, kBoxTitle,
                             QStringLiteral("Firmware update 1 failed.\nPlease restart the application and try again."));
        runReset();
        deleteTemporaryFiles();
        programAttempts = 0;
        setStage(Stage::Idle);
        return;
    }
    waitCount = 20;
    writeToLog(QStringLiteral("Firmware Update 1 success. errorFlag==0\n"));
    worker->abort();

    // The surface restarts after its first stage and leaves the bus for a
    // while: the presence check counts the pause down, one per tick.
    setStage(Stage::Pause);
    progressCeiling = 85;
    qDebug() << "Pausing for the restart";
    while (waitCount > 0) {
        if (closeRequested) {
            endClosedRun();
            return;
        }
        waitForEvents();
    }

    writeToLog(QStringLiteral("Q_OS_WIN\n"));
    writeToLog(QStringLiteral("ConnectedFlag: %1\n").arg(connectedFlag));
    connectedFlag = 0;

    // Wait until a presence check sees the surface again.
    setStage(Stage::Wait);
    QElapsedTimer waited;
    waited.start();
    int passes = 0;
    for (;;) {
        if (++passes == 1) {
            writeToLog(QStringLiteral("Waiting for SPI...\n"));
            qDebug() << "Waiting for the surface to come back";
        }
        if (!updating) {
            writeToLog(QStringLiteral("not connected and not updating\n"));
            if (closeRequested)
                endClosedRun();
            return;
        }
        waitForEvents();
        holdProgressAt(85);
        if (connectedFlag != 0)
            break;
        if (waited.elapsed() >= deviceReturnLimit.count()) {
            giveUpWaitingForSurface();
            return;
        }
    }
    writeToLog(QStringLiteral("ConnectedFlag: %1\n").arg(connectedFlag));
    writeToLog(QStringLiteral("Number of times through waiting while loop: %1\n").arg(passes));

    setStage(Stage::SecondStage);
    if (programfile2() != 0) {
        stopProgressTimer();
        ui->updateLabel->setPixmap(updateRedUp);
        setStage(Stage::Ending);
        QMessageBox::warning(this, kBoxTitle, QStringLiteral("Firmware update 2 failed"));
        // Without the surface the file cannot be tried again as it is.
        if (connectedFlag == 0)
            clearFileName();
        runReset();
        deleteTemporaryFiles();
        writeToLog(QStringLiteral("Firmware update 2 failed. errorFlag==2\n"));
    } else {
        setStage(Stage::Ending);
        progressCeiling = 100;
        progressCount = 100;
        showProgress();
        ui->updateLabel->setPixmap(updateGreenUp);
        writeToLog(QStringLiteral("Firmware update 2 success. errorFlag==0\n"));
        QMessageBox::information(this, kBoxTitle, QStringLiteral("Firmware update complete."));
        clearFileName();
    }
    endOfRun();
}

void MainWindow::endOfRun()
{
    updating = false;
    writingFirstImage = false;
    writingSecondImage = false;
    stopProgressTimer();
    progressCeiling = 0;
    progressCount = 0;
    showProgress();
    ui->progressBar->setEnabled(false);
    ui->browseFileLabel->setEnabled(true);
    ui->browseFileLabel->setPixmap(browseUp);
    deleteTemporaryFiles();
    ++programAttempts;
    writeToLog(QStringLiteral("Number of program attempts: %1\n").arg(programAttempts));
    programAttempts = 0;
    writeToLog(QStringLiteral("Firmware Update Complete.\n"));
    updateToolTips();
    qDebug() << "programAttempts at the end:" << programAttempts;
    setStage(Stage::Idle);
}

void MainWindow::giveUpWaitingForSurface()
{
    stopProgressTimer();
    writeToLog(QStringLiteral("The surface did not come back within %1 s after the first stage. Update stopped.\n")
                   .arg(static_cast<double>(deviceReturnLimit.count()) / 1000.0));
    ui->updateLabel->setPixmap(updateRedUp);
    setStage(Stage::Ending);
    QMessageBox::warning(this, kBoxTitle,
                         QStringLiteral("The Vireon Surface did not come back after its first update stage.\n"
                                        "Unplug it, plug it back in and run the update again."));
    if (connectedFlag == 0)
        clearFileName();
    endOfRun();
}

void MainWindow::endClosedRun()
{
    writeToLog(QStringLiteral("Update stopped: the updater was closed.\n"));
    // The presence ticks that come before the program exits stop counting
    // the pause down.
    waitCount = 0;
    stopProgressTimer();
    runReset();
    deleteTemporaryFiles();
    programAttempts = 0;
    setStage(Stage::Idle);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    switch (stage) {
    case Stage::FirstStage:
    case Stage::SecondStage:
        // The surface is being programmed: stopping now would leave it
        // half written.
        event->ignore();
        writeToLog(QStringLiteral("Close refused: an update is running.\n"));
        QMessageBox::information(this, kBoxTitle,
                                 QStringLiteral("An update is running.\nPlease wait until it has finished "
                                                "before closing the updater."));
        return;
    case Stage::Starting:
    case Stage::Pause:
    case Stage::Wait:
        // Nothing is being programmed: the run ends at its next step.
        closeRequested = true;
        updating = false;
        break;
    case Stage::Idle:
    case Stage::Ending:
        break;
    }
    QMainWindow::closeEvent(event);
}

int MainWindow::programfile2()
{
    writeToLog(QStringLiteral("Number of Second File programming attempts at top of programfile2: %1\n")
                   .arg(secondFileAttempts));
    worker2->abort();
    thread2->wait();
    worker2->requestWork();
    // The worker keeps its busy flag set while it retries an open on its
    // own, and clears it only when the stage is over.
    waitWhileBusy(worker2->busyFlag, QStringLiteral("Programming second file...\n"), 95);

    const QString atEnd = QStringLiteral("Number of Second File programming attempts at end of programfile2: %1\n");
    switch (worker2->errorFlag) {
    case vireon::workers::kProgrammed:
        worker2->abort();
        ++secondFileAttempts;
        writeToLog(atEnd.arg(secondFileAttempts));
        return 0;
    case vireon::workers::kActionFailed: {
        int result = 1;
        if (secondFileAttempts <= 4) {
            ++secondFileAttempts;
            result = programfile2();
        }
        writeToLog(atEnd.arg(secondFileAttempts));
        worker2->abort();
        return result;
    }
    default:
        writeToLog(QStringLiteral("worker2 errorFlag==1 \n"));
        if (secondFileAttempts <= 4) {
            ++secondFileAttempts;
            return programfile2();
        }
        writeToLog(QStringLiteral("Firmware update 2 failed. Could not open device. errorFlag==1\n"));
        worker2->abort();
        thread2->wait();
        return 1;
    }
}

void MainWindow::on_browseFileButton_clicked()
{
    const QString chosen = QFileDialog::getOpenFileName(this, tr("Open File"), QString(),
                                                        QStringLiteral("Bootloader Files(*.cyacd);;All Files(*.*)"));
    if (!chosen.endsWith(QLatin1String(".cyacd"), Qt::CaseSensitive)) {
        QMessageBox::warning(this, kBoxTitle, QStringLiteral("Please Select a file ending with '.cyacd'"));
        return;
    }
    fileName = chosen;
    const QFileInfo info(fileName);
    const QString bareName = info.fileName();
    const QString canonical = info.canonicalFilePath();
    const QByteArray utf8 = canonical.toUtf8();
    selectedFilePath.reset(new char[static_cast<size_t>(utf8.size()) + 1]);
    std::memcpy(selectedFilePath.get(), utf8.constData(), static_cast<size_t>(utf8.size()) + 1);
    writeToLog(QStringLiteral("Temp filepath: %1\n").arg(canonical));

    const int width = ui->fileNameLabel->width();
    const int height = ui->fileNameLabel->height();
    QPixmap panel = QPixmap(kBlueWindow).scaled(static_cast<int>(1.25 * width), height, Qt::IgnoreAspectRatio,
                                                Qt::SmoothTransformation);
    const QString shown = QFontMetrics(ui->fileNameLabel->font())
                              .elidedText(bareName, Qt::ElideMiddle, static_cast<int>(0.75 * width));
    QFont font = ui->fileNameLabel->font();
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setPointSize(16);
    QPainter painter(&panel);
    painter.setFont(font);
    painter.setPen(kPanelText);
    painter.drawText(panel.rect(), Qt::AlignHCenter | Qt::AlignVCenter, shown);
    painter.end();
    ui->fileNameLabel->setPixmap(panel);
    ui->fileNameLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    QFile firmware(fileName);
    if (!firmware.open(QIODevice::ReadOnly)) {
        forgetChosenFile();
        QMessageBox::information(nullptr, QStringLiteral("Vireon Surface"), firmware.errorString());
        writeToLog(QStringLiteral("Firmware error: %1\n").arg(firmware.errorString()));
    }
    splitFile();
    updateToolTips();
}

void MainWindow::splitFile()
{
    writingFirstImage = false;
    writingSecondImage = false;

    QFile source(fileName);
    source.open(QIODevice::ReadOnly); // a file that cannot be opened reads as empty
    QTextStream in(&source);
    in.setCodec("UTF-8");

    tempFile1.setFileName(QDir::currentPath() + QStringLiteral("/vireonTemp1.txt"));
    writeToLog(QStringLiteral("Temp filepath 1: %1\n").arg(tempFile1.fileName()));
    tempFile2.setFileName(QDir::currentPath() + QStringLiteral("/vireonTemp2.txt"));
    writeToLog(QStringLiteral("Temp filepath 2: %1\n").arg(tempFile2.fileName()));

    const QIODevice::OpenMode mode = QIODevice::ReadWrite | QIODevice::Text | QIODevice::Truncate;
    QFile *failed = nullptr;
    if (!tempFile1.open(mode))
        failed = &tempFile1;
    else if (!tempFile2.open(mode))
        failed = &tempFile2;

    int firstLine[2] = {0, 0}; // the chosen file's line that begins each image
    if (failed == nullptr) {
        writeToLog(QStringLiteral("Writing to the 2 temporary files...\n"));
        QTextStream out1(&tempFile1);
        QTextStream out2(&tempFile2);
        int lineNumber = 0;
        while (!in.atEnd()) {
            const QString line = in.readLine() + QStringLiteral("\n");
            ++lineNumber;
            if (!line.startsWith(QLatin1Char(':'))) {
                if (writingFirstImage)
                    writingSecondImage = true;
                writingFirstImage = true;
                if (writingSecondImage)
                    writingFirstImage = false;
                if (firstLine[writingSecondImage ? 1 : 0] == 0)
                    firstLine[writingSecondImage ? 1 : 0] = lineNumber;
            }
            if (writingFirstImage)
                out1 << line;
            if (writingSecondImage)
                out2 << line;
        }
        out1.flush();
        out2.flush();
        // A full disk shows only when the data is written out.
        if (out1.status() != QTextStream::Ok || !tempFile1.flush())
            failed = &tempFile1;
        else if (out2.status() != QTextStream::Ok || !tempFile2.flush())
            failed = &tempFile2;
    }
    tempFile1.close();
    tempFile2.close();

    if (failed != nullptr) {
        const QString error = failed->errorString();
        writeToLog(QStringLiteral("Could not write temporary file %1: %2\n").arg(failed->fileName(), error));
        tempFile1.remove();
        tempFile2.remove();
        forgetChosenFile();
        QMessageBox::warning(this, kBoxTitle,
                             QStringLiteral("The temporary files could not be written in %1\n(%2: %3).\n"
                                            "Please make sure this folder is writable and has free space, "
                                            "then choose the file again.")
                                 .arg(QDir::toNativeSeparators(QDir::currentPath()),
                                      QFileInfo(failed->fileName()).fileName(), error));
        return;
    }
    writeToLog(QStringLiteral("File split successfully\n"));
    if (selectedFilePath)
        checkTemporaryImages(firstLine[0], firstLine[1]);
}

bool MainWindow::checkTemporaryImages(int firstLine1, int firstLine2)
{
    const QFile *temp[2] = {&tempFile1, &tempFile2};
    const int firstLine[2] = {firstLine1, firstLine2};
    for (int i = 0; i < 2; ++i) {
        const ImageCheck check = checkImageFile(temp[i]->fileName());
        if (check.ok)
            continue;
        QString where;
        if (check.line > 0 && firstLine[i] > 0)
            where = QStringLiteral("Line %1: ").arg(firstLine[i] + check.line - 1);
        writeToLog(QStringLiteral("Firmware file check failed: image %1: %2%3\n").arg(i + 1).arg(where, check.problem));
        forgetChosenFile();
        QMessageBox::warning(this, kBoxTitle,
                             QStringLiteral("Image %1 of the firmware file is not usable.\n%2%3\n"
                                            "Please choose another file.")
                                 .arg(i + 1)
                                 .arg(where, check.problem));
        return false;
    }
    return true;
}

void MainWindow::forgetChosenFile()
{
    selectedFilePath.reset();
    ui->updateLabel->setEnabled(false);
    updateEnabled = false;
    ui->updateLabel->setPixmap(updateWhiteDisabled);
    updateToolTips();
}

void MainWindow::updateToolTips()
{
    QString browse = tr("Choose the firmware file (.cyacd) to program into the surface.");
    if (!ui->browseFileLabel->isEnabled())
        browse += tr("\nNot available while an update is running.");
    ui->browseFileLabel->setToolTip(browse);

    QString update = tr("Program the chosen firmware file into the surface.");
    if (!updateEnabled) {
        QStringList why;
        if (updating) {
            why << tr("an update is running");
        } else {
            if (connectedFlag == 0)
                why << tr("no surface connected");
            if (!selectedFilePath)
                why << tr("no file chosen");
        }
        if (!why.isEmpty())
            update += tr("\nNot offered now: %1.").arg(why.join(QStringLiteral(", ")));
    }
    ui->updateLabel->setToolTip(update);
}

int MainWindow::doHID()
{
    vendorId = 0x1502;
    productId = 0x0101;
    if (waitCount > 0) {
        --waitCount;
        writeToLog(QStringLiteral("Waiting %1\n").arg(waitCount));
    }

    hid_device_info *devices = hid_enumerate(vendorId, productId);
    const bool present = devices != nullptr;
    hid_free_enumeration(devices);

    auto drawStatus = [this](const QString &word) {
        statusString = word;
        QPixmap panel = QPixmap(kBlueWindow).scaled(ui->statusLabel->width(), ui->statusLabel->height(),
                                                    Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QFont font = ui->statusLabel->font();
        font.setKerning(true);
        QPainter painter(&panel);
        painter.setFont(font);
        painter.setPen(kPanelText);
        painter.drawText(panel.rect(), Qt::AlignHCenter | Qt::AlignVCenter, statusString);
        painter.end();
        ui->statusLabel->setPixmap(panel);
        ui->statusLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    };

    if (!present) {
        connectedFlag = 0;
        drawStatus(updating ? QStringLiteral("CONNECTED") : QStringLiteral("DISCONNECTED"));
        ui->updateLabel->setEnabled(false);
        updateEnabled = false;
        ui->updateLabel->setPixmap(updating ? updateGreenUp : updateWhiteDisabled);
        qDebug() << (updating ? "Pixmap: updateGreenUp" : "Pixmap: updateWhiteDisabled");
    } else if (!updating) {
        connectedFlag = 1;
        drawStatus(QStringLiteral("CONNECTED"));
    } else {
        // The status word is not redrawn while an update runs.
        connectedFlag = 1;
        ui->browseFileLabel->setPixmap(browseDisabled);
        ui->browseFileLabel->setEnabled(false);
        ui->updateLabel->setEnabled(false);
        updateEnabled = false;
        ui->updateLabel->setPixmap(updateGreenUp);
        qDebug() << "Pixmap: updateGreenUp";
    }

    if (present && selectedFilePath && !updating) {
        ui->updateLabel->setEnabled(true);
        updateEnabled = true;
        if (!updatePressed) {
            ui->updateLabel->setPixmap(updateGreenUp);
            qDebug() << "Pixmap: updateGreenUp";
        }
    }
    updateToolTips();
    return 0;
}
