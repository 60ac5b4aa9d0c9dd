// The texts the window's picture carries: vireon-assets draws them into it
// (tools/assets/background.cpp), and the window names them for screen
// readers, which cannot read a picture (app/access.cpp). Kept here once, as
// the user sees them.
#ifndef VIREON_RESOURCES_PAINTED_TEXTS_H
#define VIREON_RESOURCES_PAINTED_TEXTS_H

namespace vireon::painted {

constexpr char kName[] = "VIREON";
constexpr char kSubtitle[] = "SURFACE FIRMWARE UPDATER";
constexpr char kBanner[] = "KEEP THE SURFACE CONNECTED WHILE IT UPDATES";

} // namespace vireon::painted

#endif
