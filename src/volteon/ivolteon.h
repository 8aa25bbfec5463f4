// What the program's windows and dialogs may ask of the application: the
// interface the application object implements, the ids of the main menu's
// application commands and the folders the application keeps. Windows
// include this, never the application object's own header.
#pragma once

#include "src/base/base.h"
#include "src/base/str.h"

#include <cstdint>

class IBmp;
class ICtrlBox;
class IFileName;
class KEnsemble;
class KInstr;

// Command ids of the application's main-menu items.
namespace cmd {
constexpr int32_t kNewEnsemble = 1000;
constexpr int32_t kOpen = 1001;
constexpr int32_t kSaveEnsemble = 1002;
constexpr int32_t kSaveEnsembleAs = 1003;
constexpr int32_t kUndo = 1050;
constexpr int32_t kRedo = 1051;
constexpr int32_t kFactorHalf = 1160; // 1160-1165: the six rate factors
constexpr int32_t kFactorCount = 6;
constexpr int32_t kRate25 = 1170;     // 1170-1176: the control rates
constexpr int32_t kRateCount = 7;
constexpr int32_t kBatchAnalyse = 1004;
constexpr int32_t kExternalSync = 1152;
constexpr int32_t kClockStart = 1153;
constexpr int32_t kClockStop = 1154;
constexpr int32_t kStopAudio = 1200;
constexpr int32_t kEnsembleToolbar = 1251;
constexpr int32_t kInstrumentToolbar = 1252;
constexpr int32_t kShowHints = 1253;
constexpr int32_t kMeasureCpu = 1201;
constexpr int32_t kPortBase = 1209; // 1209 + driver type: the port items
constexpr int32_t kPortCard = 1211;
constexpr int32_t kPortSoundcard = 1212;
constexpr int32_t kAudioSettings = 1203;
constexpr int32_t kMidiSettings = 1204;
constexpr int32_t kPreferences = 1205;
constexpr int32_t kShowEnsemble = 1254;
constexpr int32_t kCloseAllPanels = 1255;
constexpr int32_t kCloseAllStructures = 1256;
constexpr int32_t kPanelsToFront = 1257;
constexpr int32_t kSaveWindowAs = 1500;
} // namespace cmd

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
