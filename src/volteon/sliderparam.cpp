#include "src/volteon/sliderparam.h"

#include "src/base/str.h"

namespace {
constexpr int32_t kSliderStep = 1;
} // namespace

TSliderParam::TSliderParam(TTView* owner, int32_t labelId, int32_t sliderId, int32_t downId, int32_t upId,
                           int32_t value, const TStr& prefix, const TStr& suffix, TCtrlHandler handler,
                           int32_t minimum, int32_t maximum, int showNoteName)
    : TCtrlerCtrl(owner, 0, {}, 0), prefix_(prefix), suffix_(suffix), handler_(std::move(handler)) {
  label_ = CreateCtrlerText(this, labelId, {});
  slider_ = CreateCtrlerSlider(this, sliderId, [this] { SliderMoved(); });
  down_ = CreateCtrlerButton(this, downId, [this] { StepDown(); });
  up_ = CreateCtrlerButton(this, upId, [this] { StepUp(); });
  SetShowNoteName(showNoteName);
  SetRange(minimum, maximum);
  SetValue(value);
}

void TSliderParam::Enable(int flag) {
  slider_->SetEnabled(flag);
  down_->SetEnabled(flag);
  up_->SetEnabled(flag);
}

int TSliderParam::IsSliderEnabled() const { return slider_->IsEnabled(); }

void TSliderParam::SetRange(int32_t minimum, int32_t maximum) {
  minimum_ = minimum;
  maximum_ = maximum;
  // Tick marks only at the two ends.
  slider_->SetRange(minimum, maximum, kSliderStep, kNoCnt);
}

void TSliderParam::SetValue(int32_t v) {
  value_ = v;
  if (v > maximum_) value_ = maximum_;
  else if (v < minimum_) value_ = minimum_;
  text_ = prefix_ + FormatStr("%ld", long(value_));
  if (showNoteName_) text_ = text_ + TStr(" (") + FormatNoteName(value_) + TStr(")");
  text_ = text_ + suffix_;
  slider_->SetValue(value_);
  label_->SetText(text_);
}

void TSliderParam::SliderMoved() {
  SetValue(slider_->GetValue());
  Notify();
}
void TSliderParam::StepDown() {
  SetValue(GetValue() - 1);
  Notify();
}
void TSliderParam::StepUp() {
  SetValue(GetValue() + 1);
  Notify();
}
void TSliderParam::Notify() {
  if (handler_) handler_();
}
