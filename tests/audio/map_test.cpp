// Sample maps and their entries: keys and splits, tuning, the *.map format
// in both byte orders and older versions, embedded sounds and damaged files.
#include "src/audio/samplemap.h"

#include "src/audio/audiofile.h"
#include "src/base/system.h"
#include "tests/audio/pooltest.h"
#include "tests/common/savesafety.h"
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace pooltest;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

using SampleMapTest = PoolTest;

// The map of the golden file: "/maps/kit.map" holding one entry for
// "/x/Piano/C3.wav" without embedded audio.
Bytes GoldenMap(int order) {
  TBytes t{order, {}};
  t.U32(order).U32(200).U32(1).U32(1).U32(1).U32(1);
  t.Str("/maps").Str("kit.map").U32(6);
  t.Str("/x/Piano").Str("C3.wav").U32(4).U32(0);
  t.U32(48).U32(50).U32(uint32_t(-2)).U32(25).U32(uint32_t(-6));
  t.F32(0.25f);
  t.U32(7).U32(8);
  t.U32(1).U32(1).U32(1).U32(0);
  t.U32(9).U32(10).U32(1).U32(120);
  return t.b;
}

const char* const kGoldenLittleEndian =
    "00 00 00 00 C8 00 00 00 01 00 00 00 01 00 00 00 01 00 00 00 01 00 00 00 05 00 00 00 2F 6D 61 70 "
    "73 07 00 00 00 6B 69 74 2E 6D 61 70 06 00 00 00 08 00 00 00 2F 78 2F 50 69 61 6E 6F 06 00 00 00 "
    "43 33 2E 77 61 76 04 00 00 00 00 00 00 00 30 00 00 00 32 00 00 00 FE FF FF FF 19 00 00 00 FA FF "
    "FF FF 00 00 80 3E 07 00 00 00 08 00 00 00 01 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 09 00 "
    "00 00 0A 00 00 00 01 00 00 00 78 00 00 00";

TEST_F(SampleMapTest, GoldenMapFileReadsAndWritesBackByteExactInBothOrders) {
  ASSERT_EQ(GoldenMap(0).size(), 142u);
  ASSERT_EQ(testkit::Hex(GoldenMap(0)), kGoldenLittleEndian);
  for (int order : {0, 1}) {
    TTestOwner owner;
    TAudioFileMap map(&owner, 0);
    TMemInOut in(GoldenMap(order));
    map.Read(&in);
    EXPECT_EQ(in.GetByteOrder(), 0) << "the stream keeps its own order";
    LoadPendingSoundfiles(0);
    EXPECT_EQ(map.GetMapFlag(), 1);
    EXPECT_EQ(map.GetNoStereo(), 1);
    EXPECT_EQ(map.IsModified(), 0);
    EXPECT_EQ(map.GetFileName()->GetPath().Std(), "/maps/kit.map");
    ASSERT_EQ(map.GetCount(), 1);
    IAudioFileMapEntry* e = map.GetAt(0);
    EXPECT_EQ(e->GetSoundFile()->GetFileName()->GetPath().Std(), "/x/Piano/C3.wav");
    EXPECT_EQ(e->GetSoundFile()->GetState(), soundstate::NotFound);
    EXPECT_EQ(e->GetLeftSplit(), 48);
    EXPECT_EQ(e->GetRootKey(), 50);
    EXPECT_EQ(e->GetTune(), -2);
    EXPECT_EQ(e->GetDetune(), 25);
    EXPECT_EQ(e->GetGain(), -6);
    EXPECT_EQ(e->GetPan(), 0.25f);
    EXPECT_EQ(e->GetAux1(), 7);
    EXPECT_EQ(e->GetAux2(), 8);
    EXPECT_EQ(e->GetDirection(), 1);
    EXPECT_EQ(e->GetLoopOn(), 1);
    EXPECT_EQ(e->GetAlternatingLoop(), 1);
    EXPECT_EQ(e->GetLoopInRelease(), 0);
    EXPECT_EQ(e->GetAux3(), 9);
    EXPECT_EQ(e->GetAux4(), 10);
    EXPECT_EQ(e->GetResynthesis(), 1);
    EXPECT_EQ(e->GetTempo(), 120);
    TMemInOut out;
    out.SetByteOrder(order);
    map.Write(&out, 1);
    EXPECT_EQ(testkit::Hex(out.Data()), testkit::Hex(GoldenMap(order))) << "order " << order;
  }
}

// A stored sound path that names no file as it stands (trailing separators,
// a zero byte) is written back as the map holds it after reading, and again
// the same: never a little shorter with every save.
TEST_F(SampleMapTest, StoredSoundPathsKeepTheirLengthThroughSaves) {
  struct Case {
    const char* what;
    std::string folder, name;
    std::string path; // as the map holds it
  };
  const std::string root = Folder("paths");
  const Case cases[] = {
      {"two trailing separators", "/x/Piano//", "C3.wav", "/x/Piano/C3.wav"},
      {"many trailing separators", "/x/Piano////", "C3.wav", "/x/Piano/C3.wav"},
      {"a zero byte in the folder", std::string("/\0x/Piano", 9), "C3.wav", std::string("/\0x/Piano/C3.wav", 16)},
      {"a zero byte in the name of an existing folder's file", root, std::string("C3\0.wav", 7),
       root + std::string("/C3\0.wav", 8)},
      {"a zero byte after the root", std::string("/\0", 2), "C3.wav", std::string("/\0/C3.wav", 9)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBytes t{0, {}};
    t.U32(0).U32(200).U32(1).U32(1).U32(1).U32(1);
    t.Str("/maps").Str("kit.map").U32(6);
    t.Str(c.folder).Str(c.name).U32(4).U32(0);
    t.U32(48).U32(50).U32(uint32_t(-2)).U32(25).U32(uint32_t(-6));
    t.F32(0.25f);
    t.U32(7).U32(8);
    t.U32(1).U32(1).U32(1).U32(0);
    t.U32(9).U32(10).U32(1).U32(120);
    std::vector<uint8_t> bytes = t.b;
    std::vector<std::vector<uint8_t>> saves;
    for (int round = 0; round < 3; ++round) {
      TAudioFileMap map(nullptr, 0);
      TMemInOut in(bytes);
      map.Read(&in);
      LoadPendingSoundfiles(0);
      ASSERT_EQ(map.GetCount(), 1);
      EXPECT_EQ(map.GetAt(0)->GetSoundFile()->GetFileName()->GetPath().Std(), c.path);
      TMemInOut out;
      map.Write(&out, 1);
      bytes = out.Data();
      saves.push_back(bytes);
    }
    EXPECT_EQ(testkit::Hex(saves[1]), testkit::Hex(saves[0]));
    EXPECT_EQ(testkit::Hex(saves[2]), testkit::Hex(saves[0]));
  }
  EXPECT_EQ(PoolSize(), 0);
}

TEST_F(SampleMapTest, OlderBodiesKeepTheDefaultsOfWhatTheyLack) {
  struct Case {
    uint32_t version;
    bool hasLoop;
  } cases[] = {{161, false}, {190, true}};
  for (const Case& c : cases) {
    TBytes t{0, {}};
    t.U32(c.version).U32(1).U32(1).U32(0).U32(0);
    t.Str("/old").Str("bell.wav").U32(4).U32(0);
    t.U32(36).U32(40).U32(1).U32(0).U32(3).U32(5).U32(6);
    if (c.hasLoop) t.U32(1).U32(1).U32(1).U32(0);
    t.U32(0).U32(0).U32(0).U32(100);
    t.U32(0xDEADBEEF); // what follows the body
    TAudioFileMap map(nullptr, 0);
    TMemInOut in(t.b);
    map.Read(&in);
    LoadPendingSoundfiles(0);
    EXPECT_EQ(in.Remaining(), 4) << c.version;
    EXPECT_EQ(map.GetMapFlag(), 0);
    EXPECT_TRUE(map.GetFileName()->GetName(1).IsEmpty());
    ASSERT_EQ(map.GetCount(), 1);
    IAudioFileMapEntry* e = map.GetAt(0);
    EXPECT_EQ(e->GetLeftSplit(), 36);
    EXPECT_EQ(e->GetRootKey(), 40);
    EXPECT_EQ(e->GetTune(), 1);
    EXPECT_EQ(e->GetGain(), 3);
    EXPECT_EQ(e->GetAux1(), 5);
    EXPECT_EQ(e->GetAux2(), 6);
    EXPECT_EQ(e->GetPan(), 0.0f);
    EXPECT_EQ(e->GetDirection(), c.hasLoop ? 1 : 0);
    EXPECT_EQ(e->GetLoopOn(), c.hasLoop ? 1 : 0);
    EXPECT_EQ(e->GetAlternatingLoop(), c.hasLoop ? 1 : 0);
    EXPECT_EQ(e->GetLoopInRelease(), c.hasLoop ? 0 : 1);
    EXPECT_EQ(e->GetTempo(), 100);
  }
}

TEST_F(SampleMapTest, BodiesThatCannotBeReadAreRefusedBeforeAnyEntry) {
  struct Case {
    Bytes bytes;
    const char* message;
  } cases[] = {
      {TBytes{0, {}}.U32(0).U32(201).U32(0).b,
       "File Version is more recent than Program Version.\nSorry - can't read Data"},
      {TBytes{1, {}}.U32(1).U32(0xFFFFFFFF).b,
       "File Version is more recent than Program Version.\nSorry - can't read Data"},
      {TBytes{0, {}}.U32(0).U32(200).U32(129).U32(1).U32(1).U32(0).b,
       "Sorry - map cannot hold more than 128 samples"},
      {TBytes{0, {}}.U32(0).U32(200).U32(0xFFFFFFFF).U32(1).U32(1).U32(0).b,
       "Sorry - map cannot hold more than 128 samples"},
  };
  for (const Case& c : cases) {
    TAudioFileMap map(nullptr, 0);
    TMemInOut in(c.bytes);
    EXPECT_THROW(map.Read(&in), TError);
    EXPECT_EQ(LastError()->Expand().Std(), c.message);
    EXPECT_EQ(map.GetCount(), 0);
  }
}

// A map of the given sounds (each written first), owned by the test.
struct TMapOf {
  TTestOwner owner;
  TAudioFileMap map{&owner, 0};
  // Writes one sound per root key into the folder and adds them in order.
  void AddRooted(const std::string& folder, std::initializer_list<int> rootKeys) {
    for (int key : rootKeys) {
      const std::string path = folder + "/root" + std::to_string(key) + ".wav";
      TSound s;
      s.rootKey = key;
      WriteSound(path, s);
      EPtr<IFileName> name(NameOf(path));
      map.Add(name.Get());
    }
  }
};

TEST_F(SampleMapTest, StepFollowsRootTuneDetuneAndRates) {
  const std::string folder = Folder("step");
  struct Case {
    int soundRate;
    float processingRate;
    int root, tune, detune;
  } cases[] = {
      {44100, 44100, 60, 0, 0},   {44100, 44100, 69, 0, 0},  {22050, 44100, 60, 0, 0},
      {44100, 48000, 60, 0, 0},   {48000, 44100, 72, -12, 0}, {44100, 44100, 60, 1, 0},
      {44100, 44100, 60, 0, 100}, {44100, 44100, 60, 0, -50}, {96000, 32000, 0, 3, 7},
  };
  for (const Case& c : cases) {
    const std::string path = folder + "/r" + std::to_string(c.soundRate) + ".wav";
    TSound s;
    s.rate = c.soundRate;
    WriteSound(path, s);
    services.rate = c.processingRate;
    TMapOf m;
    EPtr<IFileName> name(NameOf(path));
    m.map.Add(name.Get());
    IAudioFileMapEntry* e = m.map.GetAt(0);
    e->SetRootKey(c.root);
    e->SetTune(c.tune);
    e->SetDetune(c.detune);
    const double expected = c.soundRate * std::pow(2.0, ((69 - c.root) + c.tune + c.detune * 0.01) / 12.0) /
                            c.processingRate / 440.0;
    EXPECT_NEAR(e->GetStep(), expected, expected * 1e-6) << c.soundRate << " " << c.root << " " << c.tune;
  }
  // A worked figure: a 44.1 kHz sound of root key 60 at a 44.1 kHz processing
  // rate steps by 1 / 261.6256, the frequency of key 60; and detune 100 equals
  // tune 1.
  WriteSound(folder + "/a.wav");
  services.rate = 44100;
  TMapOf m;
  EPtr<IFileName> name(NameOf(folder + "/a.wav"));
  m.map.Add(name.Get());
  IAudioFileMapEntry* e = m.map.GetAt(0);
  EXPECT_NEAR(e->GetStep(), 0.0038223f, 1e-7f);
  EXPECT_NEAR(e->GetStep() * 261.6256f, 1.0f, 1e-5f);
  e->SetTune(1);
  const float tuned = e->GetStep();
  e->SetTune(0);
  e->SetDetune(100);
  EXPECT_FLOAT_EQ(e->GetStep(), tuned);
  // A new processing rate reaches the entries through UpdateRates.
  services.rate = 22050;
  EXPECT_FLOAT_EQ(e->GetStep(), tuned);
  m.map.UpdateRates();
  EXPECT_FLOAT_EQ(e->GetStep(), tuned * 2);
}

TEST_F(SampleMapTest, LengthInSixteenthsByTempo) {
  const std::string folder = Folder("length");
  struct Case {
    int ms, tempo, length16;
  } cases[] = {{705, 85, 4}, {706, 85, 8}, {500, 85, 4}, {2000, 85, 16}, {3000, 85, 32},
               {1, 85, 4},   {2000, 0, 4}, {2000, -5, 4}, {1000, 120, 16}, {999, 120, 8}};
  for (const Case& c : cases) {
    const std::string path = folder + "/l" + std::to_string(c.ms) + ".wav";
    TSound s;
    s.rate = 1000; // one frame per millisecond
    s.frames = c.ms;
    WriteSound(path, s);
    TMapOf m;
    EPtr<IFileName> name(NameOf(path));
    m.map.Add(name.Get());
    IAudioFileMapEntry* e = m.map.GetAt(0);
    const int atDefaultTempo = e->GetLength16();
    e->SetTempo(c.tempo);
    EXPECT_EQ(e->GetLength16(), atDefaultTempo) << "not before the next sound";
    e->SetSoundFile(name.Get());
    EXPECT_EQ(e->GetLength16(), c.length16) << c.ms << " ms at " << c.tempo;
  }
}

TEST_F(SampleMapTest, KeysFollowTheSplits) {
  const std::string folder = Folder("keys");
  TMapOf m;
  m.AddRooted(folder, {60});
  IAudioFileMapEntry* upper = m.map.GetAt(0);
  // One entry plays every key, whatever its split.
  for (float key : {-3.7f, 0.0f, 59.0f, 60.0f, 127.0f, 200.0f}) EXPECT_EQ(m.map.FindForKey(key), upper) << key;
  m.AddRooted(folder, {36});
  ASSERT_EQ(m.map.GetAt(0)->GetLeftSplit(), 36);
  IAudioFileMapEntry* lower = m.map.GetAt(0);
  EXPECT_EQ(m.map.GetAt(1), upper);
  struct Case {
    float key;
    IAudioFileMapEntry* entry;
  } cases[] = {{-3.7f, lower}, {0.0f, lower},   {35.9f, lower}, {36.0f, lower},  {59.99f, lower},
               {60.0f, upper}, {100.5f, upper}, {127.0f, upper}, {200.0f, upper}, {NAN, lower}};
  for (const Case& c : cases) {
    EXPECT_EQ(m.map.FindForKey(c.key), c.entry) << c.key;
    EXPECT_EQ(m.map.GetCurrent(), c.entry);
  }
  EXPECT_EQ(m.map.IndexOf(upper), 1);
  EXPECT_EQ(m.map.GetAt(2), nullptr);
  EXPECT_EQ(m.map.GetAt(-1), nullptr);
  // A split above the keyboard holds no key; the lowest zone reaches key 0.
  upper->SetLeftSplit(130);
  EXPECT_EQ(m.map.FindForKey(127.0f), lower);
  EXPECT_EQ(m.map.FindForKey(0.0f), lower);
  m.map.Remove(lower);
  EXPECT_EQ(m.map.GetCurrent(), nullptr);
  EXPECT_EQ(m.map.FindForKey(10.0f), upper);
}

TEST_F(SampleMapTest, DraggedSplitSwapsWithTheEntryItMeets) {
  TMapOf m;
  m.AddRooted(Folder("drag"), {36, 48});
  IAudioFileMapEntry* ea = m.map.GetAt(0);
  IAudioFileMapEntry* eb = m.map.GetAt(1);
  ea->SetLeftSplit(48);
  EXPECT_EQ(eb->GetLeftSplit(), 36);
  EXPECT_EQ(ea->GetLeftSplit(), 48);
  EXPECT_EQ(m.map.GetAt(0), eb);
  ea->SetLeftSplit(50);
  EXPECT_EQ(eb->GetLeftSplit(), 48);
  EXPECT_EQ(ea->GetLeftSplit(), 50);
  EXPECT_EQ(m.map.FindForKey(49.0f), eb);
  EXPECT_EQ(m.map.FindForKey(50.0f), ea);
}

TEST_F(SampleMapTest, AddPlacesByRootKeyAndStopsAt128) {
  const std::string folder = Folder("add");
  TSound s;
  s.rootKey = 64;
  s.loopOn = 1;
  s.loopStart = 10;
  s.loopEnd = 90;
  WriteSound(folder + "/a.wav", s);
  s.rootKey = 0;
  WriteSound(folder + "/zero.wav", s);
  TMapOf m;
  EPtr<IFileName> a(NameOf(folder + "/a.wav")), zero(NameOf(folder + "/zero.wav"));
  m.map.Add(zero.Get());
  EXPECT_EQ(m.map.GetAt(0)->GetLeftSplit(), 60);
  EXPECT_EQ(m.map.GetAt(0)->GetRootKey(), 60);
  m.map.Add(a.Get());
  EXPECT_EQ(m.map.GetAt(1)->GetLeftSplit(), 64);
  EXPECT_EQ(m.map.GetAt(1)->GetLoopOn(), 1);
  // Collisions go one above the highest split, past the keyboard if need be.
  while (m.map.GetCount() < 128) m.map.Add(a.Get());
  EXPECT_EQ(m.map.GetAt(127)->GetLeftSplit(), 64 + 126);
  EXPECT_EQ(m.map.GetAt(127)->GetRootKey(), 64 + 126);
  EXPECT_EQ(PoolSize(), 2);
  EXPECT_THROW(m.map.Add(a.Get()), TError);
  EXPECT_EQ(LastError()->Expand().Std(), "Sorry - map cannot hold more than 128 samples");
  EXPECT_EQ(m.map.GetCount(), 128);
  EXPECT_EQ(m.map.GetAt(0)->GetResynthesis(), 0);
}

TEST_F(SampleMapTest, ResynthesisFollowsTheMapExceptInBeatLoops) {
  const std::string folder = Folder("resynth");
  WriteSound(folder + "/a.wav");
  EPtr<IFileName> a(NameOf(folder + "/a.wav"));
  for (int beatLoop : {0, 1}) {
    testkit::ScriptedHost host;
    host.QueueAnswer(3); // do not save the analysis
    TTestOwner owner;
    owner.typeIndex = beatLoop ? 170 : 131;
    TAudioFileMap map(&owner, 1);
    map.Add(a.Get());
    EXPECT_NE(map.GetAt(0)->GetSoundFile()->GetAnalysis(), nullptr);
    EXPECT_EQ(map.GetAt(0)->GetResynthesis(), beatLoop ? 0 : 1);
  }
}

TEST_F(SampleMapTest, UnreadableSoundLeavesTheMapUnchanged) {
  const std::string folder = Folder("unreadable");
  WriteSound(folder + "/a.wav");
  PutFileBytes(folder + "/bad.wav", Bytes(50, 1));
  TMapOf m;
  EPtr<IFileName> a(NameOf(folder + "/a.wav")), bad(NameOf(folder + "/bad.wav")),
      missing(NameOf(folder + "/missing.wav"));
  m.map.Add(a.Get());
  IAudioFileMapEntry* e = m.map.GetAt(0);
  IAudioFileBuf* sound = e->GetSoundFile();
  for (IFileName* n : {bad.Get(), missing.Get()}) {
    EXPECT_THROW(m.map.Add(n), TError);
    EXPECT_THROW(e->SetSoundFile(n), TError);
    EXPECT_THROW(m.map.Load(n), TError);
    ASSERT_EQ(m.map.GetCount(), 1);
    EXPECT_EQ(m.map.GetAt(0), e);
    EXPECT_EQ(e->GetSoundFile(), sound);
    EXPECT_EQ(PoolSize(), 1);
  }
}

TEST_F(SampleMapTest, LoadingASoundAsksBeforeDiscardingAModifiedMap) {
  const std::string folder = Folder("discard");
  WriteSound(folder + "/a.wav");
  WriteSound(folder + "/b.wav");
  EPtr<IFileName> a(NameOf(folder + "/a.wav")), b(NameOf(folder + "/b.wav"));
  TMapOf m;
  for (int i = 0; i < 3; ++i) m.map.Add(a.Get());
  ASSERT_EQ(m.map.IsModified(), 1);
  testkit::ScriptedHost host;
  host.QueueAnswer(3);
  m.map.Load(b.Get());
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_EQ(host.Boxes()[0].text, "Are you sure you want to discard changes made to untitled Map?");
  EXPECT_EQ(m.map.GetCount(), 3);
  host.QueueAnswer(2);
  m.map.Load(b.Get());
  ASSERT_EQ(m.map.GetCount(), 1);
  EXPECT_EQ(m.map.GetAt(0)->GetSoundFile()->GetFileName()->GetName(1).Std(), "b.wav");
  EXPECT_EQ(m.map.IsModified(), 0);
  EXPECT_EQ(PoolSize(), 1);
  // A map of one entry never asks.
  m.map.Add(a.Get());
  m.map.Remove(m.map.GetAt(1));
  m.map.Load(a.Get());
  EXPECT_EQ(host.Boxes().size(), 2u);
}

TEST_F(SampleMapTest, DisplayNameAndStereo) {
  const std::string folder = Folder("display");
  TSound stereo;
  stereo.channels = 2;
  WriteSound(folder + "/mono.wav");
  WriteSound(folder + "/wide.wav", stereo);
  EPtr<IFileName> mono(NameOf(folder + "/mono.wav")), wide(NameOf(folder + "/wide.wav"));
  TMapOf m;
  EXPECT_EQ(m.map.GetDisplayName()->GetName(1).Std(), "empty");
  EXPECT_EQ(m.map.HasSamples(), 0);
  m.map.Add(mono.Get());
  EXPECT_EQ(m.map.GetDisplayName()->GetPath().Std(), folder + "/mono.wav");
  EXPECT_EQ(m.map.IsStereo(), 0);
  m.map.Add(wide.Get());
  EXPECT_EQ(m.map.GetDisplayName()->GetName(1).Std(), "untitled Map");
  EXPECT_EQ(m.map.IsStereo(), 1);
  m.map.SetNoStereo(1);
  EXPECT_EQ(m.map.IsStereo(), 0);
  testkit::ScriptedHost host;
  host.QueueAnswer(3);
  EPtr<IFileName> file(NameOf(folder + "/set.map"));
  m.map.Save(file.Get());
  EXPECT_EQ(m.map.GetDisplayName()->GetName(1).Std(), "set.map");
  m.map.Remove(m.map.GetAt(0));
  m.map.Remove(m.map.GetAt(0));
  EXPECT_TRUE(m.map.GetFileName()->GetName(1).IsEmpty());
  host.QueueAnswer(2);
  m.map.NotAvailable();
  EXPECT_EQ(host.Boxes().back().text, "Oops, this command is not yet available.");
}

// A saved map with embedded audio whose sound files are then deleted.
struct TEmbedded {
  std::string mapPath;
  std::vector<std::vector<float>> samples;
};

TEmbedded SaveEmbedded(const std::string& folder) {
  TEmbedded r;
  r.mapPath = folder + "/kit.map";
  TSound s;
  s.frames = 60;
  s.rootKey = 40;
  WriteSound(folder + "/a.wav", s);
  s.channels = 2;
  s.frames = 30;
  s.rootKey = 70;
  s.analysed = true;
  WriteSound(folder + "/b.aif", s);
  {
    TAudioFileMap map(nullptr, 0);
    for (const char* f : {"/a.wav", "/b.aif"}) {
      EPtr<IFileName> name(NameOf(folder + f));
      map.Add(name.Get());
    }
    for (int i = 0; i < 2; ++i) {
      IAudioBuf* buf = map.GetAt(i)->GetSoundFile()->GetSampleBuf();
      std::vector<float> v;
      for (int c = 0; c < buf->GetChannels(); ++c)
        for (int f = 0; f < buf->GetLength(); ++f) v.push_back(buf->GetSample(f, c));
      r.samples.push_back(v);
    }
    testkit::ScriptedHost host;
    host.QueueAnswer(2); // with a backup copy
    EPtr<IFileName> file(NameOf(r.mapPath));
    map.Save(file.Get());
  }
  fs::remove(folder + "/a.wav");
  fs::remove(folder + "/b.aif");
  return r;
}

TEST_F(SampleMapTest, AKilledFailedOrRefusedMapSaveKeepsTheOldFileAndSaysWhy) {
  const std::string folder = testkit::TempDir("map-kill");
  TSound sound;
  sound.frames = 2000;
  WriteSound(folder + "/a.wav", sound);
  TAudioFileMap map(nullptr, 0);
  EPtr<IFileName> a(NameOf(folder + "/a.wav"));
  map.Add(a.Get());
  testkit::ScriptedHost host;
  const std::string path = folder + "/kit.map";
  EPtr<IFileName> file(NameOf(path));
  testkit::SaveUnderTest s;
  s.target = path;
  s.putOld = [&] { std::ofstream(path, std::ios::binary) << "an older map"; };
  s.save = [&] {
    host.QueueAnswer(2); // the sounds go into the map
    map.Save(file.Get());
  };
  testkit::CheckKilledSaves(s);
  testkit::CheckFullDiskSaves(s, [&](bool threw) {
    return threw && LastError()->Expand().Std() == "Not enough space to write file\n" + path + ".";
  });
  // A folder in the way or a folder that may not be written is named as such.
  struct Case {
    const char* what;
    void (*make)(const std::string& dir);
    const char* message;
  };
  const Case cases[] = {
      {"a folder in the way", [](const std::string& dir) { fs::create_directories(dir + "/kit.map"); },
       "\nA folder of that name is in the way."},
      {"a read-only folder",
       [](const std::string& dir) { fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec); },
       "\nThe file or its folder is write-protected."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (::geteuid() == 0 && std::string(c.what) == "a read-only folder") continue; // root writes anyway
    const std::string dir = testkit::TempDir("map-refused");
    c.make(dir);
    EPtr<IFileName> there(NameOf(dir + "/kit.map"));
    host.QueueAnswer(3);
    EXPECT_THROW(map.Save(there.Get()), TError);
    EXPECT_EQ(LastError()->Expand().Std(), "Cannot write file " + dir + "/kit.map." + c.message);
    fs::permissions(dir, fs::perms::owner_all);
  }
}

TEST_F(SampleMapTest, EmbeddedMapRestoresItsSoundsWithoutTheirFiles) {
  TEmbedded saved = SaveEmbedded(Folder("embedded"));
  testkit::ScriptedHost host; // nothing is missing: no question
  TMapOf m;
  EPtr<IFileName> file(NameOf(saved.mapPath));
  m.map.Load(file.Get());
  ASSERT_EQ(m.map.GetCount(), 2);
  EXPECT_TRUE(host.Boxes().empty());
  for (int i = 0; i < 2; ++i) {
    IAudioFileBuf* sound = m.map.GetAt(i)->GetSoundFile();
    EXPECT_EQ(sound->GetState(), soundstate::Elsewhere);
    IAudioBuf* buf = sound->GetSampleBuf();
    std::vector<float> v;
    for (int c = 0; c < buf->GetChannels(); ++c)
      for (int f = 0; f < buf->GetLength(); ++f) v.push_back(buf->GetSample(f, c));
    EXPECT_EQ(v, saved.samples[i]) << i;
  }
  EXPECT_EQ(m.map.GetAt(0)->GetSoundFile()->GetRootKey(), 40);
  EXPECT_EQ(m.map.GetAt(1)->GetSoundFile()->GetRootKey(), 70);
  EXPECT_NE(m.map.GetAt(1)->GetSoundFile()->GetAnalysis(), nullptr);
  EXPECT_EQ(m.map.GetFileName()->GetPath().Std(), saved.mapPath);
  EXPECT_EQ(m.map.IsModified(), 0);
}

TEST_F(SampleMapTest, EverySaveEmbedsSharedSoundsOnce) {
  const std::string folder = Folder("twice");
  TSound s;
  s.frames = 1000;
  WriteSound(folder + "/a.wav", s);
  TMapOf m;
  EPtr<IFileName> a(NameOf(folder + "/a.wav"));
  m.map.Add(a.Get());
  m.map.Add(a.Get()); // shares the sound
  testkit::ScriptedHost host;
  // Names of one length, so that only the audio makes a difference.
  EPtr<IFileName> first(NameOf(folder + "/one.map")), second(NameOf(folder + "/two.map")),
      bare(NameOf(folder + "/raw.map"));
  for (IFileName* f : {bare.Get(), first.Get(), second.Get(), bare.Get()}) {
    host.QueueAnswer(f == bare.Get() ? 3 : 2);
    m.map.Save(f);
  }
  const size_t withAudio = fs::file_size(folder + "/one.map");
  EXPECT_EQ(fs::file_size(folder + "/two.map"), withAudio);
  EXPECT_EQ(withAudio, fs::file_size(folder + "/raw.map") + 24 + 1000 * 4 + 16);
}

TEST_F(SampleMapTest, CutMapFileEndsInAMessageAndKeepsTheMap) {
  const std::string folder = Folder("cut");
  TEmbedded saved = SaveEmbedded(folder);
  const Bytes whole = FileBytes(saved.mapPath);
  WriteSound(folder + "/keep.wav");
  EPtr<IFileName> keep(NameOf(folder + "/keep.wav"));
  TMapOf m;
  m.map.Add(keep.Get());
  IAudioFileMapEntry* kept = m.map.GetAt(0);
  testkit::ScriptedHost host; // a cut file asks nothing
  const std::string cutPath = folder + "/cut.map";
  EPtr<IFileName> cut(NameOf(cutPath));
  for (size_t n = 0; n < whole.size(); ++n) {
    PutFileBytes(cutPath, Bytes(whole.begin(), whole.begin() + n));
    EXPECT_THROW(m.map.Load(cut.Get()), TError) << n;
    EXPECT_FALSE(LastError()->Expand().IsEmpty());
    ASSERT_EQ(m.map.GetCount(), 1) << n;
    EXPECT_EQ(m.map.GetAt(0), kept);
    ASSERT_EQ(PoolSize(), 1) << n;
  }
  PutFileBytes(cutPath, whole);
  m.map.Load(cut.Get());
  EXPECT_EQ(m.map.GetCount(), 2);
}

TEST_F(SampleMapTest, DamagedLengthsAreBoundedByTheData) {
  TEmbedded saved = SaveEmbedded(Folder("lengths"));
  const Bytes whole = FileBytes(saved.mapPath);
  // Every 32-bit word in turn set to a huge value: a message or a map, never a crash.
  for (size_t at = 0; at + 4 <= whole.size(); at += 4) {
    for (uint32_t v : {0x7FFFFFFFu, 0xFFFFFFF0u}) {
      Bytes damaged = whole;
      std::memcpy(damaged.data() + at, &v, 4);
      TAudioFileMap map(nullptr, 0);
      TMemInOut in(damaged);
      try {
        map.Read(&in);
      } catch (const TError&) {
      }
      LoadPendingSoundfiles(0);
    }
  }
  EXPECT_EQ(PoolSize(), 0);
}

// A map file of one entry whose sound is missing but embedded: the embedded
// copy's header claims a length; the reader believes it only when the rest
// of the file can hold that many samples, and asks the sample heap for no
// more than the file could fill.
TEST_F(SampleMapTest, EmbeddedHeadersAllocateNoMoreThanTheFileHolds) {
  struct Case {
    const char* what;
    uint32_t length, channels, interleaved, bits, isFloat;
    uint32_t samplesStored; // 32-bit words of sample data that really follow
    bool accepted;
  };
  const Case cases[] = {
      {"interleaved with a huge length", 0x33333333u, 1, 1, 32, 1, 0, false},
      {"interleaved stereo with a huge length", 0x11111111u, 2, 1, 32, 1, 0, false},
      {"one block per channel beyond the data", 1000000, 1, 0, 32, 1, 16, false},
      {"16-bit stereo beyond the data", 400000, 2, 0, 16, 0, 16, false},
      {"a small valid sound", 8, 1, 0, 32, 1, 8, true},
  };
  const std::string folder = Folder("headers");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBytes sound{0, {}};
    sound.U32(c.length).U32(c.channels).U32(44100).U32(c.interleaved).U32(c.bits).U32(c.isFloat);
    for (uint32_t i = 0; i < c.samplesStored; ++i) sound.F32(float(i) / 16.0f);
    sound.U32(0).U32(c.length).U32(60).U32(0); // loop start and end, root key, no analysis
    TBytes t{0, {}};
    t.U32(0).U32(200).U32(1).U32(1).U32(1).U32(0);
    t.Str(folder).Str("kit.map").U32(6);
    t.Str(folder + "/gone").Str("gone.wav").U32(4).U32(uint32_t(sound.b.size()));
    t.b.insert(t.b.end(), sound.b.begin(), sound.b.end());
    t.U32(60).U32(60).U32(0).U32(0).U32(0).F32(1.0f).U32(0).U32(0);
    t.U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(1).U32(120);
    const std::string path = folder + "/kit.map";
    PutFileBytes(path, t.b);

    testkit::ScriptedHost host; // an embedded sound asks nothing
    TMapOf m;
    EPtr<IFileName> file(NameOf(path));
    SampleHeap().ResetPeak();
    const uint64_t before = SampleHeap().Used();
    if (c.accepted) {
      m.map.Load(file.Get());
      ASSERT_EQ(m.map.GetCount(), 1);
      IAudioBuf* buf = m.map.GetAt(0)->GetSoundFile()->GetSampleBuf();
      EXPECT_EQ(buf->GetLength(), int32_t(c.length));
      EXPECT_EQ(buf->GetSample(3, 0), 3.0f / 16.0f);
    } else {
      EXPECT_THROW(m.map.Load(file.Get()), TError);
      EXPECT_EQ(LastError()->Expand().Std(), "Error while reading file " + path + ".");
      EXPECT_EQ(m.map.GetCount(), 0);
    }
    // A few copies of the samples the file holds, their guard frames and
    // the analysis a sound gets: never what the header alone claims.
    EXPECT_LE(SampleHeap().Peak() - before, 8 * t.b.size() + 4096) << "file of " << t.b.size() << " bytes";
  }
}

TEST_F(SampleMapTest, OldEmbeddedSampleRecords) {
  const std::string folder = Folder("legacy");
  WriteSound(folder + "/old.wav");
  TTestOwner owner;
  owner.backup = 1;
  TAudioFileMap map(&owner, 0);
  // Root key, frame count as a float, the rate, then the 16-bit samples.
  TBytes t{0, {}};
  t.U32(55).F32(4.0f).U32(22050);
  for (int16_t v : {int16_t(16384), int16_t(-16384), int16_t(32767), int16_t(0)}) {
    t.b.push_back(uint8_t(v));
    t.b.push_back(uint8_t(uint16_t(v) >> 8));
  }
  // Half a frame more: the record still holds whole values.
  t.U32(56).F32(2.5f).U32(22050);
  for (int i = 0; i < 3; ++i) t.b.push_back(0x00), t.b.push_back(0x40);
  t.U32(57).F32(0.0f).U32(8000); // no samples at all
  t.U32(0xCAFEF00D);
  TMemInOut in(t.b);
  for (int i = 0; i < 3; ++i) map.ReadEmbeddedSample(&in);
  EXPECT_EQ(in.Remaining(), 4);
  ASSERT_EQ(map.GetCount(), 3);
  IAudioFileMapEntry* e = map.GetAt(0);
  IAudioBuf* buf = e->GetSoundFile()->GetSampleBuf();
  EXPECT_EQ(e->GetRootKey(), 55);
  EXPECT_EQ(buf->GetLength(), 4);
  EXPECT_EQ(buf->GetRate(), 22050);
  EXPECT_EQ(buf->GetSample(0, 0), 0.5f);
  EXPECT_EQ(buf->GetSample(1, 0), -0.5f);
  EXPECT_EQ(e->GetSoundFile()->GetState(), soundstate::Elsewhere);
  EXPECT_EQ(map.GetAt(1)->GetSoundFile()->GetSampleBuf()->GetLength(), 2);
  EXPECT_EQ(map.GetAt(2)->GetLength16(), 4); // a sound of 0 ms is one beat
  // Each is a sound of its own, though all are called "Unnamed".
  EXPECT_EQ(PoolSize(), 3);

  // Without the backup option a frame count of 0 names a file.
  owner.backup = 0;
  TAudioFileMap named(&owner, 0);
  TBytes p{0, {}};
  p.U32(60).F32(0.0f).Str(folder + "/old.wav");
  p.U32(60).F32(0.0f).Str(folder + "/gone.wav");
  p.U32(60).F32(12.0f);
  TMemInOut pin(p.b);
  testkit::ScriptedHost host;
  host.QueueAnswer(0);
  for (int i = 0; i < 3; ++i) named.ReadEmbeddedSample(&pin);
  EXPECT_EQ(pin.Remaining(), 0);
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_NE(host.Boxes()[0].text.find("gone.wav"), std::string::npos);
  ASSERT_EQ(named.GetCount(), 1);
}

} // namespace
