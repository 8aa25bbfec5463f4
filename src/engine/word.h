// The 32-bit state word of the engine: routines keep floats, flags, stage
// numbers, counters and shift registers in the same words and read them
// back either way.
#pragma once

#include <cstdint>

union TWord {
  float f;
  int32_t i;
  uint32_t u;
};
static_assert(sizeof(TWord) == 4, "a state word is 32 bits");

// Position of a state field counted in 32-bit words.
#define QV_WORD_AT(Type, field) (int32_t(offsetof(Type, field) / 4))
// Size of a state record counted in 32-bit words.
#define QV_WORDS_OF(Type) (int32_t(sizeof(Type) / 4))
// Position of an audio input in a per-voice input-pointer layout.
#define QV_INPUT_AT(Type, field) (int32_t(offsetof(Type, field) / sizeof(const float*)))
// Number of input pointers of a per-voice input-pointer layout.
#define QV_INPUTS_OF(Type) (int32_t(sizeof(Type) / sizeof(const float*)))
