// The HID transport under the bootloader host: every packet travels in one
// 65-byte output report (report id 0, then 64 payload bytes), and every
// answer arrives as one input report. The logic is written once here; each
// user binds a transport record to its own process-wide handle with
// hidTransport<&itsHandle>().
#ifndef VIREON_CORE_HID_TRANSPORT_H
#define VIREON_CORE_HID_TRANSPORT_H

#include <hidapi/hidapi.h>

#include "cybtldr_api.h"

namespace vireon::core {

constexpr int kReportSize = 65;
constexpr int kPayloadSize = 64;
constexpr int kMaxTransferSize = 64;
// A device that stays silent this long is given up on.
constexpr int kReadTimeoutMs = 5000;

// Sends one packet of `size` bytes as one report, zeros after the packet.
// 0 on success; -1, with "USB HID Write Failure: %ls\n" on standard error,
// when the write fails or the packet does not fit a report.
int writePacket(hid_device *device, const unsigned char *data, int size);

// Receives one input report into `data` (at least kReportSize bytes). 0 on
// success; -1, with "USB HID Read Failure: %ls\n" on standard error, when
// the read fails or no report arrives within kReadTimeoutMs.
int readPacket(hid_device *device, unsigned char *data, int size);

// The transport record over the handle in *Slot, read at every call: opening
// and closing do nothing (the owner opens the device into *Slot), writes and
// reads go through writePacket and readPacket, MaxTransferSize 64.
template <hid_device **Slot> CyBtldr_CommunicationsData hidTransport()
{
    CyBtldr_CommunicationsData record;
    record.OpenConnection = [] { return 0; };
    record.CloseConnection = [] { return 0; };
    record.ReadData = [](unsigned char *data, int size) { return readPacket(*Slot, data, size); };
    record.WriteData = [](unsigned char *data, int size) { return writePacket(*Slot, data, size); };
    record.MaxTransferSize = kMaxTransferSize;
    return record;
}

// The progress callback for callers that show none.
inline void ignoreProgress(uint8_t /*arrayId*/, uint16_t /*rowNumber*/) {}

} // namespace vireon::core

#endif
