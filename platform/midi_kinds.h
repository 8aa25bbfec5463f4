// The kinds of MIDI messages, named once for everything that builds, parses
// or dispatches them. A short message is a status byte, whose high bit is
// set, and up to two data bytes of 7 bits. Bits 4-6 of the status byte give
// the kind; its low nibble gives the channel of a channel message, or which
// one a system message is.
#pragma once

#include <cstdint>

namespace midi {

// Bits 4-6 of a status byte.
enum TKind : int32_t {
  kNoteOff = 0,
  kNoteOn = 1, // velocity 0 is a note-off
  kPolyPressure = 2,
  kControlChange = 3,
  kProgramChange = 4,
  kChannelPressure = 5,
  kPitchBend = 6,
  kSystem = 7,
};

constexpr uint8_t kStatusBit = 0x80;
constexpr int32_t kKindShift = 4;
constexpr int32_t kKindMask = 7;
constexpr int32_t kChannelMask = 0x0F;
constexpr int32_t kDataMask = 0x7F;

// The status byte of a channel message of a kind, on the first channel.
constexpr uint8_t Status(TKind kind) { return uint8_t(kStatusBit | kind << kKindShift); }

// The low nibble of a status byte of kind kSystem: which system message.
enum TSystemMessage : int32_t {
  kSystemExclusive = 0x0,
  kTimeCode = 0x1,
  kSongPosition = 0x2,
  kSongSelect = 0x3,
  kTuneRequest = 0x6,
  kEndOfExclusive = 0x7,
  // Real-time messages: one byte, allowed between the bytes of another.
  kClock = 0x8,
  kStart = 0xA,
  kContinue = 0xB,
  kStop = 0xC,
  kActiveSensing = 0xE,
  kReset = 0xF,
};

// The status byte of a system message.
constexpr uint8_t Status(TSystemMessage message) { return uint8_t(Status(kSystem) | message); }

// Controllers with a meaning of their own.
constexpr int32_t kSustainPedal = 64;
constexpr int32_t kSostenutoPedal = 66;

// A switch controller (a pedal) is on from this value up.
constexpr int32_t kSwitchOn = 64;

} // namespace midi
