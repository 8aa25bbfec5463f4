// The window side of the model's window operations: the structure windows,
// the boxes, handles and wires the model asks for, and what a file keeps of
// the open windows. Panel windows and their controls are handed to the
// panel side given with SetPanels.
#pragma once

#include "src/mod/modwnd.h"

class TModelWindows : public IModelWindows {
public:
  // The panel side: panel windows, their controls and the window operations
  // on panel windows go there (null: panels are not shown).
  void SetPanels(IModelWindows* panels) { panels_ = panels; }

  IModelWnd* CreatePanelWnd(KSModul* module) override;
  IModelWnd* CreateStructWnd(KSModul* module) override;
  void ShowWnd(IModelWnd* wnd) override;
  void BringToFront(IModelWnd* wnd) override;
  void CloseWnd(IModelWnd* wnd) override;
  void RefreshWnd(IModelWnd* wnd) override;
  void RedrawWnd(IModelWnd* wnd) override;
  void RebuildCtrlViews(IModelWnd* panelWnd) override;
  TArea GetClientArea(IModelWnd* structWnd) override;
  void PrepareLibraryMenus(IModelWnd* structWnd) override;
  void UpdateLibraryMenus(bool check) override;
  void RebuildMenus(IModelWnd* structWnd) override;
  IModelView* CreateModView(IModelWnd* structWnd, KSModul* module) override;
  IModelView* CreateInPortView(IModelView* box, KInPort* port) override;
  IModelView* CreateOutPortView(IModelView* box, KOutPort* port) override;
  void InvalidateView(IModelView* view) override;
  void DestroyView(IModelView* view) override;
  IModelView* CreateWireView(IModelWnd* structWnd, KInPort* in, KOutPort* out) override;
  void PlaceWireView(IModelView* wire) override;
  bool TracksOpeningOrder() const override { return true; }
  int32_t GetOpeningNumber(IModelWnd* wnd) override;
  void StorePlacement(IModelWnd* wnd) override;
  void MakeRoomFor(KSModul* module) override;
  IModelView* CreateCtrlView(IModelWnd* panelWnd, KSModul* module, int32_t kind) override;
  void ShowCtrlView(IModelView* view) override;
  void PlaceCtrlView(IModelView* view) override;
  void RebuildCtrlView(IModelView* view) override;
  void UpdateCtrlView(IModelView* view) override;
  bool IsCtrlViewVisible(IModelView* view) override;
  void DestroyCtrlView(IModelView* view) override;

private:
  // The panel side when the window is not a structure window.
  IModelWindows* PanelSideOf(IModelWnd* wnd);
  IModelWindows* panels_ = nullptr;
};
