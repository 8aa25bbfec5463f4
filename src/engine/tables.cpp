// The engine's lookup tables and rate constants, built once per process.
#include "src/engine/tables.h"

#include <cmath>
#include <mutex>

float SineTable[kSineTableSize];
float SineSlopes[kSineTableSize];
float PitchTable[kPitchTableSize];
float PitchSlopes[kPitchTableSize - 1];
float ShapeTableA[kShapeTableSize];
float ShapeTableB[kShapeTableSize];
TEngineConstants EngineConstants;

namespace {

const float kShapeA[kShapeTableSize] = {
    0, 0.28179, 0.50392, 0.67389, 0.79907, 0.88669, 0.94379, 0.97723, 0.99363, 0.99928, 1,
    0, 0.26786, 0.48407, 0.65359, 0.78162, 0.87363, 0.93532, 0.97267, 0.99182, 0.99893, 1,
    0, 0.26856, 0.48734, 0.65972, 0.78975, 0.88224, 0.94279, 0.97777, 0.99423, 0.99942, 1,
    0, 0.27649, 0.50324, 0.68189, 0.81531, 0.90772, 0.96477, 0.99359, 1.0028, 1.0018, 1,
    0, 0.28623, 0.52349, 0.71124, 0.85073, 0.94503, 0.9993, 1.0209, 1.0197, 1.0079, 1,
    0, 0.29479, 0.54314, 0.74218, 0.89103, 0.99094, 1.0457, 1.0617, 1.0489, 1.0212, 1,
    0, 0.30096, 0.56004, 0.77212, 0.93399, 1.0446, 1.1053, 1.1202, 1.0972, 1.0491, 1,
    0, 0.30477, 0.57404, 0.80089, 0.97993, 1.1075, 1.182, 1.2041, 1.1768, 1.1064, 1,
    0, 0.30704, 0.58651, 0.83036, 1.0315, 1.1842, 1.2836, 1.3261, 1.3085, 1.2246, 1,
    0, 0.30915, 0.6, 0.86424, 1.0941, 1.2823, 1.4223, 1.5074, 1.529, 1.4688, 1,
    0, 0.31287, 0.61803, 0.90798, 1.1756, 1.4142, 1.618, 1.782, 1.9021, 1.9754, 1,
};

const float kShapeB[kShapeTableSize] = {
    2, 1.7182, 1.4961, 1.3261, 1.2009, 1.1133, 1.0562, 1.0228, 1.0064, 1.0007, 1,
    1.915, 1.6758, 1.4809, 1.3264, 1.2082, 1.1219, 1.0631, 1.027, 1.0081, 1.0011, 1,
    1.7071, 1.531, 1.3835, 1.2634, 1.1691, 1.0987, 1.0501, 1.0203, 1.0055, 1.0006, 1,
    1.4583, 1.3413, 1.2424, 1.161, 1.0968, 1.0494, 1.0181, 1.0014, 0.99642, 0.99816, 1,
    1.2154, 1.1452, 1.0866, 1.0395, 1.0041, 0.9806, 0.96907, 0.96905, 0.97842, 0.99199, 1,
    0.99227, 0.95591, 0.9278, 0.90798, 0.8968, 0.89479, 0.90257, 0.92044, 0.94731, 0.9785, 1,
    0.78587, 0.77299, 0.76648, 0.76669, 0.77413, 0.78964, 0.81432, 0.84938, 0.89542, 0.95031, 1,
    0.58928, 0.59101, 0.59814, 0.61116, 0.63087, 0.65844, 0.69558, 0.74466, 0.80887, 0.89204, 1,
    0.39527, 0.40389, 0.41692, 0.43503, 0.45924, 0.49105, 0.53275, 0.588, 0.6631, 0.77138, 1,
    0.1992, 0.2072, 0.21803, 0.23231, 0.25094, 0.27533, 0.30773, 0.35206, 0.41611, 0.52063, 1,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
};

void Build() {
  // Computed in double and stored as float, so entry 64 is exactly 1.0 and
  // entry 1260 exactly 2.0.
  SineTable[0] = 0.0f;
  for (int i = 1; i < kSineTableSize; ++i)
    SineTable[i] = float(std::sin(double(i) * 6.28318530718 * 0.00390625));
  for (int i = 0; i < kSineTableSize - 1; ++i) SineSlopes[i] = SineTable[i + 1] - SineTable[i];
  SineSlopes[kSineTableSize - 1] = SineSlopes[0];

  for (int i = 0; i < kPitchTableSize; ++i)
    PitchTable[i] = float(std::exp2(double(i - 1200) / 60.0));
  for (int i = 0; i < kPitchTableSize - 1; ++i) PitchSlopes[i] = PitchTable[i + 1] - PitchTable[i];

  for (int i = 0; i < kShapeTableSize; ++i) {
    ShapeTableA[i] = kShapeA[i];
    ShapeTableB[i] = kShapeB[i];
  }

  EngineConstants = TEngineConstants{};
  EngineConstants.tempo = 120.0f;
  EngineConstants.controlRate = 100;
  EngineConstants.invControlRate = 1.0f / 100.0f;
  EngineConstants.twoOverControlRate = 2.0f / 100.0f;
  UpdateRateConstants(44100.0f);
}

std::once_flag builtOnce;

// Programs that link the engine have the tables before main.
struct BuildAtStart {
  BuildAtStart() { BuildEngineTables(); }
} buildAtStart;

}  // namespace

void BuildEngineTables() { std::call_once(builtOnce, Build); }

float PitchLookup(float index) {
  // Range tests come before the conversion to an integer, so a huge or
  // undefined index lands on an end of the table instead of wrapping.
  if (!(index > -1.0f)) return 0.0f;  // truncates below 0, or not a number
  if (index >= float(kPitchTableSize - 1)) return PitchTable[kPitchTableSize - 1];
  const int32_t k = int32_t(index);  // truncation toward zero
  return PitchTable[k] + (index - float(k)) * PitchSlopes[k];
}

float PitchToHz(float pitch) { return PitchLookup(5.0f * pitch + 1381.88158f); }

float DecibelsToGain(float db) { return PitchLookup(9.96578428466f * db + 1200.0f); }

float DecibelsToPower(float db) {
  const float gain = DecibelsToGain(db);
  return gain * gain;
}

int32_t ComputeControlPeriod(float processingRate, int32_t controlRate) {
  if (processingRate <= 0.0f || controlRate <= 0) return 0;
  const float controlStep = 1.0f / float(controlRate);
  const float frameStep = 1.0f / processingRate;
  const double period = double(controlStep) / double(frameStep);
  return period >= 2147483647.0 ? 2147483647 : int32_t(period);
}

void UpdateRateConstants(float sr) {
  TEngineConstants& c = EngineConstants;
  // A rate of 0 would divide by zero everywhere: keep the last valid one.
  if (!(sr > 0.0f)) sr = c.processingRate > 0.0f ? c.processingRate : 44100.0f;
  c.processingRate = sr;
  c.invRate = 1.0f / sr;
  c.twoOverRate = 2.0f / sr;
  c.threeOverRate = 3.0f / sr;
  c.fourOverRate = 4.0f / sr;
  c.fiveOverRate = 5.0f / sr;
  c.sixOverRate = 6.0f / sr;
  c.eightOverRate = 8.0f / sr;
  c.msPerFrame = 1000.0f / sr;
  c.framesPerMs = sr * 0.001f;
  c.framesPerTenthMs = sr * 0.0001f;
  c.omegaOverRate = 6.283f / sr;
  c.sineStepOverRate = 256.0f / sr;
  c.clockIncrement = 0.4f * c.invRate * c.tempo;
  c.controlPeriod = ComputeControlPeriod(sr, c.controlRate);
  LinkEngineToAudioServices();
}

void SetControlRate(int32_t hz) {
  if (hz <= 0) return;  // keep the last valid rate
  TEngineConstants& c = EngineConstants;
  c.controlRate = hz;
  c.invControlRate = 1.0f / float(hz);
  c.twoOverControlRate = 2.0f / float(hz);
  UpdateRateConstants(c.processingRate);
}

void SetTempo(float bpm) {
  EngineConstants.tempo = bpm;
  UpdateRateConstants(EngineConstants.processingRate);
}
