#include "src/volteon/strucwnd.h"

#include "src/volteon/instrdlg.h"
#include "src/volteon/propdlg.h"

#include "pc/sky/draw.h"
#include "pc/sky/mdi.h"
#include "pc/sky/menu.h"
#include "src/base/file.h"
#include "src/base/settings.h"
#include "src/engine/audioio.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/modaudio.h"
#include "src/mod/modfile.h"
#include "src/volteon/inserts.h"
#include "src/volteon/modview.h"
#include "src/volteon/volteon.h"
#include "src/volteon/wireview.h"

#include <cstring>
#include <vector>

QV_MESSAGE(GuardMessage, "You cannot use Cut, Copy, Delete or Save As\nwith an Audio In or Out.")
QV_MESSAGE(BothLibrariesMissing, "Invalid paths for the macro library and the\ninstrument library. Please enter valid "
                                 "paths in\nSystem - Preferences - Directories.")
QV_MESSAGE(InstrLibraryMissing, "Invalid path for the instrument library.\nPlease enter a valid path in\nSystem - "
                                "Preferences - Directories - Directory for Instruments.")
QV_MESSAGE(MacroLibraryMissing, "Invalid path for the macro library.\nPlease enter a valid path in\nSystem - "
                                "Preferences - Directories - Directory for Macros.")

namespace {

constexpr const char kStructBgSetting[] = "StructBG";
constexpr uint32_t kNoStoredColor = 0xFFFFFFFFu; // the setting is absent
constexpr int kDefaultRed = 60, kDefaultGreen = 71, kDefaultBlue = 64;
constexpr int kFileTypeInstrument = 2;
constexpr int kFileTypeMacro = 3;
constexpr int32_t kKnobStyle = 2;
constexpr int kColorMax = 255;

struct TLibraryCommand {
  int32_t id;
  EPtr<IFileName> file;
};

// What every structure window shares, made with the first one and kept for
// the program's life (its menus are widgets of the application).
struct TStructShared {
  IColor* defaultColor = nullptr;
  IColor* background = nullptr;
  IColor* wireA = nullptr;
  IColor* wireB = nullptr;
  IMenu* context = nullptr;
  IMenu* macroMenu = nullptr;
  IMenu* instrMenu = nullptr;
  // Sub-folder pop-ups of the current library menus, kept alive with them.
  std::vector<IMenu*> subMenus;
  std::vector<TLibraryCommand> macroCommands;
  std::vector<TLibraryCommand> instrCommands;
  bool libraryInserted = false;
};

TStructShared& Shared() {
  static TStructShared* shared = new TStructShared;
  return *shared;
}

void RecomputeWireColors() {
  TStructShared& s = Shared();
  const int r = s.background->GetRed(), g = s.background->GetGreen(), b = s.background->GetBlue();
  s.wireA->SetRed(kColorMax - r);
  s.wireA->SetGreen(kColorMax - g);
  s.wireA->SetBlue(kColorMax - b);
  s.wireB->SetRed(r);
  s.wireB->SetGreen(kColorMax - g);
  s.wireB->SetBlue(kColorMax - b);
}

void MakeColors() {
  TStructShared& s = Shared();
  if (s.background) return;
  s.defaultColor = CreateColor(kDefaultRed, kDefaultGreen, kDefaultBlue);
  s.background = CreateColor(kDefaultRed, kDefaultGreen, kDefaultBlue);
  s.wireA = CreateColor(0, 0, 0);
  s.wireB = CreateColor(0, 0, 0);
  const uint32_t stored = ReadSettingInt(TStr(kStructBgSetting), kNoStoredColor);
  if (stored != kNoStoredColor) s.background->SetColor(stored);
  RecomputeWireColors();
}

// Texts compare byte by byte as unsigned characters.
bool TextAfter(const TStr& existing, const TStr& added) {
  const auto* x = reinterpret_cast<const unsigned char*>(existing.CStr());
  const auto* y = reinterpret_cast<const unsigned char*>(added.CStr());
  while (*x && *x == *y) {
    ++x;
    ++y;
  }
  return *x > *y;
}

// Builds one library menu from a folder walk; ids start at first and stay
// at or below last.
IMenu* BuildLibraryMenu(IFileName* folder, int type, int32_t first, int32_t last, std::vector<TLibraryCommand>& out,
                        int32_t openId) {
  TStructShared& s = Shared();
  IMenu* root = CreateMenuObject(menu::kEmptyPopup);
  struct TLevel {
    IMenu* menu;
    int32_t folders;
  };
  std::vector<TLevel> levels{{root, 0}};
  EPtr<IFileName> pattern(CreateFileName());
  pattern->SetFolder(folder->GetFolder());
  pattern->SetType(type);
  int32_t next = first;
  if (pattern->FolderExists()) {
    EPtr<IFileSearch> search(CreateFileSearch(pattern.Get()));
    EPtr<IFileName> found(CreateFileName());
    for (;;) {
      if (!search->Next(found.Get())) {
        if (levels.size() <= 1) break;
        levels.pop_back();
        continue;
      }
      TLevel& level = levels.back();
      const int count = level.menu->GetItemCount();
      if (found->GetFolder().IsEmpty()) {
        const TStr text = MenuLiteral(found->GetName(0));
        IMenu* sub = CreateMenuObject(menu::kEmptyPopup);
        s.subMenus.push_back(sub);
        int32_t at = menu::kAppend;
        for (int i = 0; i < count; ++i)
          if (TextAfter(level.menu->GetItemText(i, menu::kByPosition), text)) {
            at = i;
            break;
          }
        level.menu->InsertSubMenu(at, sub, text, menu::kByPosition);
        ++level.folders;
        levels.push_back({sub, 0});
        continue;
      }
      if (next > last) continue; // the range of ids is full: further files are left out
      const TStr text = MenuLiteral(found->GetName(0));
      int32_t at = menu::kAppend;
      for (int i = level.folders; i < count; ++i)
        if (TextAfter(level.menu->GetItemText(i, menu::kByPosition), text)) {
          at = i;
          break;
        }
      level.menu->InsertItem(at, next, text, menu::kByPosition);
      EPtr<IFileName> file(CreateFileName());
      file->Assign(*found.Get());
      out.push_back({next, std::move(file)});
      ++next;
    }
  }
  root->InsertItem(menu::kAppend, openId, TStr("&Open..."), menu::kByPosition);
  return root;
}

TVolteon* VolteonOf(KSModul* m) {
  KModelHost* host = m ? m->GetHost() : nullptr;
  auto* ens = dynamic_cast<KEnsemble*>(host);
  return ens ? dynamic_cast<TVolteon*>(ens->GetOwner()) : nullptr;
}

KEnsemble* EnsembleOf(KSModul* m) { return m ? dynamic_cast<KEnsemble*>(m->GetHost()) : nullptr; }

bool IsTapedeck(const KSModul* m) { return m && m->IsTapedeck(); }
bool IsAudioFileModule(const KSModul* m) { return m && (m->IsTapedeck() || m->IsSamplerFamily()); }

} // namespace

// ---------------------------------------------------------------------------
// Construction

TStructWnd::TStructWnd(KSModul* structure) : TVolteonWnd(NewDocumentFrame()), structure_(structure) {
  TStructShared& s = Shared();
  MakeColors();
  SetBackgroundColor(*s.background);
  if (!s.context) {
    s.context = CreateMenuObject(menuid::kStructure);
    s.context->SetDefaultItem(cmd::kGotoPanel, menu::kByCommand);
  }
  SetContextMenu(s.context);
  if (!s.macroMenu) UpdateLibraryMenus(1);
  // Once in the shared menu, whichever window asks.
  InsertLibraryMenus();
  SetTitle(structure_->GetLabel() + TStr(" - Structure"));
  SetIcon(picture::kStructureIcon);
  SetPlacement(structure_->GetStructWndState(), structure_->GetStructWndPos(), structure_->GetStructWndArea());
}

TStructWnd::~TStructWnd() {
  DestructorBody([this] {
    WriteSettingInt(TStr(kStructBgSetting), Shared().background->GetColor());
    StorePlacement();
    // Wires first: they belong to their in-ports, which let them go.
    structure_->DropChildWireViews();
    while (TTView* child = FirstChild()) delete child;
    for (int32_t i = 0; i < structure_->GetChildCount(); ++i) structure_->GetChild(i)->BoxViewGone();
    structure_->StructWndClosed();
    structure_->SetNextInsertPos(TPnt(8, 8));
  });
}

// ---------------------------------------------------------------------------
// Class-wide state

IColor* TStructWnd::GetDefaultStructColor() {
  MakeColors();
  return Shared().defaultColor;
}
IColor* TStructWnd::GetStructColor() {
  MakeColors();
  return Shared().background;
}
void TStructWnd::SetStructColor(IColor* color) {
  MakeColors();
  if (!color) return;
  Shared().background->SetColor(color->GetColor());
  RecomputeWireColors();
}
IColor* TStructWnd::GetWireColor(int selected) {
  MakeColors();
  return selected ? Shared().wireB : Shared().wireA;
}
IMenu* TStructWnd::GetContextMenuObject() { return Shared().context; }
IMenu* TStructWnd::GetMacroMenu() { return Shared().macroMenu; }
IMenu* TStructWnd::GetInstrumentMenu() { return Shared().instrMenu; }

IFileName* TStructWnd::LibraryFile(int32_t id) {
  TStructShared& s = Shared();
  const auto& list = id <= cmd::kMacroLibraryLast ? s.macroCommands : s.instrCommands;
  for (const TLibraryCommand& c : list)
    if (c.id == id) return c.file.Get();
  return nullptr;
}

void TStructWnd::ClearLibraryCommands() {
  Shared().macroCommands.clear();
  Shared().instrCommands.clear();
}

void TStructWnd::UpdateLibraryMenus(int check) {
  TStructShared& s = Shared();
  EPtr<IFileName> instr(CreateFileName()), macro(CreateFileName());
  instr->SetFolder(dirs::InstrLibrary()->GetFolder());
  instr->SetType(kFileTypeInstrument);
  macro->SetFolder(dirs::MacroLibrary()->GetFolder());
  macro->SetType(kFileTypeMacro);
  if (check) {
    const bool noInstr = !instr->FolderExists(), noMacro = !macro->FolderExists();
    if (noInstr && noMacro) ShowMessage(&BothLibrariesMissing(), 0);
    else if (noInstr) ShowMessage(&InstrLibraryMissing(), 0);
    else if (noMacro) ShowMessage(&MacroLibraryMissing(), 0);
  }
  // The old menus go only while no window shows them.
  if (s.libraryInserted && s.context) {
    s.context->DeleteItem(1, menu::kByPosition);
    s.context->DeleteItem(1, menu::kByPosition);
    s.libraryInserted = false;
  }
  std::vector<IMenu*> oldSubs;
  oldSubs.swap(s.subMenus);
  IMenu* oldMacro = std::exchange(s.macroMenu, nullptr);
  IMenu* oldInstr = std::exchange(s.instrMenu, nullptr);
  s.macroCommands.clear();
  s.instrCommands.clear();
  s.macroMenu = BuildLibraryMenu(macro.Get(), kFileTypeMacro, cmd::kMacroLibraryFirst, cmd::kMacroLibraryLast,
                                 s.macroCommands, cmd::kInsertMacroFile);
  s.instrMenu = BuildLibraryMenu(instr.Get(), kFileTypeInstrument, cmd::kInstrLibraryFirst, cmd::kInstrLibraryLast,
                                 s.instrCommands, cmd::kInsertInstrumentFile);
  for (IMenu* m : oldSubs) SafeDelete(m);
  SafeDelete(oldMacro);
  SafeDelete(oldInstr);
}

// Several windows share one context menu: the pop-ups go in and out once,
// whatever the number of windows that ask.
void TStructWnd::RemoveLibraryMenus() {
  TStructShared& s = Shared();
  if (!s.libraryInserted || !s.context) return;
  s.context->DeleteItem(1, menu::kByPosition);
  s.context->DeleteItem(1, menu::kByPosition);
  s.libraryInserted = false;
}

void TStructWnd::InsertLibraryMenus() {
  TStructShared& s = Shared();
  if (s.libraryInserted || !s.context || !s.macroMenu || !s.instrMenu) return;
  s.context->InsertSubMenu(cmd::kPaste, s.macroMenu, TStr("Macros"), menu::kByCommand);
  s.context->InsertSubMenu(cmd::kPaste, s.instrMenu, TStr("Instruments"), menu::kByCommand);
  s.libraryInserted = true;
}

void TStructWnd::DeselectEverything(KSModul* anyModule) {
  if (anyModule) anyModule->GetTop()->DeselectAll();
  for (DWnd* w : WindowList())
    if (auto* s = dynamic_cast<TStructWnd*>(w->Root())) s->DeselectWires();
}

void TStructWnd::DeselectWires() {
  for (TTView* v = FirstChild(); v; v = v->NextSibling())
    if (auto* wire = dynamic_cast<TWireView*>(v)) wire->ClearSelection();
}

// ---------------------------------------------------------------------------
// Window operations

void TStructWnd::ApplyBackground() {
  SetBackgroundColor(*Shared().background);
  Invalidate();
}

// Keys with a command but no menu item of their own: Backspace deletes as
// Del does, Enter goes to the panel. They act while this window has the
// keyboard. Ctrl+B is the key the main menu's Goto Panel shows, and works
// through it.
void TStructWnd::AddKeyCommands() {
  AddKeys({{"Backspace", cmd::kDelete}, {"Return", cmd::kGotoCounterpart}, {"Enter", cmd::kGotoCounterpart}});
}

void TStructWnd::CreateViews() {
  viewsMade_ = 1;
  for (int32_t i = 0; i < structure_->GetChildCount(); ++i) structure_->GetChild(i)->CreateView(this);
  CreateWireViews();
}

void TStructWnd::CreateWireViews() {
  for (int32_t i = 0; i < structure_->GetChildCount(); ++i) structure_->GetChild(i)->ShowWires();
}

void TStructWnd::StorePlacement() {
  int state = 0;
  TPnt pos;
  TArea area;
  GetPlacement(&state, &pos, &area);
  structure_->SetStructWndState(state);
  structure_->SetStructWndPos(pos);
  structure_->SetStructWndArea(area);
}

void TStructWnd::InsertModuleFile(IFileName* file) {
  if (!file) return;
  TAudioPause pause(structure_);
  if (structure_->InsertModuleFile(*file, kPlaceNext, true))
    KModulFile::RepairLoadedStructure(*structure_, false);
}

void TStructWnd::SaveSelected() {
  KSModul* m = structure_->GetSingleSelected();
  KEnsemble* ens = EnsembleOf(structure_);
  if (!m || !ens || !ens->GetFiles() || !m->IsMacroOrInstrument() || !m->GetFileName().Exists()) return;
  TAudioPause pause(structure_);
  try {
    KModulFile::SaveModuleFile(m->GetFileName(), *m, *ens->GetFiles());
  } catch (...) {
    RecordCurrentException();
    ShowLastError();
  }
}

bool TStructWnd::GuardAudioInOut() {
  for (int32_t i = 0; i < structure_->GetChildCount(); ++i) {
    KSModul* c = structure_->GetChild(i);
    if (c->IsSelected() && (c->IsType(kTypeAudioIn) || c->IsType(kTypeAudioOut))) {
      ShowMessage(&GuardMessage(), 0);
      return false;
    }
  }
  return true;
}

bool TStructWnd::CopySelection() {
  if (!GuardAudioInOut()) return false;
  KEnsemble* ens = EnsembleOf(structure_);
  if (!ens || !ens->GetFiles()) return false;
  try {
    KModulFile::SaveSelectionFile(*dirs::Clipboard(), *structure_, *ens->GetFiles());
  } catch (...) {
    RecordCurrentException();
    ShowLastError();
    return false;
  }
  return true;
}

void TStructWnd::Copy() { CopySelection(); }

void TStructWnd::Cut() {
  // What could not be kept is not deleted either.
  if (CopySelection()) DeleteSelection(UndoKind::kCutModules);
}

void TStructWnd::Delete() {
  if (!GuardAudioInOut()) return;
  DeleteSelection(UndoKind::kDeleteModules);
}

void TStructWnd::DeleteSelection(UndoKind undoKind) {
  KEnsemble* ens = EnsembleOf(structure_);
  if (ens) ens->AddUndoStep(undoKind, nullptr);
  {
    TStructureChange bracket(structure_);
    for (int32_t i = 0; i < structure_->GetChildCount();) {
      KSModul* c = structure_->GetChild(i);
      if (c->IsSelected()) {
        structure_->DeleteChild(c);
        i = 0;
        continue;
      }
      for (int32_t p = 0; p < c->GetInPortCount(); ++p) {
        KInPort* in = c->GetInPort(p);
        // From the last: a removal moves the later wires down.
        for (int32_t w = in->GetWireCount() - 1; w >= 0; --w) {
          TWireView* view = AsWireView(in->GetWireView(w));
          if (view && view->IsSelected()) in->RemoveWire(in->GetSource(w));
        }
      }
      ++i;
    }
  }
  SelectionChanged();
}

void TStructWnd::Paste() {
  KEnsemble* ens = EnsembleOf(structure_);
  if (!ens || !ens->GetFiles() || !dirs::Clipboard()->Exists()) return;
  TAudioPause pause(structure_);
  DeselectEverything(structure_);
  ens->GetFiles()->ImportModuleFile(*structure_, *dirs::Clipboard());
  SelectionChanged();
}

void TStructWnd::SelectAll() {
  for (int32_t i = 0; i < structure_->GetChildCount(); ++i) structure_->GetChild(i)->Select();
}

void TStructWnd::Mute() {
  if (KEnsemble* ens = EnsembleOf(structure_)) ens->AddUndoStep(UndoKind::kMuteModules, nullptr);
  for (int32_t i = 0; i < structure_->GetChildCount(); ++i) {
    KSModul* c = structure_->GetChild(i);
    if (!c->IsSelected()) continue;
    if (c->IsMuted()) c->Unmute();
    else c->Mute();
    if (IModelView* box = c->GetBoxView()) dynamic_cast<TModView*>(box)->Redraw();
  }
  RefreshCtrlBox();
}

void TStructWnd::Mono() {
  if (KEnsemble* ens = EnsembleOf(structure_)) ens->AddUndoStep(UndoKind::kSetModulesMono, nullptr);
  for (int32_t i = 0; i < structure_->GetChildCount(); ++i) {
    KSModul* c = structure_->GetChild(i);
    if (!c->IsSelected() || c->IsCategory(kCatInstrument)) continue;
    if (!c->IsMono()) c->SetMono();
    else c->SetPoly();
    if (IModelView* box = c->GetBoxView()) dynamic_cast<TModView*>(box)->Redraw();
  }
}

void TStructWnd::RefreshCtrlBox() {
  if (KEnsemble* ens = EnsembleOf(structure_))
    if (IEnsembleOwner* owner = ens->GetOwner()) owner->RefreshCtrlBox();
}

bool TStructWnd::IsTop() const { return structure_->GetParent() == nullptr; }

void TStructWnd::GotoPanel() {
  if (structure_->IsCategory(kCatInstrument)) {
    structure_->OpenPanel(true);
    return;
  }
  KInstr* in = structure_->GetOwnerInstr();
  if (in && in->GetOwner()) in->GetOwner()->OpenPanel(true);
}

void TStructWnd::InsertFromFile(int type) {
  EPtr<IFileName> name(CreateFileName());
  const bool macro = type == kFileTypeMacro;
  if (!name->OpenDialog(TStr(macro ? "Open Macro" : "Open Instrument"), macro ? dirs::MacroWork() : dirs::InstrWork(),
                        type))
    return;
  InsertModuleFile(name.Get());
  SelectionChanged();
}

void TStructWnd::SaveWindowAs() {
  KEnsemble* ens = EnsembleOf(structure_);
  if (!ens || !ens->GetFiles()) return;
  const bool instr = structure_->IsCategory(kCatInstrument);
  EPtr<IFileName> name(CreateFileName());
  name->Assign(structure_->GetFileName());
  if (!name->SaveDialog(TStr("Save As"), instr ? dirs::InstrWork() : dirs::MacroWork(),
                        instr ? kFileTypeInstrument : kFileTypeMacro))
    return;
  TAudioPause pause(structure_);
  try {
    KModulFile::SaveModuleFile(*name, *structure_, *ens->GetFiles());
    if (structure_->GetParent()) structure_->SetFileName(*name);
  } catch (...) {
    RecordCurrentException();
    ShowLastError();
  }
}

// ---------------------------------------------------------------------------
// Commands

bool TStructWnd::ExecuteLibraryCommand(int32_t id) {
  if (id < cmd::kLibraryFirst || id > cmd::kLibraryLast) return false;
  if (IFileName* file = LibraryFile(id)) {
    // The file name stays alive while the insert may rebuild the menus.
    EPtr<IFileName> copy(CreateFileName());
    copy->Assign(*file);
    InsertModuleFile(copy.Get());
    SelectionChanged();
  }
  return true;
}

void TStructWnd::Execute(int32_t id) {
  if (ExecuteLibraryCommand(id)) return;
  TVolteonWnd::Execute(id);
}



int TStructWnd::Command(int32_t id, int mode, int& result) {
  result = 0;
  auto answer = [&](bool enabled, auto&& run) {
    if (mode == command_mode::kRun) run();
    else if (mode == command_mode::kEnabled) result = enabled ? 1 : 0;
    return 1;
  };
  if (const TInsertCommand* insert = FindInsertCommand(id)) {
    const bool terminal = id >= cmd::kInsertTerminalFirst && id <= cmd::kInsertTerminalLast;
    return answer(!terminal || !IsTop(), [&] {
      if (terminal && IsTop()) return;
      KSModul* m = structure_->InsertModule(insert->type, kPlaceNext, true);
      if (m && id == cmd::kInsertKnob) {
        m->SetLabel(TStr("Knob"));
        m->SetCtrlStyle(kKnobStyle);
        if (IModelView* box = m->GetBoxView()) dynamic_cast<TModView*>(box)->Redraw();
      }
    });
  }
  KSModul* single = structure_->GetSingleSelected();
  switch (id) {
  case cmd::kSaveWindowAs: return answer(true, [&] { SaveWindowAs(); });
  case cmd::kProperties:
    // The shown structure: an instrument (or the ensemble) opens the
    // instrument dialog, a macro its own dialog.
    return answer(true, [&] {
      if (structure_->IsCategory(kCatMacro) && structure_->GetParent()) RunModPrp(structure_);
      else RunInstrPrp(structure_);
      Invalidate();
    });
  case cmd::kLoadAudio:
    return answer(IsAudioFileModule(single), [&] {
      if (!IsAudioFileModule(single)) return;
      if (KEnsemble* ens = EnsembleOf(structure_); ens && ens->GetFiles())
        ens->GetFiles()->GetUndo().SetPendingUndo(UndoKind::kChangeProperties, nullptr, 0);
      single->LoadAudio();
    });
  case cmd::kReloadAudio:
    return answer(IsAudioFileModule(single) && single->HasAudio(), [&] {
      if (IsAudioFileModule(single)) single->ReloadAudio();
    });
  case cmd::kExportAudio:
    return answer(IsTapedeck(single) && single->HasAudio2(), [&] {
      if (IsTapedeck(single)) single->ExportAudio();
    });
  case cmd::kOverwriteAudio:
    return answer(IsTapedeck(single) && single->HasAudio2(), [&] {
      if (IsTapedeck(single)) single->AudioAction();
    });
  case cmd::kCut: return answer(true, [&] { Cut(); });
  case cmd::kCopy: return answer(true, [&] { Copy(); });
  case cmd::kPaste: return answer(dirs::Clipboard()->Exists() != 0, [&] { Paste(); });
  case cmd::kDelete: return answer(true, [&] { Delete(); });
  case cmd::kSelectAll: return answer(true, [&] { SelectAll(); });
  case cmd::kMute: return answer(true, [&] { Mute(); });
  case cmd::kMono: return answer(true, [&] { Mono(); });
  case cmd::kGotoPanel:
  case cmd::kGotoCounterpart: return answer(true, [&] { GotoPanel(); });
  case cmd::kGotoParent:
    return answer(!IsTop(), [&] {
      if (KSModul* parent = structure_->GetParent()) parent->OpenStructure();
    });
  case cmd::kInsertMacroFile: return answer(true, [&] { InsertFromFile(kFileTypeMacro); });
  case cmd::kInsertInstrumentFile: return answer(true, [&] { InsertFromFile(kFileTypeInstrument); });
  default: return 0;
  }
}

// ---------------------------------------------------------------------------
// Mouse and selection

void TStructWnd::MouseDown(int32_t x, int32_t y) {
  TVolteonWnd::MouseDown(x, y);
  structure_->SetNextInsertPos(SnapToGrid(TPnt(x, y)));
}

void TStructWnd::RightMouseDown(int32_t x, int32_t y) {
  TVolteonWnd::RightMouseDown(x, y);
  structure_->SetNextInsertPos(SnapToGrid(TPnt(x, y)));
}

void TStructWnd::DoubleClick(int32_t x, int32_t y) {
  (void)x;
  (void)y;
  GotoPanel();
}

void TStructWnd::SelectionChanged() {
  if (TVolteon* app = VolteonOf(structure_))
    if (KInstr* in = structure_->GetSelectedInstrument()) app->SetCurrentInstr(in);
}

void TStructWnd::Activated() { SelectionChanged(); }
