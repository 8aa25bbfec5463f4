// Conversion between engine samples and the device's 44.1 kHz 16-bit frames
// for the six rate factors (engine rate / device rate). One call of Output
// takes one engine sample and writes 0, 1 or 2 device frames; one call of
// Input makes one engine sample from 0, 1 or 2 device frames. The phase runs
// 0, 1, 2 for the factors with a 3 and 0, 1 for 2/1.
#pragma once

#include <cmath>
#include <cstdint>

namespace mme {

enum TRateIndex : int32_t { kHalf, kThreeQuarters, kOne, kThreeHalves, kTwo, kThree, kRateCount };
constexpr float kRateFactors[kRateCount] = {0.5f, 0.75f, 1.0f, 1.5f, 2.0f, 3.0f};
// The index of a factor; -1 for a factor outside the six.
int32_t RateIndex(float factor);

constexpr float kFullScale = 32768.0f;
constexpr float kLargest = 32767.0f;
constexpr float kSmallest = -32768.0f;
constexpr float kChannels = 2;

// Clips a scaled value; NaN is 0. These run for every sample of every
// block: they are inline so that the output loop needs no calls.
inline float Clip(float scaled) {
  if (std::isnan(scaled)) return 0.0f;
  if (scaled > kLargest) return kLargest;
  if (scaled < kSmallest) return kSmallest;
  return scaled;
}
// A float scaled to 16 bits as stored: clipped, truncated toward zero; NaN is 0.
inline int16_t ToSample(float scaled) { return int16_t(std::trunc(Clip(scaled))); }

// Where output frames go: a run of 16-bit frames that is never overrun.
struct TFrameSink {
  int16_t* at = nullptr;
  int16_t* end = nullptr;
  // Level cells of the two channels (in 16-bit units), or null.
  void (*track)(int32_t channel, float value) = nullptr;
  void Put(float left, float right) {
    if (!at || at + 2 > end) return;
    at[0] = ToSample(left);
    at[1] = ToSample(right);
    at += 2;
  }
};

// Where input frames come from; a source that has none left gives zeros.
struct TFrameSource {
  virtual ~TFrameSource() = default;
  // The next frame, scaled to -1 .. 1.
  virtual void Get(float frame[2]) = 0;
};

class TConverter {
public:
  void Reset();
  // x: the Audio Out module's two inputs; gain: its gain.
  void Output(int32_t rate, const float x[2], float gain, TFrameSink& sink);
  // Writes the engine sample into out.
  void Input(int32_t rate, TFrameSource& source, float out[2]);
  int32_t OutputPhase() const { return outPhase_; }
  int32_t InputPhase() const { return inPhase_; }

private:
  int32_t outPhase_ = 0;
  int32_t inPhase_ = 0;
  // Per channel: the values each conversion keeps between samples.
  double outPrev_[2] = {}, outS1_[2] = {}, outS2_[2] = {}, outS3_[2] = {};
  float inPrev_[2] = {}, inS1_[2] = {}, inS2_[2] = {};
};

} // namespace mme
