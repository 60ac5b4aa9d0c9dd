// Choosing the firmware file: the dialog and the suffix rule, the name in
// the file panel, the split into the two temporary images and their check
// (both done by the shared core), and what the user is told when the file
// cannot be taken. It keeps the chosen file and its images until they are
// programmed, refused or replaced.
#ifndef VIREON_APP_FILE_CHOICE_H
#define VIREON_APP_FILE_CHOICE_H

#include "firmware_file.h"
#include "signature_check.h"
#include "temporary_images.h"
#include "update_engine.h"

#include <QString>

#include <memory>

class MainWindow;
class QFile;
class QLabel;


namespace vireon::app {

class UpdateOffer;

// What the choice works on: the window (parent of its dialog and boxes, and
// its log), the file panel, UPDATE's offer, and the window's members that
// hold the choice under their own names.
struct ChoiceParts {
    MainWindow &window;
    QLabel *fileNameLabel;
    UpdateOffer &offer;
    QString &fileName;
    std::unique_ptr<char[]> &selectedFilePath; // null: no usable file chosen
    QFile &tempFile1;
    QFile &tempFile2;
    bool &writingFirstImage;
    bool &writingSecondImage;
};

class FileChoice
{
public:
    explicit FileChoice(const ChoiceParts &parts) : p(parts) {}

    // The browse button was released.
    void choose();
    // Splits the chosen file into the two temporary images and, while the
    // file is still usable, checks them.
    void split();
    // No usable file is chosen, or it was just refused: UPDATE is not
    // offered until another choice succeeds.
    void forget();
    // Forgets the file and shows the empty file panel.
    void clear();
    // The chosen file's signature (checked on the bytes the split read),
    // then the whole-file check of the temporary images as the split wrote
    // them; a refusal is told, logged and leaves no file chosen. Again when
    // UPDATE starts a run, so that the images are programmed only as checked
    // and only under the keys and policy in force then.
    bool checkTemporaryImages();
    // Removes our own temporary images; anything put at their names since
    // is left alone.
    void deleteTemporaryFiles() { images_.remove(); }

    bool chosen() const { return p.selectedFilePath != nullptr; }
    // The file as the user knows it: its canonical path, or as the dialog
    // gave it once it is forgotten.
    QString chosenPath() const;
    // Where the split wrote image 1 or 2 (empty before the first split).
    QString imagePath(int image) const;
    // The temporary images as written and checked, kept open: the workers
    // program them through these files.
    core::TemporaryImages &temporaryImages() { return images_; }
    // What the update engine is told as a run starts: the chosen file, its
    // images' rows and chips, its signature's verdict; a file no longer
    // chosen is refused.
    engine::RunRequest runRequest() const;
    // A good signature's verdict in a few words ("signed with the trusted
    // key 8F2E6E2B58C64574: surface 2.3.1"); empty for any other.
    QString signatureVerdict() const;
    // Where the keys a signature is checked against and the site's policy
    // are read (tests give their own).
    core::TrustLocations trustLocations = core::TrustLocations::system();

private:
    void showName(const QString &bareName, const QString &fullPath);
    void refuseTemporaryFile(const core::Failure &failed);
    // Logs whose key signed the file, or that it carries no signature;
    // false when the signature refuses it (told and logged).
    bool checkSignature();
    void refuse(const QString &reason);
    // The empty panel, and no temporary images left behind.
    void clearRefused();
    void log(const QString &entry);

    ChoiceParts p;
    // What the split of the chosen file found and wrote, without the
    // images' texts: the temporary images are checked against it again
    // when UPDATE starts a run.
    core::SplitImages chosenImages_;
    core::TemporaryImages images_;
    core::SignatureCheck signature_; // the chosen file's, as last checked
};

} // namespace vireon::app

#endif
