#include "screenshot.h"

#include "mainwindow.h"
#include "modal_answerer.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace vireon::demo {

void scheduleScreenshot(MainWindow &window, const QString &choose, const QString &picture)
{
    QTimer::singleShot(300, &window, [&window, choose]() {
        QTimer::singleShot(200, &window, [choose]() {
            // The dialog's file name field takes the whole path.
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()))
                answerFileDialog(dialog, QFileInfo(choose).absoluteFilePath());
        });
        QMetaObject::invokeMethod(&window, "slotClickReleaseBrowseFile");
    });
    QTimer::singleShot(1600, &window, [&window, picture]() {
        if (QApplication::activeModalWidget() != nullptr) {
            std::fprintf(stderr, "vireon-control-demo: a message box is open; the file was not taken\n");
            QApplication::exit(1);
            return;
        }
        const bool saved = window.grab().save(picture, "PNG");
        if (!saved)
            std::fprintf(stderr, "vireon-control-demo: cannot write %s\n", qPrintable(picture));
        QApplication::exit(saved ? 0 : 1);
    });
}

} // namespace vireon::demo
