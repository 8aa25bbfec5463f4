// The engine benchmark's runs and the lines it prints.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct TSuiteOptions {
  // Where the sound of the poly patch at 8 voices goes.
  std::string outputFolder;
  // Blocks of each measured configuration (the worst block is over these).
  int32_t blocks = 10000;
  std::vector<int32_t> voices = {8, 16, 32, 64};
  std::vector<float> factors = {0.75f, 1.0f, 3.0f};
  int32_t slotChain = 799;
  int32_t slotBlocks = 2000;    // blocks of the slot-overhead figure
  // Time the whole run may take (0: no limit). When the machine is too slow
  // or too busy for every figure's blocks, later figures use fewer blocks
  // (never fewer than minBlocks) and say so.
  double budgetSeconds = 240.0;
  double reserveSeconds = 30.0; // kept for the MIDI, tail, routine and sound runs
  int32_t minBlocks = 200;
  int32_t singleNotes = 1000;   // timed note-ons
  int32_t chords = 100;         // timed 64-note chords
  double warmUpSeconds = 0.5;
  double tailSeconds = 10.0;    // the decaying tail after the notes end
  int32_t routineBlocks = 2000; // blocks in per-slot measuring mode
  double soundSeconds = 6.0;    // length of the written sound
};

// A run of a few blocks of every kind, to see that nothing breaks.
TSuiteOptions QuickOptions(const std::string& outputFolder);

struct TSuiteResult {
  std::string soundPath;  // empty when it was not written
  float soundPeak = 0.0f; // largest sample of the written sound
  int32_t failures = 0;   // runs that could not be measured for a fault of the program
};

// Runs everything the options ask for and prints one figure a line to out.
TSuiteResult RunSuite(const TSuiteOptions& options, std::FILE* out);

// One patch at one voice count for a stretch of time: its usage in thread
// processor time and wall time, then what each of its routines costs.
struct TOnlyOptions {
  std::string patch;  // "R1", "R2" ('Good'), "R2E" ('Excellent'), "R3", "R4"
  int32_t voices = 64;
  double seconds = 10.0;
};
// The patch names RunOnly knows.
bool IsKnownPatch(const std::string& name);
// Answers the runs that failed (0 or 1).
int32_t RunOnly(const TOnlyOptions& options, std::FILE* out);

} // namespace bench
