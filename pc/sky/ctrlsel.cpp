// Check boxes, radio switches, drop-down lists and list boxes.
#include "pc/sky/ctrl.h"

#include "pc/sky/qtext.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>

#include <algorithm>
#include <array>
#include <vector>

namespace {

constexpr int kNoSelection = -1;

bool IndexIn(int index, size_t count) { return index >= 0 && size_t(index) < count; }

// ---------------------------------------------------------------- check box

class TCtrlerBoolean : public TCtrlerCtrl, public ICtrlerBoolean {
public:
  TCtrlerBoolean(TTView* owner, int32_t id, int value, TCtrlHandler handler)
      : TCtrlerCtrl(owner, id, std::move(handler), 0), value_(value) {
    box_ = qobject_cast<QAbstractButton*>(BoundWidget(id));
  }
  void ReadBack() override {
    if (!box_) return;
    const int now = box_->isChecked() ? 1 : 0;
    if (now != value_) {
      value_ = now;
      SetModified();
    }
  }
  void Refresh() override {
    ApplyEnabled();
    ShowValue();
  }
  void ApplyEnabled() override { EnableWidget(box_, IsEnabled()); }
  int GetValue() override {
    if (HasWindow()) ReadBack();
    return value_;
  }
  void SetValue(int value) override {
    value_ = value;
    if (HasWindow()) ShowValue();
  }

private:
  void ShowValue() {
    if (!box_) return;
    QSignalBlocker block(box_.data());
    box_->setChecked(value_ != 0);
  }
  int value_;
  QPointer<QAbstractButton> box_;
};

// ---------------------------------------------------------------- radio switch

class TCtrlerSwitch : public TCtrlerCtrl, public ICtrlerSwitch {
public:
  TCtrlerSwitch(TTView* owner, int32_t firstId, int count, int position, TCtrlHandler handler)
      : TCtrlerCtrl(owner, firstId, handler, 0), position_(position) {
    // A group larger than the switch can hold keeps its first positions;
    // the buttons beyond them stay outside the switch.
    count_ = std::clamp(count, 0, kMaxSwitchPositions);
    ICtrlerWnd* d = GetCtrlerWnd();
    for (int i = count_ - 1; i >= 1; --i) {
      if (d) d->AddCmd(firstId + i, GetParent(), handler);
      else if (handler && GetParent()) GetParent()->AddCmd(firstId + i, handler);
    }
    for (int i = 0; i < count_; ++i) buttons_[size_t(i)] = qobject_cast<QAbstractButton*>(BoundWidget(firstId + i));
  }
  void ReadBack() override {
    int now = count_;
    for (int i = 0; i < count_; ++i)
      if (buttons_[size_t(i)] && buttons_[size_t(i)]->isChecked()) {
        now = i;
        break;
      }
    if (now != position_) {
      position_ = now;
      SetModified();
    }
  }
  void Refresh() override {
    ApplyEnabled();
    ShowPosition();
  }
  void ApplyEnabled() override {
    for (int i = 0; i < count_; ++i) EnableWidget(buttons_[size_t(i)], IsEnabled());
  }
  int GetPosition() override {
    if (HasWindow()) ReadBack();
    return position_;
  }
  void SetPosition(int position) override {
    position_ = position;
    if (HasWindow()) ShowPosition();
  }

private:
  void ShowPosition() {
    // An exclusive group refuses to uncheck its checked button: opened for
    // the change, so that a position outside the switch shows none checked.
    std::vector<QButtonGroup*> groups;
    for (int i = 0; i < count_; ++i)
      if (QAbstractButton* b = buttons_[size_t(i)])
        if (QButtonGroup* g = b->group(); g && g->exclusive()) {
          g->setExclusive(false);
          groups.push_back(g);
        }
    for (int i = 0; i < count_; ++i)
      if (QAbstractButton* b = buttons_[size_t(i)]) {
        QSignalBlocker block(b);
        b->setChecked(i == position_);
      }
    for (QButtonGroup* g : groups) g->setExclusive(true);
  }
  int count_ = 0;
  int position_;
  std::array<QPointer<QAbstractButton>, kMaxSwitchPositions> buttons_;
};

// ---------------------------------------------------------------- drop-down list

// The free drop-down list of a tool box.
class DComboBox : public QComboBox {
public:
  explicit DComboBox(const TPnt& size) {
    setEditable(false);
    setFixedWidth(size.X());
    setMinimumContentsLength(0);
    setFont(DlgFont());
    const int rowHeight = fontMetrics().height() + 2;
    if (rowHeight > 0 && size.Y() > 0) setMaxVisibleItems(std::max(1, size.Y() / rowHeight - 1));
  }
};

class TCtrlerMenu : public TCtrlerCtrl, public ICtrlerMenu {
public:
  TCtrlerMenu(TTView* owner, int32_t id, TCtrlHandler handler) : TCtrlerCtrl(owner, id, std::move(handler), 0) {
    combo_ = qobject_cast<QComboBox*>(BoundWidget(id));
  }
  TCtrlerMenu(TTView* owner, int32_t id, const TPnt& size, TCtrlHandler handler)
      : TCtrlerCtrl(owner, id, std::move(handler), 0) {
    auto* c = new DComboBox(size);
    c->setObjectName(QStringLiteral("ctl%1").arg(id));
    QObject::connect(c, &QComboBox::activated, c, [this] {
      if (ICtrlerWnd* d = GetCtrlerWnd()) d->Notify(Id(), ctlnote::kSelChange);
    });
    combo_ = c;
    SetGadget(c);
  }
  void ReadBack() override {
    if (!combo_) return;
    const int now = combo_->currentIndex();
    if (now != selection_) {
      selection_ = now;
      SetModified();
    }
  }
  void Refresh() override {
    if (GetGadget()) GetGadget()->setFont(DlgFont());
    FillItems();
    ShowSelection();
    ApplyEnabled();
  }
  void ApplyEnabled() override { EnableWidget(combo_, IsEnabled()); }
  void TakeFocus() override {
    if (combo_) combo_->setFocus(Qt::OtherFocusReason);
  }
  void Clear() override {
    items_.clear();
    if (HasWindow() && combo_) {
      QSignalBlocker block(combo_.data());
      combo_->clear();
    }
  }
  void AddItem(const TStr& text) override {
    items_.push_back(text);
    if (HasWindow() && combo_) {
      QSignalBlocker block(combo_.data());
      combo_->addItem(sky::ToQString(text));
    }
  }
  void SetSelection(int index) override {
    selection_ = index;
    if (HasWindow()) ShowSelection();
  }
  int GetSelection() override {
    if (HasWindow()) ReadBack();
    return selection_;
  }

private:
  void FillItems() {
    if (!combo_) return;
    QSignalBlocker block(combo_.data());
    combo_->clear();
    for (const TStr& t : items_) combo_->addItem(sky::ToQString(t));
  }
  void ShowSelection() {
    if (!combo_) return;
    QSignalBlocker block(combo_.data());
    combo_->setCurrentIndex(IndexIn(selection_, items_.size()) ? selection_ : kNoSelection);
  }
  QPointer<QComboBox> combo_;
  int selection_ = kNoSelection; // nothing chosen until the owner says
  std::vector<TStr> items_;
};

// ---------------------------------------------------------------- list box

class TCtrlerList : public TCtrlerCtrl, public ICtrlerList {
public:
  using TTView::IsSelected;
  using TTView::Select;
  TCtrlerList(TTView* owner, int32_t id, TCtrlHandler handler) : TCtrlerCtrl(owner, id, std::move(handler), 0) {
    list_ = qobject_cast<QListWidget*>(BoundWidget(id));
  }
  void ReadBack() override {
    if (!list_) return;
    for (size_t i = 0; i < flags_.size(); ++i) {
      QListWidgetItem* item = list_->item(int(i));
      flags_[i] = item && item->isSelected() ? 1 : 0;
    }
  }
  void Refresh() override {
    ApplyEnabled();
    FillItems();
  }
  void ApplyEnabled() override { EnableWidget(list_, IsEnabled()); }
  void Clear() override {
    if (HasWindow() && list_) {
      QSignalBlocker block(list_.data());
      list_->clear();
    }
    items_.clear();
    flags_.clear();
  }
  void AddItem(const TStr& text) override {
    if (HasWindow() && list_) {
      QSignalBlocker block(list_.data());
      list_->addItem(sky::ToQString(text));
    }
    items_.push_back(text);
    flags_.push_back(0);
  }
  void RemoveItem(int index) override {
    if (!IndexIn(index, items_.size())) return;
    if (HasWindow() && list_) {
      QSignalBlocker block(list_.data());
      delete list_->takeItem(index);
    }
    items_.erase(items_.begin() + index);
    flags_.erase(flags_.begin() + index);
  }
  int GetCount() override {
    if (HasWindow()) ReadBack();
    return int(items_.size());
  }
  TStr GetItem(int index) override {
    if (HasWindow()) ReadBack();
    return IndexIn(index, items_.size()) ? items_[size_t(index)] : TStr();
  }
  long IsSelected(int index) override {
    if (HasWindow()) ReadBack();
    return IndexIn(index, flags_.size()) ? flags_[size_t(index)] : 0;
  }
  void Select(int index) override {
    const bool valid = IndexIn(index, items_.size());
    if (HasWindow() && list_ && valid) {
      QSignalBlocker block(list_.data());
      list_->clearSelection();
      list_->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    }
    for (long& f : flags_) f = 0;
    if (valid) flags_[size_t(index)] = 1;
  }

private:
  void FillItems() {
    if (!list_) return;
    QSignalBlocker block(list_.data());
    list_->clear();
    for (const TStr& t : items_) list_->addItem(sky::ToQString(t));
    for (size_t i = 0; i < flags_.size(); ++i)
      if (flags_[i]) list_->item(int(i))->setSelected(true);
  }
  QPointer<QListWidget> list_;
  std::vector<TStr> items_;
  std::vector<long> flags_;
};

} // namespace

ICtrlerBoolean* CreateCtrlerBoolean(TTView* owner, int32_t id, int value, TCtrlHandler handler) {
  return new TCtrlerBoolean(owner, id, value, std::move(handler));
}
ICtrlerSwitch* CreateCtrlerSwitch(TTView* owner, int32_t firstId, int count, int position, TCtrlHandler handler) {
  return new TCtrlerSwitch(owner, firstId, count, position, std::move(handler));
}
ICtrlerMenu* CreateCtrlerMenu(TTView* owner, int32_t id, TCtrlHandler handler) {
  return new TCtrlerMenu(owner, id, std::move(handler));
}
ICtrlerMenu* CreateCtrlerMenuGadget(TTView* owner, int32_t id, const TPnt& size, TCtrlHandler handler) {
  return new TCtrlerMenu(owner, id, size, std::move(handler));
}
ICtrlerList* CreateCtrlerList(TTView* owner, int32_t id, TCtrlHandler handler) {
  return new TCtrlerList(owner, id, std::move(handler));
}
