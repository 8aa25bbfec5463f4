// Lays out the property dialog templates from top to bottom: groups of
// captioned fields, rows of check boxes and radio buttons, and the buttons
// along the bottom, so that every dialog lines up the same way.
#pragma once

#include "pc/sky/dlg.h"

#include <string>
#include <utility>
#include <vector>

namespace prplay {

constexpr int32_t kMargin = 6;          // dialog edge to group frame
constexpr int32_t kInset = 12;          // dialog edge to the controls in a group
constexpr int32_t kCaptionW = 74;       // field captions
constexpr int32_t kFieldX = 88;         // fields after their captions
constexpr int32_t kFieldH = 12, kFieldRow = 15;
constexpr int32_t kCheckH = 10, kCheckRow = 12;
constexpr int32_t kGroupTitle = 11, kGroupEnd = 4, kGroupGap = 4;
constexpr int32_t kButtonW = 50, kButtonH = 14;

using TLabelled = std::vector<std::pair<int32_t, std::string>>;

class TLayout {
public:
  TLayout(int32_t id, int32_t width) {
    t_.id = id;
    t_.caption = "ModulProperties";
    t_.w = width;
  }
  int32_t Width() const { return t_.w; }
  int32_t Y() const { return y_; }
  void Skip(int32_t dy) { y_ += dy; }
  void Add(TDlgItem item) { t_.items.push_back(std::move(item)); }

  void Begin(const std::string& title) {
    groupAt_ = t_.items.size();
    groupTop_ = y_;
    t_.items.push_back(DlgGroup(title, kMargin, y_, t_.w - 2 * kMargin, 0));
    y_ += kGroupTitle;
  }
  void End() {
    t_.items[groupAt_].h = y_ - groupTop_ + kGroupEnd;
    y_ += kGroupEnd + kGroupGap;
  }
  // A caption and an edit (or a drop-down list) to its right.
  void Field(const std::string& caption, int32_t id, bool combo = false) {
    t_.items.push_back(DlgStatic(-1, caption, kInset, y_ + 2, kCaptionW, 8));
    const int32_t w = t_.w - kFieldX - kInset;
    t_.items.push_back(combo ? DlgCombo(id, kFieldX, y_, w, 100) : DlgEdit(id, kFieldX, y_, w, kFieldH));
    y_ += kFieldRow;
  }
  void Checks(const TLabelled& boxes, int32_t columns = 2) { Row(boxes, columns, false); }
  void Radios(const TLabelled& buttons, int32_t columns) { Row(buttons, columns, true); }
  // The closing buttons, right-aligned at the bottom.
  TDlgTemplate Finish(bool cancel = true) {
    y_ += 2;
    const int32_t right = t_.w - kMargin;
    if (cancel) {
      t_.items.push_back(DlgDefButton(kIdOk, "OK", right - 2 * kButtonW - 4, y_, kButtonW, kButtonH));
      t_.items.push_back(DlgButton(kIdCancel, "Cancel", right - kButtonW, y_, kButtonW, kButtonH));
    } else {
      t_.items.push_back(DlgDefButton(kIdOk, "Done", right - kButtonW, y_, kButtonW, kButtonH));
    }
    t_.h = y_ + kButtonH + kMargin;
    return t_;
  }
  TDlgTemplate& Template() { return t_; }

private:
  void Row(const TLabelled& items, int32_t columns, bool radio) {
    const int32_t colW = (t_.w - 2 * kInset) / columns;
    for (size_t i = 0; i < items.size(); ++i) {
      const int32_t col = int32_t(i) % columns;
      if (i > 0 && col == 0) y_ += kCheckRow;
      const int32_t x = kInset + col * colW;
      if (radio)
        t_.items.push_back(DlgRadio(items[i].first, items[i].second, x, y_, colW - 4, kCheckH,
                                    i == 0 ? dlgflag::kGroup : 0));
      else
        t_.items.push_back(DlgCheck(items[i].first, items[i].second, x, y_, colW - 4, kCheckH));
    }
    if (!items.empty()) y_ += kCheckRow;
  }

  TDlgTemplate t_;
  int32_t y_ = kMargin;
  size_t groupAt_ = 0;
  int32_t groupTop_ = 0;
};

} // namespace prplay
