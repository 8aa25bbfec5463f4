#include "src/volteon/prefs.h"

#include "pc/sky/draw.h"
#include "src/base/file.h"
#include "src/engine/audioio.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/mod.h"
#include "src/volteon/strucwnd.h"
#include "src/volteon/ivolteon.h"

#include <algorithm>

namespace {

QV_MESSAGE(EmptyTempFolder, "Please enter a directory for temporary files.")

// Wide enough for the four tabs side by side in the dialog font.
constexpr int32_t kPageW = 250, kPageH = 110;

KSModul* TopOf(IVolteon* app) {
  KEnsemble* e = app ? app->GetEnsemble() : nullptr;
  return e ? e->GetTopModule() : nullptr;
}

KUndo* UndoOf(IVolteon* app) {
  KEnsemble* e = app ? app->GetEnsemble() : nullptr;
  return e && e->GetFiles() ? &e->GetFiles()->GetUndo() : nullptr;
}

} // namespace

void RegisterPreferencePages() {
  using namespace prefs;
  RegisterDlgTemplate({kEnsemblePage,
                       "Ensembles",
                       kPageW,
                       kPageH,
                       {
                           DlgCheck(kBackups, "Create backup file before saving", 10, 10, 185, 10),
                           DlgCheck(kReload, "Reload last ensemble at startup", 10, 26, 185, 10),
                           DlgCheck(kUndoEnabled, "Undo Enabled", 10, 48, 185, 10),
                           DlgStatic(-1, "Number of Undos", 22, 66, 80, 8),
                           DlgEdit(kUndoCount, 104, 64, 30, 12, dlgflag::kRight),
                       }});
  RegisterDlgTemplate({kUsagePage,
                       "Processor Usage",
                       kPageW,
                       kPageH,
                       {
                           DlgStatic(-1, "Maximum processor usage in %", 10, 12, 120, 8),
                           DlgEdit(kMaxUsage, 134, 10, 34, 12, dlgflag::kRight),
                           DlgStatic(-1,
                                     "Volteon will automatically reduce the instruments' number of voices until the "
                                     "processor usage is below the maximum set here.",
                                     10, 34, 230, 26),
                           DlgStatic(-1, "Only instruments for which automatic voice reduction is enabled are affected.",
                                     10, 64, 230, 18),
                       }});
  RegisterDlgTemplate({kAppearancePage,
                       "Appearance",
                       kPageW,
                       kPageH,
                       {
                           DlgStatic(-1, "Background Color for Structures:", 10, 14, 115, 8),
                           DlgButton(kColor, "Change", 128, 11, 50, 14),
                           DlgButton(kReset, "Reset", 128, 30, 50, 14),
                       }});
  RegisterDlgTemplate({kDirPage,
                       "Directories",
                       kPageW,
                       kPageH,
                       {
                           DlgStatic(-1, "Directory for Instruments", 10, 6, 185, 8),
                           DlgEdit(kInstrDir, 10, 15, 230, 12),
                           DlgStatic(-1, "Directory for Macros", 10, 31, 185, 8),
                           DlgEdit(kMacroDir, 10, 40, 230, 12),
                           DlgStatic(-1, "Directory for temporary Files", 10, 56, 185, 8),
                           DlgEdit(kTmpDir, 10, 65, 230, 12),
                           DlgStatic(-1, "Sample - Editor Application", 10, 81, 185, 8),
                           DlgEdit(kEditor, 10, 90, 230, 12),
                       }});
}

// ---------------------------------------------------------------- Ensembles

TEnsemblePage::TEnsemblePage(IPrpSheet* sheet, IVolteon* app) : TPrpPage(sheet, prefs::kEnsemblePage), app_(app) {
  KUndo* undo = UndoOf(app);
  backups = CreateCtrlerBoolean(this, prefs::kBackups, KSModul::GetCreateBackups(), {});
  reload = CreateCtrlerBoolean(this, prefs::kReload, KSModul::GetReloadLastEns(), {});
  undoEnabled = CreateCtrlerBoolean(this, prefs::kUndoEnabled, undo ? undo->GetUndoEnabled() : 0, {});
  undoCount = CreateCtrlerCnt(this, prefs::kUndoCount, undo ? undo->GetUndoMax() : 20, TStr("Number of Undos"),
                              KUndo::kUndoMaxLow, KUndo::kUndoMaxHigh, {});
}

void TEnsemblePage::Apply() {
  KSModul::SetCreateBackups(backups->GetValue());
  KSModul::SetReloadLastEns(reload->GetValue());
  if (KUndo* undo = UndoOf(app_)) {
    // Each setter empties the undo list only when its value changes.
    undo->SetUndoEnabled(undoEnabled->GetValue());
    undo->SetUndoMax(undoCount->GetValue());
  }
}

// ---------------------------------------------------------------- Processor usage

TUsagePage::TUsagePage(IPrpSheet* sheet, IVolteon*) : TPrpPage(sheet, prefs::kUsagePage) {
  maxUsage = CreateCtrlerCnt(this, prefs::kMaxUsage, GetMaxUsage(), TStr("Maximum processor usage"), kMaxUsageLow,
                             kMaxUsageHigh, {});
}

void TUsagePage::Apply() { SetMaxUsage(std::max<int32_t>(0, maxUsage->GetValue())); }

// ---------------------------------------------------------------- Appearance

TAppearancePage::TAppearancePage(IPrpSheet* sheet, IVolteon* app)
    : TPrpPage(sheet, prefs::kAppearancePage), app_(app) {
  color = CreateCtrlerColor(this, prefs::kColor, *TStructWnd::GetStructColor(), {});
  CreateCtrlerButton(this, prefs::kReset, Handler(this, &TAppearancePage::OnReset));
}

void TAppearancePage::OnReset() { color->SetColor(*TStructWnd::GetDefaultStructColor()); }

void TAppearancePage::Apply() {
  const IColor& chosen = color->GetColor();
  if (chosen.GetColor() == TStructWnd::GetStructColor()->GetColor()) return;
  EPtr<IColor> c(CreateColor(chosen.GetRed(), chosen.GetGreen(), chosen.GetBlue()));
  TStructWnd::SetStructColor(c.Get());
  if (KSModul* top = TopOf(app_)) top->RefreshAllStructWnds();
}

// ---------------------------------------------------------------- Directories

TDirPage::TDirPage(IPrpSheet* sheet, IVolteon* app) : TPrpPage(sheet, prefs::kDirPage), app_(app) {
  instrDir = CreateCtrlerEdit(this, prefs::kInstrDir, dirs::InstrLibrary()->GetFolder(), {});
  macroDir = CreateCtrlerEdit(this, prefs::kMacroDir, dirs::MacroLibrary()->GetFolder(), {});
  tmpDir = CreateCtrlerEdit(this, prefs::kTmpDir, TempFolder()->GetFolder(), {});
  editor = CreateCtrlerEdit(this, prefs::kEditor, dirs::Editor()->GetPath(), {});
}

void TDirPage::Apply() {
  const TStr instr = instrDir->GetText();
  const TStr macro = macroDir->GetText();
  const TStr tmp = tmpDir->GetText();
  // Temporary files, undo snapshots and the clipboard need a folder: an
  // empty one is refused before anything changes.
  if (dirs::Trimmed(tmp).IsEmpty()) ThrowError(&EmptyTempFolder());
  if (instr != dirs::InstrLibrary()->GetFolder() || macro != dirs::MacroLibrary()->GetFolder()) {
    dirs::InstrLibrary()->SetFolder(instr);
    dirs::MacroLibrary()->SetFolder(macro);
    if (KSModul* top = TopOf(app_)) top->UpdateLibraryMenus(true);
  }
  TempFolder()->SetFolder(tmp);
  dirs::Clipboard()->SetFolder(tmp);
  dirs::Editor()->SetPath(editor->GetText());
}

// ---------------------------------------------------------------- the sheet

void ShowPreferences(IVolteon* app) {
  EPtr<IPrpSheet> sheet(CreatePrpSheet(TStr("Preferences")));
  TEnsemblePage ensembles(sheet.Get(), app);
  TUsagePage usage(sheet.Get(), app);
  TAppearancePage appearance(sheet.Get(), app);
  TDirPage directories(sheet.Get(), app);
  sheet->Execute();
}
