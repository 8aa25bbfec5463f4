#include "src/audio/samplemap.h"

#include "src/audio/audiomsg.h"
#include "src/audio/streamread.h"
#include "platform/fs.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace {
QV_MESSAGE(NotYetAvailable, "Oops, this command is not yet available.")
QV_MESSAGE(BackupQuestion, "Would you like to save a Backup-Copy of your Audio Data with the MAP-File?")

// The Beat Loop sampler plays its samples without re-synthesis.
constexpr int kBeatLoopCategory = 0;
constexpr int kBeatLoopIndex = 170;

// Old module records give 16-bit samples as fractions of 32768.
constexpr float kShortScale = 3.0517578e-05f;

void ShowRecordedError() {
  RecordCurrentException();
  ShowLastError();
}
} // namespace

// ---------------------------------------------------------------- entry

TAudioFileMapEntry::TAudioFileMapEntry(TAudioFileMap* owner) : owner_(owner) {}

TAudioFileMapEntry::~TAudioFileMapEntry() {
  DestructorBody([this] {
    if (IAudioFileBuf* sound = std::exchange(sound_, nullptr)) sound->Release(this);
  });
}

void TAudioFileMapEntry::NotifyOwner() {
  if (owner_) owner_->Changed();
}

namespace {
// Read step per output sample for a played frequency of 1 Hz.
float StepFor(int32_t soundRate, int32_t rootKey, int32_t tune, int32_t detune) {
  const float processingRate = AudioServices().GetProcessingRate();
  if (!(processingRate > 0.0f)) return 0.0f;
  const float reciprocal = 1.0f / processingRate;
  const double semitones = (69.0 - double(rootKey)) + double(tune) + double(detune) * 0.01;
  const double ratio = std::pow(2.0, semitones * (1.0 / 12.0));
  return float(double(soundRate) * ratio * double(reciprocal) * 0.0022727272727272726);
}
} // namespace

void TAudioFileMapEntry::ComputeStep() {
  if (!sound_) return;
  step_ = StepFor(sound_->GetSampleBuf()->GetRate(), rootKey_, tune_, detune_);
  NotifyOwner();
}

void TAudioFileMapEntry::ComputeLength16() {
  if (!sound_) return;
  const float lengthMs = float(sound_->GetSampleBuf()->GetLengthMs());
  float beats = 1.0f;
  if (tempo_ > 0) {
    const float beatMs = 60000.0f / float(tempo_);
    // Bounded, so that a sound of no known length still gives a count.
    while (lengthMs / beats >= beatMs && beats < 268435456.0f) beats *= 2.0f;
  }
  length16_ = int32_t(beats * 4.0f);
}

void TAudioFileMapEntry::Changed() {
  if (sound_) {
    step_ = StepFor(sound_->GetSampleBuf()->GetRate(), rootKey_, tune_, detune_);
    ComputeLength16();
  }
  NotifyOwner();
}

void TAudioFileMapEntry::SetSoundFile(IFileName* name) {
  IAudioFileBuf* previous = sound_;
  // The new sound is taken before the old one is given back, so choosing the
  // same file again never ends the pool's last use of it.
  IAudioFileBuf* sound = AcquireSoundFile(this, name, owner_ ? owner_->GetAnalyse() : 0);
  if (!sound) ThrowAudioMemoryLow();
  sound_ = sound;
  ComputeStep();
  ComputeLength16();
  if (previous) previous->Release(this);
}

void TAudioFileMapEntry::TakeSound(IAudioFileBuf* sound) {
  IAudioFileBuf* previous = std::exchange(sound_, sound);
  if (previous && previous != sound) previous->Release(this);
}

void TAudioFileMapEntry::SetLeftSplit(int32_t key) {
  if (owner_) owner_->MoveSplit(this, key);
  else split_ = key;
  NotifyOwner();
}

void TAudioFileMapEntry::SetRootKey(int32_t key) {
  rootKey_ = key;
  ComputeStep();
}

void TAudioFileMapEntry::SetTune(int32_t semitones) {
  tune_ = semitones;
  ComputeStep();
}

void TAudioFileMapEntry::SetDetune(int32_t cents) {
  detune_ = cents;
  ComputeStep();
}

TInOut* TAudioFileMapEntry::Write(TInOut* stream, int32_t embedAudio) {
  if (sound_) {
    sound_->WriteRef(stream, embedAudio);
  } else {
    EPtr<IFileName> none(CreateFileName());
    none->Write(stream);
    stream->WriteULong(0);
  }
  stream->WriteLong(split_).WriteLong(rootKey_).WriteLong(tune_).WriteLong(detune_).WriteLong(gain_);
  stream->WriteFloat(pan_);
  stream->WriteLong(aux1_).WriteLong(aux2_);
  stream->WriteLong(direction_).WriteLong(loopOn_).WriteLong(alternating_).WriteLong(loopInRelease_);
  stream->WriteLong(aux3_).WriteLong(aux4_).WriteLong(resynthesis_).WriteLong(tempo_);
  return stream;
}

TInOut* TAudioFileMapEntry::Read(TInOut* stream, int32_t version) {
  IAudioFileBuf* sound = ReadSoundFileRef(this, stream, owner_ ? owner_->GetAnalyse() : 0, version);
  if (!sound) ThrowAudioMemoryLow();
  TakeSound(sound);
  split_ = ReadWholeI32(*stream);
  rootKey_ = ReadWholeI32(*stream);
  tune_ = ReadWholeI32(*stream);
  detune_ = ReadWholeI32(*stream);
  gain_ = ReadWholeI32(*stream);
  if (version >= TAudioFileMap::kVersionWithPan) pan_ = ReadWholeFloat(*stream);
  aux1_ = ReadWholeI32(*stream);
  aux2_ = ReadWholeI32(*stream);
  if (version >= TAudioFileMap::kVersionWithLoopSettings) {
    direction_ = ReadWholeI32(*stream);
    loopOn_ = ReadWholeI32(*stream);
    alternating_ = ReadWholeI32(*stream);
    loopInRelease_ = ReadWholeI32(*stream);
  }
  aux3_ = ReadWholeI32(*stream);
  aux4_ = ReadWholeI32(*stream);
  resynthesis_ = ReadWholeI32(*stream);
  tempo_ = ReadWholeI32(*stream);
  ComputeStep();
  ComputeLength16();
  return stream;
}

// ---------------------------------------------------------------- map

TAudioFileMap::TAudioFileMap(IAudioObjectOwner* module, int32_t analyse)
    : fileName_(CreateFileName()), displayName_(CreateFileName()), module_(module), analyse_(analyse) {
  RebuildKeyTable();
}

TAudioFileMap::~TAudioFileMap() {
  DestructorBody([this] { DeleteEntries(); });
}

void TAudioFileMap::ForgetEntries() {
  current_ = moving_ = displaced_ = nullptr;
}

void TAudioFileMap::DeleteEntries() {
  ForgetEntries();
  while (TAudioFileMapEntry* e = entries_.RemoveFirst()) delete e;
}

void TAudioFileMap::Changed() {
  if (module_) module_->UpdateSampleRoutine();
  modified_ = 1;
}

TAudioFileMapEntry* TAudioFileMap::FindLowest() {
  TAudioFileMapEntry* lowest = nullptr;
  for (TAudioFileMapEntry* e = entries_.First(); e; e = EList<TAudioFileMapEntry>::Next(e))
    if (!lowest || e->split_ < lowest->split_) lowest = e;
  return lowest;
}

void TAudioFileMap::Sort() {
  // Taking the lowest one at a time keeps entries of equal splits in order.
  EList<TAudioFileMapEntry> sorted;
  while (TAudioFileMapEntry* e = FindLowest()) {
    entries_.Remove(e);
    sorted.AddLast(e);
  }
  while (TAudioFileMapEntry* e = sorted.RemoveFirst()) entries_.AddLast(e);
  RebuildKeyTable();
}

void TAudioFileMap::RebuildKeyTable() {
  std::fill(std::begin(keys_), std::end(keys_), nullptr);
  if (entries_.IsEmpty()) return;
  if (entries_.Count() == 1) {
    std::fill(std::begin(keys_), std::end(keys_), entries_.First());
    return;
  }
  // From the highest zone down; each entry holds the keys from its split up
  // to below the zone filled before it.
  int64_t k = kKeys - 1;
  for (TAudioFileMapEntry* e = entries_.Last(); e; e = EList<TAudioFileMapEntry>::Prev(e)) {
    while (e->split_ <= k && k >= 0) keys_[k--] = e;
    k = std::min<int64_t>(int64_t(e->split_) - 1, kKeys - 1);
  }
  // The lowest zone reaches down to key 0.
  if (k >= 0 && k < kKeys - 1)
    for (int64_t i = 0; i <= k; ++i) keys_[i] = keys_[k + 1];
}

void TAudioFileMap::MoveSplit(TAudioFileMapEntry* e, int32_t key) {
  if (e->split_ == key) return;
  if (e == moving_ && displaced_) {
    displaced_->split_ = savedSplit_;
    displaced_ = nullptr;
  } else if (e != moving_) {
    moving_ = e;
    displaced_ = nullptr;
    startSplit_ = -1;
  }
  for (TAudioFileMapEntry* d = entries_.First(); d; d = EList<TAudioFileMapEntry>::Next(d)) {
    if (d->split_ != key) continue;
    if (startSplit_ == -1) startSplit_ = e->split_;
    displaced_ = d;
    savedSplit_ = key;
    d->split_ = startSplit_;
    break;
  }
  e->split_ = key;
  Sort();
}

IFileName* TAudioFileMap::GetDisplayName() {
  // The made-up names carry no file type: "untitled Map", never "untitled Map.wav".
  auto madeUp = [this](const char* name) {
    displayName_->SetName(TStr(name));
    displayName_->SetType(filetype::None);
  };
  if (entries_.IsEmpty()) madeUp("empty");
  else if (!fileName_->GetName(0).IsEmpty()) displayName_->Assign(*fileName_);
  else if (entries_.Count() == 1 && entries_.First()->sound_)
    displayName_->Assign(*entries_.First()->sound_->GetFileName());
  else madeUp("untitled Map");
  return displayName_.Get();
}

void TAudioFileMap::ReloadAll() {
  for (TAudioFileMapEntry* e = entries_.First(); e; e = EList<TAudioFileMapEntry>::Next(e))
    if (e->sound_) e->sound_->Reload();
}

int32_t TAudioFileMap::IsStereo() {
  if (noStereo_) return 0;
  for (TAudioFileMapEntry* e = entries_.First(); e; e = EList<TAudioFileMapEntry>::Next(e))
    if (e->sound_ && e->sound_->GetSampleBuf()->GetChannels() > 1) return 1;
  return 0;
}

int32_t TAudioFileMap::IndexOf(IAudioFileMapEntry* entry) {
  int32_t i = 0;
  for (TAudioFileMapEntry* e = entries_.First(); e; e = EList<TAudioFileMapEntry>::Next(e), ++i)
    if (static_cast<IAudioFileMapEntry*>(e) == entry) return i;
  return -1;
}

IAudioFileMapEntry* TAudioFileMap::GetAt(int32_t index) {
  if (index < 0) return nullptr;
  TAudioFileMapEntry* e = entries_.First();
  while (e && index-- > 0) e = EList<TAudioFileMapEntry>::Next(e);
  return e;
}

IAudioFileMapEntry* TAudioFileMap::FindForKey(float key) {
  int32_t k = 0;
  if (key >= float(kKeys - 1)) k = kKeys - 1;
  else if (key > 0.0f) k = int32_t(key);
  current_ = keys_[k];
  return current_;
}

void TAudioFileMap::NotAvailable() { ShowMessage(&NotYetAvailable(), 2); }

TAudioFileMapEntry* TAudioFileMap::MakeEntry(IFileName* sound) {
  std::unique_ptr<TAudioFileMapEntry> e(new (std::nothrow) TAudioFileMapEntry(this));
  if (!e) ThrowAudioMemoryLow();
  e->SetSoundFile(sound);
  IAudioFileBuf* pooled = e->sound_;
  const int32_t key = pooled->GetRootKey() == 0 ? 60 : pooled->GetRootKey();
  e->split_ = key;
  e->SetRootKey(key);
  e->loopOn_ = pooled->GetLoopOn();
  e->alternating_ = pooled->GetAlternatingLoop();
  e->loopInRelease_ = pooled->GetLoopInRelease();
  return e.release();
}

void TAudioFileMap::Insert(TAudioFileMapEntry* e) {
  for (TAudioFileMapEntry* x = entries_.First(); x; x = EList<TAudioFileMapEntry>::Next(x)) {
    if (x->split_ != e->split_) continue;
    const int32_t highest = entries_.Last()->split_;
    const int32_t key = highest == INT32_MAX ? highest : highest + 1;
    e->split_ = key;
    e->SetRootKey(key);
    break;
  }
  entries_.AddLast(e);
  Sort();
  e->SetResynthesis(module_ && module_->IsType(kBeatLoopCategory, kBeatLoopIndex) ? 0 : analyse_);
  RebuildKeyTable();
  Changed();
}

void TAudioFileMap::Add(IFileName* sound) {
  if (GetCount() >= kMaxEntries) ThrowError(&AudioMapFull());
  Insert(MakeEntry(sound));
}

void TAudioFileMap::Remove(IAudioFileMapEntry* entry) {
  TAudioFileMapEntry* e = nullptr;
  for (TAudioFileMapEntry* x = entries_.First(); x; x = EList<TAudioFileMapEntry>::Next(x))
    if (static_cast<IAudioFileMapEntry*>(x) == entry) e = x;
  if (!e) return;
  entries_.Remove(e);
  if (current_ == e) current_ = nullptr;
  if (moving_ == e) moving_ = nullptr;
  if (displaced_ == e) displaced_ = nullptr;
  delete e;
  RebuildKeyTable();
  if (entries_.IsEmpty()) fileName_->SetName(TStr());
  Changed();
}

void TAudioFileMap::Clear() {
  DeleteEntries();
  RebuildKeyTable();
  fileName_->SetName(TStr());
  Changed();
}

void TAudioFileMap::UpdateRates() {
  for (TAudioFileMapEntry* e = entries_.First(); e; e = EList<TAudioFileMapEntry>::Next(e)) e->UpdateStep();
}

void TAudioFileMap::TakeEntries(TAudioFileMap& other) {
  other.ForgetEntries();
  while (TAudioFileMapEntry* e = other.entries_.RemoveFirst()) {
    e->owner_ = this;
    entries_.AddLast(e);
  }
}

void TAudioFileMap::Load(IFileName* file) {
  if (GetCount() > 1 && modified_) {
    TParamStr question(TStr("Are you sure you want to discard changes made to ") + GetDisplayName()->GetName(1) +
                       TStr("?"));
    if (ShowMessage(&question, 2) == 3) return;
  }
  if (file->GetType() == filetype::Map) {
    // Sounds not found where the map says are looked for beside it.
    LastLocatedFolder() = file->GetFolder();
    EPtr<IFile> in(CreateFileObject());
    in->OpenRead(file);
    // Read aside first: a damaged file leaves the map as it was.
    TAudioFileMap loaded(nullptr, analyse_);
    BeginSoundfileLoad();
    try {
      loaded.Read(in.Get());
    } catch (...) {
      LoadPendingSoundfiles(0);
      throw;
    }
    DeleteEntries();
    TakeEntries(loaded);
    mapFlag_ = loaded.mapFlag_;
    noStereo_ = loaded.noStereo_;
    RebuildKeyTable();
    fileName_->Assign(*file);
    LoadPendingSoundfiles(1);
  } else {
    // The sound is loaded before the map lets go of anything.
    TAudioFileMapEntry* e = MakeEntry(file);
    DeleteEntries();
    fileName_->SetName(TStr());
    Insert(e);
  }
  Changed();
  modified_ = 0;
}

void TAudioFileMap::Save(IFileName* file) {
  const int32_t embed = ShowMessage(&BackupQuestion(), 2) == 2 ? 1 : 0;
  // Every sound goes into this file, whatever earlier files took.
  ClearWrittenMarks();
  TMemInOut out;
  Write(&out, embed);
  const TStr path = file->GetPath();
  const std::vector<uint8_t>& bytes = out.Data();
  ReplaceFileBytes(path, bytes);
  if (file != fileName_.Get()) fileName_->Assign(*file);
}

TInOut* TAudioFileMap::Write(TInOut* stream, int32_t embedAudio) {
  // The order word says how the stream is written, so a reader in either
  // order finds its way.
  stream->WriteULong(uint32_t(stream->GetByteOrder()));
  stream->WriteULong(kVersion);
  stream->WriteULong(uint32_t(entries_.Count()));
  stream->WriteULong(1);
  stream->WriteLong(mapFlag_);
  stream->WriteLong(noStereo_);
  fileName_->Write(stream);
  for (TAudioFileMapEntry* e = entries_.First(); e; e = EList<TAudioFileMapEntry>::Next(e))
    e->Write(stream, embedAudio);
  return stream;
}

namespace {
// Gives the stream back its own byte order when a map body inside it ends.
class TByteOrderKeeper {
public:
  explicit TByteOrderKeeper(TInOut& stream) : stream_(stream), order_(stream.GetByteOrder()) {}
  ~TByteOrderKeeper() { stream_.SetByteOrder(order_); }

private:
  TInOut& stream_;
  int order_;
};
} // namespace

TInOut* TAudioFileMap::Read(TInOut* stream) {
  TByteOrderKeeper keeper(*stream);
  const uint32_t first = ReadWholeU32(*stream);
  uint32_t version;
  if (first == 0 || first == 1) {
    stream->SetByteOrder(int(first));
    version = ReadWholeU32(*stream);
  } else if (ByteSwap32(first) == 1) {
    stream->SetByteOrder(1 - stream->GetByteOrder());
    version = ReadWholeU32(*stream);
  } else {
    // Older bodies start with their version.
    version = first;
  }
  if (version > uint32_t(kVersion)) ThrowError(&AudioVersionTooNew());
  const uint32_t count = ReadWholeU32(*stream);
  if (count > uint32_t(kMaxEntries - GetCount())) ThrowError(&AudioMapFull());
  ReadWholeU32(*stream);
  mapFlag_ = ReadWholeI32(*stream);
  noStereo_ = ReadWholeI32(*stream);
  if (version >= uint32_t(kVersionWithPan)) fileName_->Read(stream);
  for (uint32_t i = 0; i < count; ++i) {
    std::unique_ptr<TAudioFileMapEntry> e(new (std::nothrow) TAudioFileMapEntry(this));
    if (!e) ThrowAudioMemoryLow();
    e->Read(stream, int32_t(version));
    entries_.AddLast(e.release());
  }
  RebuildKeyTable();
  modified_ = 0;
  return stream;
}

void TAudioFileMap::ReadEmbeddedSample(TInOut* stream) {
  const int32_t rootKey = ReadWholeI32(*stream);
  const float frames = ReadWholeFloat(*stream);
  if (module_ && module_->IsBackupSound()) {
    const int32_t rate = ReadWholeI32(*stream);
    // The record holds ceil(frames) values, never more than the stream does.
    if (frames > float(INT32_MAX)) stream->RaiseReadError();
    const int64_t count = frames > 0.0f ? int64_t(std::ceil(double(frames))) : 0;
    const int64_t left = stream->Remaining();
    if (left >= 0 && count * 2 > left) stream->RaiseReadError();
    const int32_t length = int32_t(frames > 0.0f ? frames : 0.0f);

    std::unique_ptr<TAudioFileMapEntry> entry;
    TAudioFileBuf* sound = nullptr;
    IAudioBuf* samples = nullptr;
    try {
      if (GetCount() >= kMaxEntries) ThrowError(&AudioMapFull());
      if (rate < 1) stream->RaiseReadError();
      EPtr<IFileName> name(CreateFileName());
      name->SetName(TStr("Unnamed"));
      entry.reset(new TAudioFileMapEntry(this));
      sound = new TAudioFileBuf(entry.get(), name.Get());
      // It has no file: another sound of the same name is another sound.
      sound->SetShared(false);
      entry->TakeSound(sound);
      samples = sound->GetSampleBuf();
      samples->SetFormat(1, 0, 32, 1, rate, length, 4);
    } catch (...) {
      // The samples are read past all the same, so the record stays in step.
      RecordCurrentException();
      entry.reset();
      samples = nullptr;
    }
    int16_t block[4096];
    for (int64_t done = 0; done < count;) {
      const int32_t n = int32_t(std::min<int64_t>(count - done, 4096));
      if (stream->ReadShortArray(block, n) != n) stream->RaiseReadError();
      if (samples)
        for (int32_t i = 0; i < n; ++i)
          if (done + i < length) samples->SetSample(int32_t(done + i), float(block[i]) * kShortScale, 0);
      done += n;
    }
    if (!entry) return;
    samples->RefreshMargins();
    sound->SetState(soundstate::Elsewhere);
    entry->SetRootKey(rootKey);
    entry->ComputeLength16();
    entries_.AddLast(entry.release());
    RebuildKeyTable();
  } else if (frames == 0.0f) {
    TStr path;
    stream->ReadStr(path);
    EPtr<IFileName> name(CreateFileName());
    name->SetPath(path);
    try {
      Load(name.Get());
    } catch (...) {
      ShowRecordedError();
    }
  }
}

IAudioFileMap* CreateAudioFileMap(IAudioObjectOwner* module, int32_t analyse) {
  return new (std::nothrow) TAudioFileMap(module, analyse);
}
