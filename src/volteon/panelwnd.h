// The panel window: the controls of one instrument, macro or of the whole
// ensemble, played, placed on a 4-pixel grid, inserted, deleted, stepped
// from the keyboard and locked against moving.
#pragma once

#include "src/engine/display_routines.h"
#include "src/mod/mod.h"
#include "src/mod/modwnd.h"
#include "src/volteon/ctrlview.h"
#include "src/volteon/voltwnd.h"

#include <functional>

#include <cstdint>

class IBmp;
class IMenu;
class KEnsemble;
class KInstr;
class TCtrlView;
class TPanelWindows;

#include "src/volteon/commands.h"

// What the model and the other windows ask of a panel window.
class IPanelWnd : public virtual IVolteonWnd {
public:
  // Views for the instrument-panel controls that have none yet.
  virtual void AddCtrlViews() = 0;
  // The same for the ensemble panel, from the given structure downwards.
  virtual void AddEnsCtrlViews(KSModul* structure) = 0;
  // Writes the window's placement into the structure.
  virtual void SavePlacement() = 0;
  virtual void DeleteSelected() = 0;
  virtual void Cut() = 0;
  virtual void Copy() = 0;
};

class TPanelWnd : public TVolteonWnd, public virtual IPanelWnd, public IModelWnd, public ICtrlPanel {
public:
  TPanelWnd(KSModul* structure, TPanelWindows* windows);
  ~TPanelWnd() override;

  KSModul* GetStructure() const { return structure_; }

  // ICtrlPanel
  TTView* GetPanelView() override { return this; }
  bool IsEnsemblePanel() const override { return structure_->GetParent() == nullptr; }
  KEnsemble* GetEnsemble() const override;

  // IPanelWnd
  void AddCtrlViews() override;
  void AddEnsCtrlViews(KSModul* structure) override;
  void SavePlacement() override;
  void DeleteSelected() override;
  void Cut() override;
  void Copy() override;
  // Inserts the clipboard file's controls into target (this window's
  // structure, or a frame's macro or instrument) as one undo step.
  void PasteInto(KSModul* target) override;
  bool WriteSelectedToClipboard();
  // Refuses Cut and Copy while a macro or instrument frame is selected.
  bool CheckNoFrameSelected();
  void SelectionChanged() override;
  void SelectAll();
  // Writes the structure to an instrument or macro file the user names.
  void SaveWindowAs();
  // The model closes the window: no undo step is recorded for it.
  void SetClosedByModel() { closedByModel_ = true; }
  bool IsClosing() const { return closing_; }

  // The view tree
  // Exclusive: deselects every module of the ensemble, also on a panel
  // without controls.
  void Select(int on, int exclusive) override;
  void MouseDown(int32_t x, int32_t y) override;
  void DoubleClick(int32_t x, int32_t y) override;
  void RightMouseDown(int32_t x, int32_t y) override;
  void KeyDown(int code) override;
  // Backspace and Enter, once the window exists.
  void AddKeyCommands();
  void Activated() override { SelectionChanged(); }
  int Command(int32_t id, int mode, int& result) override;

  void VisitCtrlViews(const std::function<void(TCtrlView*)>& f) override { ForEachCtrlView(f); }

  // Every control view of the window, topmost first.
  template <class F> void ForEachCtrlView(F f);

private:
  // The window closes: an undo step (unless the model closes it), the
  // placement kept, the control views given back to the model.
  void ReleaseCtrlViews();
  void SetInsertPosition(int32_t x, int32_t y);
  void DeleteSelectedControls();
  void InsertControl(int32_t id);
  KSModul* SingleSelectedAudio(bool tapedeckOnly, bool needsAudio);

  KSModul* structure_;
  TPanelWindows* windows_;
  bool closedByModel_ = false;
  bool closing_ = false;
};

// The window side of the model for panels: panel windows and their control
// views, and the engine's panel host (lamps, meters and graphs). Structure
// windows are not made here.
class TPanelWindows : public IModelWindows, public IPanelHost {
public:
  // Display-update period of the panels' tick.
  static constexpr int32_t kDisplayPeriodMs = 40;
  explicit TPanelWindows(KEnsemble* ensemble);
  ~TPanelWindows() override;
  KEnsemble* GetEnsemble() const { return ensemble_; }

  // IModelWindows
  IModelWnd* CreatePanelWnd(KSModul* module) override;
  IModelWnd* CreateStructWnd(KSModul*) override { return nullptr; }
  void ShowWnd(IModelWnd* wnd) override;
  void BringToFront(IModelWnd* wnd) override;
  void CloseWnd(IModelWnd* wnd) override;
  void RefreshWnd(IModelWnd* wnd) override;
  void RedrawWnd(IModelWnd* wnd) override;
  void RebuildCtrlViews(IModelWnd* panelWnd) override;
  TArea GetClientArea(IModelWnd*) override { return EmptyArea; }
  void PrepareLibraryMenus(IModelWnd*) override {}
  void UpdateLibraryMenus(bool) override {}
  void RebuildMenus(IModelWnd*) override {}
  IModelView* CreateModView(IModelWnd*, KSModul*) override { return nullptr; }
  IModelView* CreateInPortView(IModelView*, KInPort*) override { return nullptr; }
  IModelView* CreateOutPortView(IModelView*, KOutPort*) override { return nullptr; }
  void InvalidateView(IModelView*) override {}
  void DestroyView(IModelView*) override {}
  void MakeRoomFor(KSModul* module) override;
  IModelView* CreateCtrlView(IModelWnd* panelWnd, KSModul* module, int32_t kind) override;
  void ShowCtrlView(IModelView* view) override;
  void PlaceCtrlView(IModelView* view) override;
  void RebuildCtrlView(IModelView* view) override;
  void UpdateCtrlView(IModelView* view) override;
  bool IsCtrlViewVisible(IModelView* view) override;
  void DestroyCtrlView(IModelView* view) override;

  // IPanelHost
  void RefreshControlViews(IEngineModule* module) override;
  bool IsGraphMarked(IEngineModule* module) override;
  TGraphColumns GetGraphColumns(IEngineModule* module) override;

  // One tick of the panels: the engine's display-update routines run.
  void RunDisplays();
  // While the control box is there, its periodic update runs the display
  // routines and the panels' own tick leaves them alone (peaks would
  // otherwise decay twice as fast).
  void SetDisplaysRunElsewhere(bool elsewhere) { displaysElsewhere_ = elsewhere; }
  // The window is going (closed by the user or the model).
  void WindowGone(TPanelWnd* wnd);
  int32_t GetOpenCount() const { return open_; }
  // Who shows the current instrument (the control box): told by a panel
  // whose selection or lock changed.
  using TInstrumentSink = std::function<void(KInstr* instr, TPanelWnd* wnd)>;
  void SetInstrumentSink(TInstrumentSink sink) { showInstrument_ = std::move(sink); }
  void ShowInstrument(KInstr* instr, TPanelWnd* wnd);

private:
  TInstrumentSink showInstrument_;
  static int Tick(void* data);
  KEnsemble* ensemble_;
  IPanelHost* previousHost_;
  int32_t open_ = 0;
  bool displaysElsewhere_ = false;
};

template <class F> void TPanelWnd::ForEachCtrlView(F f) {
  for (TTView* v = FirstChild(); v;) {
    TTView* next = v->NextSibling();
    if (auto* c = dynamic_cast<TCtrlView*>(v)) f(c);
    v = next;
  }
}
