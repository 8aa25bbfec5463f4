#include "src/volteon/drvprp/aw8prp.h"

#include "src/base/str.h"

#include <memory>

using namespace aw8prp;

namespace {

constexpr int kBoxOkCancel = 1;
constexpr int kAnswerOk = 0;
constexpr int kSwitchPositions = 2;
constexpr int32_t kCardInputAnalog = 1, kCardInputDigital = 0;
constexpr int32_t kCardModeFast = 0, kCardModeSafe = 1;
constexpr int32_t kSliderStep = 1;
constexpr int32_t kTickEveryPosition = 2; // tick spacing: one tick per step

QV_MESSAGE(FastModeCaution, "Caution! The Fast mode uses the interrupt of the Audiowerk8.\n"
                            "If the same interrupt is used by another PCI card, the system can hangup.\n"
                            "Please save all open files before trying Fast mode!")
QV_MESSAGE(CardCaption, "AudioWerk 8")

int32_t Template() {
  static const bool registered = [] {
    RegisterDlgTemplate({kDialog, "AudioWerk 8 Properties", 179, 139, {
      DlgGroup("Inputs", 4, 4, 172, 24),
      DlgRadio(kInputSwitch + kAnalog, "Analog", 36, 12, 44, 12, dlgflag::kGroup),
      DlgRadio(kInputSwitch + kDigital, "Digital", 105, 12, 44, 12),
      DlgGroup("Buffersize", 4, 32, 172, 52),
      DlgSlider(kBufferSlider, 8, 44, 164, 20),
      DlgStatic(kLatencyText, "", 80, 68, 40, 12),
      DlgGroup("Driver Mode", 4, 88, 172, 24),
      DlgRadio(kModeSwitch + kFast, "Fast", 36, 97, 36, 12, dlgflag::kGroup),
      DlgRadio(kModeSwitch + kSafe, "Safe", 105, 97, 39, 12),
      DlgDefButton(kIdOk, "OK", 64, 120, 50, 14),
    }});
    return true;
  }();
  (void)registered;
  return kDialog;
}

} // namespace

int32_t AudioWerkBufferPosition(int32_t frames) {
  for (int32_t i = 0; i < kPositions; ++i)
    if (kBufferFrames[i] == frames) return i;
  return kNoCnt;
}

TStr AudioWerkLatencyText(int32_t frames) { return FormatStr("%.1f ms", double(frames) * 1000.0 / kCardRate); }

TAudioWerkPrp::TAudioWerkPrp(IAudioWerk* driver) : TDlg(Template()), driver_(driver) {
  input_ = CreateCtrlerSwitch(this, kInputSwitch, kSwitchPositions, InputPosition(),
                              Handler(this, &TAudioWerkPrp::InputChanged));
  buffer_ = CreateCtrlerSlider(this, kBufferSlider, Handler(this, &TAudioWerkPrp::BufferChanged));
  buffer_->SetRange(0, kPositions - 1, kSliderStep, kTickEveryPosition);
  const int32_t frames = driver_->GetBufferLength();
  buffer_->SetValue(AudioWerkBufferPosition(frames));
  latency_ = CreateCtrlerText(this, kLatencyText, {});
  latency_->SetText(AudioWerkLatencyText(frames));
  mode_ = CreateCtrlerSwitch(this, kModeSwitch, kSwitchPositions, ModePosition(),
                             Handler(this, &TAudioWerkPrp::ModeChanged));
}

int TAudioWerkPrp::InputPosition() const { return driver_->GetInput() == kCardInputDigital ? kDigital : kAnalog; }
int TAudioWerkPrp::ModePosition() const { return driver_->GetMode() != kCardModeFast ? kSafe : kFast; }

void TAudioWerkPrp::InputChanged() {
  const int position = input_->GetPosition();
  // A click on the input in use would only interrupt the sound.
  if (position == InputPosition()) return;
  if (position == kAnalog) driver_->SetInput(kCardInputAnalog);
  else if (position == kDigital) driver_->SetInput(kCardInputDigital);
}

void TAudioWerkPrp::BufferChanged() {
  const int32_t position = buffer_->GetValue();
  if (position < 0 || position >= kPositions) return;
  const int32_t frames = kBufferFrames[position];
  // The slider reports every step of a drag: the card restarts only when
  // the length really changes.
  if (frames == driver_->GetBufferLength()) return;
  latency_->SetText(AudioWerkLatencyText(frames));
  driver_->SetBufferLength(frames);
}

void TAudioWerkPrp::ModeChanged() {
  const int position = mode_->GetPosition();
  // A click on the mode in use neither restarts the card nor warns again.
  if (position == ModePosition()) return;
  if (position == kSafe) {
    driver_->SetMode(kCardModeSafe);
    return;
  }
  if (position != kFast) return;
  if (ShowMessageTitled(&FastModeCaution(), &CardCaption(), kBoxOkCancel) == kAnswerOk) {
    driver_->SetMode(kCardModeFast);
    return;
  }
  mode_->SetPosition(ModePosition());
}

IAudioWerkPrp* CreateAudioWerkPrp(IAudioWerk* driver) { return new TAudioWerkPrp(driver); }

void ShowAudioWerkPrp(IAudioWerk* driver) {
  std::unique_ptr<IAudioWerkPrp, void (*)(IAudioWerkPrp*)> dlg(CreateAudioWerkPrp(driver),
                                                              [](IAudioWerkPrp* d) { d->Delete(); });
  dlg->Execute();
}
