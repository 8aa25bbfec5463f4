// Separators, bitmaps, buttons, colour fields and sliders.
#include "pc/sky/ctrl.h"

#include "pc/sky/qthost.h"
#include "src/base/tools.h"

#include <QColorDialog>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

namespace {

constexpr int kCustomColourCount = 16;
constexpr uint32_t kWhite = 0xFFFFFF;

QImage LoadPicture(int32_t bitmapId) {
  EPtr<IBmp> bmp(CreateBmp());
  try {
    bmp->LoadResource(bitmapId);
    if (const QImage* image = sky::QtImage(bmp.Get())) return *image;
  } catch (const TError&) {
    // a missing picture shows nothing
  }
  return QImage();
}

// ---------------------------------------------------------------- separator

class TCtrlerSeparator : public TCtrlerCtrl, public ICtrlerSeparator {
public:
  static constexpr int32_t kBarSplit = -1;
  TCtrlerSeparator(TTView* owner, int32_t size) : TCtrlerCtrl(owner, 0, {}, 0) {
    if (size == kBarSplit) return;
    auto* gap = new QWidget;
    gap->setFixedSize(std::max(size, 0), 1);
    SetGadget(gap);
  }
  void Refresh() override {}
  bool IsBarSplit() const override { return GetGadget() == nullptr; }
};

// ---------------------------------------------------------------- bitmap

class TCtrlerBmp : public TCtrlerCtrl, public ICtrlerBmp {
public:
  TCtrlerBmp(TTView* owner, int32_t id, int32_t bitmapId, int imageCount, int firstImage, TCtrlHandler handler)
      : TCtrlerCtrl(owner, id, std::move(handler), 0), picture_(LoadPicture(bitmapId)),
        count_(std::max(imageCount, 1)), index_(firstImage) {
    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("ctl%1").arg(id));
    const int w = picture_.isNull() ? 0 : picture_.width() / count_;
    label->setFixedSize(std::max(w, 1), std::max(picture_.isNull() ? 0 : picture_.height(), 1));
    label_ = label;
    SetGadget(label);
  }
  void Refresh() override { Show(); }
  void SelectImage(int index) override {
    if (index == index_) return;
    index_ = index;
    if (HasWindow()) Show();
  }

private:
  void Show() {
    if (!label_ || picture_.isNull()) return;
    if (index_ < 0 || index_ >= count_) {
      label_->clear();
      return;
    }
    const int w = picture_.width() / count_;
    label_->setPixmap(QPixmap::fromImage(picture_.copy(index_ * w, 0, w, picture_.height())));
  }
  QImage picture_;
  int count_;
  int index_;
  QPointer<QLabel> label_;
};

// ---------------------------------------------------------------- buttons

class TCtrlerButton : public TCtrlerCtrl, public ICtrlerButton {
public:
  // Dialog variant.
  TCtrlerButton(TTView* owner, int32_t id, TCtrlHandler handler) : TCtrlerCtrl(owner, id, std::move(handler), 0) {
    button_ = qobject_cast<QAbstractButton*>(BoundWidget(id));
  }
  // Tool-bar variant.
  TCtrlerButton(TTView* owner, int32_t id, int32_t bitmapId, TCtrlHandler handler, int toggle, int down)
      : TCtrlerCtrl(owner, id, std::move(handler), 0), gadgetVariant_(true) {
    auto* b = new QToolButton;
    b->setObjectName(QStringLiteral("ctl%1").arg(id));
    const QImage picture = LoadPicture(bitmapId);
    if (!picture.isNull()) {
      b->setIcon(QIcon(QPixmap::fromImage(picture)));
      b->setIconSize(picture.size());
    }
    b->setAutoRaise(true);
    b->setCheckable(toggle != 0);
    b->setEnabled(false);
    if (toggle) b->setChecked(down != 0);
    QObject::connect(b, &QToolButton::clicked, b, [this] {
      if (ICtrlerWnd* d = GetCtrlerWnd()) d->Notify(Id(), ctlnote::kClicked);
    });
    button_ = b;
    SetGadget(b);
  }
  void ApplyEnabled() override { EnableWidget(button_, IsEnabled()); }
  void SetDown(int flag) override {
    if (!gadgetVariant_ || !button_) return;
    QSignalBlocker block(button_.data());
    if (button_->isCheckable()) button_->setChecked(flag != 0);
    else button_->setDown(flag != 0);
  }

private:
  QPointer<QAbstractButton> button_;
  bool gadgetVariant_ = false;
};

// ---------------------------------------------------------------- colour

class DColorCtrl : public TBase, public IColor {
public:
  explicit DColorCtrl(uint32_t v) : value_(v & kWhite) {}
  uint32_t GetColor() const override { return value_; }
  void SetColor(uint32_t v) override { value_ = v & kWhite; }
  int GetRed() const override { return int(value_ & 0xFF); }
  int GetGreen() const override { return int((value_ >> 8) & 0xFF); }
  int GetBlue() const override { return int((value_ >> 16) & 0xFF); }
  void SetRed(int v) override { value_ = (value_ & 0xFFFF00) | (uint32_t(v) & 0xFF); }
  void SetGreen(int v) override { value_ = (value_ & 0xFF00FF) | ((uint32_t(v) & 0xFF) << 8); }
  void SetBlue(int v) override { value_ = (value_ & 0x00FFFF) | ((uint32_t(v) & 0xFF) << 16); }

private:
  uint32_t value_;
};

QColor ToQColor(uint32_t v) { return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)); }
uint32_t FromQColor(const QColor& c) { return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16; }

class TCtrlerColor : public TCtrlerCtrl, public ICtrlerColor {
public:
  TCtrlerColor(TTView* owner, int32_t id, const IColor& color, TCtrlHandler handler)
      : TCtrlerCtrl(owner, 0, {}, 0), color_(color.GetColor()), handler_(std::move(handler)) {
    CreateCtrlerButton(this, id, [this] { Choose(); });
  }
  void SetColor(const IColor& color) override { color_.SetColor(color.GetColor()); }
  const IColor& GetColor() override { return color_; }

private:
  void Choose() {
    ICtrlerWnd* d = GetCtrlerWnd();
    QColorDialog dialog(d ? d->GetWindow() : nullptr);
    QColorDialog::setCustomColor(0, ToQColor(color_.GetColor()));
    for (int i = 1; i < kCustomColourCount; ++i) QColorDialog::setCustomColor(i, ToQColor(kWhite));
    dialog.setCurrentColor(ToQColor(color_.GetColor()));
    if (sky::RunModal(dialog) == QDialog::Accepted) color_.SetColor(FromQColor(dialog.selectedColor()));
    if (handler_) handler_();
  }
  DColorCtrl color_;
  TCtrlHandler handler_;
};

// ---------------------------------------------------------------- slider

class TCtrlerSlider : public TCtrlerCtrl, public ICtrlerSlider {
public:
  TCtrlerSlider(TTView* owner, int32_t id, TCtrlHandler handler) : TCtrlerCtrl(owner, id, std::move(handler), 0) {
    slider_ = qobject_cast<QSlider*>(BoundWidget(id));
  }
  void ReadBack() override {
    if (slider_) value_ = slider_->value() * step_ + minimum_;
  }
  void Refresh() override {
    ApplyEnabled();
    ApplyRange();
    ShowPosition();
  }
  void ApplyEnabled() override { EnableWidget(slider_, IsEnabled()); }
  void SetRange(int32_t minimum, int32_t maximum, int32_t step, int32_t ticks) override {
    minimum_ = minimum;
    maximum_ = maximum;
    step_ = step == 0 ? 1 : step; // a step of 0 would divide by zero
    ticks_ = ticks;
    if (HasWindow()) ApplyRange();
  }
  int32_t GetValue() override {
    if (HasWindow()) ReadBack();
    return value_;
  }
  void SetValue(int32_t value) override {
    value_ = value;
    if (HasWindow()) ShowPosition();
  }

private:
  int32_t Positions() const { return int32_t((int64_t(maximum_) - minimum_) / step_); }
  void ApplyRange() {
    if (!slider_) return;
    QSignalBlocker block(slider_.data());
    slider_->setRange(0, std::max(Positions(), 0));
    const int32_t gap = ticks_ == kNoCnt ? Positions() : ticks_ - 1;
    slider_->setTickInterval(std::max(gap, 1));
  }
  void ShowPosition() {
    if (!slider_) return;
    QSignalBlocker block(slider_.data());
    slider_->setValue(int32_t((int64_t(value_) - minimum_) / step_));
  }
  QPointer<QSlider> slider_;
  int32_t minimum_ = 0, maximum_ = 100, step_ = 1, ticks_ = kNoCnt, value_ = 0;
};

} // namespace

ICtrlerSeparator* CreateCtrlerSeparator(TTView* owner, int32_t size) { return new TCtrlerSeparator(owner, size); }
ICtrlerBmp* CreateCtrlerBmp(TTView* owner, int32_t id, int32_t bitmapId, int imageCount, int firstImage,
                            TCtrlHandler handler) {
  return new TCtrlerBmp(owner, id, bitmapId, imageCount, firstImage, std::move(handler));
}
ICtrlerButton* CreateCtrlerButton(TTView* owner, int32_t id, TCtrlHandler handler) {
  return new TCtrlerButton(owner, id, std::move(handler));
}
ICtrlerButton* CreateCtrlerButtonGadget(TTView* owner, int32_t id, int32_t bitmapId, TCtrlHandler handler, int toggle,
                                        int down) {
  return new TCtrlerButton(owner, id, bitmapId, std::move(handler), toggle, down);
}
ICtrlerColor* CreateCtrlerColor(TTView* owner, int32_t id, const IColor& color, TCtrlHandler handler) {
  return new TCtrlerColor(owner, id, color, std::move(handler));
}
ICtrlerSlider* CreateCtrlerSlider(TTView* owner, int32_t id, TCtrlHandler handler) {
  return new TCtrlerSlider(owner, id, std::move(handler));
}
