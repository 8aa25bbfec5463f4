// The seven exports and the library-wide state.
#include "aw8link/aw8link.h"

#include "aw8link/device.h"

#include <memory>

namespace aw8 {
namespace {

using namespace platform::card_reg;

constexpr int32_t kDefaultFrames = 256;
constexpr int32_t kDefaultInput = 1;
constexpr uint16_t kCard = 0;
constexpr int32_t kAnswerOpen = 1;
constexpr uint32_t kResetPause = 100;
constexpr uint32_t kResetStep = 50;
constexpr uint32_t kResetStart = 0x80000000;

// A probe of the card: no service, no events.
class CardProbe : public SpciIo {
public:
  explicit CardProbe(uint16_t mode) : SpciIo(kCard, mode, false) {}

protected:
  void HandleEvents(uint32_t) override {}
};

struct Library {
  ClientLink client;
  std::unique_ptr<Aw8Device> device;
  int32_t frames = kDefaultFrames;
  int32_t input = kDefaultInput;
};

Library &Lib() {
  static Library *lib =
      new Library; // never destroyed: callbacks may outlive static destruction
  return *lib;
}

// Puts every register of the card to 0.
void ResetCard(uint16_t mode) {
  CardProbe io(mode);
  if (!io.IsCard())
    return;
  platform::SettleCard(kResetPause);
  io.Write(kMainControl, 0);
  platform::SettleCard(kResetStep);
  io.Write(kUpload, 0);
  platform::SettleCard(kResetStep);
  io.Write(kMainControl, kResetStart);
  for (uint32_t r = 0; r < kCount; r += 4)
    io.Write(r, 0, true);
}

} // namespace
} // namespace aw8

using aw8::Lib;

namespace {
// Nothing may leave an export as an exception.
template <class Body> int32_t Guarded(Body body, int32_t failure = 0) {
  try {
    return body();
  } catch (...) {
    AW8_ERROR();
    return failure;
  }
}
} // namespace

int32_t OpenAW8(const TAw8OpenRecord *record) {
  return Guarded([&]() -> int32_t {
    auto &lib = Lib();
    if (lib.device)
      return aw8::kAnswerOpen;
    if (!record)
      return 0;
    lib.client.callback = record->callback;
    lib.client.context = record->context;
    lib.frames = record->bufferLength;
    lib.input = record->input;
    if (lib.frames <= 0)
      lib.frames = aw8::kDefaultFrames;
    aw8::ResetCard(record->serviceMode);
    lib.device = std::make_unique<aw8::Aw8Device>(
        lib.client, aw8::kCard, lib.frames, lib.input, record->serviceMode);
    return 0;
  });
}

int32_t CloseAW8() {
  return Guarded([&]() -> int32_t {
    auto &lib = Lib();
    if (!lib.device)
      return aw8::kAnswerOpen;
    lib.client.running.store(false);
    lib.device.reset();
    return 0;
  });
}

int32_t StartAW8() {
  return Guarded([&]() -> int32_t {
    auto &lib = Lib();
    if (!lib.device)
      return 0;
    lib.device->Start();
    lib.client.running.store(true);
    return 0;
  });
}

// The client's calls stop first; the device's gate then waits for any call
// of any kind that is still running, so none runs when this returns.
int32_t StopAW8() {
  return Guarded([&]() -> int32_t {
    auto &lib = Lib();
    lib.client.running.store(false);
    if (lib.device)
      lib.device->Stop();
    return 0;
  });
}

int32_t SetBufferLenAW8(int32_t frames) {
  auto &lib = Lib();
  lib.frames = frames;
  return lib.device ? aw8::kAnswerOpen : frames;
}

int32_t SetInputAW8(int32_t input) {
  auto &lib = Lib();
  lib.input = input;
  return lib.device ? aw8::kAnswerOpen : input;
}

int32_t SupportedAW8(int32_t serviceMode) {
  return Guarded([&]() -> int32_t {
    auto &lib = Lib();
    if (lib.device)
      return lib.device->IsCard() ? 1 : 0;
    aw8::CardProbe probe{uint16_t(serviceMode)};
    return probe.IsCard() ? 1 : 0;
  });
}
