// What the model needs of the windows that show it: the panel and structure
// windows of a module, a module's box in its parent's structure window, the
// handles of its ports and wires there, and its controls on the instrument
// and ensemble panels. The model owns the state (which window is open, which
// view a module has) and the order of the calls; the window code implements
// this interface. The model only hands the handles back.
#pragma once

#include "src/base/area.h"

#include <cstdint>

class KSModul;
class KInPort;
class KOutPort;

// A panel or structure window made for a module.
class IModelWnd {
public:
  virtual ~IModelWnd() = default;
};

// A view in a window: a module's box, a port's handle, a wire, a panel control.
class IModelView {
public:
  virtual ~IModelView() = default;
};

class IModelWindows {
public:
  virtual ~IModelWindows() = default;

  // ---- Panel and structure windows of a module, made but not yet shown.
  // When the user closes one, the window code tells the module
  // (KSModul::PanelWndClosed, KSModul::StructWndClosed) and deletes it.
  virtual IModelWnd* CreatePanelWnd(KSModul* module) = 0;
  virtual IModelWnd* CreateStructWnd(KSModul* module) = 0;
  virtual void ShowWnd(IModelWnd* wnd) = 0;
  virtual void BringToFront(IModelWnd* wnd) = 0;
  // Closes and deletes the window; the module has already forgotten it.
  virtual void CloseWnd(IModelWnd* wnd) = 0;
  // A panel window shows its controls' new places and presence; a structure
  // window its views anew.
  virtual void RefreshWnd(IModelWnd* wnd) = 0;
  // A structure window redraws (after a deletion).
  virtual void RedrawWnd(IModelWnd* wnd) = 0;
  // A panel window makes its control views anew (after a macro file was
  // merged into its instrument).
  virtual void RebuildCtrlViews(IModelWnd* panelWnd) = 0;
  // The client area of an open structure window.
  virtual TArea GetClientArea(IModelWnd* structWnd) = 0;

  // ---- Library menus of the structure windows: every open one is
  // prepared, the shared menus are updated once (with check, a missing
  // library folder is reported), then every open one rebuilds its menus.
  virtual void PrepareLibraryMenus(IModelWnd* structWnd) = 0;
  virtual void UpdateLibraryMenus(bool check) = 0;
  virtual void RebuildMenus(IModelWnd* structWnd) = 0;

  // ---- A module's box in a structure window and its port handles. When
  // the window drops a box on its own, it tells the module
  // (KSModul::BoxViewGone).
  virtual IModelView* CreateModView(IModelWnd* structWnd, KSModul* module) = 0;
  virtual IModelView* CreateInPortView(IModelView* box, KInPort* port) = 0;
  virtual IModelView* CreateOutPortView(IModelView* box, KOutPort* port) = 0;
  // Box, port and wire views: redraw, delete.
  virtual void InvalidateView(IModelView* view) = 0;
  virtual void DestroyView(IModelView* view) = 0;

  // ---- Wires of a structure window: made and placed while both boxes
  // exist; DestroyView deletes one. Every wire view of an open window is
  // the model's to destroy (KInPort keeps them).
  virtual IModelView* CreateWireView(IModelWnd* structWnd, KInPort* in, KOutPort* out) {
    (void)structWnd;
    (void)in;
    (void)out;
    return nullptr;
  }
  // The boxes moved or were made anew: the wire follows its handles.
  virtual void PlaceWireView(IModelView* wire) { (void)wire; }

  // ---- What a file keeps of the open windows, asked while it is written:
  // the order to reopen them in (1 for the one to open first; 0 closed) and
  // the window's current placement, stored into its module. Window code
  // that does not track the order leaves the numbers a file was read with.
  virtual bool TracksOpeningOrder() const { return false; }
  virtual int32_t GetOpeningNumber(IModelWnd* wnd) {
    (void)wnd;
    return 0;
  }
  virtual void StorePlacement(IModelWnd* wnd) { (void)wnd; }

  // ---- Panel controls. Kind is the type's panel view kind (KPanelView).
  // A module was just put at the insert point of its structure and panels:
  // where its box or a control covers another view, it moves to the next
  // free spot inside the visible part of its window.
  virtual void MakeRoomFor(KSModul* module) { (void)module; }
  virtual IModelView* CreateCtrlView(IModelWnd* panelWnd, KSModul* module, int32_t kind) = 0;
  virtual void ShowCtrlView(IModelView* view) = 0;
  // Places the view for its module (from the module's panel position).
  virtual void PlaceCtrlView(IModelView* view) = 0;
  // The control's look or size changed.
  virtual void RebuildCtrlView(IModelView* view) = 0;
  // The control's step changed: redraw.
  virtual void UpdateCtrlView(IModelView* view) = 0;
  virtual bool IsCtrlViewVisible(IModelView* view) = 0;
  virtual void DestroyCtrlView(IModelView* view) = 0;
};
