// The window's look: the compiled fonts and pictures, and the two panels
// (file name, status word) painted over the blue window picture.
#ifndef VIREON_APP_WINDOW_SKIN_H
#define VIREON_APP_WINDOW_SKIN_H

#include <QFont>
#include <QPixmap>
#include <QString>

class QWidget;

namespace vireon::app {

// How many pixels a picture has per window pixel: 2 on screens of twice the
// pixels (QT_SCALE_FACTOR=2 and the like), else 1.
qreal pictureScale();

// A picture of the resource collection, fitted into `size` (window pixels)
// keeping its aspect, at the screen's picture scale. The pictures the window
// shows at their own size are taken as stored for it, at 1x or 2x, with no
// decoding and no scaling.
QPixmap element(const QString &file, const QSize &size);

// Registers the bold and the regular font file (one family) and returns the
// bold font, antialiased; the default font when the bold file is refused.
QFont registerFonts();

// The blue panel stretched to `size` (window pixels, drawn at the picture
// scale) with `text` centred on it.
QPixmap textPanel(const QSize &size, const QFont &font, const QString &text);

// The labels were laid out for a narrower typeface than the one shipped: a
// text that would be cut off at `width` is narrowed until it fits.
void narrowToFit(QWidget *widget, const QString &text, int width);

// Gives `window` the icon `file` once it has painted for the first time:
// the desktop is handed every size of the icon, which would otherwise hold
// up the window's first appearance by about half the time a bare window
// takes. The images come as stored ready to show beside the icon file.
void setIconAfterFirstPaint(QWidget *window, const QString &file);

// The tooltips' own colours, dark text on a light ground, for the window and
// every widget that has a style sheet of its own: the labels'
// white text colour must not reach their tooltips.
void styleToolTips(QWidget *window);

} // namespace vireon::app

#endif
