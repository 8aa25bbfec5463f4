#include "src/volteon/volteon.h"

#include "src/volteon/aboutdlg.h"
#include "src/volteon/modelwnd.h"
#include "src/volteon/panelwnd.h"
#include "src/volteon/prefs.h"
#include "src/volteon/instrdlg.h"
#include "src/volteon/paneldlg.h"
#include "src/volteon/portprp.h"
#include "src/volteon/propdlg.h"
#include "src/volteon/strucwnd.h"

#include "pc/sky/draw.h"
#include "pc/sky/menu.h"
#include "src/base/settings.h"
#include "src/audio/audiohost.h"
#include "src/audio/soundpool.h"
#include "src/engine/audioio.h"
#include "src/engine/module_types.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/modaudio.h"
#include "src/mod/modfile.h"
#include "src/volteon/drvprp/drvprp.h"
#include "src/volteon/ctrlbox.h"
#include "src/volteon/pictures.h"
#include "pc/audio/aw8.h"
#include "pc/audio/mme.h"
#include "pc/midi/mmmidi.h"

#include <algorithm>
#include <vector>

const char kProgramTitle[] = "Volteon";
const char kProductKey[] = "Volteon 2.0";

namespace {

QV_MESSAGE(SaveChanges, "Save changes to $1 ?")
QV_MESSAGE(ReadingEnsembleFile, "Error while reading ensemble file $1:")
QV_MESSAGE(NoCardFound, "No Emagic Audiowerk8 card was found.\nThe driver is set to the Safe mode by default.\nYou can "
                        "get better results by selecting the Fast mode\nin Options/Audio... . Please note that some "
                        "other PCI cards\ncan interfere with the AW8 when operating in Fast mode.")

// Whether the file can be read and starts as an ensemble does; the error is
// recorded when not. The open ensemble is only replaced by a file that
// passes, so a wrong or unreadable file never costs the user their work.
bool LooksLikeEnsemble(const IFileName& name) {
  try {
    EPtr<IFile> file(CreateFileObject());
    file->OpenRead(&name);
    KModulFile::ReadSignature(*file);
    return true;
  } catch (...) {
    RecordCurrentException();
    return false;
  }
}

constexpr int kAnswerCancel = 1, kAnswerYes = 2;
constexpr int kBoxOk = 0;
constexpr int kBoxYesNoCancel = 3;
constexpr int kFileTypeEnsemble = 1;
constexpr int kFileTypeInstrument = 2;
constexpr int kFileTypeMacro = 3;
constexpr int32_t kNoNote = -1;
constexpr int32_t kKeyVelocity = 80;
constexpr int32_t kStartControlRate = 200;
constexpr int32_t kTileIds[3] = {7050, 7051, 7052};
constexpr float kFactors[cmd::kFactorCount] = {0.5f, 0.75f, 1.0f, 1.5f, 2.0f, 3.0f};
constexpr int32_t kControlRates[cmd::kRateCount] = {25, 50, 100, 200, 400, 800, 1600};

IFileName* MakeName() { return CreateFileName(); }

struct Folders {
  EPtr<IFileName> instrLibrary{MakeName()}, macroLibrary{MakeName()}, ensWork{MakeName()}, instrWork{MakeName()},
      macroWork{MakeName()}, clipboard{MakeName()};
};
Folders& TheFolders() {
  static Folders* folders = new Folders; // lives as long as the process
  return *folders;
}


IBmp* TheTiles[3] = {};

} // namespace

namespace dirs {
IFileName* InstrLibrary() { return TheFolders().instrLibrary.Get(); }
IFileName* MacroLibrary() { return TheFolders().macroLibrary.Get(); }
IFileName* EnsWork() { return TheFolders().ensWork.Get(); }
IFileName* InstrWork() { return TheFolders().instrWork.Get(); }
IFileName* MacroWork() { return TheFolders().macroWork.Get(); }
// The sound pool starts the editor it finds in the audio services, so the
// setting, the preferences and the pool's own "locate" dialog share that name.
IFileName* Editor() { return AudioServices().GetEditorName(); }
IFileName* Clipboard() { return TheFolders().clipboard.Get(); }
} // namespace dirs

// ---------------------------------------------------------------------------
// Keyboard playing: two rows for the lower octave and a half, two for the
// upper, overlapping by five notes.

int32_t KeyNoteOffset(int32_t scanCode) {
  static const std::pair<int32_t, int32_t> table[] = {
      {0x2C, 0},  {0x2D, 2},  {0x2E, 4},  {0x2F, 5},  {0x30, 7},  {0x31, 9},  {0x32, 11}, {0x33, 12}, {0x34, 14},
      {0x35, 16}, {0x1F, 1},  {0x20, 3},  {0x22, 6},  {0x23, 8},  {0x24, 10}, {0x26, 13}, {0x27, 15}, {0x10, 12},
      {0x11, 14}, {0x12, 16}, {0x13, 17}, {0x14, 19}, {0x15, 21}, {0x16, 23}, {0x17, 24}, {0x18, 26}, {0x19, 28},
      {0x1A, 29}, {0x1B, 31}, {0x03, 13}, {0x04, 15}, {0x06, 18}, {0x07, 20}, {0x08, 22}, {0x0A, 25}, {0x0B, 27},
      {0x0D, 30},
  };
  for (auto [code, offset] : table)
    if (code == scanCode) return offset;
  return kNoNote;
}

int32_t KeyBaseNote(bool shift, bool control) {
  if (shift) return control ? 24 : 72;
  return control ? kNoNote : 48;
}

// ---------------------------------------------------------------------------
// Construction and destruction

TVolteon::TVolteon(KEnsemble::TAudioFactory factory) : untitled_(MakeName()), current_(MakeName()) {
  heldNotes_.fill(kNoNote);
  StartUpHook();
  ReadDirectories();
  // The port the user chose, before the driver factory falls back from a
  // card that does not answer.
  cardChosen_ = ReadSettingStr(TStr(setting::AudioPort), TStr()) == AudioPortName(kAudioWerk);
  ensemble_ = std::make_unique<KEnsemble>(std::move(factory));
  windows_ = std::make_unique<TModelWindows>();
  ensemble_->SetWindows(windows_.get());
  files_ = std::make_unique<KEnsembleFiles>(*ensemble_);
  ensemble_->SetFiles(files_.get());
  panels_ = std::make_unique<TPanelWindows>(ensemble_.get());
  panels_->SetInstrumentSink([this](KInstr* instr, TPanelWnd*) {
    if (instr) SetCurrentInstr(instr);
  });
  windows_->SetPanels(panels_.get());
  untitled_->SetName(TStr("Untitled"));
  untitled_->SetType(kFileTypeEnsemble);
  current_->SetPath(untitled_->GetPath());
  current_->SetType(kFileTypeEnsemble);
  ensemble_->SetOwner(this);
  files_->GetUndo().SetMenuTextSink([this](const TStr& undo, const TStr& redo) {
    SetUndoText(undo);
    SetRedoText(redo);
  });
  if (!TheTiles[0]) {
    for (int i = 0; i < 3; ++i) {
      TheTiles[i] = CreateBmp();
      try {
        TheTiles[i]->LoadResource(kTileIds[i]);
      } catch (...) {
        RecordCurrentException(); // no texture: the views paint their plain colour
      }
    }
  }
  // The start dialog stands until the first tick two seconds from now.
  AddTimer(aboutdlg::kStartDlgMs, &CloseStartDlgTimer, nullptr);
  // What the audio, MIDI and driver threads hand to the GUI thread (check
  // marks, overloads, control views, lost devices) runs on every tick.
  StartTimer(kPostedWorkMs);
}

int TVolteon::OnTimer() {
  if (ensemble_) ensemble_->RunIdle();
  return 1;
}

TVolteon::~TVolteon() {
  DestructorBody([&] {
    StopTimer();
    DeleteCtrlBox(ctrlBox_);
    dirs::Clipboard()->Remove();
    WriteDirectories();
    files_->GetUndo().SetMenuTextSink(nullptr);
    ensemble_->GetTopModule()->CloseAllPanels();
    ensemble_->GetTopModule()->CloseAllStructWnds();
    TStructWnd::ClearLibraryCommands();
    windows_->SetPanels(nullptr);
    panels_.reset();
    ensemble_->SetOwner(nullptr);
    ensemble_->SetFiles(nullptr);
    files_.reset();
    ensemble_.reset();
    recent_.reset(); // stores the list
    KSModul::StoreSettings();
    ShutDownHook();
  });
}

void TVolteon::ReadDirectories() {
  auto folder = [](const char* setting, IFileName* fallback) {
    return dirs::Trimmed(ReadSettingStr(TStr(setting), dirs::Trimmed(fallback->GetFolder())));
  };
  // What a user saves never goes beside the program: the build folder is
  // wiped by a clean build and an installation is not the user's to write.
  // A work folder without a setting starts at the library folder just read
  // unless that is the library shipped beside the program; then at its
  // stand-in in the user's data folder, made when missing so that the first
  // file dialog opens there. A stored folder is used as it is.
  std::vector<TStr> made;
  auto work = [&](const char* setting, IFileName* library, IFileName* shipped, IFileName* user) {
    const TStr read = dirs::Trimmed(library->GetFolder());
    const TStr userFolder = dirs::Trimmed(user->GetFolder());
    const bool toUser = !userFolder.IsEmpty() && read == dirs::Trimmed(shipped->GetFolder());
    const TStr fallback = toUser ? userFolder : read;
    const TStr chosen = dirs::Trimmed(ReadSettingStr(TStr(setting), fallback));
    if (toUser && chosen == fallback) made.push_back(chosen);
    return chosen;
  };
  dirs::InstrLibrary()->SetFolder(folder(setting::InstrDir, InstrumentLibraryFolder()));
  dirs::MacroLibrary()->SetFolder(folder(setting::MacroDir, MacroLibraryFolder()));
  dirs::EnsWork()->SetFolder(work(setting::EnsWorkDir, EnsembleLibraryFolder(), EnsembleLibraryFolder(),
                                  UserEnsembleFolder()));
  dirs::InstrWork()->SetFolder(work(setting::InstrWorkDir, dirs::InstrLibrary(), InstrumentLibraryFolder(),
                                    UserInstrumentFolder()));
  dirs::MacroWork()->SetFolder(work(setting::MacroWorkDir, dirs::MacroLibrary(), MacroLibraryFolder(),
                                    UserMacroFolder()));
  AudioWorkFolder()->SetFolder(work(setting::AudioWorkDir, LibraryFolder(), LibraryFolder(), UserLibraryFolder()));
  for (const TStr& f : made) MakeFolders(f); // a folder that cannot be made leaves the dialogs where they fall back
  TempFolder()->SetFolder(folder(setting::TmpDir, TempFolder()));
  dirs::Clipboard()->SetFolder(TempFolder()->GetFolder());
  dirs::Clipboard()->SetName(TStr("paste"));
  dirs::Clipboard()->SetType(kFileTypeMacro);
  TStr editor = ReadSettingStr(TStr(setting::EditorPath), TStr());
  dirs::Editor()->SetPath(editor);
}

void TVolteon::WriteDirectories() {
  WriteSettingStr(TStr(setting::InstrDir), dirs::Trimmed(dirs::InstrLibrary()->GetFolder()));
  WriteSettingStr(TStr(setting::MacroDir), dirs::Trimmed(dirs::MacroLibrary()->GetFolder()));
  WriteSettingStr(TStr(setting::EnsWorkDir), dirs::Trimmed(dirs::EnsWork()->GetFolder()));
  WriteSettingStr(TStr(setting::InstrWorkDir), dirs::Trimmed(dirs::InstrWork()->GetFolder()));
  WriteSettingStr(TStr(setting::MacroWorkDir), dirs::Trimmed(dirs::MacroWork()->GetFolder()));
  WriteSettingStr(TStr(setting::AudioWorkDir), dirs::Trimmed(AudioWorkFolder()->GetFolder()));
  WriteSettingStr(TStr(setting::TmpDir), dirs::Trimmed(TempFolder()->GetFolder()));
  WriteSettingStr(TStr(setting::EditorPath), dirs::Editor()->GetName(0).IsEmpty() ? TStr() : dirs::Editor()->GetPath());
}

IBmp* TVolteon::Tile(int i) { return TheTiles[i]; }

IMenu* TVolteon::Menu() { return GetMenu(); }

void TVolteon::SetMenuText(int32_t id, TStr text) {
  if (IMenu* m = Menu()) m->SetItemText(id, text, menu::kByCommand);
}

// ---------------------------------------------------------------------------
// Start-up

void TVolteon::StartUp() {
  InitCtrlViews();
  ensemble_->StartDrivers();
  recent_.reset(CreateFileMenu());
  recent_->SetMenu(Menu());
  CheckAudioPort();
  AddAudioTerminals(1);
  ensemble_->MarkClean();
  ShowCardNotice();
  AddViewSlot(ensemble_->GetRateFactorValue(), &TVolteon::UpdateRateFactorChecks, TStr(), 1);
  AddViewSlot(GetSampleRateValue(), &TVolteon::UpdateRateFactorTexts, TStr(), 1);
  bool opened = false;
  if (ensemble_->CanRestoreAfterCrash()) {
    // On OK the model reads the snapshot back through OpenEnsembleFile.
    if (ensemble_->OfferRestore()) opened = true;
    if (!opened) NewEnsemble();
    opened = true;
  }
  if (!opened) {
    IFileName* commandLine = GetCommandLineFile();
    if (commandLine && !commandLine->GetName(0).IsEmpty() && commandLine->Exists()) {
      const int type = commandLine->GetType();
      if (type == kFileTypeInstrument || type == kFileTypeMacro) NewEnsemble();
      Open(commandLine);
      opened = true;
    }
  }
  if (!opened) {
    EPtr<IFileName> last(MakeName());
    TStr lastPath = ReadSettingStr(TStr(setting::LastEnsPath), TStr());
    if (!lastPath.IsEmpty()) last->SetPath(lastPath);
    if (KSModul::GetReloadLastEns() && !lastPath.IsEmpty() && last->Exists()) Open(last.Get());
    else NewEnsemble();
  }
  WriteSettingStr(TStr(setting::LastEnsPath), current_->GetPath());
  SetControlRate(kStartControlRate);
}

// The card was the chosen port but did not answer, so another driver took
// its place: the user learns why, and can choose in the audio settings.
void TVolteon::ShowCardNotice() {
  IAudioInOut* audio = ensemble_->GetAudio();
  if (!cardChosen_ || !audio || audio->GetType() == kAudioWerk || IsAudioPortAvailable(kAudioWerk)) return;
  ShowMessage(&NoCardFound(), kBoxOk);
  ensemble_->CallAudioDevice(1);
}

bool TVolteon::OpenEnsembleFile(const TStr& path) {
  EPtr<IFileName> name(MakeName());
  name->SetPath(path);
  Open(name.Get());
  ensemble_->MarkModified();
  return true;
}

// ---------------------------------------------------------------------------
// Opening

void TVolteon::EmptyTop() {
  KSModul* top = ensemble_->GetTopModule();
  SetCurrentInstr(nullptr);
  while (top->GetChildCount() > 0) top->DeleteChild(top->GetChild(0));
  top->CloseAllPanels();
  top->CloseAllStructWnds();
}

void TVolteon::ShowCaption() {
  SetMainTitle(TStr(kProgramTitle) + TStr(" - ") + current_->GetName(1));
}

void TVolteon::AfterOpen(bool isNew) {
  ShowCaption();
  WriteSettingStr(TStr(setting::LastEnsPath), current_->GetPath());
  AddAudioTerminals(isNew ? 1 : 0);
  ensemble_->GetTopModule()->ReopenWindows();
  files_->MarkClean();
  // The computer keyboard plays the ensemble's top instrument at once.
  KSModul* top = ensemble_->GetTopModule();
  SetCurrentInstr(top ? top->GetOwnInstr() : nullptr);
  RefreshCtrlBox();
}

// A step read the whole ensemble anew: the windows show the tree it read,
// as they stood when the step was written.
void TVolteon::ReopenAfterUndo() {
  KSModul* top = ensemble_->GetTopModule();
  SetCurrentInstr(nullptr);
  top->CloseAllPanels();
  top->CloseAllStructWnds();
  top->ReopenWindows();
  SetCurrentInstr(top->GetOwnInstr());
}

void TVolteon::Open(IFileName* name) {
  if (!name) return;
  const int type = name->GetType();
  if (type == kFileTypeMacro || type == kFileTypeInstrument) {
    // The file goes into the top structure as the window's own insert puts
    // it there: audio paused, one undo step, the loaded structure repaired.
    KSModul* top = ensemble_->GetTopModule();
    top->DeselectAll();
    top->OpenStructure();
    if (TStructWnd* w = AsStructWnd(top->GetStructWnd())) w->InsertModuleFile(name);
    else top->InsertModuleFile(*name, kPlaceNext, true); // no window to show it in: the file goes in all the same
    return;
  }
  if (!files_->IsUndoBusy()) {
    if (!LooksLikeEnsemble(*name)) {
      ReadingEnsembleFile().SetParam(1, name->GetPath());
      ShowLastErrorWithCaption(&ReadingEnsembleFile());
      if (recent_) recent_->Remove(name);
      return;
    }
    if (!MayDiscard()) return;
  }
  IAudioInOut* audio = ensemble_->GetAudio();
  if (audio) audio->Pause();
  EmptyTop();
  if (files_->IsUndoBusy()) current_->SetPath(ReadSettingStr(TStr(setting::LastEnsPath), untitled_->GetPath()));
  else current_->SetPath(name->GetPath());
  const int32_t read = ReadEnsembleFile(name);
  AfterOpen(read == 0);
  if (audio) audio->Resume();
}

void TVolteon::NewEnsemble() {
  if (!MayDiscard()) return;
  EPtr<IFileName> templ(MakeName());
  templ->SetFolder(ProgramFolder()->GetFolder());
  templ->SetName(TStr("new"));
  templ->SetType(kFileTypeEnsemble);
  IAudioInOut* audio = ensemble_->GetAudio();
  if (audio) audio->Pause();
  EmptyTop();
  current_->SetPath(untitled_->GetPath());
  ReadEnsembleFile(templ.Get());
  AfterOpen(true);
  if (audio) audio->Resume();
}

void TVolteon::OpenWithDialog() {
  EPtr<IFileName> name(MakeName());
  if (name->OpenDialog(TStr("Open"), dirs::EnsWork(), kFileTypeEnsemble)) Open(name.Get());
}

int32_t TVolteon::ReadEnsembleFile(IFileName* name) {
  const bool titled = !current_->IsEqual(*untitled_);
  const int32_t read = files_->OpenEnsemble(*name);
  if (read == 0) {
    if (recent_ && titled) recent_->Remove(name);
    current_->SetPath(untitled_->GetPath());
    // The empty ensemble that took the file's place is shown, so that the
    // user sees where to go on.
    ensemble_->GetTopModule()->OpenStructure();
  } else if (recent_ && titled) {
    recent_->Remove(current_.Get());
    recent_->Add(current_.Get());
  }
  return read;
}

void TVolteon::OpenRecent(int32_t n) {
  IFileName* entry = recent_ ? recent_->Get(n) : nullptr;
  if (!entry) return;
  EPtr<IFileName> name(MakeName());
  name->Assign(*entry);
  if (!name->GetName(0).IsEmpty()) Open(name.Get());
}

void TVolteon::UpdateRateFactorChecks() {
  IMenu* m = Menu();
  const float now = ensemble_->GetRateFactor();
  for (int i = 0; i < cmd::kFactorCount && m; ++i) {
    if (kFactors[i] == checkedFactor_) m->CheckItem(cmd::kFactorHalf + i, 0, menu::kByCommand);
    if (kFactors[i] == now) m->CheckItem(cmd::kFactorHalf + i, 1, menu::kByCommand);
  }
  checkedFactor_ = now;
}

void TVolteon::UpdateRateFactorTexts() {
  const float rate = GetSampleRateValue()->Get();
  for (int i = 0; i < cmd::kFactorCount; ++i)
    SetMenuText(cmd::kFactorHalf + i, FormatStr("%d Hz", int(rate * kFactors[i])));
}

void TVolteon::AddAudioTerminals(int32_t isNew) {
  KSModul* top = ensemble_->GetTopModule();
  if (!ensemble_->GetAudioInModule() && GetMaxAudioInputs() >= 1) {
    if (KSModul* in = top->InsertModule(kTypeAudioIn, kPlaceAudioIn, false)) ensemble_->SetAudioInModule(in);
  }
  if (!ensemble_->GetAudioOutModule()) {
    if (KSModul* out = top->InsertModule(kTypeAudioOut, kPlaceAudioOut, false)) ensemble_->SetAudioOutModule(out);
  }
  KModulFile::RepairLoadedStructure(*top, true);
  {
    TStructureChange change(top);
    if (isNew == 0) KModulFile::WarnOldEnsemble(*top);
  }
  top->DeselectAll();
}

int32_t TVolteon::MayDiscard() {
  if (ensemble_->IsClean()) return 1;
  SaveChanges().SetParam(1, current_->GetName(1));
  const int answer = ShowMessageTitled(&SaveChanges(), nullptr, kBoxYesNoCancel);
  if (answer == kAnswerCancel) return 0;
  if (answer == kAnswerYes) return Save() ? 1 : 0;
  return 1;
}

// ---------------------------------------------------------------------------
// Saving

bool TVolteon::SaveTo(IFileName* name) {
  try {
    files_->SaveEnsemble(*name);
  } catch (...) {
    RecordCurrentException();
    ShowLastError();
    return false;
  }
  current_->SetPath(name->GetPath());
  current_->SetType(kFileTypeEnsemble);
  ShowCaption();
  WriteSettingStr(TStr(setting::LastEnsPath), current_->GetPath());
  if (recent_) recent_->Add(current_.Get());
  return true;
}

bool TVolteon::Save() {
  if (current_->GetPath() == untitled_->GetPath() || current_->GetFolder().IsEmpty()) {
    EPtr<IFileName> name(MakeName());
    name->SetType(kFileTypeEnsemble);
    if (!name->SaveDialog(TStr("Save Ensemble As"), dirs::EnsWork(), kFileTypeEnsemble)) return false;
    return SaveTo(name.Get());
  }
  return SaveTo(current_.Get());
}

void TVolteon::SaveAs() {
  EPtr<IFileName> name(MakeName());
  name->SetPath(current_->GetPath());
  if (name->SaveDialog(TStr("Save Ensemble As"), dirs::EnsWork(), kFileTypeEnsemble)) SaveTo(name.Get());
}

void TVolteon::CloseAllPanels() { ensemble_->GetTopModule()->CloseAllPanels(); }
void TVolteon::CloseAllStructures() { ensemble_->GetTopModule()->CloseAllStructWnds(); }

// ---------------------------------------------------------------------------
// Commands

void TVolteon::SetControlRate(int32_t hz) {
  if (auto* audio = dynamic_cast<TAudioInOut*>(ensemble_->GetAudio())) audio->SetControlRate(hz);
  UpdateControlRateChecks(hz);
}

void TVolteon::UpdateClockChecks(int32_t running) {
  if (IMenu* m = Menu()) {
    m->CheckItem(cmd::kClockStart, running ? 1 : 0, menu::kByCommand);
    m->CheckItem(cmd::kClockStop, running ? 0 : 1, menu::kByCommand);
  }
}

void TVolteon::ToggleCpuMeasure() {
  IAudioInOut* audio = ensemble_->GetAudio();
  if (!audio) return;
  const bool on = !audio->IsSlotMeasuring();
  if (IMenu* m = Menu()) m->CheckItem(cmd::kMeasureCpu, on ? 1 : 0, menu::kByCommand);
  audio->SetSlotMeasuring(on);
  if (!on) ensemble_->GetTopModule()->UpdateCpuLoad(false);
}

void TVolteon::CheckAudioPort() {
  IMenu* m = Menu();
  IAudioInOut* audio = ensemble_->GetAudio();
  if (!m || !audio) return;
  for (int32_t type : {kAudioWerk, kAudioMultiMedia})
    m->CheckItem(cmd::kPortBase + type, audio->GetType() == type ? 1 : 0, menu::kByCommand);
}

void TVolteon::SelectAudioPort(int32_t type) {
  IAudioInOut* audio = ensemble_->GetAudio();
  if (audio && audio->GetType() == type) return;
  ensemble_->SwitchAudioDriver(type);
  CheckAudioPort();
}

void TVolteon::UpdateControlRateChecks(int32_t hz) {
  IMenu* m = Menu();
  if (!m) return;
  for (int i = 0; i < cmd::kRateCount; ++i) m->CheckItem(cmd::kRate25 + i, kControlRates[i] == hz, menu::kByCommand);
}

void TVolteon::Execute(int32_t id) {
  int result = 0;
  if (Command(id, command_mode::kRun, result)) return;
  TApp::Execute(id);
}

int TVolteon::IsEnabled(int32_t id, int& enabled) {
  int result = 0;
  if (Command(id, command_mode::kEnabled, result)) {
    enabled = result;
    return 1;
  }
  return TApp::IsEnabled(id, enabled);
}

int TVolteon::IsChecked(int32_t id, int& checked) {
  int result = 0;
  if (Command(id, command_mode::kChecked, result)) {
    checked = result;
    return 1;
  }
  return TApp::IsChecked(id, checked);
}

int TVolteon::Command(int32_t id, int mode, int& result) {
  result = 0;
  const bool run = mode == command_mode::kRun;
  const bool asksEnabled = mode == command_mode::kEnabled;
  auto answer = [&](bool enabled, const std::function<void()>& action) {
    if (run) action();
    else if (asksEnabled) result = enabled ? 1 : 0;
    return 1;
  };
  if (CtrlBoxCommand(id, mode, result)) return 1;
  switch (id) {
  case cmd::kNewEnsemble: return answer(true, [&] { NewEnsemble(); });
  case cmd::kOpen: return answer(true, [&] { OpenWithDialog(); });
  case cmd::kSaveEnsemble: return answer(ensemble_->IsClean() == 0, [&] { Save(); });
  case cmd::kSaveEnsembleAs: return answer(true, [&] { SaveAs(); });
  case cmd::kUndo:
    return answer(files_->GetUndo().CanUndo(), [&] {
      files_->GetUndo().Undo();
      ReopenAfterUndo();
    });
  case cmd::kRedo:
    return answer(files_->GetUndo().CanRedo(), [&] {
      files_->GetUndo().Redo();
      ReopenAfterUndo();
    });
  case cmd::kBatchAnalyse: return answer(true, [] { BatchAnalyseSoundfiles(); });
  case cmd::kExternalSync:
    return answer(true, [&] {
      SetExternalSync(!IsExternalSync());
      UpdateSyncDisplay();
    });
  case cmd::kClockStart:
    return answer(true, [&] {
      if (IAudioInOut* a = ensemble_->GetAudio()) a->StartClock();
    });
  case cmd::kClockStop:
    return answer(true, [&] {
      if (IAudioInOut* a = ensemble_->GetAudio()) a->StopClock();
    });
  case cmd::kMeasureCpu: {
    IAudioInOut* a = ensemble_->GetAudio();
    return answer(a && !a->IsPaused(), [&] { ToggleCpuMeasure(); });
  }
  case cmd::kAudioSettings: {
    IAudioInOut* a = ensemble_->GetAudio();
    return answer(a && a->HasSettingsDialog(), [&] { ensemble_->CallAudioDevice(1); });
  }
  case cmd::kMidiSettings: {
    IMidiInOut* midi = ensemble_->GetMidi();
    return answer(midi && midi->HasSettingsDialog(), [&] {
      if (midi && midi->HasSettingsDialog()) midi->ShowSettingsDialog();
    });
  }
  case cmd::kPortCard: return answer(IsAudioPortAvailable(kAudioWerk), [&] { SelectAudioPort(kAudioWerk); });
  case cmd::kPortSoundcard:
    return answer(IsAudioPortAvailable(kAudioMultiMedia), [&] { SelectAudioPort(kAudioMultiMedia); });
  case cmd::kShowEnsemble:
    return answer(!ensemble_->GetTopModule()->GetStructWnd(), [&] { ensemble_->GetTopModule()->OpenStructure(); });
  case cmd::kCloseAllPanels: return answer(true, [&] { CloseAllPanels(); });
  case cmd::kPanelsToFront: return answer(true, [&] { ensemble_->GetTopModule()->BringPanelsToFront(); });
  case cmd::kCloseAllStructures: return answer(true, [&] { CloseAllStructures(); });
  case cmd::kPreferences: return answer(true, [&] { ShowPreferences(this); });
  default: break;
  }
  if (id >= cmd::kFactorHalf && id < cmd::kFactorHalf + cmd::kFactorCount) {
    const float f = kFactors[id - cmd::kFactorHalf];
    return answer(true, [&] {
      ensemble_->AddUndoStep(UndoKind::kChangeSampleRate, nullptr);
      ensemble_->SetRateFactor(f);
    });
  }
  if (id >= recent::kFirstEntryId && id <= recent::kLastCommandId)
    return answer(true, [&] { OpenRecent(id - recent::kFirstEntryId); });
  if (id >= cmd::kRate25 && id < cmd::kRate25 + cmd::kRateCount)
    return answer(true, [&] { SetControlRate(kControlRates[id - cmd::kRate25]); });
  return 0;
}

// ---------------------------------------------------------------------------
// The computer keyboard

int32_t TVolteon::HeldNote(int32_t scanCode) const {
  return scanCode >= 0 && scanCode < int32_t(heldNotes_.size()) ? heldNotes_[size_t(scanCode)] : kNoNote;
}

void TVolteon::KeyChange(int keyClass, int scanCode, int down) {
  if (keyClass == keyclass::kShift) {
    shiftHeld_ = down != 0;
    return;
  }
  if (keyClass == keyclass::kCtrl) {
    controlHeld_ = down != 0;
    return;
  }
  if (scanCode < 0 || scanCode >= int(heldNotes_.size())) return;
  IMidiInOut* midi = ensemble_->GetMidi();
  int32_t& held = heldNotes_[size_t(scanCode)];
  if (!down) {
    // The note the key played ends, whatever Shift and Ctrl say now.
    if (held != kNoNote && midi) midi->InjectNote(held, 0);
    held = kNoNote;
    return;
  }
  const int32_t offset = KeyNoteOffset(scanCode);
  const int32_t base = KeyBaseNote(shiftHeld_, controlHeld_);
  if (offset == kNoNote || base == kNoNote || !GetCurrentInstr() || !midi || held != kNoNote) return;
  held = base + offset;
  midi->InjectNote(held, kKeyVelocity);
}

// ---------------------------------------------------------------------------
// The factory

IVolteon* CreateVolteon() { return new TVolteon(); }

void TVolteon::About() { ShowAboutBox(); }

void RegisterProgramParts() {
  InstallPictures();
  RegisterMainMenu();
  RegisterAboutDlgs();
  // Panels open the module, instrument and port dialogs through these.
  panel_dialogs::SetOpeners([](KSModul* m) { RunModPrp(m); }, [](KSModul* m) { RunInstrPrp(m); },
                            [](KInPort* port) { RunPortPrp(port, nullptr); });
  RegisterPreferencePages();
}

IApp* CreateApplication() {
  OpenSettings(TStr(kProductKey));
  SetAppTitle(TStr(kProgramTitle));
  RegisterProgramParts();
  ShowStartDlg();
  RegisterAudioWerk();
  RegisterMultiMedia();
  RegisterMultiMediaMidi();
  InstallDriverDialogs();
  return new TVolteon();
}

// A folder as stored: without a trailing separator (the root stays).
TStr dirs::Trimmed(TStr folder) {
  std::string s = folder.Std();
  while (s.size() > 1 && (s.back() == '/' || s.back() == '\\')) s.pop_back();
  return TStr(s);
}
