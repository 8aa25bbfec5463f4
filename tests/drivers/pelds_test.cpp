// The output bridge on fake rings, and the library file itself.
#include "pelds/bridge.h"
#include "platform/fs.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;
using pelds::TBridge;

namespace {

constexpr int kBlock = 224;
constexpr int kRingFrames = int(pelds::kRingBytes / pelds::kFrameBytes);

struct BridgeRig {
  FakeRings rings;
  TBridge bridge{rings};
  BridgeRig() {
    rings.AddDevice("Speakers");
    rings.AddDevice("Headphones");
  }
  FakeRings::Ring& Ring() { return *rings.Current(); }
};

TEST(Bridge, ThePrimaryEntryIsNotADevice) {
  BridgeRig rig;
  ASSERT_EQ(rig.bridge.GetNumDevices(), 2);
  EXPECT_STREQ(rig.bridge.GetDeviceName(0), "Speakers");
  EXPECT_STREQ(rig.bridge.GetDeviceName(1), "Headphones");
  rig.rings.AddDevice("Late");
  EXPECT_EQ(rig.bridge.GetNumDevices(), 2) << "enumerated once per process";
}

TEST(Bridge, TheDeviceTableNeverOverflows) {
  FakeRings rings;
  std::string longName(150, 'x');
  rings.AddDevice(longName);
  for (int i = 0; i < 30; ++i) rings.AddDevice("Device " + std::to_string(i));
  TBridge bridge(rings);
  EXPECT_EQ(bridge.GetNumDevices(), pelds::kMaxDevices);
  EXPECT_EQ(std::string(bridge.GetDeviceName(0)), longName.substr(0, pelds::kNameBytes - 1));
  EXPECT_STREQ(bridge.GetDeviceName(pelds::kMaxDevices - 1), "Device 18");
  EXPECT_STREQ(bridge.GetDeviceName(pelds::kMaxDevices), "");
}

TEST(Bridge, OpenFailsCleanlyAndCanBeRepeated) {
  BridgeRig rig;
  rig.rings.SetOpenFails(true);
  EXPECT_EQ(rig.bridge.Open(0, nullptr), 0);
  EXPECT_EQ(rig.rings.Current(), nullptr);
  EXPECT_EQ(rig.bridge.Open(5, nullptr), 0);
  rig.rings.SetOpenFails(false);
  ASSERT_EQ(rig.bridge.Open(1, nullptr), 1);
  rig.bridge.Lock(kBlock);
  rig.bridge.UnLock();
  // Opening again releases the first ring and starts over.
  ASSERT_EQ(rig.bridge.Open(0, nullptr), 1);
  EXPECT_EQ(rig.bridge.WriteOffset(), 0u);
  rig.bridge.Close();
  EXPECT_EQ(rig.rings.Current(), nullptr);
  TDsLockRecord* r = rig.bridge.Lock(kBlock);
  EXPECT_EQ(r->first, nullptr) << "no ring, no region";
}

TEST(Bridge, PrequeuedBlocksAreAheadOfThePlayCursor) {
  BridgeRig rig;
  ASSERT_EQ(rig.bridge.Open(0, nullptr), 1);
  EXPECT_EQ(rig.bridge.GetNumSamplesAhead(), kRingFrames) << "cursor at the write offset: a full ring";
  for (int n = 1; n <= 16; ++n) {
    rig.bridge.Lock(kBlock);
    rig.bridge.UnLock();
    EXPECT_EQ(rig.bridge.GetNumSamplesAhead(), n * kBlock);
  }
  rig.bridge.Start();
  EXPECT_TRUE(rig.Ring().IsPlaying());
  rig.Ring().SetPlayCursor(4 * kBlock * pelds::kFrameBytes);
  EXPECT_EQ(rig.bridge.GetNumSamplesAhead(), 12 * kBlock);
  rig.bridge.Stop();
  EXPECT_FALSE(rig.Ring().IsPlaying());
}

TEST(Bridge, LocksAcrossTheEndOfTheRing) {
  struct Case {
    int startFrame, frames, firstFrames, secondFrames, nextFrame;
  } cases[] = {
      {0, kBlock, kBlock, 0, kBlock},                                   // inside
      {kRingFrames - 100, kBlock, 100, kBlock - 100, kBlock - 100},     // wraps
      {kRingFrames - kBlock, kBlock, kBlock, 0, 0},                     // ends exactly at the end
      {kRingFrames - 1, kBlock, 1, kBlock - 1, kBlock - 1},             // one frame before the end
  };
  for (const Case& c : cases) {
    BridgeRig rig;
    ASSERT_EQ(rig.bridge.Open(0, nullptr), 1);
    // Walk to the start frame in whole locks plus one remainder.
    int at = 0;
    while (at < c.startFrame) {
      int step = std::min(kBlock, c.startFrame - at);
      rig.bridge.Lock(step);
      rig.bridge.UnLock();
      at += step;
    }
    ASSERT_EQ(rig.bridge.WriteOffset(), uint32_t(c.startFrame) * pelds::kFrameBytes);
    TDsLockRecord* r = rig.bridge.Lock(c.frames);
    EXPECT_TRUE(rig.Ring().IsLocked());
    EXPECT_EQ(r->firstFrames, c.firstFrames) << c.startFrame;
    EXPECT_EQ(r->secondFrames, c.secondFrames) << c.startFrame;
    EXPECT_EQ(r->firstFrames + r->secondFrames, c.frames);
    EXPECT_EQ(r->first, rig.Ring().Data().data() + size_t(c.startFrame) * pelds::kFrameBytes);
    if (c.secondFrames) EXPECT_EQ(r->second, rig.Ring().Data().data());
    else EXPECT_EQ(r->second, nullptr);
    // Writing the regions fills the ring exactly behind the previous block.
    auto* first = static_cast<int16_t*>(r->first);
    for (int i = 0; i < r->firstFrames * 2; ++i) first[i] = int16_t(1 + i);
    auto* second = static_cast<int16_t*>(r->second);
    for (int i = 0; i < r->secondFrames * 2; ++i) second[i] = int16_t(1 + r->firstFrames * 2 + i);
    rig.bridge.UnLock();
    EXPECT_FALSE(rig.Ring().IsLocked());
    EXPECT_EQ(rig.bridge.WriteOffset(), uint32_t(c.nextFrame) * pelds::kFrameBytes) << c.startFrame;
    uint32_t lastByte = (uint32_t(c.startFrame + c.frames) % kRingFrames) * pelds::kFrameBytes;
    EXPECT_EQ(rig.Ring().SampleAt(lastByte - 2 + (lastByte == 0 ? pelds::kRingBytes : 0)), int16_t(c.frames * 2));
  }
}

TEST(Bridge, TheLibraryExportsItsNineEntryPointsByName) {
  std::string path = ProgramPath();
  path = path.substr(0, path.rfind('/') + 1) + kPeldsFileName;
  auto library = DynamicLibrary::Load(path);
  ASSERT_NE(library, nullptr) << path;
  for (const char* name : {"DsGetNumDevices", "DsGetDeviceName", "DsOpen", "DsClose", "DsStart", "DsStop", "DsLock",
                           "DsUnLock", "DsGetNumSamplesAhead"})
    EXPECT_NE(library->Symbol(name), nullptr) << name;
  EXPECT_EQ(library->Symbol("_ZN5pelds7TBridge4LockEi"), nullptr) << "nothing else leaves the library";
  EXPECT_EQ(DynamicLibrary::Load(path + ".missing"), nullptr);
}

} // namespace
