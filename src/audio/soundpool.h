// The pool of sounds shared by the sample maps: one entry per sound file,
// held in memory as a float buffer with its loop, root key and analysis,
// alive while at least one map entry uses it.
#pragma once

#include "src/audio/analysis.h"
#include "src/audio/audiobuf.h"
#include "src/base/file.h"
#include "src/base/tools.h"

#include <cstdint>

class IAudioFileMapEntry;

// States of a pooled sound.
namespace soundstate {
inline constexpr int32_t Loaded = 0;   // loaded from its own sound file
inline constexpr int32_t Elsewhere = 1; // from an embedded copy, or from the editor's copy
inline constexpr int32_t NotFound = 2; // never loaded, or the last load failed
inline constexpr int32_t NoMemory = 3; // not loaded for lack of memory
} // namespace soundstate

class IAudioFileBuf : public virtual IBase {
public:
  virtual IFileName* GetFileName() = 0;
  virtual IAudioBuf* GetSampleBuf() = 0;
  virtual IAudioAnalysis* GetAnalysis() = 0;
  virtual int32_t GetLoopOn() = 0;
  virtual int32_t GetAlternatingLoop() = 0;
  virtual int32_t GetLoopInRelease() = 0;
  virtual int32_t GetLoopStart() = 0;
  virtual int32_t GetLoopLength() = 0;
  virtual int32_t GetLoopEnd() = 0;
  virtual int32_t GetRootKey() = 0;
  virtual int32_t GetState() = 0;
  virtual void ReadRefData(TInOut* stream, int32_t analyse, int32_t version) = 0;
  virtual void WriteRef(TInOut* stream, int32_t embed) = 0;
  virtual void SaveAs(IFileName* name) = 0;
  virtual void EditExternally() = 0;
  virtual void NotifyUsers() = 0;
  virtual void Reload() = 0;
  virtual void Release(IAudioFileMapEntry* user) = 0;
  // A pooled sound ends only when its last user releases it: this shows a
  // message and leaves the sound alone.
  void Delete();
};

// A user of a pooled sound: an entry of a sample map with its settings.
class IAudioFileMapEntry : public virtual IBase {
public:
  virtual void SetSoundFile(IFileName* name) = 0;
  virtual IAudioFileBuf* GetSoundFile() = 0;
  // The sound or a setting changed: the derived values are brought up to
  // date and the map is told.
  virtual void Changed() = 0;
  virtual int32_t GetLeftSplit() = 0;
  virtual void SetLeftSplit(int32_t key) = 0;
  virtual int32_t GetRootKey() = 0;
  virtual void SetRootKey(int32_t key) = 0;
  virtual int32_t GetTune() = 0;
  virtual void SetTune(int32_t semitones) = 0;
  virtual int32_t GetDetune() = 0;
  virtual void SetDetune(int32_t cents) = 0;
  virtual int32_t GetGain() = 0;
  virtual void SetGain(int32_t gain) = 0;
  virtual float GetPan() = 0;
  virtual void SetPan(float pan) = 0;
  virtual int32_t GetAux1() = 0;
  virtual void SetAux1(int32_t value) = 0;
  virtual int32_t GetAux2() = 0;
  virtual void SetAux2(int32_t value) = 0;
  virtual int32_t GetDirection() = 0;
  virtual void SetDirection(int32_t direction) = 0;
  virtual int32_t GetLoopOn() = 0;
  virtual void SetLoopOn(int32_t on) = 0;
  virtual int32_t GetLoopInRelease() = 0;
  virtual void SetLoopInRelease(int32_t on) = 0;
  virtual int32_t GetAlternatingLoop() = 0;
  virtual void SetAlternatingLoop(int32_t on) = 0;
  virtual int32_t GetAux3() = 0;
  virtual void SetAux3(int32_t value) = 0;
  virtual int32_t GetAux4() = 0;
  virtual void SetAux4(int32_t value) = 0;
  virtual int32_t GetResynthesis() = 0;
  virtual void SetResynthesis(int32_t on) = 0;
  virtual int32_t GetTempo() = 0;
  virtual void SetTempo(int32_t bpm) = 0;
  virtual float GetStep() = 0;
  virtual int32_t GetLength16() = 0;
  virtual void UpdateStep() = 0;
  virtual TInOut* Read(TInOut* stream, int32_t version) = 0;
  virtual TInOut* Write(TInOut* stream, int32_t embedAudio) = 0;
};

class TAudioFileBuf : public TLink, public virtual IAudioFileBuf {
public:
  // With a user the entry joins the pool; without one it belongs to its maker.
  TAudioFileBuf(IAudioFileMapEntry* user, const IFileName* name);
  ~TAudioFileBuf() override;

  // Writes the sound as a new sound file through a temporary file that
  // replaces the old one; the entry keeps its name.
  virtual void WriteToFile(IFileName* name);
  IFileName* GetFileName() override { return fileName_.Get(); }
  IAudioBuf* GetSampleBuf() override { return samples_.Get(); }
  IAudioAnalysis* GetAnalysis() override { return analysis_; }
  virtual void Analyse();
  int32_t GetLoopOn() override { return loopOn_; }
  int32_t GetAlternatingLoop() override { return alternating_; }
  int32_t GetLoopInRelease() override { return loopInRelease_; }
  int32_t GetLoopStart() override { return loopStart_; }
  int32_t GetLoopLength() override { return loopEnd_ - loopStart_; }
  int32_t GetLoopEnd() override { return loopEnd_; }
  int32_t GetRootKey() override { return rootKey_; }
  int32_t GetState() override { return state_; }
  virtual void SetState(int32_t state) { state_ = state; }
  // (Re)reads the sound from its file or from the editor's copy. A failure
  // leaves the sound in memory as it was and raises.
  virtual void Load();
  // Load, and analyse again when the sound had an analysis and the file has none.
  void LoadKeepingAnalysis();
  void ReadRefData(TInOut* stream, int32_t analyse, int32_t version) override;
  void WriteRef(TInOut* stream, int32_t embed) override;
  virtual void Save();
  void SaveAs(IFileName* name) override;
  void EditExternally() override;
  void Reload() override;
  void NotifyUsers() override;
  virtual void AddUser(IAudioFileMapEntry* user);
  void Release(IAudioFileMapEntry* user) override;

  // Tells every user but one (the one being set up) that the sound changed.
  void NotifyUsersExcept(IAudioFileMapEntry* user);
  int32_t GetUserCount() const { return users_.Count(); }
  void SetWrittenMark(int32_t mark) { written_ = mark; }
  int32_t GetReportFlag() const { return report_; }
  void SetReportFlag(int32_t flag) { report_ = flag; }
  // Sounds that have no file of their own (old embedded samples) are never
  // handed to another reference of the same name.
  bool IsShared() const { return shared_; }
  void SetShared(bool shared) { shared_ = shared; }

private:
  void TakeAnalysis(IAudioAnalysis* analysis);
  void ChooseTemporaryCopy();

  EPtr<IFileName> fileName_;
  EPtr<IFileName> tmpCopy_;
  EPtr<IAudioBuf> samples_;
  IAudioAnalysis* analysis_ = nullptr;
  EIteratorList<IAudioFileMapEntry> users_;
  int32_t state_ = soundstate::NotFound;
  int32_t written_ = 0;
  int32_t report_ = 0;
  int32_t loopOn_ = 0;
  int32_t alternating_ = 0;
  int32_t loopInRelease_ = 1;
  int32_t loopStart_ = 0;
  int32_t loopEnd_ = 0;
  int32_t rootKey_ = 60;
  bool shared_ = true;
};

// The pool entry of the sound file, registered for the user, loaded when
// needed and analysed when asked. A sound that cannot be loaded raises its
// load error and leaves no registration behind.
IAudioFileBuf* AcquireSoundFile(IAudioFileMapEntry* user, IFileName* name, int32_t analyse);
// Reads a reference record and answers the pool entry for it. A sound that
// is missing and has no embedded copy is remembered for LoadPendingSoundfiles.
IAudioFileBuf* ReadSoundFileRef(IAudioFileMapEntry* user, TInOut* stream, int32_t analyse, int32_t version);
// The pool entry of the same file (folder, name and extension as spelled), or null.
TAudioFileBuf* FindSoundFile(const IFileName* name);
void BeginSoundfileLoad();
// After a file that references sounds was read: reports sounds that could
// not be loaded and offers to locate missing ones (report 0: quietly).
void LoadPendingSoundfiles(int32_t report);
void ClearWrittenMarks();
void BatchAnalyseSoundfiles();
void AnalyseFolder(IFileName* pattern, int32_t* investigated, int32_t* analysed);
inline IAudioFileBuf* CastToAudioFileBuf(IBase* object) { return CastTo<IAudioFileBuf>(object); }

// The pool itself and the folder where the user last located a sound.
EList<TAudioFileBuf>& SoundPool();
TStr& LastLocatedFolder();
