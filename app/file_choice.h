// Choosing the firmware file: the dialog and the suffix rule, the name in
// the file panel, the split into the two temporary images and their check
// (both done by the shared core), and what the user is told when the file
// cannot be taken.
#ifndef VIREON_APP_FILE_CHOICE_H
#define VIREON_APP_FILE_CHOICE_H

#include <QString>

class MainWindow;

namespace vireon::core {
struct WriteProblem;
}

namespace vireon::app {

class FileChoice
{
public:
    explicit FileChoice(MainWindow &window) : w(window) {}

    // The browse button was released.
    void choose();
    // Splits the chosen file into the two temporary images and, while the
    // file is still usable, checks them.
    void split();
    // No usable file is chosen, or it was just refused: UPDATE is not
    // offered until another choice succeeds.
    void forget();
    // The chosen file's signature (checked on the bytes the split read),
    // then the whole-file check of the temporary images as the split wrote
    // them; a refusal is told, logged and leaves no file chosen. Again when
    // UPDATE starts a run, so that the images are programmed only as checked
    // and only under the keys and policy in force then.
    bool checkTemporaryImages();

private:
    void showName(const QString &bareName, const QString &fullPath);
    void refuseTemporaryFile(const vireon::core::WriteProblem &failed);
    // Logs whose key signed the file, or that it carries no signature;
    // false when the signature refuses it (told and logged).
    bool checkSignature();
    void refuse(const QString &reason);
    // The empty panel, and no temporary images left behind.
    void clearRefused();

    MainWindow &w;
};

} // namespace vireon::app

#endif
