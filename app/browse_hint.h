// The browse button's tooltip: what it does and, while it is disabled
// (an update is running), that it is not available. It follows the
// button's enabled state by itself, whoever switches it.
#ifndef VIREON_APP_BROWSE_HINT_H
#define VIREON_APP_BROWSE_HINT_H

class QWidget;

namespace vireon::app {

void keepBrowseHint(QWidget *browse);

} // namespace vireon::app

#endif
