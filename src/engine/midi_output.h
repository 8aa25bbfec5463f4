// The MIDI output that event routines send through. The MIDI in/out base
// implements it; tests capture the messages with a double.
#pragma once

#include <cstdint>

class IMidiOutput {
public:
  virtual ~IMidiOutput() = default;
  virtual void SendNoteOn(int32_t port, int32_t channel, int32_t note, int32_t velocity) = 0;
  virtual void SendPolyPressure(int32_t port, int32_t channel, int32_t note, int32_t value) = 0;
  virtual void SendControlChange(int32_t port, int32_t channel, int32_t controller, int32_t value) = 0;
  virtual void SendProgramChange(int32_t port, int32_t channel, int32_t program) = 0;
  virtual void SendChannelPressure(int32_t port, int32_t channel, int32_t value) = 0;
  virtual void SendPitchBend(int32_t port, int32_t channel, int32_t fine, int32_t coarse) = 0;
};
