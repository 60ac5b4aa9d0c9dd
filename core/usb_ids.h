// The Vireon Surface's USB ids: the one place they are written.
#ifndef VIREON_CORE_USB_IDS_H
#define VIREON_CORE_USB_IDS_H

#include <cstdint>

namespace vireon::core {

constexpr uint16_t kVendorId = 0x1502;
constexpr uint16_t kProductId = 0x0101;

} // namespace vireon::core

#endif
