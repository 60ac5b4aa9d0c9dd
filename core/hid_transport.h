// The HID transport under the bootloader host: every packet travels in one
// 65-byte output report (report id 0, then 64 payload bytes), and every
// answer arrives as one input report. The logic is written once here; each
// user binds a transport record to its own process-wide handle, and the
// TransferRecord that keeps its account, with hidTransport<&handle, &record>().
#ifndef VIREON_CORE_HID_TRANSPORT_H
#define VIREON_CORE_HID_TRANSPORT_H

#include <hidapi/hidapi.h>

#include "cybtldr_api.h"
#include "timing.h"
#include "transfer_record.h"

namespace vireon::core {
using engine::TransferFault;
using engine::TransferRecord;
}

namespace vireon::core {

constexpr int kReportSize = 65;
constexpr int kPayloadSize = 64;
constexpr int kMaxTransferSize = 64;

// Sends one packet of `size` bytes as one report, zeros after the packet.
// 0 on success; -1 when the write fails or the packet does not fit a
// report. A failure goes into `record` (when given) with hidapi's text,
// and to standard error as "USB HID Write Failure: <text>" unless the
// record says otherwise.
int writePacket(hid_device *device, const unsigned char *data, int size, TransferRecord *record = nullptr);

// Receives one input report into `data` (at least kReportSize bytes) and
// checks it as a packet: whole (its length field fits what arrived), framed
// by its start and end bytes, and its checksum of the kind the firmware file
// set. 0 on success; -1 when the read fails, nothing arrives within
// readLimit(), or the answer fails a check; recorded and printed as a write
// failure is ("USB HID Read Failure: <text>").
int readPacket(hid_device *device, unsigned char *data, int size, TransferRecord *record = nullptr);

// The transport record over the handle in *Slot, read at every call: opening
// and closing do nothing (the owner opens the device into *Slot), writes and
// reads go through writePacket and readPacket into *Record, MaxTransferSize 64.
template <hid_device **Slot, TransferRecord *Record = nullptr> CyBtldr_CommunicationsData hidTransport()
{
    CyBtldr_CommunicationsData record;
    record.OpenConnection = [] { return 0; };
    record.CloseConnection = [] { return 0; };
    record.ReadData = [](unsigned char *data, int size) { return readPacket(*Slot, data, size, Record); };
    record.WriteData = [](unsigned char *data, int size) { return writePacket(*Slot, data, size, Record); };
    record.MaxTransferSize = kMaxTransferSize;
    return record;
}

// The progress callback for callers that show none.
inline void ignoreProgress(uint8_t /*arrayId*/, uint16_t /*rowNumber*/) {}

} // namespace vireon::core

#endif
