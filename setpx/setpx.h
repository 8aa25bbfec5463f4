// The installer library of the outside MIDI port driver "pelmidi.dll".
//
// An installer loads this library and calls its two exports to register the
// driver in, or remove it from, the "drivers" section of "system.ini" in the
// Windows folder's stand-in: $QUORVEX_WINDOWS_DIR, else the settings folder
// ($QUORVEX_SETTINGS_DIR, else $XDG_CONFIG_HOME/Orvanta, else
// ~/.config/Orvanta). The library keeps no state between calls; the program
// itself never loads it.
//
// The driver keys are "midi", "midi1", ... "midi49"; keys from "midi50" on are
// never read nor written. Both exports take five 32-bit arguments that they
// ignore (installers pass them) and answer 1 for success, 0 for failure.
#pragma once

#include <cstdint>

#define SETPX_EXPORT extern "C" __attribute__((visibility("default")))

// Registers the driver under the first key that does not exist yet, after
// removing every registration it has. 0 when a registration could not be
// removed, when all 50 keys are taken (nothing is written then), or when the
// file cannot be read or written.
SETPX_EXPORT int32_t InstallPelMidiDll(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
// Removes every key whose value is exactly "pelmidi.dll". 0 when the file
// cannot be read or written.
SETPX_EXPORT int32_t DeinstallPelMidiDll(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

namespace setpx {
inline constexpr const char* ProfileName = "system.ini";
inline constexpr const char* DriversSection = "drivers";
inline constexpr const char* DriverFile = "pelmidi.dll";
inline constexpr const char* KeyStem = "midi";
// The driver keys that both exports look at.
inline constexpr int DriverKeyCount = 50;
inline constexpr int32_t Success = 1;
inline constexpr int32_t Failure = 0;
} // namespace setpx
