#include "file_choice.h"

#include "access.h"
#include "box_titles.h"
#include "firmware_file.h"
#include "folder_files.h"
#include "temporary_images.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "window_skin.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMessageBox>

#include <cstring>

namespace vireon::app {

void FileChoice::choose()
{
    const QString chosen = QFileDialog::getOpenFileName(&w, MainWindow::tr("Open File"), QString(),
                                                        QStringLiteral("Bootloader Files(*.cyacd);;All Files(*.*)"));
    // Cancelling the dialog is no mistake: the earlier choice stays as it was.
    if (chosen.isEmpty())
        return;
    if (!chosen.endsWith(QLatin1String(".cyacd"), Qt::CaseSensitive)) {
        QMessageBox::warning(&w, kBoxTitle, QStringLiteral("Please Select a file ending with '.cyacd'"));
        return;
    }
    w.fileName = chosen;
    const QFileInfo info(w.fileName);
    const QString canonical = info.canonicalFilePath();
    const QByteArray utf8 = canonical.toUtf8();
    w.selectedFilePath.reset(new char[static_cast<size_t>(utf8.size()) + 1]);
    std::memcpy(w.selectedFilePath.get(), utf8.constData(), static_cast<size_t>(utf8.size()) + 1);
    w.writeToLog(QStringLiteral("Temp filepath: %1\n").arg(canonical));
    showName(info.fileName(), canonical);

    // Only a regular file is read, and a named pipe never holds the window.
    const core::OpenedFile firmware = core::openRegularFile(w.fileName);
    if (!firmware.ok()) {
        forget();
        QMessageBox::information(nullptr, kFileErrorBoxTitle, firmware.problem);
        w.writeToLog(QStringLiteral("Firmware error: %1\n").arg(firmware.problem));
    }
    w.splitFile();
    // A file that could not be taken leaves nothing behind: no name in the
    // panel, no temporary images.
    if (!w.selectedFilePath)
        clearRefused();
    w.offer.setFileChosen(w.selectedFilePath != nullptr);
}

void FileChoice::showName(const QString &bareName, const QString &fullPath)
{
    QLabel *label = w.ui->fileNameLabel;
    const int width = label->width();
    const QString shown =
        QFontMetrics(label->font()).elidedText(bareName, Qt::ElideMiddle, static_cast<int>(0.75 * width));
    QFont font = label->font();
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setPointSize(16);
    label->setPixmap(textPanel(QSize(static_cast<int>(1.25 * width), label->height()), font, shown));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    nameFilePanel(label, bareName, fullPath);
}

void FileChoice::split()
{
    w.writingFirstImage = false;
    w.writingSecondImage = false;
    const core::SplitImages images = core::splitFirmwareFile(w.fileName);

    w.tempFile1.setFileName(core::temporaryImagePath(1));
    w.writeToLog(QStringLiteral("Temp filepath 1: %1\n").arg(w.tempFile1.fileName()));
    w.tempFile2.setFileName(core::temporaryImagePath(2));
    w.writeToLog(QStringLiteral("Temp filepath 2: %1\n").arg(w.tempFile2.fileName()));

    w.writeToLog(QStringLiteral("Writing to the 2 temporary files...\n"));
    // Where the split left off: the image the last lines went to.
    w.writingSecondImage = images.firstLine2 > 0;
    w.writingFirstImage = images.firstLine1 > 0 && !w.writingSecondImage;
    const core::WriteProblem failed = w.temporaryImages.write(images, w.tempFile1.fileName(), w.tempFile2.fileName());
    for (const QString &odd : w.temporaryImages.oddFilesReplaced())
        w.writeToLog(odd + QLatin1Char('\n'));
    if (!failed.path.isEmpty()) {
        refuseTemporaryFile(failed);
        return;
    }
    w.writeToLog(QStringLiteral("File split successfully\n"));
    w.chosenImages = core::withoutTexts(images);
    if (w.selectedFilePath)
        checkTemporaryImages();
}

void FileChoice::refuseTemporaryFile(const core::WriteProblem &failed)
{
    w.writeToLog(QStringLiteral("Could not write temporary file %1: %2\n").arg(failed.path, failed.reason));
    forget();
    clearRefused();
    QMessageBox::warning(&w, kBoxTitle,
                         QStringLiteral("The temporary files could not be written in %1\n(%2: %3).\n"
                                        "Please make sure this folder is writable and has free space, "
                                        "then choose the file again.")
                             .arg(QDir::toNativeSeparators(QDir::currentPath()), QFileInfo(failed.path).fileName(),
                                  failed.reason));
}

bool FileChoice::checkTemporaryImages()
{
    if (core::fileWasRead(w.chosenImages) && !checkSignature())
        return false;
    // Through the files written at the split, whose names must still hold them.
    const core::FileProblem problem = w.temporaryImages.check(w.chosenImages);
    if (problem.ok())
        return true;
    w.writeToLog(QStringLiteral("Firmware file check failed: %1\n").arg(problem.reason));
    refuse(QStringLiteral("%1\nPlease choose the surface's firmware file again.").arg(problem.reason));
    return false;
}

bool FileChoice::checkSignature()
{
    const core::Trust trust = core::loadTrust(w.trustLocations);
    for (const QString &problem : trust.keyProblems + trust.policyProblems)
        w.writeToLog(QStringLiteral("Signature check: %1\n").arg(problem));
    const core::SignatureCheck check =
        core::checkSignature(w.chosenImages.bytes, core::signaturePathFor(w.fileName), trust);
    w.writeToLog(QStringLiteral("Signature check: %1\n").arg(check.summary()));
    if (!check.refused())
        return true;
    refuse(check.reason + QLatin1Char('\n') + check.fix);
    return false;
}

void FileChoice::refuse(const QString &reason)
{
    forget();
    clearRefused();
    QMessageBox::warning(&w, kBoxTitle,
                         QStringLiteral("%1 cannot be used to update the surface.\n%2")
                             .arg(QFileInfo(w.fileName).fileName(), reason));
}

void FileChoice::clearRefused()
{
    w.clearFileName();
    w.deleteTemporaryFiles();
}

void FileChoice::forget()
{
    w.selectedFilePath.reset();
    w.offer.setFileChosen(false);
}

} // namespace vireon::app
