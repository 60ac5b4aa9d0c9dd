// The titles of the window's message boxes: every box but one file error
// box carries the first.
#ifndef VIREON_APP_BOX_TITLES_H
#define VIREON_APP_BOX_TITLES_H

#include <QString>

namespace vireon::app {

inline const QString kBoxTitle = QStringLiteral("Vireon Surface Bootloader");
// The box that shows why the chosen file could not be opened.
inline const QString kFileErrorBoxTitle = QStringLiteral("Vireon Surface");

} // namespace vireon::app

#endif
