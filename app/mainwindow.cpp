#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "imagecheck.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QStringList>
#include <QTextStream>
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

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
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

    // The programming workers, their threads and their six connections are
    // made here, before the image buttons are connected.

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
}

MainWindow::~MainWindow()
{
    // The workers are stopped here, before the temporary files go.
    if (!tempFile1.fileName().isEmpty())
        QFile::remove(tempFile1.fileName());
    if (!tempFile2.fileName().isEmpty())
        QFile::remove(tempFile2.fileName());
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
    ui->progressBar->setValue(progressCount);
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

void MainWindow::on_updateButton_clicked()
{
    // The two-stage update sequence runs here.
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
