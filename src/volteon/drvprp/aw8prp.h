// "AudioWerk 8 Properties": the card's input, buffer length and service mode.
// Every change restarts the card at once; OK only closes the dialog.
#pragma once

#include "pc/audio/aw8.h"
#include "pc/sky/ctrl.h"
#include "pc/sky/dlg.h"

namespace aw8prp {
constexpr int32_t kDialog = 5502;
constexpr int32_t kInputSwitch = 3700; // Analog, Digital
constexpr int32_t kModeSwitch = 3702;  // Fast, Safe
constexpr int32_t kBufferSlider = 3820;
constexpr int32_t kLatencyText = 3500;
// Switch positions.
constexpr int kAnalog = 0, kDigital = 1;
constexpr int kFast = 0, kSafe = 1;
// The buffer lengths the slider offers, in card frames, by position.
constexpr int32_t kBufferFrames[] = {128, 256, 512, 1024, 2048, 4096};
constexpr int32_t kPositions = int32_t(sizeof(kBufferFrames) / sizeof(kBufferFrames[0]));
constexpr double kCardRate = 44100.0;
} // namespace aw8prp

class IAudioWerkPrp : public virtual IView {
public:
  virtual int Execute() = 0;
};

class TAudioWerkPrp : public TDlg, public IAudioWerkPrp {
public:
  explicit TAudioWerkPrp(IAudioWerk* driver);
  int Execute() override { return TDlg::Execute(); }
  using TTView::Execute;

  ICtrlerSwitch* InputSwitch() const { return input_; }
  ICtrlerSlider* BufferSlider() const { return buffer_; }
  ICtrlerText* LatencyText() const { return latency_; }
  ICtrlerSwitch* ModeSwitch() const { return mode_; }

private:
  // The switch positions of the driver's input and mode.
  int InputPosition() const;
  int ModePosition() const;
  void InputChanged();
  void BufferChanged();
  void ModeChanged();

  IAudioWerk* driver_;
  ICtrlerSwitch* input_ = nullptr;
  ICtrlerSlider* buffer_ = nullptr;
  ICtrlerText* latency_ = nullptr;
  ICtrlerSwitch* mode_ = nullptr;
};

IAudioWerkPrp* CreateAudioWerkPrp(IAudioWerk* driver);
// The slider position that shows a buffer length; kNoCnt for a length the
// slider does not offer.
int32_t AudioWerkBufferPosition(int32_t frames);
// The latency of a buffer length as the dialog writes it ("5.8 ms").
TStr AudioWerkLatencyText(int32_t frames);
void ShowAudioWerkPrp(IAudioWerk* driver);
