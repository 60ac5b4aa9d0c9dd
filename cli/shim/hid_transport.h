// TEMPORARY stand-in until the shared core's transport lands; deleted then.
#ifndef VIREON_CLI_SHIM_HID_TRANSPORT_H
#define VIREON_CLI_SHIM_HID_TRANSPORT_H

#include <hidapi/hidapi.h>

#include "cybtldr_api.h"

namespace vireon::core {

int shimWrite(hid_device *device, const unsigned char *data, int size);
int shimRead(hid_device *device, unsigned char *data, int size);

template <hid_device **Slot> CyBtldr_CommunicationsData hidTransport()
{
    CyBtldr_CommunicationsData record;
    record.OpenConnection = []() { return 0; };
    record.CloseConnection = []() { return 0; };
    record.ReadData = [](unsigned char *data, int size) { return shimRead(*Slot, data, size); };
    record.WriteData = [](unsigned char *data, int size) { return shimWrite(*Slot, data, size); };
    record.MaxTransferSize = 64;
    return record;
}

} // namespace vireon::core

#endif
