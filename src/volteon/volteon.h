// The application object: owns the open ensemble, opens, creates and saves
// ensembles, answers the main menu's application commands and plays the
// current instrument from the computer keyboard.
#pragma once

#include "pc/sky/app.h"
#include "src/base/file.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/volteon/commands.h"
#include "src/volteon/recent.h"

class TModelWindows;

#include <array>
#include <memory>

class IBmp;
class IMenu;
class TPanelWindows;
class ICtrlBox;

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
  // The control box of the main window; null before it is built.
  virtual ICtrlBox* GetCtrlBox() { return nullptr; }
};

// The note a computer key plays: the key's offset above the base note that
// Shift and Ctrl choose; -1 when the key plays nothing.
int32_t KeyNoteOffset(int32_t scanCode);
int32_t KeyBaseNote(bool shift, bool control);

class TVolteon : public TApp, public IVolteon, public IEnsembleOwner {
public:
  // factory: the ensemble's audio drivers (null: the driver factory).
  explicit TVolteon(KEnsemble::TAudioFactory factory = nullptr);
  ~TVolteon() override;

  // Views: mode 0 runs, 1 asks enabled, 2 asks checked; 1 when the id is ours.
  int Command(int32_t id, int mode, int& result) override;
  // The main menu and its keys reach the application's commands here.
  void Execute(int32_t id) override;
  int IsEnabled(int32_t id, int& enabled) override;
  int IsChecked(int32_t id, int& checked) override;

  // The application
  void StartUp() override;
  void KeyChange(int keyClass, int scanCode, int down) override;
  int MayClose() override { return MayDiscard(); }
  void About() override;

  // IVolteon
  void Open(IFileName* name) override;
  void SaveAs() override;
  void SetUndoText(TStr text) override { SetMenuText(cmd::kUndo, text); }
  void SetRedoText(TStr text) override { SetMenuText(cmd::kRedo, text); }
  void CloseAllPanels() override;
  void CloseAllStructures() override;
  KEnsemble* GetEnsemble() override { return ensemble_.get(); }
  void SetMenuText(int32_t id, TStr text) override;
  IBmp* GetTile0() override { return Tile(0); }
  IBmp* GetTile1() override { return Tile(0); }
  IBmp* GetTile2() override { return Tile(1); }
  IBmp* GetTile3() override { return Tile(2); }
  void UpdateControlRateChecks(int32_t hz) override;
  void UpdateSyncDisplay() override;
  void UpdateClockChecks(int32_t running) override;

  // Opening and saving
  void NewEnsemble();
  void OpenWithDialog();
  // 1 when read; 0 when the read failed and an empty ensemble took its place.
  int32_t ReadEnsembleFile(IFileName* name);
  void AddAudioTerminals(int32_t isNew);
  // Asks before the open ensemble is replaced when it holds unsaved work:
  // 1 to go on (saved or discarded), 0 to keep it.
  int32_t MayDiscard();
  // Writes the ensemble under its name; an untitled one asks for a name.
  // False when nothing was written (cancelled or failed, the error shown).
  bool Save();
  bool SaveTo(IFileName* name);

  IFileName* GetCurrentName() const { return current_.Get(); }
  IFileMenu* GetRecentFiles() const { return recent_.get(); }
  // Opens entry n of the recent-files list.
  void OpenRecent(int32_t n);
  // Shared-value observers: the check mark of the rate factor and the texts
  // of the factor items (the rates they give at the driver's sample rate).
  void UpdateRateFactorChecks();
  void UpdateRateFactorTexts();
  KEnsembleFiles& Files() { return *files_; }
  // The note each held computer key plays, so that its release ends it.
  int32_t HeldNote(int32_t scanCode) const;

  // ---- The control box (volteon_ctrlbox.cpp)
  void CreateCtrlBox(QMainWindow* frame) override;
  void OpenCtrlBox() override;
  ICtrlBox* GetCtrlBox() override { return ctrlBox_; }
  // Answers the control box's menu commands (Stop Audio, the two toolbars, Hints).
  int CtrlBoxCommand(int32_t id, int mode, int& result);
  // IEnsembleOwner
  bool IsAudioRunning() override;
  void SwitchAudioOff() override;
  void RefreshCtrlBox() override;
  KInstr* GetCurrentInstr() override;
  void ForgetInstr(KInstr* instr) override;
  void ShowClockSettings(float tempo, bool externalSync) override;
  void RefreshView() override {}
  void ClockStateChanged(bool running) override { UpdateClockChecks(running ? 1 : 0); }
  bool OpenEnsembleFile(const TStr& path) override;
  void ShowControlRate(int32_t hz) override { UpdateControlRateChecks(hz); }

  void SetCurrentInstr(KInstr* instr);
  TModelWindows* GetWindows() const { return windows_.get(); }

  // The period of the timer that runs, on the GUI thread, what the audio,
  // MIDI and driver threads handed to it (one tick of the framework).
  static constexpr int32_t kPostedWorkMs = 50;

protected:
  // The GUI timer's tick: the ensemble's posted work runs.
  int OnTimer() override;

private:
  void ReadDirectories();
  void WriteDirectories();
  void EmptyTop();
  void ShowCaption();
  void AfterOpen(bool isNew);
  void SetControlRate(int32_t hz);
  void ToggleCpuMeasure();
  void SelectAudioPort(int32_t type);
  void CheckAudioPort();
  void ShowCardNotice();
  IBmp* Tile(int i);
  IMenu* Menu();

  void ReopenAfterUndo();

  std::unique_ptr<IFileMenu> recent_;
  // The windows outlive the ensemble: its teardown closes them.
  std::unique_ptr<TModelWindows> windows_;
  std::unique_ptr<KEnsemble> ensemble_;
  std::unique_ptr<KEnsembleFiles> files_;
  // The panel windows of the ensemble and their engine displays.
  std::unique_ptr<TPanelWindows> panels_;
  EPtr<IFileName> untitled_;
  EPtr<IFileName> current_;
  bool shiftHeld_ = false;
  bool controlHeld_ = false;
  bool audioRunning_ = true;
  bool cardChosen_ = false;
  KInstr* currentInstr_ = nullptr; // without a control box
  ICtrlBox* ctrlBox_ = nullptr;
  float checkedFactor_ = 0.0f;
  std::array<int32_t, 128> heldNotes_;
};

// The program's title, shown in the main window's caption.
extern const char kProgramTitle[];
// The settings key of the program.
extern const char kProductKey[];

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

// The pictures, menus, dialogs and panel openers the program's windows use;
// the application factory registers them first.
void RegisterProgramParts();
// The application factory of the program's main: opens the settings, names
// the application, makes the application object.
IApp* CreateApplication();
IVolteon* CreateVolteon();
// Registers the main menu's table.
void RegisterMainMenu();
