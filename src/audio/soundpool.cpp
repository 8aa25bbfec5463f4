#include "src/audio/soundpool.h"

#include "src/audio/audiofile.h"
#include "src/audio/audiohost.h"
#include "src/audio/audiomsg.h"
#include "src/audio/streamread.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace {
QV_MESSAGE(DeleteRefused, "IAudioFileBuf::Delete() unimplemented: must know who's deleting")
QV_MESSAGE(NotFoundQuestion, "$1 could not be found.\nWould you like to locate / replace this file now?")
const char* const kOneNoMemory = "A Soundfile could not be loaded due to insufficient memory";
const char* const kManyNoMemory = "%d Soundfiles could not be loaded due to insufficient memory";
const char* const kOneNotFound =
    "A Soundfile was referenced but not found.\nYou may want to locate / replace this File in the Module's "
    "Properties Dialog.\nTo avoid Loss of Sample Data, check the \"Backup Soundfiles with Module\" - Option.";
const char* const kManyNotFound =
    "%d Soundfiles were referenced but not found.\nYou may want to locate / replace these Files in the Module's "
    "Properties Dialog.\nTo avoid Loss of Sample Data, check the \"Backup Soundfiles with Module\" - Option.";
const char* const kBatchDone = "Batch Analysis done: investigated %d soundfiles; analysed %d soundfiles.";

void ShowText(const TStr& text, int kind) {
  TParamStr message(text);
  ShowMessage(&message, kind);
}

void ShowRecordedError() {
  RecordCurrentException();
  ShowLastError();
}

std::vector<TAudioFileBuf*> PoolEntries() {
  std::vector<TAudioFileBuf*> entries;
  for (TAudioFileBuf* e = SoundPool().First(); e; e = EList<TAudioFileBuf>::Next(e)) entries.push_back(e);
  return entries;
}

bool SameFile(const IFileName* a, const IFileName* b) {
  return a->GetFolder() == b->GetFolder() && a->GetName(1) == b->GetName(1);
}

// A record read out of a larger stream: a damaged record is reported as an
// error of that stream (a file names itself).
class TRecordInOut : public TMemInOut {
public:
  TRecordInOut(std::vector<uint8_t> bytes, TInOut& outer) : TMemInOut(std::move(bytes)), outer_(outer) {
    SetByteOrder(outer.GetByteOrder());
  }
  void RaiseReadError() override { outer_.RaiseReadError(); }

private:
  TInOut& outer_;
};

bool HasData(int32_t state) { return state == soundstate::Loaded || state == soundstate::Elsewhere; }

// Finds or makes the pool entry of the name and registers the user with it.
TAudioFileBuf* EnterPool(IAudioFileMapEntry* user, const IFileName* name) {
  if (TAudioFileBuf* found = FindSoundFile(name)) {
    found->AddUser(user);
    return found;
  }
  try {
    return new TAudioFileBuf(user, name);
  } catch (const std::bad_alloc&) {
    ThrowAudioMemoryLow();
  }
}

// Loads a sound that is not in memory yet; the users that already hold it
// learn of the new sound.
void LoadForUser(TAudioFileBuf* entry, IAudioFileMapEntry* user) {
  entry->Load();
  entry->NotifyUsersExcept(user);
}
} // namespace

EList<TAudioFileBuf>& SoundPool() {
  // Lives until the process ends.
  static EList<TAudioFileBuf>* pool = new EList<TAudioFileBuf>;
  return *pool;
}

TStr& LastLocatedFolder() {
  static TStr* folder = new TStr;
  return *folder;
}

void IAudioFileBuf::Delete() { ShowMessage(&DeleteRefused(), 0); }

// ---------------------------------------------------------------- entry

TAudioFileBuf::TAudioFileBuf(IAudioFileMapEntry* user, const IFileName* name)
    : fileName_(CreateFileName()), tmpCopy_(CreateFileName()), samples_(CreateAudioBuf()) {
  if (name) fileName_->Assign(*name);
  if (!samples_) ThrowAudioMemoryLow();
  samples_->SetFormat(1, 0, 32, 2, 44100, 100, 4);
  if (user) {
    AddUser(user);
    SoundPool().AddLast(this);
  }
}

TAudioFileBuf::~TAudioFileBuf() {
  DestructorBody([this] {
    for (TAudioFileBuf* e = SoundPool().First(); e; e = EList<TAudioFileBuf>::Next(e))
      if (e == this) {
        SoundPool().Remove(this);
        break;
      }
    SafeDelete(analysis_);
    analysis_ = nullptr;
    if (!tmpCopy_->GetName(0).IsEmpty() && tmpCopy_->Exists()) tmpCopy_->Remove();
  });
}

void TAudioFileBuf::TakeAnalysis(IAudioAnalysis* analysis) {
  if (analysis_ != analysis) SafeDelete(analysis_);
  analysis_ = analysis;
}

void TAudioFileBuf::AddUser(IAudioFileMapEntry* user) { users_.AddLast(user); }

void TAudioFileBuf::Release(IAudioFileMapEntry* user) {
  EIterator<IAudioFileMapEntry> it;
  users_.Find(user, it);
  if (!it.AtEnd()) users_.Remove(it);
  if (users_.IsEmpty()) {
    SoundPool().Remove(this);
    delete this;
  }
}

void TAudioFileBuf::NotifyUsersExcept(IAudioFileMapEntry* except) {
  std::vector<IAudioFileMapEntry*> users;
  EIterator<IAudioFileMapEntry> it;
  users_.Seek(0, it);
  for (; !it.AtEnd(); it.Next())
    if (it.Get() != except) users.push_back(it.Get());
  for (IAudioFileMapEntry* u : users) u->Changed();
}

void TAudioFileBuf::NotifyUsers() { NotifyUsersExcept(nullptr); }

void TAudioFileBuf::Load() {
  const bool fromCopy = !tmpCopy_->GetName(0).IsEmpty();
  // A sound that is in memory stays as it was when loading fails.
  const bool keepState = HasData(state_);
  auto fail = [&](int32_t state) {
    if (!keepState) state_ = state;
  };
  EPtr<IAudioFile> file;
  try {
    file.Set(OpenAudioFile(fromCopy ? tmpCopy_.Get() : fileName_.Get(), 1024));
  } catch (...) {
    fail(soundstate::NotFound);
    throw;
  }
  EPtr<IAudioBuf> loaded;
  try {
    loaded.Set(CreateAudioBuf());
    if (!loaded) ThrowAudioMemoryLow();
    loaded->SetFormat(1, 0, 32, file->GetChannels(), file->GetRate(), file->GetFileLength(), 4);
  } catch (...) {
    fail(soundstate::NoMemory);
    throw;
  }
  try {
    file->LoadInto(loaded.Get());
  } catch (...) {
    fail(soundstate::NotFound);
    throw;
  }
  loaded->RefreshMargins();
  samples_ = std::move(loaded);
  loopOn_ = file->GetLoopOn();
  alternating_ = file->GetAlternatingLoop();
  loopInRelease_ = file->GetLoopInRelease();
  loopStart_ = file->GetLoopStart();
  loopEnd_ = file->GetLoopEnd();
  rootKey_ = file->GetRootKey();
  TakeAnalysis(file->TakeAnalysis());
  file.Set(nullptr);
  if (!fromCopy) state_ = soundstate::Loaded;
}

void TAudioFileBuf::Analyse() {
  TakeAnalysis(nullptr);
  TakeAnalysis(CreateAudioAnalysis(*samples_));
  if (state_ != soundstate::Loaded) return;
  if (ShowMessage(&AudioSaveAnalysedQuestion(), 2) != 2) return;
  // The analysis stays in memory whatever happens to the file.
  try {
    Save();
  } catch (...) {
    ShowRecordedError();
  }
}

void TAudioFileBuf::WriteToFile(IFileName* name) {
  TSoundSettings settings;
  settings.loopOn = loopOn_;
  settings.alternating = alternating_;
  settings.loopInRelease = loopInRelease_;
  settings.loopStart = loopStart_;
  settings.loopEnd = loopEnd_;
  settings.rootKey = rootKey_;
  settings.analysis = analysis_;
  SaveAudioFileReplacing(name, *samples_, settings);
}

// A sound that never came into memory is only a silent stand-in: writing
// it would put silence where the real file is expected.
void TAudioFileBuf::Save() {
  if (HasData(state_)) WriteToFile(fileName_.Get());
}

void TAudioFileBuf::SaveAs(IFileName* name) {
  if (!HasData(state_)) return;
  WriteToFile(name);
  if (name != fileName_.Get()) fileName_->Assign(*name);
}

void TAudioFileBuf::LoadKeepingAnalysis() {
  const bool hadAnalysis = analysis_ != nullptr;
  Load();
  // Whoever needed an analysis still needs one.
  if (hadAnalysis && !analysis_) Analyse();
}

void TAudioFileBuf::Reload() {
  const bool hadAnalysis = analysis_ != nullptr;
  try {
    Load();
  } catch (...) {
    // The sound stays as it was; its users need not hear of it.
    ShowRecordedError();
    return;
  }
  if (hadAnalysis && !analysis_) {
    try {
      Analyse();
    } catch (...) {
      ShowRecordedError();
    }
  }
  NotifyUsers();
}

void TAudioFileBuf::ChooseTemporaryCopy() {
  IFileName* tmp = AudioServices().GetTmpDirName();
  if (!tmpCopy_->GetName(0).IsEmpty() && tmpCopy_->GetFolder() == tmp->GetFolder()) return;
  tmpCopy_->CopyFolder(tmp);
  TStr base = fileName_->GetName(0);
  if (base.IsEmpty()) base = "Unnamed";
  tmpCopy_->SetName(base);
  tmpCopy_->SetType(filetype::Wav);
  // Two sounds of the same plain name from different folders must not
  // share one copy.
  for (int n = 2; tmpCopy_->Exists(); ++n) tmpCopy_->SetName(base + FormatStr(" %d", n));
}

void TAudioFileBuf::EditExternally() {
  if (!HasData(state_)) return;
  IAudioServices& services = AudioServices();
  IFileName* editor = services.GetEditorName();
  if (!editor->Exists()) {
    if (ShowMessage(&AudioNoEditor(), 2) != 2) return;
    if (!editor->OpenDialog(TStr("Please locate sample-editing application"), nullptr, filetype::Program)) return;
  }
  // The editor keeps the type it has on disk: a program here has no extension.
  if (fileName_->Exists()) {
    services.StartProgram(*editor, fileName_->GetPath());
    return;
  }
  ChooseTemporaryCopy();
  WriteToFile(tmpCopy_.Get());
  services.StartProgram(*editor, tmpCopy_->GetPath());
}

void TAudioFileBuf::WriteRef(TInOut* stream, int32_t embed) {
  fileName_->Write(stream);
  // A sound that never came into memory has nothing worth embedding.
  if (!embed || written_ || !HasData(state_)) {
    stream->WriteULong(0);
    return;
  }
  const uint32_t analysisSize = analysis_ ? uint32_t(analysis_->GetStoredSize()) : 0;
  stream->WriteULong(uint32_t(samples_->GetStoredSize()) + 16 + analysisSize);
  samples_->Write(*stream);
  stream->WriteLong(loopStart_).WriteLong(loopEnd_).WriteLong(rootKey_);
  stream->WriteULong(analysisSize);
  if (analysis_) analysis_->Write(*stream);
  written_ = 1;
}

void TAudioFileBuf::ReadRefData(TInOut* stream, int32_t analyse, int32_t version) {
  EPtr<IAudioBuf> samples(CreateAudioBuf(1, 0, 32, 1, 44100, 0, 4));
  if (!samples) ThrowAudioMemoryLow();
  samples->Read(*stream);
  const int32_t channels = samples->GetChannels(), rate = samples->GetRate(), length = samples->GetLength();
  if (channels < 1 || channels > 2 || rate < 1) stream->RaiseReadError();
  if (!samples->IsFloat() || samples->IsInterleaved() || samples->GetBits() != 32) {
    // Sounds are played from float samples, one block per channel.
    EPtr<IAudioBuf> converted(CreateAudioBuf(1, 0, 32, channels, rate, length, 4));
    if (!converted) ThrowAudioMemoryLow();
    converted->CopyFrom(samples.Get(), length, 0, 0, 0);
    samples = std::move(converted);
  }
  samples->RefreshMargins();
  const int32_t loopStart = ReadWholeI32(*stream);
  const int32_t loopEnd = ReadWholeI32(*stream);
  const int32_t rootKey = ReadWholeI32(*stream);
  const uint32_t analysisSize = ReadWholeU32(*stream);
  EPtr<IAudioAnalysis> analysis;
  if (analysisSize != 0) {
    analysis.Set(CreateAudioAnalysis());
    if (!analysis) ThrowAudioMemoryLow();
    analysis->Read(*stream);
    // A table that does not belong to this sound would send the engine
    // outside it: drop it.
    auto* table = dynamic_cast<TAudioAnalysis*>(analysis.Get());
    if (!table || !table->Fits(length, rate)) analysis.Set(nullptr);
  }
  samples_ = std::move(samples);
  // The engine plays the loop from memory: keep it inside the sound.
  loopStart_ = std::clamp(loopStart, 0, length);
  loopEnd_ = std::clamp(loopEnd, loopStart_, length);
  rootKey_ = rootKey;
  TakeAnalysis(analysis.Release());
  state_ = soundstate::Elsewhere;
  if (analyse && !analysis_) Analyse();
}

// ---------------------------------------------------------------- pool

TAudioFileBuf* FindSoundFile(const IFileName* name) {
  for (TAudioFileBuf* e = SoundPool().First(); e; e = EList<TAudioFileBuf>::Next(e))
    if (e->IsShared() && SameFile(e->GetFileName(), name)) return e;
  return nullptr;
}

IAudioFileBuf* AcquireSoundFile(IAudioFileMapEntry* user, IFileName* name, int32_t analyse) {
  TAudioFileBuf* entry = EnterPool(user, name);
  try {
    if (!HasData(entry->GetState())) LoadForUser(entry, user);
    if (analyse && !entry->GetAnalysis()) entry->Analyse();
  } catch (...) {
    entry->Release(user);
    throw;
  }
  return entry;
}

IAudioFileBuf* ReadSoundFileRef(IAudioFileMapEntry* user, TInOut* stream, int32_t analyse, int32_t version) {
  EPtr<IFileName> name(CreateFileName());
  name->Read(stream);
  const uint32_t dataSize = ReadWholeU32(*stream);
  TAudioFileBuf* entry = EnterPool(user, name.Get());
  try {
    if (entry->GetState() == soundstate::NotFound) {
      // What could not be loaded is reported by LoadPendingSoundfiles.
      try {
        LoadForUser(entry, user);
      } catch (...) {
        RecordCurrentException();
      }
    }
    if (entry->GetState() == soundstate::Loaded) {
      SkipWhole(*stream, dataSize);
    } else if (dataSize != 0) {
      // The embedded copy is read as a record of its own, so that the
      // stream stays in step whatever the copy holds.
      const int64_t left = stream->Remaining();
      if (left >= 0 && int64_t(dataSize) > left) stream->RaiseReadError();
      std::vector<uint8_t> bytes;
      try {
        bytes.resize(dataSize);
      } catch (const std::bad_alloc&) {
        ThrowAudioMemoryLow();
      }
      if (stream->RawRead(bytes.data(), dataSize) != dataSize) stream->RaiseReadError();
      TRecordInOut copy(std::move(bytes), *stream);
      entry->ReadRefData(&copy, analyse, version);
      entry->NotifyUsersExcept(user);
    } else if (!HasData(entry->GetState())) {
      entry->SetReportFlag(1);
    }
    if (analyse && !entry->GetAnalysis()) entry->Analyse();
  } catch (...) {
    entry->Release(user);
    throw;
  }
  return entry;
}

void BeginSoundfileLoad() {}

void ClearWrittenMarks() {
  for (TAudioFileBuf* e = SoundPool().First(); e; e = EList<TAudioFileBuf>::Next(e)) e->SetWrittenMark(0);
}

void LoadPendingSoundfiles(int32_t report) {
  const std::vector<TAudioFileBuf*> entries = PoolEntries();
  int32_t lowMemory = 0;
  for (TAudioFileBuf* e : entries)
    if (e->GetReportFlag() && e->GetState() == soundstate::NoMemory) {
      ++lowMemory;
      e->SetReportFlag(0);
    }
  if (report && lowMemory)
    ShowText(lowMemory == 1 ? TStr(kOneNoMemory) : FormatStr(kManyNoMemory, lowMemory), 0);

  int32_t notFound = 0;
  bool cancelled = false;
  for (TAudioFileBuf* e : entries) {
    if (!e->GetReportFlag() || e->GetState() != soundstate::NotFound) continue;
    e->SetReportFlag(0);
    IFileName* name = e->GetFileName();
    const TStr folder = name->GetFolder();
    if (!LastLocatedFolder().IsEmpty()) {
      name->SetFolder(LastLocatedFolder());
      try {
        e->LoadKeepingAnalysis();
      } catch (...) {
        RecordCurrentException();
      }
      if (e->GetState() == soundstate::NotFound) name->SetFolder(folder);
    }
    if (e->GetState() == soundstate::NotFound && report && !cancelled) {
      NotFoundQuestion().SetParam(1, name->GetPath());
      const int answer = ShowMessage(&NotFoundQuestion(), 3);
      if (answer == 1) {
        cancelled = true;
      } else if (answer == 2) {
        EPtr<IFileName> picked(CreateFileName());
        picked->Assign(*name);
        const TStr title = TStr("Where is \"") + name->GetPath() + TStr("\"?");
        if (picked->OpenDialog(title, nullptr, 9)) {
          LastLocatedFolder() = picked->GetFolder();
          name->Assign(*picked);
          try {
            e->LoadKeepingAnalysis();
          } catch (...) {
            ShowRecordedError();
          }
        }
      }
    }
    if (e->GetState() == soundstate::NotFound) ++notFound;
    else e->NotifyUsers();
  }
  if (report && notFound) ShowText(notFound == 1 ? TStr(kOneNotFound) : FormatStr(kManyNotFound, notFound), 0);
}

void AnalyseFolder(IFileName* pattern, int32_t* investigated, int32_t* analysed) {
  EPtr<IFileSearch> search(CreateFileSearch(pattern));
  if (!search) ThrowAudioMemoryLow();
  int32_t depth = 0;
  for (;;) {
    if (!search->Next(pattern)) {
      if (depth == 0) break;
      --depth;
      continue;
    }
    // Subfolders come without a folder of their own.
    if (pattern->GetFolder().IsEmpty()) {
      ++depth;
      continue;
    }
    try {
      std::unique_ptr<TAudioFileBuf> entry(new TAudioFileBuf(nullptr, pattern));
      entry->Load();
      ++*investigated;
      {
        // A file that cannot be written cannot keep its analysis.
        EPtr<IFile> file(CreateFileObject());
        file->OpenReadWrite(pattern);
        file->Close();
      }
      if (!entry->GetAnalysis()) {
        entry->Analyse();
        ++*analysed;
      }
    } catch (...) {
      // Not a sound, unreadable or write-protected: the walk goes on.
      RecordCurrentException();
    }
  }
}

void BatchAnalyseSoundfiles() {
  if (ShowMessage(&AudioBatchQuestion(), 2) != 2) return;
  TAudioPauseGuard pause(AudioServices().GetAudioDriver());
  EPtr<IFileName> start(CreateFileName());
  if (!start->OpenDialog(TStr("Please choose where to start batch-analysis"), nullptr, 9)) return;
  int32_t investigated = 0, analysed = 0;
  for (int type : {filetype::Wav, filetype::Aiff}) {
    EPtr<IFileName> pattern(CreateFileName());
    pattern->SetFolder(start->GetFolder());
    pattern->SetName(TStr());
    pattern->SetType(type);
    AnalyseFolder(pattern.Get(), &investigated, &analysed);
  }
  ShowText(FormatStr(kBatchDone, investigated, analysed), 0);
}
