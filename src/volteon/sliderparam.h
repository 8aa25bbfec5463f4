// A compound control that edits one whole number: a text line naming the
// parameter and showing its value, a horizontal slider and two step buttons
// "<" and ">". It clamps the value to its range and tells its owner after
// every change the user made; changes made by the program tell nobody.
#pragma once

#include "pc/sky/ctrl.h"

#include <cstdint>

class TSliderParam : public TCtrlerCtrl {
public:
  TSliderParam(TTView* owner, int32_t labelId, int32_t sliderId, int32_t downId, int32_t upId, int32_t value,
               const TStr& prefix, const TStr& suffix, TCtrlHandler handler, int32_t minimum, int32_t maximum,
               int showNoteName);

  // Greys the slider and both buttons together; the text stays readable.
  void Enable(int flag);
  void SetHandler(TCtrlHandler handler) { handler_ = std::move(handler); }
  // The slider's range; the value is clamped at the next SetValue.
  void SetRange(int32_t minimum, int32_t maximum);
  void SetPrefix(const TStr& prefix) { prefix_ = prefix; }
  void SetSuffix(const TStr& suffix) { suffix_ = suffix; }
  void SetShowNoteName(int flag) { showNoteName_ = flag; }
  int32_t GetValue() const { return value_; }
  void SetValue(int32_t value);
  const TStr& GetText() const { return text_; }
  int IsSliderEnabled() const;

private:
  void SliderMoved();
  void StepDown();
  void StepUp();
  void Notify();

  ICtrlerText* label_ = nullptr;
  ICtrlerSlider* slider_ = nullptr;
  ICtrlerButton* down_ = nullptr;
  ICtrlerButton* up_ = nullptr;
  TStr text_;
  TStr prefix_;
  TStr suffix_;
  int32_t showNoteName_ = 0;
  int32_t value_ = 0;
  int32_t minimum_ = 0;
  int32_t maximum_ = 0;
  TCtrlHandler handler_;
};
