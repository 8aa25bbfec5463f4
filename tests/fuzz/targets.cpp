#include "tests/fuzz/targets.h"

#include "tests/mod/ensemble_fixture.h"

#include "pc/midi/mmmidi.h"
#include "platform/fs.h"
#include "platform/guihost.h"
#include "platform/seq.h"
#include "setpx/profile.h"
#include "setpx/setpx.h"
#include "src/audio/audiofile.h"
#include "src/audio/samplemap.h"
#include "src/audio/soundpool.h"
#include "src/base/file.h"
#include "src/base/inout.h"
#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "src/engine/offline.h"
#include "src/mod/ensfile.h"
#include "src/mod/modfile.h"
#include "src/mod/undo.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fuzz {

namespace {

// Answers every message as a person pressing Esc would, without a word.
class TQuietHost : public platform::GuiHost {
public:
  int MessageBox(const std::string&, const std::string&, int kind) override { return platform::EscapeAnswer(kind); }
  void Beep() override {}
};

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "fuzz finding: %s\n", what);
  std::abort();
}

std::string ScratchFolder() {
  static const std::string folder = [] {
    std::string f = platform::TempFolderPath() + "/qvfuzz-" + std::to_string(long(::getpid()));
    std::filesystem::create_directories(f);
    return f;
  }();
  return folder;
}

// One ensemble for the whole run, as the program has one.
struct TWorld {
  TQuietHost host;
  platform::GuiHost* previous = platform::SetHost(&host);
  ensfix::TMidiMakerScope midi;
  ensfix::TEnsembleFixture fx;
  KEnsembleFiles files{fx.ens};
  TWorld() {
    ::setenv("QUORVEX_SETTINGS_DIR", (ScratchFolder() + "/settings").c_str(), 1);
    OpenSettings(TStr("Quorvex"));
    files.GetUndo().SetFolder(TStr(ScratchFolder().c_str()));
  }
};

TWorld& World() {
  static TWorld* world = new TWorld; // lives to the end of the process
  return *world;
}

std::vector<uint8_t> WriteEnsemble() {
  TMemInOut out;
  KModulFile::WriteEnsemble(out, World().files);
  return out.Data();
}

// Reads bytes as an ensemble (with the serial numbers of an undo snapshot
// when undo is set); an accepted one is written, read and written again.
int ReadEnsemble(const uint8_t* data, size_t size, bool undo) {
  TWorld& w = World();
  w.files.SetUndoBusy(undo);
  TMemInOut in(std::vector<uint8_t>(data, data + size));
  if (w.files.OpenEnsembleStream(in, TStr("fuzz.ens")) == 1) {
    const std::vector<uint8_t> first = WriteEnsemble();
    TMemInOut again(first);
    if (w.files.OpenEnsembleStream(again, TStr("fuzz.ens")) != 1) Finding("an accepted ensemble does not read back");
    const std::vector<uint8_t> second = WriteEnsemble();
    if (second != first) {
      size_t at = 0;
      while (at < first.size() && at < second.size() && first[at] == second[at]) ++at;
      std::fprintf(stderr, "first difference at byte %zu of %zu / %zu\n", at, first.size(), second.size());
      Finding("an ensemble read back writes other bytes");
    }
  }
  w.files.SetUndoBusy(false);
  return 0;
}

int Ensemble(const uint8_t* data, size_t size) { return ReadEnsemble(data, size, false); }
int Snapshot(const uint8_t* data, size_t size) { return ReadEnsemble(data, size, true); }

std::string PutFile(const char* name, const uint8_t* data, size_t size) {
  const std::string path = ScratchFolder() + "/" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), std::streamsize(size));
  return path;
}

int Macro(const uint8_t* data, size_t size) {
  TWorld& w = World();
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(PutFile("fuzz.mdl", data, size).c_str()));
  KSModul* top = w.fx.Top();
  KSModul* macro = top->InsertModule(kTypeMacro, 1);
  if (!macro) return 0;
  const int32_t before = macro->GetChildCount();
  if (w.files.ImportModuleFile(*macro, *name) == 0) {
    if (macro->GetChildCount() != before) Finding("a refused import left modules behind");
  } else {
    // What was imported is saved as a macro file; that file imports into a
    // fresh macro and saves to the same bytes.
    auto save = [&](KSModul& m, const char* file) {
      EPtr<IFileName> out(CreateFileName());
      out->SetPath(TStr((ScratchFolder() + "/" + file).c_str()));
      KModulFile::SaveModuleFile(*out, m, w.files);
      std::string bytes;
      platform::ReadWholeFile(ScratchFolder() + "/" + file, bytes);
      return bytes;
    };
    const std::string first = save(*macro, "first.mdl");
    KSModul* copy = top->InsertModule(kTypeMacro, 1);
    if (!copy) Finding("no second macro");
    // Where a new module's box and panel control go depends on what was
    // inserted before it, not on the file.
    copy->SetPos(macro->GetPos());
    copy->SetInstrCtrlPos(macro->GetInstrCtrlPos());
    copy->SetEnsCtrlPos(macro->GetEnsCtrlPos());
    EPtr<IFileName> firstName(CreateFileName());
    firstName->SetPath(TStr((ScratchFolder() + "/first.mdl").c_str()));
    if (w.files.ImportModuleFile(*copy, *firstName) == 0) Finding("an accepted macro written again does not import");
    if (copy->GetChildCount() != macro->GetChildCount()) Finding("an accepted macro imports with other children");
    if (save(*copy, "second.mdl") != first) Finding("an accepted macro imported again saves other bytes");
    top->DeleteChild(copy);
  }
  top->DeleteChild(macro);
  return 0;
}

int Sound(const uint8_t* data, size_t size) {
  World();
  const bool aiff = size >= 4 && data[0] == 'F' && data[1] == 'O';
  try {
    EPtr<IAudioFile> f(OpenAudioStreamFile(std::make_unique<TMemAudioStream>(std::vector<uint8_t>(data, data + size),
                                                                             TStr("/fuzz/sound")),
                                           aiff ? filetype::Aiff : filetype::Wav, 1024));
    if (f->GetFileLength() > (1 << 22)) return 0; // longer than a seed needs to be
    EPtr<IAudioBuf> samples(CreateAudioBuf(1, 0, 32, f->GetChannels(), f->GetRate(), f->GetFileLength(), 4));
    f->LoadInto(samples.Get());
    // An accepted sound is written again as 32-bit float, which holds every
    // sample it read exactly, and must read back to the same sound.
    auto* stream = new TMemAudioStream({}, TStr("/fuzz/again"));
    {
      EPtr<IAudioFile> out(CreateAudioStreamFile(std::unique_ptr<TAudioStream>(stream), filetype::Wav, 1, 1, 32,
                                                 f->GetChannels(), f->GetRate(), 1024, f->GetFileLength(),
                                                 f->GetLoopOn(), f->GetAlternatingLoop(), f->GetLoopInRelease(),
                                                 f->GetLoopStart(), f->GetLoopEnd(), f->GetRootKey(), nullptr));
      out->WriteFrom(samples.Get(), -1);
      std::vector<uint8_t> written = stream->Data();
      EPtr<IAudioFile> back(OpenAudioStreamFile(std::make_unique<TMemAudioStream>(std::move(written), TStr("/fuzz/again")),
                                                filetype::Wav, 1024));
      if (back->GetChannels() != f->GetChannels() || back->GetRate() != f->GetRate() ||
          back->GetFileLength() != f->GetFileLength() || back->GetLoopOn() != f->GetLoopOn() ||
          back->GetRootKey() != f->GetRootKey())
        Finding("an accepted sound written again reads back with another format");
      EPtr<IAudioBuf> again(CreateAudioBuf(1, 0, 32, back->GetChannels(), back->GetRate(), back->GetFileLength(), 4));
      back->LoadInto(again.Get());
      for (int32_t c = 0; c < f->GetChannels(); ++c)
        for (int32_t i = 0; i < f->GetFileLength(); ++i) {
          const float a = samples->GetSample(i, c), b = again->GetSample(i, c);
          if (a != b && !(a != a && b != b)) Finding("an accepted sound written again reads back other samples");
        }
    }
  } catch (const TError&) {
    // Refused with the program's own message.
  }
  return 0;
}

// The pool: a sound file loaded and analysed as a sampler asks for it, saved
// under another name and loaded from there again.
int Pool(const uint8_t* data, size_t size) {
  World();
  if (size > (1 << 20)) return 0;
  const bool aiff = size >= 4 && data[0] == 'F' && data[1] == 'O';
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(PutFile(aiff ? "pool.aif" : "pool.wav", data, size).c_str()));
  TAudioFileMapEntry user(nullptr), second(nullptr);
  IAudioFileBuf* sound = nullptr;
  try {
    sound = AcquireSoundFile(&user, name.Get(), 1);
  } catch (const TError&) {
    return 0; // refused with the program's own message
  }
  IAudioBuf* samples = sound->GetSampleBuf();
  if (sound->GetState() == soundstate::Loaded && samples && samples->GetLength() <= (1 << 18)) {
    EPtr<IFileName> copyName(CreateFileName());
    copyName->SetPath(TStr((ScratchFolder() + "/pool-copy.wav").c_str()));
    try {
      sound->SaveAs(copyName.Get());
    } catch (const TError&) {
      Finding("a loaded sound cannot be saved");
    }
    IAudioFileBuf* copy = nullptr;
    try {
      copy = AcquireSoundFile(&second, copyName.Get(), 0);
    } catch (const TError&) {
      Finding("a saved sound does not load again");
    }
    IAudioBuf* again = copy->GetSampleBuf();
    if (!again || again->GetLength() != samples->GetLength() || again->GetChannels() != samples->GetChannels() ||
        again->GetRate() != samples->GetRate() || copy->GetLoopOn() != sound->GetLoopOn() ||
        copy->GetRootKey() != sound->GetRootKey())
      Finding("a saved sound loads with another format");
    copy->Release(&second);
  }
  sound->Release(&user);
  return 0;
}

int Map(const uint8_t* data, size_t size) {
  World();
  TMemInOut in(std::vector<uint8_t>(data, data + size));
  TAudioFileMap map(nullptr, 0);
  try {
    map.Read(&in);
  } catch (const TError&) {
    return 0;
  }
  // Each write embeds every sound again, as a save does.
  TMemInOut first;
  ClearWrittenMarks();
  map.Write(&first, 1);
  TAudioFileMap back(nullptr, 0);
  TMemInOut again(first.Data());
  try {
    back.Read(&again);
  } catch (const TError&) {
    Finding("an accepted map does not read back");
  }
  TMemInOut second;
  ClearWrittenMarks();
  back.Write(&second, 1);
  if (second.Data() != first.Data()) Finding("a map read back writes other bytes");
  return 0;
}

int Settings(const uint8_t* data, size_t size) {
  World();
  const std::string store = SettingsFilePath().Std();
  std::ofstream(store, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), std::streamsize(size));
  ReadSettingInt(TStr("UndoMax"), 20);
  ReadSettingStr(TStr("LastEnsPath"), TStr());
  ReadSettingArea(TStr("Main"), TArea());
  WriteSettingInt(TStr("FuzzCheck"), 7);
  if (ReadSettingInt(TStr("FuzzCheck"), 0) != 7) Finding("a written value does not read back");
  WriteSettingStr(TStr("FuzzText"), TStr("a\\b\nc"));
  if (ReadSettingStr(TStr("FuzzText"), TStr()) != TStr("a\\b\nc")) Finding("a written text does not read back");
  return 0;
}

// The installer library on a "system.ini" of these bytes: the profile reads
// back to its own bytes, and each export answers what the file then holds.
int SystemIni(const uint8_t* data, size_t size) {
  World();
  const std::string folder = ScratchFolder() + "/windows";
  std::filesystem::create_directories(folder);
  ::setenv("QUORVEX_WINDOWS_DIR", folder.c_str(), 1);
  const std::string path = folder + "/" + setpx::ProfileName;
  const std::string text(reinterpret_cast<const char*>(data), size);
  setpx::ProfileFile parsed;
  parsed.Parse(text);
  if (parsed.Text() != text) Finding("a profile reads back to other bytes");
  auto registered = [&](int& lines) {
    setpx::ProfileFile p;
    if (p.Load(path) != setpx::ProfileFile::LoadResult::Loaded) return -1;
    int count = 0;
    std::string value;
    lines = 0;
    for (int n = 0; n < setpx::DriverKeyCount; ++n) {
      const std::string key = n == 0 ? std::string(setpx::KeyStem) : setpx::KeyStem + std::to_string(n);
      if (p.Find(setpx::DriversSection, key, value) && value == setpx::DriverFile) ++count;
      lines += p.DeleteEvery(setpx::DriversSection, key, setpx::DriverFile);
    }
    return count;
  };
  for (bool installFirst : {true, false}) {
    if (!platform::ReplaceFileContent(path, text)) Finding("the scratch profile cannot be written");
    int lines = 0;
    if (installFirst) {
      const int32_t answer = InstallPelMidiDll(0, 0, 0, 0, 0);
      const int count = registered(lines);
      if (answer == setpx::Success && (count != 1 || lines != 1))
        Finding("install answered success without exactly one registration line");
      if (answer == setpx::Failure) {
        std::string after;
        platform::ReadWholeFile(path, after);
        if (after != text) Finding("install answered failure after changing the file");
      }
    }
    const int32_t answer = DeinstallPelMidiDll(0, 0, 0, 0, 0);
    const int count = registered(lines);
    if (answer == setpx::Success && (count != 0 || lines != 0))
      Finding("uninstall answered success while a registration line is left");
  }
  ::unsetenv("QUORVEX_WINDOWS_DIR");
  return 0;
}

// The MIDI driver with one fake input port: the bytes arrive on it as from a
// device (running status, real-time bytes, system exclusive) and the driver
// hands every message to the ensemble's instruments; a block is played after.
struct TMidiWorld {
  platform::FakeMidis ports;
  platform::MidiSystem* previous = nullptr;
  TMultiMediaMidi* driver = nullptr;
  KInstr* receiver = nullptr;
  int32_t input = -1;
  TMidiWorld() {
    TWorld& w = World();
    input = ports.AddInput("Fuzz In");
    previous = platform::SetMidiSystem(&ports);
    driver = new TMultiMediaMidi(&w.fx.ens);
    driver->Open();
    if (driver->OpenInPort(input) != mmmidi::kOpened) Finding("the fake input does not open");
    // Something to play and to take controllers: a voice and a fader.
    KSModul* top = w.fx.Top();
    top->InsertModule(kTypeSawtooth, 1);
    top->InsertModule(kTypeFader, 1);
  }
  // The top instrument listens on every channel (another target may have
  // read a new ensemble meanwhile).
  void Listen() {
    KInstr* now = World().fx.TopInstr();
    if (now == receiver) return;
    for (int32_t c = 0; c < 16; ++c) {
      if (receiver) driver->RemoveReceiver(receiver, c);
      if (now) driver->AddReceiver(now, c);
    }
    receiver = now;
  }
};

int Midi(const uint8_t* data, size_t size) {
  static TMidiWorld* world = new TMidiWorld; // lives to the end of the process
  world->Listen();
  if (!world->ports.Inject(world->input, std::vector<uint8_t>(data, data + size)))
    Finding("the fake input takes no bytes");
  if (!world->driver->SyncMessages(5000)) Finding("the MIDI thread did not take the messages in time");
  float in[2 * 64] = {}, out[2 * 64];
  World().fx.Driver().Render(in, out, 64);
  // Every note that was played ends, so that the next input starts from rest.
  const uint8_t allOff[] = {0xB0, 123, 0, 0xB1, 123, 0};
  world->ports.Inject(world->input, std::vector<uint8_t>(std::begin(allOff), std::end(allOff)));
  world->driver->SyncMessages();
  return 0;
}

// Paste: the clipboard file imported into the structure in view (the top
// instrument, beside what it holds), as the structure window's Paste does.
int Paste(const uint8_t* data, size_t size) {
  TWorld& w = World();
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(PutFile("clipboard.mdl", data, size).c_str()));
  KSModul* top = w.fx.Top();
  const int32_t before = top->GetChildCount();
  const int32_t ports = top->GetInPortCount() + top->GetOutPortCount();
  if (w.files.ImportModuleFile(*top, *name) == 0) {
    if (top->GetChildCount() != before) Finding("a refused paste left modules behind");
    if (top->GetInPortCount() + top->GetOutPortCount() != ports) Finding("a refused paste left ports behind");
  }
  // What came in goes again, newest first, so that the next input meets the
  // same structure.
  while (top->GetChildCount() > before) top->DeleteChild(top->GetChild(top->GetChildCount() - 1));
  return 0;
}

// The settings store as the dialogs read it back: the numbers they edit come
// within the bounds they offer, and the undo that reads them ends in bounded
// time (it looks after one snapshot file per number).
int Dialogs(const uint8_t* data, size_t size) {
  TWorld& w = World();
  const std::string store = SettingsFilePath().Std();
  std::ofstream(store, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), std::streamsize(size));
  {
    KUndo undo(w.files);
    undo.SetFolder(TStr(ScratchFolder().c_str()));
    if (undo.GetUndoMax() < KUndo::kUndoMaxLow || undo.GetUndoMax() > KUndo::kUndoMaxHigh)
      Finding("the number of undos is read outside what the Preferences allow");
    if (undo.GetUndoEnabled() != 0 && undo.GetUndoEnabled() != 1) Finding("a check box reads another value");
  }
  const int32_t usage = ReadSettingIntWithin(TStr(setting::MaxUsage), 95, kMaxUsageLow, kMaxUsageHigh);
  if (usage < kMaxUsageLow || usage > kMaxUsageHigh) Finding("the processor usage is read outside its bounds");
  // What the undo wrote back at its end reads as it was written.
  const uint32_t max = ReadSettingInt(TStr(setting::UndoMax), 0);
  if (max < uint32_t(KUndo::kUndoMaxLow) || max > uint32_t(KUndo::kUndoMaxHigh))
    Finding("the number of undos is written back outside its bounds");
  return 0;
}

} // namespace

const std::vector<TTarget>& Targets() {
  static const std::vector<TTarget> all = {
      {"ensemble", Ensemble}, {"snapshot", Snapshot}, {"macro", Macro},
      {"sound", Sound},       {"pool", Pool},         {"map", Map},
      {"settings", Settings}, {"systemini", SystemIni}, {"midi", Midi},
      {"paste", Paste},       {"dialogs", Dialogs},
  };
  return all;
}

const TTarget* FindTarget(const std::string& name) {
  for (const TTarget& t : Targets())
    if (name == t.name) return &t;
  return nullptr;
}

void WriteSeeds(const std::string& root) {
  TWorld& w = World();
  auto put = [&](const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(root + "/" + target);
    std::ofstream(root + "/" + target + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  };
  // Ensembles: the empty one, then one with modules wired to the Audio Out.
  put("ensemble", "empty.ens", WriteEnsemble());
  KSModul* top = w.fx.Top();
  KSModul* out = w.fx.AddAudioOut();
  KSModul* saw = top->InsertModule(kTypeSawtooth, 1);
  KSModul* macro = top->InsertModule(kTypeMacro, 1);
  macro->InsertModule(kTypeSine, 1);
  if (saw && out && out->GetInPortCount() > 2) out->GetInPort(2)->Connect(saw->GetOutPort(0));
  put("ensemble", "wired.ens", WriteEnsemble());
  {
    w.files.SetUndoBusy(true);
    put("snapshot", "wired.snap", WriteEnsemble());
    w.files.SetUndoBusy(false);
  }
  const std::string mdl = ScratchFolder() + "/seed.mdl";
  EPtr<IFileName> name(CreateFileName());
  name->SetPath(TStr(mdl.c_str()));
  KModulFile::SaveModuleFile(*name, *macro, w.files);
  std::string bytes;
  platform::ReadWholeFile(mdl, bytes);
  put("macro", "macro.mdl", std::vector<uint8_t>(bytes.begin(), bytes.end()));
  // Sounds: a short ramp as WAV and as AIFF, with a loop.
  EPtr<IAudioBuf> ramp(CreateAudioBuf(1, 0, 32, 1, 8000, 64, 0));
  for (int i = 0; i < 64; ++i) ramp->SetSample(i, float(i) / 64.0f, 0);
  for (int type : {filetype::Wav, filetype::Aiff}) {
    auto* stream = new TMemAudioStream({}, TStr("/seed"));
    EPtr<IAudioFile> f(CreateAudioStreamFile(std::unique_ptr<TAudioStream>(stream), type, 0, 1, 16, 1, 8000, 1024, 64,
                                             1, 0, 1, 8, 56, 60, nullptr));
    f->WriteFrom(ramp.Get(), -1);
    put("sound", type == filetype::Wav ? "ramp.wav" : "ramp.aif", stream->Data());
    put("pool", type == filetype::Wav ? "ramp.wav" : "ramp.aif", stream->Data());
    if (type == filetype::Wav) {
      const std::string wav = ScratchFolder() + "/ramp.wav";
      std::ofstream(wav, std::ios::binary).write(reinterpret_cast<const char*>(stream->Data().data()),
                                                 std::streamsize(stream->Data().size()));
      TAudioFileMap map(nullptr, 0);
      EPtr<IFileName> sound(CreateFileName());
      sound->SetPath(TStr(wav.c_str()));
      map.Add(sound.Get());
      TMemInOut plain, embedded;
      map.Write(&plain, 0);
      map.Write(&embedded, 1);
      put("map", "plain.map", plain.Data());
      put("map", "embedded.map", embedded.Data());
    }
  }
  const std::string settings = "# seed\nint UndoMax=20\nstr LastEnsPath=/a/b.ens\nint MainX0=4\nstr Esc=\\x01\\\\\n";
  put("settings", "store.conf", std::vector<uint8_t>(settings.begin(), settings.end()));
  const std::string dialogs = "int UndoMax=20\nint UndoEnabled=1\nint MaxUsage=95\nint CreateBackups=0\n";
  put("dialogs", "store.conf", std::vector<uint8_t>(dialogs.begin(), dialogs.end()));
  // A clipboard file is a macro file of the selected modules.
  put("paste", "macro.mdl", std::vector<uint8_t>(bytes.begin(), bytes.end()));
  const std::string ini = "[boot]\r\nshell=progman.exe\r\n[drivers]\r\nmidi=other.drv\r\nmidi1=pelmidi.dll\r\n"
                          "wave=w.drv\r\n\r\n[mci]\r\ncdaudio=mcicda.drv\r\n";
  put("systemini", "system.ini", std::vector<uint8_t>(ini.begin(), ini.end()));
  // Notes with running status, a controller, pitch bend, real-time bytes
  // inside a message and a system-exclusive message.
  put("midi", "notes.mid",
      {0x90, 60, 100, 64, 90, 0xF8, 67, 80, 0x80, 60, 0, 0xB0, 7, 100, 0xE0, 0, 64, 0xF0, 1, 2, 3, 0xF7, 0xC0, 5,
       0xD0, 30, 0xA0, 64, 20, 0xFA, 0xFC});
}

} // namespace fuzz
