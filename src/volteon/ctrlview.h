// The controls on a panel window: one view per module shown on the panel.
// Faders and knobs, buttons and switches are played with the mouse; lamps,
// meters and graphs follow the engine; file views name a module's sound;
// macro and instrument frames enclose the controls inside them.
#pragma once

#include "pc/sky/view.h"
#include "src/volteon/voltwnd.h"
#include "src/mod/mod.h"
#include "src/mod/modwnd.h"

#include <atomic>
#include <cstdint>
#include <functional>

class KEnsemble;
class TCtrlView;

// The (category, index) a panel insert command makes; kind 0 when the id
// inserts nothing. `knob` tells the Knob commands.
TModuleType PanelInsertType(int32_t id, bool* knob = nullptr);

// What a control view asks of the panel window it lies on.
class ICtrlPanel {
public:
  virtual ~ICtrlPanel() = default;
  // The window as the view the controls are children of.
  virtual TTView* GetPanelView() = 0;
  virtual KEnsemble* GetEnsemble() const = 0;
  virtual bool IsEnsemblePanel() const = 0;
  // Inserts the clipboard file's controls into target as one undo step.
  virtual void PasteInto(KSModul* target) = 0;
  // Every control view of the window, topmost first.
  virtual void VisitCtrlViews(const std::function<void(TCtrlView*)>& f) = 0;
};

class ICtrlView : public virtual IBase {
public:
  // Lays the view out again at its present place.
  virtual void Rebuild() = 0;
  // Lays the view out at the module's panel position.
  virtual void Place() = 0;
  // Frames: the controls inside come to the front.
  virtual void BringContentsToFront() = 0;
  virtual void InvalidateTitle() = 0;
  virtual void InvalidateLabel() = 0;
  // The control's value changed; any thread may call it.
  virtual void RequestValueUpdate() = 0;
};

class TCtrlView : public TVolteonView, public ICtrlView, public IModelView {
public:
  // Operating areas play the control; a press elsewhere selects and moves.
  TCtrlView(ICtrlPanel* wnd, KSModul* module);
  ~TCtrlView() override;

  // ICtrlView
  void Rebuild() override;
  void Place() override;
  void BringContentsToFront() override {}
  void InvalidateTitle() override { InvalidateArea(title_); }
  void InvalidateLabel() override { InvalidateArea(label_); }
  void RequestValueUpdate() override;

  KSModul* GetModule() const { return module_; }
  // The panel window the view lies on.
  ICtrlPanel* GetPanel() const;
  const TArea& GetOperatingArea() const { return operating_; }
  // Redraws handled since the view was made (what a test counts).
  int32_t GetRedrawCount() const { return redraws_.load(std::memory_order_relaxed); }
  // A redraw asked for from another thread is on its way.
  bool IsRedrawPending() const { return pending_.load(std::memory_order_acquire) != 0; }

  // Lays out the areas (subclasses first call the base, which picks the font).
  virtual void Layout() { ChooseFont(); }
  // The size the layout gives the view (0, 0 when it shows nothing).
  TPnt LaidOutSize();
  virtual void ChooseFont();
  virtual void OpenProperties();
  virtual void DoubleClickAction() { OpenProperties(); }
  // Draws the value part; the drawn area is the result.
  virtual TArea DrawValue(IDrawContext* ctx);

  // Selecting and dragging
  int CanDragAt(int32_t x, int32_t y) override { return operating_.Contains(TPnt(x, y)) ? 0 : 1; }
  // A locked panel keeps selecting and playing but moves nothing.
  int IsFixed() override;
  // The same control, or one inside this frame.
  int IsSameAs(TVolteonView* other) override;
  int IsInSelection() override;
  void DragTo(const TPnt& p) override;
  void AfterDrag() override;
  UndoKind GetMoveUndoKind() override { return UndoKind::kMoveControls; }

  // The view tree
  void Paint(IDrawContext* ctx, const TArea& clip) override;
  int Contains(int32_t x, int32_t y) override { return 1; }
  int GetHint(TStr& text, TArea& area) override;
  int IsSelected() override { return module_->IsSelected() ? 1 : 0; }
  void Select(int on, int exclusive) override;
  void DoubleClick(int32_t x, int32_t y) override;
  void Refresh(int flag) override;
  // Mode 0 runs the command, 1 asks whether it is enabled, 2 whether it is
  // checked; 1 when the id is the control's.
  int Command(int32_t id, int mode, int& result) override;

  // The value text under a control.
  void DrawValueText(IDrawContext* ctx);
  // The module lies inside the frame module f: through macros, up to f.
  static bool LiesInside(const KSModul* m, const KSModul* f);
  // Records an undo step that a run of changes to one object shares.
  void AddUndoMerged(UndoKind kind, const void* object, int32_t value);

protected:
  // Sets the view's size; the top-left stays where it is.
  void SetFrameSize(int32_t w, int32_t h) { frameW_ = w, frameH_ = h; }
  // A view placed by its layout (frames around their contents).
  void SetFrameOrigin(const TPnt& p) { layoutOrigin_ = p; }
  int32_t FrameWidth() const { return frameW_; }
  bool IsOnGuiThread() const;
  // The selection has changed since the label was last painted.
  bool SelectionShownChanged() const { return shownSelected_ != (module_->IsSelected() ? 1 : 0); }
  IFnt* Font() const { return font_; }

  TArea title_;
  TArea label_;
  TArea operating_;
  TArea value_;
  TArea drawn_;
  int32_t labelTop_ = 0;
  int32_t valueTop_ = 0;
  int32_t small_ = 0;
  int32_t smallFontAllowed_ = 1;
  int32_t doubleClickOperates_ = 0;
  KSModul* module_;
  IFnt* font_ = nullptr;

private:
  void ApplyFrame(const TPnt& topLeft);
  bool ens_;
  int32_t frameW_ = 0, frameH_ = 0;
  TPnt layoutOrigin_ = NoPnt;
  int32_t shownSelected_ = -1;
  // The one redraw that another thread may have on its way.
  std::atomic<int32_t> pending_{0};
  std::atomic<int32_t> redraws_{0};
};

// Faders and knobs: a strip of 128 frames, one step per pixel of dragging.
class TFaderView : public TCtrlView {
public:
  TFaderView(ICtrlPanel* wnd, KSModul* module);
  void Layout() override;
  TArea DrawValue(IDrawContext* ctx) override;
  void OwnMouseDown(int32_t x, int32_t y) override;
  void OwnMouseMove(int32_t x, int32_t y) override;
  bool IsKnob() const { return module_->GetCtrlStyle() != kStyleFader; }
  const TArea& GetFrameDestination() const { return frameDest_; }
  int32_t GetShownStep() const { return shownStep_; }
  // The strip frame of a step: -1 when nothing can be drawn (equal bounds).
  static int32_t FrameOfStep(const KSModul* module, int32_t step, int32_t* shownStep = nullptr);
  static constexpr int32_t kStyleFader = 1;

private:
  IBmp* strip_ = nullptr;
  TArea frameDest_;
  int32_t frameWidth_ = 0;
  int32_t shownStep_ = -1;
  int32_t anchor_ = 0;
};

class TButtonView : public TCtrlView {
public:
  TButtonView(ICtrlPanel* wnd, KSModul* module);
  void Layout() override;
  TArea DrawValue(IDrawContext* ctx) override;
  void OwnMouseDown(int32_t x, int32_t y) override;
  void OwnMouseUp(int32_t x, int32_t y) override;
  // The picture of a button mode, step and press (normal design).
  static int32_t PictureOf(int32_t mode, int32_t step, bool pressed);
  bool IsPressed() const { return pressed_ != 0; }

private:
  TPnt bitmapPos_;
  int32_t pressed_ = 0;
};

class TSwitchView : public TCtrlView {
public:
  TSwitchView(ICtrlPanel* wnd, KSModul* module);
  void Layout() override;
  TArea DrawValue(IDrawContext* ctx) override;
  void Paint(IDrawContext* ctx, const TArea& clip) override;
  void OwnMouseDown(int32_t x, int32_t y) override;
  void OpenProperties() override;
  int32_t GetRows() const { return rows_; }
  // The picture of row r (0 at the top) for a step.
  int32_t PictureOfRow(int32_t r, int32_t step) const;

private:
  TArea nameArea_;
  TPnt bitmapPos_;
  int32_t rows_ = 1;
  TPnt lastPress_;
  IFnt* nameFont_ = nullptr;
};

class TLampView : public TCtrlView {
public:
  TLampView(ICtrlPanel* wnd, KSModul* module);
  void Layout() override;
  TArea DrawValue(IDrawContext* ctx) override;
  void RequestValueUpdate() override;
  int CanDragAt(int32_t, int32_t) override { return 1; }
  bool IsLit() const { return lit_.load(std::memory_order_relaxed) != 0; }
  static int32_t PictureOf(int32_t colourStyle, bool lit);

private:
  TPnt bitmapPos_;
  std::atomic<int32_t> lit_{0};
};

class TMeterView : public TCtrlView {
public:
  static constexpr int32_t kSegments = 17;
  TMeterView(ICtrlPanel* wnd, KSModul* module);
  void Layout() override;
  TArea DrawValue(IDrawContext* ctx) override;
  void RequestValueUpdate() override;
  int CanDragAt(int32_t, int32_t) override { return 1; }
  // Lit segments for a level read from the engine.
  int32_t CountOf(float level) const;
  int32_t GetCount() const { return count_.load(std::memory_order_relaxed); }
  float GetThreshold(int32_t k) const { return thresholds_[k]; }
  bool IsLevelMeter() const { return !module_->IsType(kTypeMeter); }

private:
  TPnt segmentPos_;
  std::atomic<int32_t> count_{0};
  int32_t drawn_count_ = -1;
  float thresholds_[kSegments] = {};
};

class TGraphView : public TCtrlView {
public:
  TGraphView(ICtrlPanel* wnd, KSModul* module);
  void Layout() override;
  TArea DrawValue(IDrawContext* ctx) override;
  void RequestValueUpdate() override;
  int CanDragAt(int32_t, int32_t) override { return 1; }
  // The line pieces of one column, bottom up: (colour, end y) pairs.
  enum TPiece { kBackground, kFill, kCurve, kZeroLine };
  struct TRun {
    TPiece piece;
    int32_t toY;
  };
  // The pieces of a column with value v and previous value p between the
  // operating top and bottom; `scope` draws the fill as background.
  static int32_t ColumnRuns(float v, float p, int32_t top, int32_t bottom, bool scope, TRun runs[4]);
};

class TFileView : public TCtrlView {
public:
  TFileView(ICtrlPanel* wnd, KSModul* module);
  void Layout() override;
  TArea DrawValue(IDrawContext* ctx) override;
  const TStr& GetFileName() const { return fileName_; }
  // The name of the module's sound file, from the object the module owns.
  static TStr SoundFileName(const KSModul* module);

private:
  TArea nameArea_;
  TStr fileName_;
};

// Macro and instrument frames around the controls inside them.
class TFrameView : public TCtrlView {
public:
  // How far a frame reaches beyond its contents: left and above (the caption).
  static constexpr int32_t kMarginLeft = 8, kMarginTop = 16;
  TFrameView(ICtrlPanel* wnd, KSModul* module);
  void Layout() override;
  void Paint(IDrawContext* ctx, const TArea& clip) override;
  TArea DrawValue(IDrawContext*) override { return EmptyArea; }
  void RequestValueUpdate() override;
  void BringContentsToFront() override;
  void DoubleClickAction() override;
  int CanDragAt(int32_t, int32_t) override { return 1; }
  bool IsInstrumentFrame() const { return module_->IsCategory(kCatInstrument); }
};

// The frame of a macro's controls on an enclosing panel.
class TMacroView : public TFrameView {
public:
  using TFrameView::TFrameView;
};

// The frame of a nested instrument's controls on an enclosing panel.
class TInstrView : public TFrameView {
public:
  using TFrameView::TFrameView;
};

// A module without a look of its own on panels.
class TDummyCtrlView : public TCtrlView {
public:
  TDummyCtrlView(ICtrlPanel* wnd, KSModul* module) : TCtrlView(wnd, module) {}
  void Rebuild() override { Hide(); }
  void Place() override { Hide(); }
  void RequestValueUpdate() override {}
  void Paint(IDrawContext*, const TArea&) override {}

private:
  void Hide() {
    SetVisible(0);
    SetArea(TArea(0, 0, 10, 10));
  }
};

// The shared pictures of the panels, loaded on first use and kept for the
// whole run.
IBmp* PanelBitmap(int32_t id);
// Loads the knob and fader strips; the application calls it at start-up.
void InitCtrlViews();
// Inserts a control at the structure's next panel insert position, with
// undo; a knob is a fader labelled "Knob" in the knob style. Null when the
// structure refuses it.
KSModul* InsertPanelControl(KSModul* into, TModuleType type, bool knob);
// Writes a macro or an instrument, with everything below it, to a file the
// user names.
void SaveStructureAs(KEnsemble* ens, KSModul* structure, bool macro, const TStr& title);

// Makes the view of a panel view kind (the module type's).
TCtrlView* CreateCtrlView(ICtrlPanel* wnd, KSModul* module, int32_t kind);
inline TCtrlView* CastToCtrlView(IBase* o) { return dynamic_cast<TCtrlView*>(o); }

// The menu resource ids of the panels and their controls.
namespace panel_menu {
constexpr int32_t kCtrl = 7550, kCtrlTapedeck = 7551, kCtrlSampler = 7552, kCtrlMacro = 7553, kCtrlInstrument = 7554;
constexpr int32_t kPanel = 7870;
} // namespace panel_menu
// Registers the menu tables of the panels (once).
void RegisterPanelMenus();
