// The window's pictures, each drawn at the size the window's form uses, and
// the program's icon.
#ifndef VIREON_TOOLS_PICTURES_H
#define VIREON_TOOLS_PICTURES_H

#include <QImage>

namespace vireon::assets {

// The window's ground: the VIREON name, the product line and the footer.
QImage background(int w, int h);
// The light rounded panel behind the file name and the status word.
QImage bluePanel(int w, int h);

enum class DotForm { SolidUp, SolidDown, FadedUp };
// The round browse button.
QImage dot(int w, int h, DotForm form);

enum class UpdateForm { FadedWhite, GreenUp, GreenDown, RedUp };
// The UPDATE button.
QImage updateButton(int w, int h, UpdateForm form);

// The program's icon at one size, on a transparent ground.
QImage iconImage(int size);

} // namespace vireon::assets

#endif
