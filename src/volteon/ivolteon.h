// What the program's windows and dialogs may ask of the application: the
// interface the application object implements, the command ids and the
// folders the application keeps. Windows include this, never the
// application object's own header.
#pragma once

#include "src/base/base.h"
#include "src/base/str.h"
#include "src/volteon/commands.h"

#include <cstdint>

class IBmp;
class ICtrlBox;
class IFileName;
class KEnsemble;
class KInstr;

class IVolteon : public virtual IBase {
public:
  virtual void Open(IFileName* name) = 0;
  virtual void SaveAs() = 0;
  virtual void SetUndoText(TStr text) = 0;
  virtual void SetRedoText(TStr text) = 0;
  virtual void CloseAllPanels() = 0;
  virtual void CloseAllStructures() = 0;
  virtual KEnsemble* GetEnsemble() = 0;
  virtual void SetMenuText(int32_t id, TStr text) = 0;
  virtual IBmp* GetTile0() = 0;
  virtual IBmp* GetTile1() = 0;
  virtual IBmp* GetTile2() = 0;
  virtual IBmp* GetTile3() = 0;
  virtual void UpdateControlRateChecks(int32_t hz) = 0;
  // The External Sync check mark and the tempo display: " ext" after the
  // tempo while the clock follows MIDI sync.
  virtual void UpdateSyncDisplay() = 0;
  virtual void UpdateClockChecks(int32_t running) = 0;
  // The instrument the control box and the computer keyboard play.
  virtual void SetCurrentInstr(KInstr* instr) = 0;
  // The control box of the main window; null before it is built.
  virtual ICtrlBox* GetCtrlBox() { return nullptr; }
};

// The folders the application keeps: libraries, work folders, the
// temporary folder, the outside sample editor and the structure editor's
// clipboard file. Process-wide, made on first use.
namespace dirs {
IFileName* InstrLibrary();
IFileName* MacroLibrary();
IFileName* EnsWork();
IFileName* InstrWork();
IFileName* MacroWork();
IFileName* Editor();
IFileName* Clipboard();
// A folder as stored: without a trailing separator (the root stays).
TStr Trimmed(TStr folder);
} // namespace dirs
