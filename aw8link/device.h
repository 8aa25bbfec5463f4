// The open card: turns the card's block events into calls of the client.
#pragma once

#include "aw8link/aw8link.h"
#include "aw8link/pxddev.h"

#include <atomic>

namespace aw8 {

// What the library keeps for its one client.
struct ClientLink {
  TAw8Callback callback = nullptr;
  void* context = nullptr;
  // Calls are made only while set.
  std::atomic<bool> running{false};
};

class Aw8Device : public PxDDev {
public:
  Aw8Device(ClientLink& client, uint16_t card, int32_t frames, int32_t input, uint16_t mode);
  ~Aw8Device() override;

  // StartAW8 and StopAW8 on the device (the client link's flag is theirs).
  void Start();
  void Stop();

protected:
  void HandleEvents(uint32_t events) override;
  void ClientCall(int channel, uint32_t* block, int32_t words) override;

private:
  void HandleChannel(int channel);
  ClientLink& client_;
};

} // namespace aw8
