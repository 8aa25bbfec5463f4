#include "src/mod/ensfile.h"

#include "src/engine/audioio.h"
#include "src/audio/soundpool.h"
#include "src/mod/ensemble.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"

#include <algorithm>
#include <memory>

namespace {
QV_MESSAGE(ReadingEnsemble, "Error while reading ensemble file $1:");
} // namespace

KEnsembleFiles::KEnsembleFiles(KEnsemble& ensemble) : ensemble_(ensemble), undo_(*this) { ensemble_.SetFiles(this); }

KEnsembleFiles::~KEnsembleFiles() {
  if (ensemble_.GetFiles() == this) ensemble_.SetFiles(nullptr);
}

int32_t KEnsembleFiles::GetReadState() const {
  return ensemble_.WasModuleRead() ? 2 : ensemble_.IsReading() ? 1 : 0;
}

void KEnsembleFiles::SetReadState(int32_t state) {
  if (state >= 2) ensemble_.SetModuleRead();
  else if (state == 1) ensemble_.SetReading();
  else ensemble_.ResetReadState();
}

bool KEnsembleFiles::IsUndoBusy() const { return ensemble_.IsUndoBusy(); }

void KEnsembleFiles::SetUndoBusy(bool busy) { ensemble_.SetUndoBusy(busy); }

int32_t KEnsembleFiles::GetFileSampleRate() const {
  // The processing rate, so that a changed rate factor survives a save.
  return int32_t(ensemble_.GetProcessingRate() + 0.5f);
}

void KEnsembleFiles::SetFileSampleRate(int32_t hz) { ensemble_.SetSampleRate(hz); }

int32_t KEnsembleFiles::GetNextSerialNo() const { return ensemble_.PeekNextModuleId(); }

void KEnsembleFiles::SetNextSerialNo(int32_t serial) { ensemble_.SetNextModuleId(serial); }

KSModul* KEnsembleFiles::GetTopModule() const { return ensemble_.GetTopModule(); }

void KEnsembleFiles::GetClock(int32_t& controlRate, bool& sync, float& tempo) const {
  if (auto* driver = dynamic_cast<TAudioInOut*>(ensemble_.GetAudio())) {
    controlRate = driver->GetControlRate();
    tempo = driver->GetTempo();
  } else {
    controlRate = controlRate_;
    tempo = tempo_;
  }
  sync = IsExternalSync();
}

void KEnsembleFiles::SetClock(int32_t controlRate, bool sync, float tempo) {
  controlRate_ = controlRate;
  tempo_ = tempo;
  auto* driver = dynamic_cast<TAudioInOut*>(ensemble_.GetAudio());
  if (driver) driver->SetControlRate(controlRate);
  IEnsembleOwner* owner = ensemble_.GetOwner();
  if (owner) owner->ShowControlRate(controlRate);
  SetExternalSync(sync);
  if (driver) driver->SetTempo(tempo);
  if (owner) owner->ShowClockSettings(tempo, sync);
}

void KEnsembleFiles::EmptyTop() {
  KSModul* top = ensemble_.GetTopModule();
  KModulFile::EmptyModule(*top);
  ensemble_.SetAudioInModule(nullptr);
  ensemble_.SetAudioOutModule(nullptr);
}

void KEnsembleFiles::ReadEnsembleStream(TInOut& s) {
  KSModul* top = ensemble_.GetTopModule();
  ensemble_.ResetReadState();
  KModulFile::ReadSignature(s);
  BeginSoundfileLoad();
  KModulFile::ReadEnsembleRecord(s, *this);
  if (GetReadState() < 1) ThrowError(&NotValidFileMessage());
  // A snapshot's serial counter comes back as it was written: the modules
  // made while its tree is read take their stored numbers.
  const int32_t serial = GetNextSerialNo();
  ensemble_.SetAudioInModule(nullptr);
  ensemble_.SetAudioOutModule(nullptr);
  ensemble_.ApplySampleRate();
  KModulFile::ReadTree(s, *top, *this, false);
  if (GetReadState() < 2) ThrowError(&NotValidFileMessage());
  if (IsUndoBusy()) {
    // Never below a number in use, whatever the snapshot says.
    int32_t highest = 0;
    top->Walk([&highest](KSModul* m) { highest = std::max(highest, m->GetSerialNo()); });
    SetNextSerialNo(std::max(serial, highest + 1));
  }
  KModulFile::AdoptLoadedAudioModules(*top);
  top->ResolveAllConnections();
  if (KInstr* in = top->GetInstr()) in->SetTune(0.0f, true);
  top->ResetRecursive();
  KModulFile::ApplyVoiceSettings(*top);
  LoadPendingSoundfiles(IsUndoBusy() ? 0 : 1);
}

int32_t KEnsembleFiles::OpenEnsemble(const IFileName& name) {
  return Open(name.GetPath(), [&name]() -> TInOut* {
    IFile* file = CreateFileObject();
    try {
      file->OpenRead(&name);
    } catch (...) {
      SafeDelete(file);
      throw;
    }
    return file;
  });
}

int32_t KEnsembleFiles::OpenEnsembleStream(TInOut& s, const TStr& path) {
  return Open(path, [&s]() -> TInOut* { return nullptr; }, &s);
}

int32_t KEnsembleFiles::Open(const TStr& path, const std::function<TInOut*()>& open, TInOut* given) {
  IAudioInOut* audio = ensemble_.GetAudio();
  if (audio) audio->Pause();
  int32_t result = 1;
  try {
    EmptyTop();
    std::unique_ptr<TInOut> owned(open());
    ReadEnsembleStream(owned ? *owned : *given);
  } catch (...) {
    RecordCurrentException();
    ReadingEnsemble().SetParam(1, path);
    ShowLastErrorWithCaption(&ReadingEnsemble());
    // What was read is dropped: the user gets an empty ensemble.
    try {
      EmptyTop();
      KSModul* top = ensemble_.GetTopModule();
      top->SetCategory(kCatInstrument);
      top->CreateOwnInstr();
      top->GetOwnInstr()->SetMidiChannel(1);
      ensemble_.SetSampleRate(33075);
      ensemble_.ApplySampleRate();
      LoadPendingSoundfiles(0);
    } catch (...) {
      RecordCurrentException();
    }
    result = 0;
  }
  ensemble_.ResetReadState();
  // The tree that was read (or the empty one) is put into processing as any
  // structure change leaves it: routine slots, resolved wires, every module
  // reset. Opening a file, undo, redo and the crash restore all come here,
  // so each leaves an ensemble that plays as it did when it was written.
  try {
    TStructureChange rebuild(ensemble_.GetTopModule());
  } catch (...) {
    RecordCurrentException();
    ShowLastError();
    result = 0;
  }
  if (audio) audio->Resume();
  return result;
}

void KEnsembleFiles::SaveEnsemble(const IFileName& name) {
  KModulFile::SaveEnsembleFile(name, *this);
  MarkClean();
}

int32_t KEnsembleFiles::ImportModuleFile(KSModul& macro, const IFileName& name) {
  // The step is recorded before the merge marks anything busy, and the file,
  // an ordinary macro file, is read without serial numbers.
  undo_.AddUndoStep(UndoKind::kPasteModules, &macro);
  return KModulFile::ImportModuleFile(macro, name, *this);
}

void KEnsembleFiles::MarkClean() {
  ensemble_.MarkClean();
  if (!IsUndoBusy()) undo_.DeleteAllSteps();
}
