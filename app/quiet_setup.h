// The designer form's setup, without the two warnings its connect-by-name
// pass prints at every start: the window's on_browseFileButton_clicked and
// on_updateButton_clicked are called by the picture buttons' release slots,
// and no child is named after them, as the pass expects.
#ifndef VIREON_APP_QUIET_SETUP_H
#define VIREON_APP_QUIET_SETUP_H

#include <functional>

namespace vireon::app {

// Runs `setupUi` with the pass's "No matching signal for on_..." warnings
// held back; every other message goes to the handler installed before.
void withoutConnectByNameWarnings(const std::function<void()> &setupUi);

} // namespace vireon::app

#endif
