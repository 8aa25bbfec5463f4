// The low-latency output bridge: one device at a time with one looping ring
// of 256000 bytes (44.1 kHz, 16-bit stereo), written ahead of the play
// cursor in locked blocks. The program loads the library by file name at run
// time and binds these nine entry points by name.
#pragma once

#include <cstdint>

// What DsLock hands out: the block's first region and, when the block wraps
// at the end of the ring, its second region (null with 0 frames otherwise).
// A frame is 4 bytes. The pointers stay valid until DsUnLock.
struct TDsLockRecord {
  void* first;
  int32_t firstFrames;
  void* second;
  int32_t secondFrames;
};

#define PELDS_EXPORT extern "C" __attribute__((visibility("default")))

PELDS_EXPORT int DsGetNumDevices();
PELDS_EXPORT const char* DsGetDeviceName(int index);
PELDS_EXPORT int DsOpen(int index, void* window);
PELDS_EXPORT void DsClose();
PELDS_EXPORT void DsStart();
PELDS_EXPORT void DsStop();
PELDS_EXPORT TDsLockRecord* DsLock(int frames);
PELDS_EXPORT void DsUnLock();
PELDS_EXPORT int DsGetNumSamplesAhead();

// The bridge's file name, looked for in the program's folder.
constexpr char kPeldsFileName[] = "libpelds.so";
