// Pitch-period analysis of a sound: for every window of 5 ms the start frame
// of the period the window lies in. The table is the sample memory of the
// object's own buffer: 1 channel, 32-bit slots holding integers, the rate
// field holding the window length.
#pragma once

#include "src/audio/audiobuf.h"
#include "src/audio/chunk.h"

#include <cstdint>

class IAudioAnalysis : public virtual IBase, public virtual IAudioBuf {
public:
  virtual void Analyse(IAudioBuf& source) = 0;
  virtual int32_t GetWindowLength() = 0;
  virtual int32_t* GetEntries() = 0;
  virtual int32_t FindPeriodStart(int32_t& position) = 0;
  virtual int32_t GetPeriod(int32_t& position, float& length) = 0;
};

class TAudioAnalysis : public TAudioBuf, public virtual IAudioAnalysis {
public:
  void Analyse(IAudioBuf& source) override;
  virtual int32_t GetEntryCount() { return GetLength(); }
  int32_t GetWindowLength() override { return GetRate(); }
  int32_t FindPeriodStart(int32_t& position) override;
  int32_t GetPeriod(int32_t& position, float& length) override;
  int32_t* GetEntries() override { return reinterpret_cast<int32_t*>(GetSampleAddress(0, 0)); }

  // Whether the table belongs to a sound of this length and rate: the window
  // the rate gives, one entry per window plus two, every entry inside it.
  bool Fits(int32_t length, int32_t rate);

private:
  // The slot that holds the sound's length: the last one, or the one before
  // it when the length is a whole number of windows.
  int32_t EndIndex();
};

// The window and search lengths for a rate; the window is never below 1.
int32_t AnalysisWindow(int32_t rate);
int32_t AnalysisSearch(int32_t rate);

IAudioAnalysis* CreateAudioAnalysis(IAudioBuf& source);
IAudioAnalysis* CreateAudioAnalysis();
inline IAudioAnalysis* CastAudioAnalysis(IBase* object) { return CastTo<IAudioAnalysis>(object); }

// The "Anal" chunk: the stored form of an analysis's buffer.
class TAnalysisChunk : public TFileChunk {
public:
  TAnalysisChunk() = default;
  explicit TAnalysisChunk(IAudioAnalysis* analysis);
  ~TAnalysisChunk() override;
  TAudioStream& Read(TAudioStream& file) override;
  TAudioStream& Write(TAudioStream& file) override;
  void Apply(IChunkTarget& target) override;
  TStr Id() override { return TStr("Anal"); }
  IAudioAnalysis* GetAnalysis() { return analysis_; }
  // Forgets the analysis (it was dropped by its owner).
  void Forget() { analysis_ = nullptr; owned_ = false; SetDataSize(0); }

private:
  IAudioAnalysis* analysis_ = nullptr;
  bool owned_ = false; // read here and not yet handed to a sound file
};
