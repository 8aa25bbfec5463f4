// A wire in the structure window: a straight line from the out-port's handle
// to the in-port's handle, selectable with the boxes, deleted from its
// context menu, with the live value running through it in its hint.
#pragma once

#include "src/mod/modwnd.h"
#include "src/volteon/commands.h"
#include "src/volteon/voltwnd.h"

class KInPort;
class KOutPort;

class TWireView : public TVolteonView, public IModelView {
public:
  static constexpr int32_t kMargin = 6;

  TWireView(KInPort* in, KOutPort* out);
  ~TWireView() override;

  KInPort* GetInPort() const { return in_; }
  KOutPort* GetOutPort() const { return out_; }
  int32_t GetOrientation() const { return orientation_; }
  // Joins the window (as its last child, beneath the boxes) when it has no
  // parent yet, and places itself between its two handles.
  void Attach(TTView* wnd);
  // The area and orientation of a line between two window points.
  static TArea Geometry(const TPnt& out, const TPnt& in, int32_t* orientation);
  // The hint text of the wire; false when there is nothing to show.
  bool HintText(TStr& text, bool first);

  int IsSelected() override { return selected_; }
  void Select(int on, int exclusive) override;
  int GetHint(TStr& text, TArea& area) override;
  int Contains(int32_t x, int32_t y) override;
  int Command(int32_t id, int mode, int& result) override;
  void Paint(IDrawContext* ctx, const TArea& clip) override;
  int IsInSelection() override { return selected_; }
  void AfterDrag() override { Attach(nullptr); }
  int IsFixed() override { return 1; }
  // Clears the flag without asking the modules (everything is deselected).
  void ClearSelection();

private:
  KInPort* in_;
  KOutPort* out_;
  int32_t orientation_ = 0;
  int32_t selected_ = 0;
  int32_t margin_ = kMargin;
  int32_t hintFirst_ = 1;
};

inline TWireView* AsWireView(IModelView* v) { return dynamic_cast<TWireView*>(v); }
