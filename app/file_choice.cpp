#include "file_choice.h"

#include "access.h"
#include "box_titles.h"
#include "firmware_file.h"
#include "folder_files.h"
#include "printable.h"
#include "mainwindow.h"
#include "update_offer.h"
#include "window_skin.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>

#include <cstring>

namespace vireon::app {

void FileChoice::choose()
{
    const QString chosen = QFileDialog::getOpenFileName(&p.window, MainWindow::tr("Open File"), QString(),
                                                        QStringLiteral("Bootloader Files(*.cyacd);;All Files(*.*)"));
    // Cancelling the dialog is no mistake: the earlier choice stays as it was.
    if (chosen.isEmpty())
        return;
    if (!chosen.endsWith(QLatin1String(".cyacd"), Qt::CaseSensitive)) {
        QMessageBox::warning(&p.window, kBoxTitle, QStringLiteral("Please Select a file ending with '.cyacd'"));
        return;
    }
    p.fileName = chosen;
    const QFileInfo info(p.fileName);
    const QString canonical = info.canonicalFilePath();
    const QByteArray utf8 = canonical.toUtf8();
    p.selectedFilePath.reset(new char[static_cast<size_t>(utf8.size()) + 1]);
    std::memcpy(p.selectedFilePath.get(), utf8.constData(), static_cast<size_t>(utf8.size()) + 1);
    log(QStringLiteral("Temp filepath: %1\n").arg(canonical));
    showName(info.fileName(), canonical);

    // Only a regular file is read, and a named pipe never holds the window.
    const core::OpenedFile firmware = core::openRegularFile(p.fileName);
    if (!firmware.ok()) {
        forget();
        QMessageBox::information(nullptr, kFileErrorBoxTitle, firmware.problem);
        log(QStringLiteral("Firmware error: %1\n").arg(firmware.problem));
    }
    split();
    // A file that could not be taken leaves nothing behind: no name in the
    // panel, no temporary images.
    if (!p.selectedFilePath)
        clearRefused();
    p.offer.setFileChosen(p.selectedFilePath != nullptr);
}

void FileChoice::showName(const QString &bareName, const QString &fullPath)
{
    QLabel *label = p.fileNameLabel;
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
    p.writingFirstImage = false;
    p.writingSecondImage = false;
    const core::SplitImages images = core::splitFirmwareFile(p.fileName);

    p.tempFile1.setFileName(core::temporaryImagePath(1));
    log(QStringLiteral("Temp filepath 1: %1\n").arg(p.tempFile1.fileName()));
    p.tempFile2.setFileName(core::temporaryImagePath(2));
    log(QStringLiteral("Temp filepath 2: %1\n").arg(p.tempFile2.fileName()));

    log(QStringLiteral("Writing to the 2 temporary files...\n"));
    // Where the split left off: the image the last lines went to.
    p.writingSecondImage = images.firstLine2 > 0;
    p.writingFirstImage = images.firstLine1 > 0 && !p.writingSecondImage;
    const core::WriteProblem failed = images_.write(images, p.tempFile1.fileName(), p.tempFile2.fileName());
    for (const QString &odd : images_.oddFilesReplaced())
        log(odd + QLatin1Char('\n'));
    if (!failed.path.isEmpty()) {
        refuseTemporaryFile(failed);
        return;
    }
    log(QStringLiteral("File split successfully\n"));
    chosenImages_ = core::withoutTexts(images);
    if (p.selectedFilePath)
        checkTemporaryImages();
}

void FileChoice::refuseTemporaryFile(const core::WriteProblem &failed)
{
    log(QStringLiteral("Could not write temporary file %1: %2\n").arg(failed.path, failed.reason));
    forget();
    clearRefused();
    QMessageBox::warning(&p.window, kBoxTitle,
                         QStringLiteral("The temporary files could not be written in %1\n(%2: %3).\n"
                                        "Please make sure this folder is writable and has free space, "
                                        "then choose the file again.")
                             .arg(QDir::toNativeSeparators(QDir::currentPath()), QFileInfo(failed.path).fileName(),
                                  failed.reason));
}

bool FileChoice::checkTemporaryImages()
{
    if (core::fileWasRead(chosenImages_) && !checkSignature())
        return false;
    // Through the files written at the split, whose names must still hold them.
    const core::FileProblem problem = images_.check(chosenImages_);
    if (problem.ok())
        return true;
    log(QStringLiteral("Firmware file check failed: %1\n").arg(problem.reason));
    refuse(QStringLiteral("%1\nPlease choose the surface's firmware file again.").arg(problem.reason));
    return false;
}

bool FileChoice::checkSignature()
{
    const core::Trust trust = core::loadTrust(trustLocations);
    for (const QString &problem : trust.keyProblems + trust.policyProblems)
        log(QStringLiteral("Signature check: %1\n").arg(problem));
    const core::SignatureCheck check =
        core::checkSignature(chosenImages_.bytes, core::signaturePathFor(p.fileName), trust);
    signature_ = check;
    log(QStringLiteral("Signature check: %1\n").arg(QString::fromStdString(check.summary())));
    if (!check.refused())
        return true;
    refuse(QString::fromStdString(check.reason + "\n" + check.fix));
    return false;
}

void FileChoice::refuse(const QString &reason)
{
    forget();
    clearRefused();
    QMessageBox::warning(&p.window, kBoxTitle,
                         QStringLiteral("%1 cannot be used to update the surface.\n%2")
                             .arg(QFileInfo(p.fileName).fileName(), reason));
}

void FileChoice::clearRefused()
{
    clear();
    deleteTemporaryFiles();
}

void FileChoice::clear()
{
    p.fileNameLabel->setPixmap(element(QStringLiteral("Blue Window.png"), p.fileNameLabel->size()));
    nameFilePanel(p.fileNameLabel, QString());
    forget();
}

QString FileChoice::chosenPath() const
{
    return p.selectedFilePath ? QString::fromUtf8(p.selectedFilePath.get()) : p.fileName;
}

QString FileChoice::imagePath(int image) const
{
    return (image == 1 ? p.tempFile1 : p.tempFile2).fileName();
}

engine::RunRequest FileChoice::runRequest() const
{
    engine::RunRequest request;
    request.fileName = chosenPath().toStdString();
    if (!chosen())
        request.problem = "The chosen file is not usable any more.";
    request.images[0] = {chosenImages_.rows1, chosenImages_.chip1};
    request.images[1] = {chosenImages_.rows2, chosenImages_.chip2};
    request.signature = signature_.summary();
    return request;
}

QString FileChoice::signatureVerdict() const
{
    if (!chosen() || signature_.status != core::SignatureCheck::Status::Good)
        return QString();
    const QString comment = core::escapeControls(QString::fromStdString(signature_.trustedComment));
    return QStringLiteral("signed with the trusted key %1%2")
        .arg(QString::fromStdString(signature_.keyId), comment.isEmpty() ? QString() : QStringLiteral(": ") + comment);
}

void FileChoice::log(const QString &entry)
{
    p.window.writeToLog(entry);
}

void FileChoice::forget()
{
    signature_ = core::SignatureCheck();
    p.selectedFilePath.reset();
    p.offer.setFileChosen(false);
}

} // namespace vireon::app
