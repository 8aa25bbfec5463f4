// The card library: the program's only way to the Audiowerk8 card. It opens
// the card's kernel driver, programs the card and, while the card runs, calls
// the client once for every finished DMA block, on a service thread or a
// 5 ms timer of its own, with the block to read or fill in place.
//
// Calling order: SetBufferLenAW8 (optional), OpenAW8, StartAW8, (callbacks),
// StopAW8, CloseAW8. Pausing is StopAW8 then StartAW8; a new buffer length,
// input or service mode is StopAW8, CloseAW8, OpenAW8, StartAW8. All of these
// come from one client thread; the callback never calls the library.
#pragma once

#include <cstdint>

#define AW8_EXPORT extern "C" __attribute__((visibility("default")))

struct TAw8CallbackRecord;
// The client's callback. The answer is ignored.
using TAw8Callback = int32_t (*)(TAw8CallbackRecord* record);

// What the client gives OpenAW8 (read once).
struct TAw8OpenRecord {
  void* context;          // handed back in every callback record
  TAw8Callback callback;
  int32_t bufferLength;   // N: frames of one DMA block
  uint16_t serviceMode;   // 0: service thread woken by the driver; else a 5 ms timer
  uint16_t unused;
  int32_t input;          // 1 analog, 0 digital
};

// Built by the library for each call, valid for that call only.
struct TAw8CallbackRecord {
  void* context;
  void* block;     // the block that has just become free (play) or full (record)
  int32_t words;   // its length in 32-bit words: 2N for play, N for record
  int32_t zero1;
  int32_t zero2;
  int32_t kind;    // the DMA channel: 0 record, 1 play outputs 1-4, 3 play outputs 5-8
};

// DMA channels, which are also the callback kinds.
enum : int32_t {
  kAw8Record = 0,
  kAw8Play14 = 1,
  kAw8Unused = 2,
  kAw8Play58 = 3,
};

// 1 when a device is open already (nothing changes), else 0.
AW8_EXPORT int32_t OpenAW8(const TAw8OpenRecord* record);
// 1 without a device, else 0 (the device is gone: service, buffers, driver).
AW8_EXPORT int32_t CloseAW8();
// Starts the open device; 0.
AW8_EXPORT int32_t StartAW8();
// Stops the callbacks (none runs when it returns) and the device; 0.
AW8_EXPORT int32_t StopAW8();
// N for the next OpenAW8: 1 while a device is open, else N.
AW8_EXPORT int32_t SetBufferLenAW8(int32_t frames);
// The input for the next OpenAW8: 1 while a device is open, else the value.
AW8_EXPORT int32_t SetInputAW8(int32_t input);
// 1 when the card answers, else 0.
AW8_EXPORT int32_t SupportedAW8(int32_t serviceMode);
