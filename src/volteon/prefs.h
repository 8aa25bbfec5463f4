// The Preferences sheet: ensembles (backups, reload, undo), processor usage,
// the structure windows' background colour and the folders.
#pragma once

#include "pc/sky/ctrl.h"
#include "pc/sky/prpsheet.h"

class IVolteon;

namespace prefs {
constexpr int32_t kEnsemblePage = 7460;
constexpr int32_t kUsagePage = 7470;
constexpr int32_t kAppearancePage = 7480;
constexpr int32_t kDirPage = 7490;
// Controls of the pages.
constexpr int32_t kBackups = 3660, kReload = 3661, kUndoEnabled = 3662, kUndoCount = 3620;
constexpr int32_t kMaxUsage = 3620;
constexpr int32_t kColor = 3580, kReset = 3581;
constexpr int32_t kInstrDir = 3620, kMacroDir = 3621, kTmpDir = 3622, kEditor = 3623;
} // namespace prefs

class TEnsemblePage : public TPrpPage {
public:
  TEnsemblePage(IPrpSheet* sheet, IVolteon* app);
  void Apply() override;
  ICtrlerBoolean* backups;
  ICtrlerBoolean* reload;
  ICtrlerBoolean* undoEnabled;
  ICtrlerCnt* undoCount;

private:
  IVolteon* app_;
};

class TUsagePage : public TPrpPage {
public:
  TUsagePage(IPrpSheet* sheet, IVolteon* app);
  void Apply() override;
  ICtrlerCnt* maxUsage;
};

class TAppearancePage : public TPrpPage {
public:
  TAppearancePage(IPrpSheet* sheet, IVolteon* app);
  void Apply() override;
  void OnReset();
  ICtrlerColor* color;

private:
  IVolteon* app_;
};

class TDirPage : public TPrpPage {
public:
  TDirPage(IPrpSheet* sheet, IVolteon* app);
  void Apply() override;
  ICtrlerEdit* instrDir;
  ICtrlerEdit* macroDir;
  ICtrlerEdit* tmpDir;
  ICtrlerEdit* editor;

private:
  IVolteon* app_;
};

// Registers the four pages' templates.
void RegisterPreferencePages();
// Runs the sheet modally; OK stores what the pages that were shown hold.
void ShowPreferences(IVolteon* app);
