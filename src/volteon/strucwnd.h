// The structure window: the inside of one structure module (the ensemble's
// top, an instrument or a macro) with a box per child module and a line per
// wire, and the editing commands: inserting from the catalogue and from the
// library folders, cut, copy, paste, delete, select all, mute, mono, the
// audio-file commands, and the way to the panel and the parent structure.
#pragma once

#include "src/mod/modwnd.h"
#include "src/volteon/portview.h"
#include "src/volteon/voltwnd.h"

#include <memory>
#include <vector>

class IColor;
class IFileName;
class IMenu;
class KSModul;
class TWireView;

#include "src/volteon/commands.h"

namespace picture {
constexpr int32_t kStructureIcon = 7900;
} // namespace picture

class IStructWnd : public virtual IVolteonWnd {
public:
  virtual void SetStructure(KSModul* module) = 0;
  virtual void RemoveLibraryMenus() = 0;
  virtual void InsertLibraryMenus() = 0;
  virtual void ApplyBackground() = 0;
  virtual void CreateViews() = 0;
  virtual void CreateWireViews() = 0;
  virtual void StorePlacement() = 0;
  virtual void InsertModuleFile(IFileName* file) = 0;
  virtual void SaveSelected() = 0;
  virtual void Cut() = 0;
  virtual void Copy() = 0;
  virtual void Delete() = 0;
  virtual void Paste() = 0;
  virtual void SelectAll() = 0;
  virtual void Mute() = 0;
  virtual void Mono() = 0;
};

class TStructWnd : public TVolteonWnd, public virtual IStructWnd, public IModelWnd, public IStructHost {
public:
  explicit TStructWnd(KSModul* structure);
  ~TStructWnd() override;

  KSModul* GetStructure() const { return structure_; }

  // IStructWnd
  void SetStructure(KSModul* module) override { structure_ = module; }
  void RemoveLibraryMenus() override;
  void InsertLibraryMenus() override;
  void ApplyBackground() override;
  void CreateViews() override;
  void CreateWireViews() override;
  void StorePlacement() override;
  void InsertModuleFile(IFileName* file) override;
  void SaveSelected() override;
  void Cut() override;
  void Copy() override;
  void Delete() override;
  void Paste() override;
  void SelectAll() override;
  void Mute() override;
  void Mono() override;

  // IStructHost
  void DeselectAllFrom(KSModul* anyModule) override { DeselectEverything(anyModule); }
  IColor* WireColor(int selected) override { return GetWireColor(selected); }

  // Framework
  void Execute(int32_t id) override;
  int Command(int32_t id, int mode, int& result) override;
  void MouseDown(int32_t x, int32_t y) override;
  void RightMouseDown(int32_t x, int32_t y) override;
  void DoubleClick(int32_t x, int32_t y) override;
  void SelectionChanged() override;
  void Activated() override;

  // Backspace and Enter, once the window exists.
  void AddKeyCommands();
  // The views were made once the model knows the window.
  int HasViews() const { return viewsMade_; }
  // Clears the selection of every wire of this window.
  void DeselectWires();
  // Saves the shown structure under a name the user chooses.
  void SaveWindowAs();

  // ---- Class-wide
  // Rebuilds both library menus from "MacroDir" and "InstrDir"; with check,
  // a missing folder is reported first.
  static void UpdateLibraryMenus(int check);
  static IColor* GetDefaultStructColor();
  static IColor* GetStructColor();
  static void SetStructColor(IColor* color);
  static IColor* GetWireColor(int selected);
  // The shared context menu and the two library menus (null before the first window).
  static IMenu* GetContextMenuObject();
  static IMenu* GetMacroMenu();
  // The library file of a library command id (null: none).
  static IFileName* LibraryFile(int32_t id);
  // Deselects every module of the tree and every wire of every open
  // structure window.
  static void DeselectEverything(KSModul* anyModule);
  // Drops the command lists (the application goes).
  static void ClearLibraryCommands();

private:
  bool ExecuteLibraryCommand(int32_t id);
  bool GuardAudioInOut();
  // Writes the selection to the clipboard file; false (told) when it could not.
  bool CopySelection();
  bool IsTop() const;
  void InsertFromFile(int type);
  void GotoPanel();
  void DeleteSelection(UndoKind undoKind);
  void RefreshCtrlBox();

  KSModul* structure_;
  int viewsMade_ = 0;
};

inline TStructWnd* AsStructWnd(IModelWnd* w) { return dynamic_cast<TStructWnd*>(w); }

// Registers the structure editor's menu tables (context menus of the
// window, the boxes, the port handles and the wires).
void RegisterStructureMenus();
