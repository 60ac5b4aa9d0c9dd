// Any way of working the window: the keyboard (Tab between the two image
// buttons, Space and Return press them, Ctrl+O chooses a file) and screen
// readers (names, roles, descriptions and the press action of every control).
#ifndef VIREON_APP_ACCESS_H
#define VIREON_APP_ACCESS_H

#include <QString>

class QLabel;
class QWidget;

namespace Ui {
class MainWindow;
}

namespace vireon::app {

// Makes every image button a push button for assistive technology, and the
// status and file panels (pictures with text drawn on them) labels. Before
// the window is built: a widget's accessible face is kept from its first
// change on.
void installAccessibleFaces();

// Focus order, focus policy, the Ctrl+O shortcut and the controls' accessible
// names and descriptions.
void makeAccessible(QWidget *window, Ui::MainWindow &ui);

// What the status panel tells a screen reader: its word.
void nameStatusPanel(QLabel *panel, const QString &word);
// What the file panel tells a screen reader: the chosen file's name, or
// that none is chosen (an empty name). The panel elides the name's middle,
// where versions differ: the whole path is its tooltip and description.
void nameFilePanel(QLabel *panel, const QString &fileName, const QString &fullPath = QString());

} // namespace vireon::app

#endif
