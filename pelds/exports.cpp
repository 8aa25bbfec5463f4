// The library's entry points: one bridge per process on the machine's devices.
#include "pelds/bridge.h"

namespace {
pelds::TBridge& Bridge() {
  static pelds::TBridge* bridge = new pelds::TBridge(platform::Rings());
  return *bridge;
}
} // namespace

int DsGetNumDevices() { return Bridge().GetNumDevices(); }
const char* DsGetDeviceName(int index) { return Bridge().GetDeviceName(index); }
int DsOpen(int index, void* window) { return Bridge().Open(index, window); }
void DsClose() { Bridge().Close(); }
void DsStart() { Bridge().Start(); }
void DsStop() { Bridge().Stop(); }
TDsLockRecord* DsLock(int frames) { return Bridge().Lock(frames); }
void DsUnLock() { Bridge().UnLock(); }
int DsGetNumSamplesAhead() { return Bridge().GetNumSamplesAhead(); }
