// A simulated surface that remembers: its flash (every chip's rows, the rows
// left half-programmed, the active applications) and the chip that takes the
// bus at power-up, kept in a file between runs of a program, so a check
// after an update sees what the update wrote.
//
// The file is text: a first line naming the format, the chain's length and
// the chip at power-up, then per chip its rows in hex, and a last line with
// the CRC-32 of everything before it. A missing file is an erased surface;
// a damaged one, or one written for another chain of chips, is refused with
// the reason, never taken as erased.
#ifndef VIREON_SIM_SURFACE_STATE_H
#define VIREON_SIM_SURFACE_STATE_H

#include "device_model.h"

#include <chrono>
#include <optional>
#include <string>

namespace vireon::sim {

// The state file's name for a surface: its serial number, or "surface" when
// it reports none; characters other than letters, digits, '.', '-' and '_'
// become '_'.
std::string stateFileName(const std::wstring &serialNumber);

// A surface saved while it was off the bus restarting comes back at this
// wall-clock time, in whichever run that falls.
using OffBusUntil = std::optional<std::chrono::system_clock::time_point>;

// Loads the file at `path` into `device`, and into `offBusUntil` when the
// surface was restarting. Returns an empty text, or the reason the file is
// refused (the device is then untouched).
std::string loadSurfaceState(const std::string &path, Bootloader &device, OffBusUntil *offBusUntil = nullptr);

// Saves the device's flash to `path`, creating its folder: written to a
// temporary file beside it and renamed over it, so a reader finds the old
// state or the new one, whole. A state that did not change is not written,
// nor is an erased surface's when it has no file. Returns an empty text or
// the reason.
std::string saveSurfaceState(const std::string &path, const Bootloader &device, OffBusUntil offBusUntil = {});

// Puts one device's flash into another of the same chain, as a saved state
// loaded before the surface is attached.
void copySurfaceState(const Bootloader &from, Bootloader &to);

} // namespace vireon::sim

#endif
