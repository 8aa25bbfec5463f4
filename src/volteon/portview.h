// The handles of a module's ports on its box: in-ports on the left edge,
// out-ports on the right. Wires are drawn from one handle to a handle of
// the other direction (a drag, or a click and a second click), and removed
// the same way; the context menu mutes the port, shows its properties and,
// for in-ports, makes a panel control already wired to it.
#pragma once

#include "pc/sky/view.h"
#include "src/mod/modwnd.h"
#include "src/volteon/commands.h"
#include "src/volteon/voltwnd.h"

class KInPort;
class KOutPort;
class IColor;
class KSModul;

namespace picture {
constexpr int32_t kOutPort = 7700;
constexpr int32_t kInPort = 7701;
constexpr int32_t kOutPortMuted = 7702;
constexpr int32_t kInPortMuted = 7703;
constexpr int32_t kOutPortUnavailable = 7704;
constexpr int32_t kInPortFlagged = 7705;
constexpr int32_t kOutEventMark = 7706;
constexpr int32_t kInEventMark = 7707;
} // namespace picture

// What the boxes, handles and wires ask of the structure window they lie on.
class IStructHost {
public:
  virtual ~IStructHost() = default;
  // Deselects every module of the tree and every wire of every open
  // structure window.
  virtual void DeselectAllFrom(KSModul* anyModule) = 0;
  // The colour of a wire, selected or not.
  virtual IColor* WireColor(int selected) = 0;
  virtual void Mute() = 0;
  virtual void Mono() = 0;
};

// Where a handle lies on its box (box pixels).
TArea PortHandleArea(int32_t category, int32_t index, bool in, int32_t portIndex, int32_t inCount, int32_t outCount,
                     int32_t boxWidth, bool labelled);

class TPortView : public TCommandFirst<TTView>, public IModelView {
public:
  static constexpr int32_t kHeight = 16;
  static constexpr int32_t kLabelledWidth = 26, kPlainWidth = 10;

  TPortView(TTView* box, KInPort* in, KOutPort* out);
  ~TPortView() override;

  KInPort* GetInPort() const { return in_; }
  KOutPort* GetOutPort() const { return out_; }
  KSModul* GetModule() const;
  // The point wires end at, in handle coordinates.
  virtual TPnt GetConnectionPoint() const = 0;
  // The same in window coordinates.
  TPnt GetWindowConnectionPoint();
  // Whether a wiring line runs from this handle.
  int IsWiring() const { return start_ != NoPnt; }
  const TPnt& GetLineEnd() const { return end_; }

  void MouseDown(int32_t x, int32_t y) override;
  void MouseUp(int32_t x, int32_t y) override;
  void DoubleClick(int32_t x, int32_t y) override;
  void MouseMove(int32_t x, int32_t y) override;
  void CancelMouse() override;
  int Command(int32_t id, int mode, int& result) override;
  int GetHint(TStr& text, TArea& area) override;

  // Starts a line at this handle that follows the mouse until the next click.
  void StartWiring();

protected:
  KInPort* in_;
  KOutPort* out_;

private:
  void BeginLine(const TPnt& mouseInWindow);
  void StepLine(const TPnt& mouseInWindow);
  void EndLine();
  // The handle under p (window coordinates); p moves to its connection
  // point when a wire between the two would be accepted.
  TPortView* Snap(TPnt& p);
  void Toggle(TPortView* other);
  TPnt ToWindow(int32_t x, int32_t y);

  int32_t portCount_ = 0;
  int32_t portIndex_ = 0;
  TPnt start_ = NoPnt;
  TPnt mouse_ = NoPnt;
  TPnt end_ = NoPnt;
};

class TInPortView : public TPortView {
public:
  TInPortView(TTView* box, KInPort* port);
  TPnt GetConnectionPoint() const override;
  void Paint(IDrawContext* ctx, const TArea& clip) override;
  int Command(int32_t id, int mode, int& result) override;
  // Inserts a fader or a button wired to this in-port, placed left of the box.
  void CreateControl();
};

class TOutPortView : public TPortView {
public:
  TOutPortView(TTView* box, KOutPort* port);
  TPnt GetConnectionPoint() const override;
  void Paint(IDrawContext* ctx, const TArea& clip) override;
};

inline TPortView* AsPortView(IModelView* v) { return dynamic_cast<TPortView*>(v); }
