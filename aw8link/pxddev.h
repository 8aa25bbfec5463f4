// The device's state machine: which of its parts are set up (buffers, input,
// sample clock, primed play channels, record channel, running transfers),
// moved by numbered commands, and the sample clock and input selection.
#pragma once

#include "aw8link/audiodma.h"

namespace aw8 {

// The parts a state has set up.
enum StateFlag : uint32_t {
  kBuffers = 1 << 0,
  kInput = 1 << 1,
  kClock = 1 << 2,
  kPlayPrimed = 1 << 3,
  kRecordReady = 1 << 4,
  kPlayRunning = 1 << 5,
  kRecordRunning = 1 << 6,
};
inline constexpr int kStates = 12;
inline constexpr int kCommands = 8;
inline constexpr int kNoMove = -1;
// The flags of each state.
uint32_t StateFlags(int state);
// The state a command leads to from a state, or kNoMove.
int NextState(int state, int command);

// Commands by name.
enum Command : int {
  kCmdAllocate = 0,    // 1 -> 2
  kCmdClose = 1,       // any -> 1
  kCmdPrimePlay = 2,   // 2 -> 3, 4 -> 5
  kCmdRecord = 3,      // 2 -> 4, 3 -> 5
  kCmdPlay = 4,
  kCmdStopBoth = 5,
  kCmdUnprimePlay = 6,
  kCmdCloseRecord = 7,
};

inline constexpr int kStateOpen = 2;    // buffers allocated
inline constexpr int kStateRunning = 8; // play and record running

class PxDDev : public AudioDma {
public:
  PxDDev(uint16_t card, uint16_t mode, int32_t frames);
  ~PxDDev() override;

  // 0, or -1 when a step failed (the state is kept) or the command is not
  // one of the state's (the state becomes 0).
  int Command(int command);
  int State() const { return state_; }
  int32_t Frames() const { return frames_; }

protected:
  // A play or record call for block k of the channel: the device hands it to
  // the client while the client wants calls.
  virtual void ClientCall(int channel, uint32_t* block, int32_t words) = 0;
  void SetWantedInput(int32_t input) { wantedInput_ = input; }

private:
  void CallClient(int channel, uint32_t* block, int32_t words);
  bool Apply(uint32_t from, uint32_t to);
  void SampleClock(uint32_t rate);
  void SelectInput(int32_t analog);
  void PrimePlay(int channel);
  void FinalRecordCall();

  int state_ = 0;
  int32_t frames_;
  uint32_t rate_;
  uint32_t programmedRate_ = 0;
  int32_t wantedInput_ = 1;
  bool clientGone_ = false;
};

// The sample rate and clock word of an index (0: 44100 Hz, 1: 48000 Hz).
uint32_t SampleRateOf(int index);

} // namespace aw8
