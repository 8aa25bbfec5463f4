// The engine's process-wide lookup tables and rate constants.
#pragma once

#include <cstdint>

inline constexpr int32_t kSineTableSize = 257;
inline constexpr int32_t kPitchTableSize = 2401;
inline constexpr int32_t kShapeTableSize = 121;

// One sine period over 256 steps, the first point repeated at 256, and the
// differences to the next entry (the last equal to the first).
extern float SineTable[kSineTableSize];
extern float SineSlopes[kSineTableSize];
// 2^((i - 1200) / 60): five entries per semitone, entry 1200 = 1.0.
extern float PitchTable[kPitchTableSize];
extern float PitchSlopes[kPitchTableSize - 1];
// Filter correction grids, 11 x 11 row-major (row = resonance, column =
// cutoff), read by bilinear interpolation.
extern float ShapeTableA[kShapeTableSize];
extern float ShapeTableB[kShapeTableSize];

// Constants derived from the processing rate sr, the control rate cr and the
// clock tempo.
struct TEngineConstants {
  float invRate;         // 1/sr
  float twoOverRate;     // 2/sr
  float threeOverRate;   // 3/sr
  float fourOverRate;    // 4/sr
  float fiveOverRate;    // 5/sr
  float sixOverRate;     // 6/sr
  float eightOverRate;   // 8/sr
  float msPerFrame;      // 1000/sr
  float framesPerMs;     // sr x 0.001
  float framesPerTenthMs;  // sr x 0.0001
  float omegaOverRate;   // 6.283/sr
  float sineStepOverRate;  // 256/sr
  float invControlRate;  // 1/cr
  float twoOverControlRate;  // 2/cr
  int32_t controlRate;   // Hz
  int32_t controlPeriod; // frames; the control-rate pass runs every period + 1
  float tempo;           // beats per minute
  float clockIncrement;  // 0.4 x tempo / sr per frame
  float processingRate;  // sr
};

extern TEngineConstants EngineConstants;

// Builds the tables; the first call does the work, later ones return at once.
// Every program that links the engine has them built before main.
void BuildEngineTables();

// Pitch-table lookup at a fractional index: the index is truncated toward
// zero; below 0 gives 0, 2400 and above gives the last entry, otherwise the
// entry plus the fraction times its slope.
float PitchLookup(float index);
// Frequency in Hz of a pitch in semitones (69 gives 440 Hz).
float PitchToHz(float pitch);
// Gain of a level in decibels: the amplitude 10^(dB/20), the one decibel
// conversion of meters and level lamps.
float DecibelsToGain(float db);
// The power of that gain (its square), which the level lamps compare.
float DecibelsToPower(float db);

// Frames between control-rate passes for a processing rate and a control rate:
// the ratio of the two reciprocals held as 32-bit floats, divided in double
// and truncated, so an exact integer ratio comes out one lower.
int32_t ComputeControlPeriod(float processingRate, int32_t controlRate);

// Recompute every rate constant for a new processing rate.
void UpdateRateConstants(float processingRate);
// Lets the stand-in services of the sound-file objects see the engine's
// current driver and processing rate; setting a rate does it.
void LinkEngineToAudioServices();
// Store a control rate (Hz) and recompute.
void SetControlRate(int32_t hz);
// Store a clock tempo (BPM) and recompute.
void SetTempo(float bpm);
