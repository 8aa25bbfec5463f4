// The null driver: lets an ensemble load, be edited and show its panels on a
// machine without a usable sound device. It never runs a block.
#pragma once

#include "src/engine/audioio.h"

class INoAudio : public virtual IAudioInOut {};

class TNoAudio : public TAudioInOut, public virtual INoAudio {
public:
  explicit TNoAudio(IAudioOwner* owner);

  int32_t GetType() override { return kAudioNone; }
  int32_t GetOutputCount() override { return 2; }
  int32_t GetInputCount() override { return 2; }
  void ClearBuffers() override {}
  void EnableInput(int32_t) override {}
  void EnableOutput(int32_t) override {}
  void DisableInput(int32_t) override {}
  void DisableOutput(int32_t) override {}
  bool HasSettingsDialog() override { return false; }
  void ShowSettingsDialog() override {}

protected:
  int32_t DeviceStart() override { return 0; }
  void DeviceStop() override {}
  void DevicePause() override {}
  void DeviceResume() override {}
  void UpdateBlockLength() override {}
  float TakeInputLevel(int32_t) override { return 0.0f; }
  float TakeOutputLevel(int32_t) override { return 0.0f; }
  void ClearOutput() override {}
};

IAudioInOut* CreateNoAudio(IAudioOwner* owner);
