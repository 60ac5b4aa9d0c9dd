// Which surface a demo program simulates. An updater holds one lock per
// surface for the whole machine, named after the surface's serial number
// (else its device path), so two programs that each simulate "the" surface
// at /dev/hidraw0 with no serial number would hold each other's lock. A
// demo's surface therefore reports a serial number of its own: the same for
// every run that keeps it in the same state folder (those runs do share one
// surface), another for each process that keeps none. The simulated bus
// itself keeps a surface without a serial number, as a real surface may
// report none.
#ifndef VIREON_SIM_SURFACE_IDENTITY_H
#define VIREON_SIM_SURFACE_IDENTITY_H

#include <string>

namespace vireon::sim {

// "SIM-" and the CRC-32 of the state folder's full path in 8 hex digits
// (links in it resolved, so every name of the folder gives the same serial
// number); with no state folder, "SIM-P" and this process's id.
std::wstring ownSerialNumber(const std::string &stateDir);

} // namespace vireon::sim

#endif
