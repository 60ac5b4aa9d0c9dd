// hidapi's process-wide functions behind one lock.
//
// hidapi keeps one process-wide error text that hid_init, hid_exit and
// hid_open_path free and replace without a lock of their own: two threads
// inside them at once free the same text twice. Every call of those
// functions in the product goes through here, under one lock; calls on an
// open handle (hid_write, hid_read_timeout, hid_error(handle), hid_close)
// need none, as long as each handle is used by one thread. The product
// never calls hid_enumerate or hid_open by ids: it lists devices itself
// (hid_listing.h) and opens the one it picked by its path.
#ifndef VIREON_CORE_HIDAPI_LOCK_H
#define VIREON_CORE_HIDAPI_LOCK_H

#include <hidapi/hidapi.h>

#include <string>

namespace vireon::core::hid {

// hid_open_path under the lock: the device, or null (the reason is then in
// lastError()).
hid_device *openPath(const char *path);
// As openPath(path), and when the open fails, `whyNot` gets hid_error(NULL)
// copied under the same hold of the lock, before another thread's call
// replaces it. hidapi 0.13 gives no text when the node opened but then
// failed its first request (it hung up as it was opened); `whyNot` then
// says so.
hid_device *openPath(const char *path, std::wstring &whyNot);

// hid_init and hid_exit under the lock: 0 on success, -1 on failure.
int init();
int exit();

// A copy of hid_error(NULL), the text of the last process-wide failure,
// taken under the lock; empty when hidapi gives none.
std::wstring lastError();

} // namespace vireon::core::hid

#endif
