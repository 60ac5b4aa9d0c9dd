// The HID transport under the bootloader host: every packet travels in one
// 65-byte output report (report id 0, then 64 payload bytes), and every
// answer arrives as one input report. The logic is written once here; each
// worker's module binds its own file-local set of transport functions to
// its own process-wide handle with VIREON_HID_TRANSPORT.
#ifndef VIREON_WORKERS_HID_TRANSPORT_H
#define VIREON_WORKERS_HID_TRANSPORT_H

#include <hidapi/hidapi.h>

#include "cybtldr_api.h"

// One handle per worker; each run's hid_open sets its worker's handle.
extern hid_device *handle;  // first worker
extern hid_device *handle2; // second worker

namespace vireon::transport {

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

} // namespace vireon::transport

// Defines, in an anonymous namespace of the including file, the transport
// functions OpenConnection, CloseConnection, WriteData, ReadData and
// ProgressUpdate on the given handle, and transportRecord() that fills a
// CyBtldr_CommunicationsData with them and MaxTransferSize 64.
#define VIREON_HID_TRANSPORT(HANDLE)                                                                     \
    namespace {                                                                                          \
    int OpenConnection() { return 0; }                                                                   \
    int CloseConnection() { return 0; }                                                                  \
    int WriteData(unsigned char *data, int size) { return vireon::transport::writePacket(HANDLE, data, size); } \
    int ReadData(unsigned char *data, int size) { return vireon::transport::readPacket(HANDLE, data, size); }   \
    [[maybe_unused]] void ProgressUpdate(uint8_t, uint16_t) {}                                                         \
    [[maybe_unused]] CyBtldr_CommunicationsData transportRecord()                                        \
    {                                                                                                    \
        CyBtldr_CommunicationsData record;                                                               \
        record.OpenConnection = OpenConnection;                                                          \
        record.CloseConnection = CloseConnection;                                                        \
        record.ReadData = ReadData;                                                                      \
        record.WriteData = WriteData;                                                                    \
        record.MaxTransferSize = vireon::transport::kMaxTransferSize;                                    \
        return record;                                                                                   \
    }                                                                                                    \
    }

#endif
