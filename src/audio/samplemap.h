// Sample maps: up to 128 samples over the 128 keys of a sampler module, each
// a pooled sound with its split, tuning, gain, pan and loop settings; stored
// in *.map files and in module records.
#pragma once

#include "src/audio/audiohost.h"
#include "src/audio/soundpool.h"
#include "src/base/file.h"
#include "src/base/tools.h"

#include <cstdint>

class TAudioFileMap;

class TAudioFileMapEntry : public TLink, public virtual IAudioFileMapEntry {
public:
  explicit TAudioFileMapEntry(TAudioFileMap* owner);
  ~TAudioFileMapEntry() override;

  virtual void ComputeStep();
  virtual void ComputeLength16();

  void SetSoundFile(IFileName* name) override;
  IAudioFileBuf* GetSoundFile() override { return sound_; }
  void Changed() override;
  int32_t GetLeftSplit() override { return split_; }
  void SetLeftSplit(int32_t key) override;
  int32_t GetRootKey() override { return rootKey_; }
  void SetRootKey(int32_t key) override;
  int32_t GetTune() override { return tune_; }
  void SetTune(int32_t semitones) override;
  int32_t GetDetune() override { return detune_; }
  void SetDetune(int32_t cents) override;
  int32_t GetGain() override { return gain_; }
  void SetGain(int32_t gain) override { gain_ = gain; NotifyOwner(); }
  float GetPan() override { return pan_; }
  void SetPan(float pan) override { pan_ = pan; NotifyOwner(); }
  int32_t GetAux1() override { return aux1_; }
  void SetAux1(int32_t value) override { aux1_ = value; }
  int32_t GetAux2() override { return aux2_; }
  void SetAux2(int32_t value) override { aux2_ = value; }
  int32_t GetDirection() override { return direction_; }
  void SetDirection(int32_t direction) override { direction_ = direction; NotifyOwner(); }
  int32_t GetLoopOn() override { return loopOn_; }
  void SetLoopOn(int32_t on) override { loopOn_ = on; NotifyOwner(); }
  int32_t GetLoopInRelease() override { return loopInRelease_; }
  void SetLoopInRelease(int32_t on) override { loopInRelease_ = on; NotifyOwner(); }
  int32_t GetAlternatingLoop() override { return alternating_; }
  void SetAlternatingLoop(int32_t on) override { alternating_ = on; NotifyOwner(); }
  int32_t GetAux3() override { return aux3_; }
  void SetAux3(int32_t value) override { aux3_ = value; }
  int32_t GetAux4() override { return aux4_; }
  void SetAux4(int32_t value) override { aux4_ = value; }
  int32_t GetResynthesis() override { return resynthesis_; }
  void SetResynthesis(int32_t on) override { resynthesis_ = on; NotifyOwner(); }
  int32_t GetTempo() override { return tempo_; }
  void SetTempo(int32_t bpm) override { tempo_ = bpm; NotifyOwner(); }
  float GetStep() override { return step_; }
  int32_t GetLength16() override { return length16_; }
  void UpdateStep() override { ComputeStep(); }
  TInOut* Read(TInOut* stream, int32_t version) override;
  TInOut* Write(TInOut* stream, int32_t embedAudio) override;

  // Takes a sound made for this entry (already registered for it).
  void TakeSound(IAudioFileBuf* sound);
  TAudioFileMap* GetOwner() const { return owner_; }

private:
  friend class TAudioFileMap;
  void NotifyOwner();

  TAudioFileMap* owner_;
  IAudioFileBuf* sound_ = nullptr;
  int32_t split_ = 0;
  int32_t rootKey_ = 60;
  int32_t tune_ = 0;
  int32_t detune_ = 0;
  int32_t gain_ = 0;
  float pan_ = 0.0f;
  int32_t aux1_ = 0;
  int32_t aux2_ = 0;
  int32_t direction_ = 0;
  int32_t loopOn_ = 0;
  int32_t alternating_ = 0;
  int32_t loopInRelease_ = 1;
  int32_t aux3_ = 0;
  int32_t aux4_ = 0;
  int32_t resynthesis_ = 0;
  int32_t tempo_ = 85;
  int32_t length16_ = 0;
  float step_ = 0.0f;
};

inline IAudioFileMapEntry* CastToAudioFileMapEntry(IBase* object) {
  return object ? CastTo<IAudioFileMapEntry>(object) : nullptr;
}

class IAudioFileMap : public virtual IBase {
public:
  virtual IFileName* GetDisplayName() = 0;
  virtual void ReloadAll() = 0;
  virtual int32_t HasSamples() = 0;
  virtual int32_t IsStereo() = 0;
  virtual void Load(IFileName* file) = 0;
  virtual void Save(IFileName* file) = 0;
  virtual int32_t GetMapFlag() = 0;
  virtual void SetMapFlag(int32_t flag) = 0;
  virtual int32_t GetNoStereo() = 0;
  virtual void SetNoStereo(int32_t on) = 0;
  virtual int32_t GetCount() = 0;
  virtual int32_t IndexOf(IAudioFileMapEntry* entry) = 0;
  virtual IAudioFileMapEntry* GetAt(int32_t index) = 0;
  virtual IAudioFileMapEntry* FindForKey(float key) = 0;
  virtual IAudioFileMapEntry* GetCurrent() = 0;
  virtual void NotAvailable() = 0;
  virtual void Add(IFileName* sound) = 0;
  virtual void Remove(IAudioFileMapEntry* entry) = 0;
  virtual void Clear() = 0;
  virtual void UpdateRates() = 0;
  virtual TInOut* Read(TInOut* stream) = 0;
  virtual TInOut* Write(TInOut* stream, int32_t embedAudio) = 0;
  virtual void ReadEmbeddedSample(TInOut* stream) = 0;
};

class TAudioFileMap : public TBase, public virtual IAudioFileMap {
public:
  static constexpr int32_t kMaxEntries = 128;
  static constexpr int32_t kVersion = 200;
  // The map versions that brought the entries' direction and loop settings,
  // and the entries' pan with the map's own file name.
  static constexpr int32_t kVersionWithLoopSettings = 162;
  static constexpr int32_t kVersionWithPan = 191;
  static constexpr int32_t kKeys = 128;

  TAudioFileMap(IAudioObjectOwner* module, int32_t analyse);
  ~TAudioFileMap() override;

  virtual void Changed();
  virtual TAudioFileMapEntry* FindLowest();
  virtual void Sort();
  virtual void RebuildKeyTable();
  virtual int32_t GetAnalyse() { return analyse_; }
  virtual void MoveSplit(TAudioFileMapEntry* entry, int32_t key);

  IFileName* GetDisplayName() override;
  void ReloadAll() override;
  int32_t HasSamples() override { return entries_.IsEmpty() ? 0 : 1; }
  int32_t IsStereo() override;
  void Load(IFileName* file) override;
  void Save(IFileName* file) override;
  int32_t GetMapFlag() override { return mapFlag_; }
  void SetMapFlag(int32_t flag) override { mapFlag_ = flag; Changed(); }
  int32_t GetNoStereo() override { return noStereo_; }
  void SetNoStereo(int32_t on) override { noStereo_ = on; Changed(); }
  int32_t GetCount() override { return entries_.Count(); }
  int32_t IndexOf(IAudioFileMapEntry* entry) override;
  IAudioFileMapEntry* GetAt(int32_t index) override;
  IAudioFileMapEntry* FindForKey(float key) override;
  IAudioFileMapEntry* GetCurrent() override { return current_; }
  void NotAvailable() override;
  void Add(IFileName* sound) override;
  void Remove(IAudioFileMapEntry* entry) override;
  void Clear() override;
  void UpdateRates() override;
  TInOut* Read(TInOut* stream) override;
  TInOut* Write(TInOut* stream, int32_t embedAudio) override;
  void ReadEmbeddedSample(TInOut* stream) override;

  IFileName* GetFileName() { return fileName_.Get(); }
  int32_t IsModified() const { return modified_; }

private:
  // A new entry for the sound, set up as Add places it but not yet in the map.
  TAudioFileMapEntry* MakeEntry(IFileName* sound);
  void Insert(TAudioFileMapEntry* entry);
  void ForgetEntries();
  void DeleteEntries();
  // Moves every entry of the other map into this one, in order.
  void TakeEntries(TAudioFileMap& other);

  EPtr<IFileName> fileName_;
  EPtr<IFileName> displayName_;
  EList<TAudioFileMapEntry> entries_;
  TAudioFileMapEntry* keys_[kKeys] = {};
  TAudioFileMapEntry* current_ = nullptr;
  TAudioFileMapEntry* moving_ = nullptr;
  TAudioFileMapEntry* displaced_ = nullptr;
  int32_t startSplit_ = -1;
  int32_t savedSplit_ = 0;
  IAudioObjectOwner* module_;
  int32_t analyse_;
  int32_t mapFlag_ = 1;
  int32_t noStereo_ = 0;
  int32_t modified_ = 0;
};

IAudioFileMap* CreateAudioFileMap(IAudioObjectOwner* module, int32_t analyse);
inline IAudioFileMap* CastToAudioFileMap(IBase* object) { return object ? CastTo<IAudioFileMap>(object) : nullptr; }
