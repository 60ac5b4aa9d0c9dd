// The chosen firmware file as the page checks it before an update, by the
// engine's firmware rules: split into its two images, which are written
// where the bootloader host reads them (the module's own memory file
// system), and the engine's request filled from them, or the reason the
// file is refused.
#ifndef VIREON_WEB_CHECKED_FILE_H
#define VIREON_WEB_CHECKED_FILE_H

#include "update_engine.h"

#include <string>

namespace vireon::web {

// Where the host reads image 1 and image 2.
std::string imagePath(int image);

// Why the file the user named `name`, `size` bytes long, is refused unread;
// empty when it may be read.
engine::RunRequest refusedBySize(const std::string &name, long long size);

// Checks `bytes`, the file the user named `name` (within the size limit:
// refusedBySize said nothing of it), and writes its images.
engine::RunRequest checkFile(const std::string &name, const std::string &bytes);

} // namespace vireon::web

#endif
