// The hint window of a document window: a tool tip that shows the hint text
// of the view under the mouse once the mouse has rested over it for two
// 200 ms ticks, follows it while it moves over views, and hides when the
// mouse leaves, a button is pressed or hints are switched off.
#pragma once

#include "src/base/area.h"
#include "src/base/str.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

class QAbstractScrollArea;

// Hints on or off for every window; off takes a shown hint away at its next tick.
void SetHintsEnabled(int enabled);
int GetHintsEnabled();

// What a hint asks of the window it serves about the views under the mouse.
// Every answer is 0 (or empty) while the window has no root view.
class IHintOwner {
public:
  // Points in client and screen coordinates.
  virtual int HitHintView(const QPoint& client) = 0;
  virtual int IsOverHintView(const QPoint& screen) = 0;
  virtual void GetHintText(TStr& text, TArea& area) = 0;
  virtual void ClearHintView() = 0;
  virtual int IsMouseButtonDown() = 0;

protected:
  ~IHintOwner() = default;
};

class DHint : public QWidget {
public:
  static constexpr int32_t kTickMs = 200;
  static constexpr int32_t kRestTicks = 2;    // ticks of rest before a hint shows
  static constexpr int32_t kLineChars = 60;   // text lines are cut at this width
  static constexpr int32_t kPadWidth = 8;     // added to the widest line
  static constexpr int32_t kPadHeight = 4;    // added to the lines' height
  static constexpr int32_t kTextIndent = 3;   // left edge of the text
  static constexpr int32_t kGapAbove = 8;     // between the hint and the cursor when above it
  static constexpr int32_t kCursorHeight = 20; // a hint below the cursor starts this far down

  // window: the scrolled window whose client area (its viewport) the hint
  // watches; views: the same window answering for its views.
  DHint(QAbstractScrollArea* window, IHintOwner* views);
  ~DHint() override;

  // The 200 ms tick; also what tests call.
  void Tick();
  // A mouse event of the owner's client area.
  void MouseEvent(int type);
  // Sizes and places the hint for the cursor at the screen point and shows it.
  void Layout(const QPoint& cursor);
  void HideHint();

  int IsShown() const { return shown_; }
  const TStr& Text() const { return text_; }
  int32_t LineHeight() const { return lineHeight_; }
  // The text's lines as the hint shows them.
  static std::vector<TStr> Lines(const TStr& text);
  // Where the cursor is (tests replace it; an empty function restores QCursor).
  static void SetCursorSource(std::function<QPoint()> source);

protected:
  void paintEvent(QPaintEvent* e) override;

private:
  static int TimerCallback(void* data);
  void Update(bool shownAlready);
  bool OverOwnerView(const QPoint& cursor, bool keepView);

  QPointer<QAbstractScrollArea> owner_;
  IHintOwner* views_;
  int shown_ = 0;
  int armed_ = 0;
  int32_t ticks_ = 0;
  QPoint cursor_;
  TStr text_;
  int32_t lineHeight_ = 0;
};
