#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "access.h"
#include "browse_hint.h"
#include "box_titles.h"
#include "close_policy.h"
#include "debug_trace.h"
#include "file_choice.h"
#include "log_line.h"
#include "presence.h"
#include "quiet_setup.h"
#include "stage_line.h"
#include "surface_access.h"
#include "timing.h"
#include "update_sequence.h"
#include "usb_ids.h"
#include "window_skin.h"
#include "worker.h"
#include "worker2.h"
#include "worker_wiring.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <cstdio>

using vireon::app::element;

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), offer([this] { showOffer(); }), thread(nullptr),
      thread2(nullptr), worker(nullptr), worker2(nullptr)
{
    qCDebug(lcWindow) << QCoreApplication::applicationDirPath();
    vireon::app::installAccessibleFaces();
    // Before any widget asks for a font: each font added later makes Qt
    // read the system's whole font list once more.
    const QFont boldFont = vireon::app::registerFonts();
    vireon::app::withoutConnectByNameWarnings([this] { ui->setupUi(this); });
    setWindowTitle(QStringLiteral("vireon.control"));

    std::printf("vireon.control %s\n", qPrintable(QString::number(updaterVersion)));
    std::printf("Copyright (C) 2026 the vireon.control developers\n");
    std::fflush(stdout);

    createLog();
    vireon::app::setIconAfterFirstPaint(this, QStringLiteral(":/new/prefix1/Vireon_Update_Elements/Orbel_Icon.ico"));
    writeToLog(QStringLiteral("*** Updater Started: %1\n")
                   .arg(QDateTime::currentDateTime().toString(QStringLiteral("ddd MMMM d"))));
    writeToLog(QStringLiteral("*** Version: %1\n").arg(updaterVersion));

    startWorkers();
    connectImageButtons();
    startPresenceTimer();
    loadPictures();
    applyFonts(boldFont);
    ui->versionLabel->setText(QStringLiteral("v%1").arg(updaterVersion));
    vireon::app::styleToolTips(this);
    vireon::app::keepBrowseHint(ui->browseFileLabel);
    vireon::app::makeAccessible(this, *ui);
    showOffer();
    stageLine = new vireon::app::StageLine(ui->centralWidget);
    makeCollaborators();
    showOffer(); // the next step on the stage line
}

void MainWindow::makeCollaborators()
{
    files = std::make_unique<vireon::app::FileChoice>(vireon::app::ChoiceParts{
        *this, ui->fileNameLabel, offer, fileName, selectedFilePath, tempFile1, tempFile2, writingFirstImage,
        writingSecondImage});
    presence = std::make_unique<vireon::app::Presence>(vireon::app::PresenceParts{
        ui->statusLabel, ui->browseFileLabel, browseDisabled, offer, connectedFlag, statusString, updating});
    sequence = std::make_unique<vireon::app::UpdateSequence>(vireon::app::RunParts{
        *this, ui->progressBar, ui->browseFileLabel, browseUp, stageLine, offer, *files, thread, worker, thread2,
        worker2, updating, writingFirstImage, writingSecondImage, connectedFlag, progressCount, programAttempts,
        secondFileAttempts, waitCount});
}

MainWindow::~MainWindow()
{
    const vireon::app::WorkerThreads workers{thread, worker, thread2, worker2};
    vireon::app::stopWorkers(workers);
    files->deleteTemporaryFiles();
    vireon::app::deleteWorkers(workers);
    writeToLog(QStringLiteral("*** Updater Closed ***\n"));
    delete ui;
}

void MainWindow::startWorkers()
{
    const vireon::app::WorkerThreads workers = vireon::app::createWorkers(this);
    thread = workers.thread;
    worker = workers.worker;
    thread2 = workers.thread2;
    worker2 = workers.worker2;
}

void MainWindow::connectImageButtons()
{
    connect(ui->browseFileLabel, &clicklabel::clickPressBrowseFile, this, &MainWindow::slotClickPressBrowseFile);
    connect(ui->browseFileLabel, &clicklabel::clickReleaseBrowseFile, this, &MainWindow::slotClickReleaseBrowseFile);
    connect(ui->updateLabel, &clicklabel::clickPressUpdate, this, &MainWindow::slotClickPressUpdate);
    connect(ui->updateLabel, &clicklabel::clickReleaseUpdate, this, &MainWindow::slotClickReleaseUpdate);
}

void MainWindow::startPresenceTimer()
{
    QTimer *presenceTimer = new QTimer(this);
    connect(presenceTimer, &QTimer::timeout, this, &MainWindow::update500ms);
    presenceTimer->start(static_cast<int>(vireon::core::kPresenceInterval.count()));
}

void MainWindow::loadPictures()
{
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
    // UPDATE shows them as its offer says (showOffer): not offered at start.

    ui->statusLabel->setPixmap(element(QStringLiteral("Blue Window.png"), ui->statusLabel->size()));
    ui->statusLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
}

void MainWindow::applyFonts(const QFont &boldFont)
{
    QFont font = boldFont;
    font.setPointSize(16);
    font.setBold(true);
    for (QWidget *label : {ui->statusText, ui->label_2, ui->progressText, ui->statusLabel})
        label->setFont(font);
    font.setPointSize(10);
    ui->fileNameLabel->setFont(font);
    font.setPointSize(7);
    font.setBold(false);
    ui->versionLabel->setFont(font);
    for (QLabel *label : {ui->statusText, ui->label_2, ui->progressText})
        vireon::app::narrowToFit(label, label->text(), label->width());
    vireon::app::narrowToFit(ui->statusLabel, QStringLiteral("DISCONNECTED"), ui->statusLabel->width() - 16);
}

QString MainWindow::logTimeStamp(const QTime &time)
{
    return vireon::core::logTimeStamp(time);
}

QString MainWindow::logCreationLine(const QDateTime &when)
{
    return vireon::core::logCreationLine(when);
}

void MainWindow::createLog()
{
    // A link or any other odd file at the log's name is never written
    // through; the box says what was found there.
    const QString problem = vireon::core::prepareLog(QDateTime::currentDateTime());
    if (problem.isEmpty())
        return;
    qCDebug(lcWindow) << "log file error:" << problem;
    QMessageBox box(QMessageBox::Information, vireon::app::kBoxTitle,
                    QStringLiteral("Error creating log file.\nPlease click to proceed."), QMessageBox::Ok, this);
    box.setInformativeText(problem + QStringLiteral("\nThe updater works without it, but keeps no record of the "
                                                    "update. Start it in a folder you can write to, such as your "
                                                    "home folder."));
    box.exec();
}

void MainWindow::writeToLog(QString message, hid_device *device)
{
    if (device != nullptr)
        message += QStringLiteral("0x%1\n").arg(reinterpret_cast<quintptr>(device), 0, 16);
    if (!vireon::core::appendLogEntry(QStringLiteral(" Main Thread: "), message))
        qCDebug(lcWindow) << "log file error";
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
    const int ceiling = sequence->progressCeiling();
    if (ceiling > 0 && progressCount > ceiling)
        progressCount = ceiling;
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
    if (updateEnabled)
        offer.setPressed(true);
}

void MainWindow::slotClickReleaseUpdate()
{
    if (!updateEnabled)
        return;
    offer.setPressed(false);
    on_updateButton_clicked();
}

void MainWindow::on_browseFileButton_clicked()
{
    files->choose();
    // The last run's result gives way to the next step.
    stageLine->showResult(QString());
    showOffer();
}

void MainWindow::splitFile()
{
    files->split();
}

void MainWindow::on_updateButton_clicked()
{
    sequence->run();
}

int MainWindow::programfile2()
{
    return sequence->secondStage();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    using vireon::engine::CloseAnswer;
    CloseAnswer answer = sequence->closeAnswer();
    if (answer == CloseAnswer::Ask && sequence->endingOnClose())
        answer = CloseAnswer::Close; // the user chose to stop
    switch (answer) {
    case CloseAnswer::Refuse:
        event->ignore();
        writeToLog(QStringLiteral("Close refused: an update is running.\n"));
        sequence->closeWhenStageEnds(vireon::app::showCloseRefused(this));
        return;
    case CloseAnswer::Ask:
        event->ignore();
        if (!sequence->closeQuestionOpen()) {
            sequence->setCloseQuestionOpen(true);
            vireon::app::askToStop(this, [this](bool stop) { answerCloseQuestion(stop); });
        }
        return;
    case CloseAnswer::EndRun:
        sequence->endOnClose();
        updating = false;
        break;
    case CloseAnswer::Close:
        break;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::answerCloseQuestion(bool stop)
{
    sequence->setCloseQuestionOpen(false);
    if (!stop) {
        writeToLog(QStringLiteral("Closing between the update's stages: the user chose to continue.\n"));
        return;
    }
    // The run may have ended while the user was asked; then the window just closes.
    if (sequence->closeAnswer() == vireon::engine::CloseAnswer::Ask) {
        writeToLog(QStringLiteral("Closing between the update's stages: the user chose to stop. "
                                  "The surface keeps its first image only.\n"));
        sequence->endOnClose();
        updating = false;
    }
    close();
}

int MainWindow::doHID()
{
    vendorId = vireon::core::kVendorId;
    productId = vireon::core::kProductId;
    if (waitCount > 0) {
        --waitCount;
        writeToLog(QStringLiteral("Waiting %1\n").arg(waitCount));
    }
    const std::vector<vireon::core::SurfaceInfo> attached = vireon::core::attachedSurfaces();
    sequence->seen(attached);
    presence->show(!attached.empty());
    return 0;
}

void MainWindow::showProgress()
{
    ui->progressBar->setValue(progressCount);
}

void MainWindow::showOffer()
{
    updateEnabled = offer.offered();
    updatePressed = offer.pressed();
    ui->updateLabel->setEnabled(updateEnabled);
    // Tab and screen readers reach UPDATE only while it is offered.
    ui->updateLabel->setFocusPolicy(updateEnabled ? Qt::StrongFocus : Qt::NoFocus);
    // In the order of UpdateOffer::Picture.
    const QPixmap *const pictures[] = {&updateWhiteDisabled, &updateGreenUp, &updateGreenDown, &updateRedUp};
    ui->updateLabel->setPixmap(*pictures[static_cast<int>(offer.picture())]);
    ui->updateLabel->setToolTip(offer.toolTip());
    if (stageLine == nullptr || files == nullptr || offer.running())
        return;
    // Before a run the line says what comes next.
    vireon::engine::IdleFacts facts;
    facts.surfacePresent = offer.present();
    facts.surfaceRestarting = !offer.present() && sequence != nullptr && sequence->surfaceRestarting();
    if (files->chosen())
        facts.fileName = QFileInfo(files->chosenPath()).fileName().toStdString();
    facts.signature = files->signatureVerdict().toStdString();
    stageLine->showIdle(QString::fromStdString(vireon::engine::idleLine(facts).text));
}
