#include "src/mod/undo.h"

#include "src/base/file.h"
#include "src/base/settings.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"

#include <iterator>

namespace {

struct TKind {
  UndoKind kind;
  const char* name;
  bool recorded;
};

constexpr TKind kKinds[] = {
    {UndoKind::kChangeSampleRate, "Change Sample Rate", true},
    {UndoKind::kChangeVoices, "Change Number of Voices", true},
    {UndoKind::kChangeUnisonVoices, "Change Max Unison Voices", true},
    {UndoKind::kChangeMidiChannel, "Change Midi Channel", true},
    {UndoKind::kChangeProperties, "Change Properties", true},
    {UndoKind::kMoveWindow, "Move Window", false},
    {UndoKind::kChangeSnapshot, "Change Snapshot", true},
    {UndoKind::kRecallSnapshot, "Recall Snapshot", false},
    {UndoKind::kOpenPanel, "Open Panel", false},
    {UndoKind::kClosePanel, "Close Panel", false},
    {UndoKind::kLockPanel, "Lock Panel", false},
    {UndoKind::kUnlockPanel, "Unlock Panel", false},
    {UndoKind::kPanelOnTop, "Panel Always on Top", false},
    {UndoKind::kInsertModule, "Insert Module", true},
    {UndoKind::kMoveModules, "Move Module(s)", false},
    {UndoKind::kPasteModules, "Paste Module(s)", true},
    {UndoKind::kCutModules, "Cut Module(s)", true},
    {UndoKind::kDeleteModules, "Delete Module(s)", true},
    {UndoKind::kMuteModules, "Mute Module(s)", false},
    {UndoKind::kUnmuteModules, "Unmute Module(s)", false},
    {UndoKind::kSetModulesMono, "Set Module(s) Mono", false},
    {UndoKind::kSetModulesPoly, "Set Module(s) Poly", false},
    {UndoKind::kSoloModule, "Solo Module", false},
    {UndoKind::kUnsoloModule, "UnSolo Module", false},
    {UndoKind::kCreateWire, "Create Wire", true},
    {UndoKind::kDeleteWire, "Delete Wire", true},
    {UndoKind::kInsertControl, "Insert Control", true},
    {UndoKind::kMoveControls, "Move Control(s)", false},
    {UndoKind::kPasteControls, "Paste Control(s)", true},
    {UndoKind::kCutControls, "Cut Control(s)", true},
    {UndoKind::kDeleteControls, "Delete Control(s)", true},
    {UndoKind::kChangeControls, "Change Control(s)", false},
};
static_assert(std::size(kKinds) == size_t(kUndoKindCount), "one name per undo kind");

constexpr bool RowsFollowTheEnum() {
  for (size_t i = 0; i < std::size(kKinds); ++i)
    if (kKinds[i].kind != UndoKind(i)) return false;
  return true;
}
static_assert(RowsFollowTheEnum(), "the rows of the name table are in the order of UndoKind");

const TKind* RowOf(UndoKind kind) {
  const int32_t i = int32_t(kind);
  return i >= 0 && i < kUndoKindCount ? &kKinds[i] : nullptr;
}

// Holds the busy flag of the ensemble's files for a scope.
class TUndoBusy {
public:
  explicit TUndoBusy(KEnsembleFiles& files) : files_(files), was_(files.IsUndoBusy()) { files_.SetUndoBusy(true); }
  ~TUndoBusy() { files_.SetUndoBusy(was_); }
  TUndoBusy(const TUndoBusy&) = delete;
  TUndoBusy& operator=(const TUndoBusy&) = delete;

private:
  KEnsembleFiles& files_;
  bool was_;
};

void DeleteName(IFileName* name) { SafeDelete(name); }

QV_MESSAGE(RestorePointBehind, "The settings could not be written: the newest undo step is not noted there.\n"
                               "Should the program not terminate correctly, the ensemble restored at the next "
                               "start will be older than your latest changes.")

} // namespace

KUndo::KUndo(KEnsembleFiles& files)
    : files_(files),
      enabled_(ReadSettingFlag(TStr(setting::UndoEnabled), 0)),
      // Every number of the ring is a file to look after at exit: no more
      // than the Preferences allow.
      max_(ReadSettingIntWithin(TStr(setting::UndoMax), 20, kUndoMaxLow, kUndoMaxHigh)),
      // The folder the crash restore looks in.
      folder_(ReadSettingStr(TStr(setting::TmpDir), TempFolder()->GetFolder())) {}

KUndo::~KUndo() {
  DestructorBody([this] {
    sink_ = nullptr;
    DeleteAllSteps();
    // A snapshot left behind marks a run that did not end normally; after a
    // normal end there is neither a snapshot nor a number to offer.
    DeleteSnapshotFiles();
    DeleteSetting(TStr(setting::UndoNo));
    StoreSettings();
  });
}

bool KUndo::IsUndoableKind(UndoKind kind) {
  const TKind* row = RowOf(kind);
  return row && row->recorded;
}

const char* KUndo::KindName(UndoKind kind) {
  const TKind* row = RowOf(kind);
  return row ? row->name : "";
}

void KUndo::SetPendingUndo(UndoKind kind, const void* object, int32_t value) {
  if (files_.IsUndoBusy()) return;
  pendingKind_ = kind;
  pendingObject_ = object;
  pendingValue_ = value;
  pendingAdded_ = 0;
}

void KUndo::CommitPendingUndo() {
  if (files_.IsUndoBusy() || pendingAdded_) return;
  AddStep(pendingKind_, pendingObject_);
  pendingAdded_ = 1;
}

void KUndo::ClearPendingUndo() {
  if (files_.IsUndoBusy()) return;
  pendingKind_ = UndoKind::kNone;
  pendingObject_ = nullptr;
  pendingValue_ = 0;
  pendingAdded_ = 0;
}

void KUndo::AddUndoStep(UndoKind kind, const void* object, int32_t value) {
  SetPendingUndo(kind, object, value);
  CommitPendingUndo();
  ClearPendingUndo();
}

void KUndo::AddUndoStepMerged(UndoKind kind, const void* object, int32_t value) {
  if (files_.IsUndoBusy()) return;
  if (pendingAdded_ && pendingKind_ == kind && pendingObject_ == object) return;
  pendingKind_ = kind;
  pendingObject_ = object;
  pendingValue_ = value;
  AddStep(kind, object);
  pendingAdded_ = 1;
}

void KUndo::AddStep(UndoKind kind, const void* object) {
  KEnsemble& ens = files_.GetEnsemble();
  if (max_ > 0 && enabled_ && IsUndoableKind(kind) && kind != UndoKind::kChangeControls) {
    TUndoBusy busy(files_);
    // The snapshot is written before anything changes: a write that fails
    // (a full disk) raises its message and leaves the steps as they were.
    // Steps newer than the cursor give their numbers back to the ring.
    int32_t base = current_;
    if (cursor_ != 0 && !steps_.empty()) base = cursor_ < 0 ? oldest_ : steps_[size_t(cursor_)].snapshot;
    const int32_t next = base + 1 >= max_ ? 0 : base + 1;
    WriteSnapshot(next);
    DropNewerThanCursor();
    // The clean flag to come back to when every step is undone: the one
    // before the oldest step, which includes changes never recorded.
    if (steps_.empty()) ens.RememberCleanForUndo();
    current_ = next;
    if (current_ == oldest_) {
      if (!steps_.empty()) RemoveStep(steps_.size() - 1);
      oldest_ = oldest_ + 1 >= max_ ? 0 : oldest_ + 1;
    }
    // The step stands either way (its snapshot is written); only the crash
    // restore would offer an older one, and the user is told so, once until
    // the number is written again.
    if (WriteSettingInt(TStr(setting::UndoNo), uint32_t(current_))) {
      restoreBehind_ = false;
    } else if (!restoreBehind_) {
      restoreBehind_ = true;
      ShowMessage(&RestorePointBehind(), 0);
    }
    steps_.insert(steps_.begin(), TStep{kind, object, current_});
    cursor_ = 0;
    RefreshMenuTexts();
  }
  ens.SetClean(0);
}

void KUndo::RemoveStep(size_t i) {
  if (cursor_ == int32_t(i)) cursor_ = -1;
  else if (cursor_ > int32_t(i)) --cursor_;
  const TStep step = steps_[i];
  steps_.erase(steps_.begin() + ptrdiff_t(i));
  if (step.redo != 0) SnapshotName(-step.redo)->Remove();
}

void KUndo::DropNewerThanCursor() {
  // Steps newer than the cursor give their numbers back to the ring.
  while (!steps_.empty() && cursor_ != 0) {
    RemoveStep(0);
    current_ = steps_.empty() ? oldest_ : steps_[0].snapshot;
  }
}

void KUndo::DeleteAllSteps() {
  while (!steps_.empty()) RemoveStep(0);
  cursor_ = -1;
  RefreshMenuTexts();
}

int32_t KUndo::GetStepSnapshot(int32_t i) const {
  return i >= 0 && i < int32_t(steps_.size()) ? steps_[size_t(i)].snapshot : -1;
}

bool KUndo::CanUndo() const { return !steps_.empty() && cursor_ >= 0; }

bool KUndo::CanRedo() const { return !steps_.empty() && cursor_ != 0; }

void KUndo::Undo() {
  if (!CanUndo()) {
    Beep();
    return;
  }
  KEnsemble& ens = files_.GetEnsemble();
  {
    TUndoBusy busy(files_);
    TStep& step = steps_[size_t(cursor_)];
    if (step.redo == 0) {
      // The step counts as redoable only once its snapshot is whole on disk.
      WriteSnapshot(-redoCounter_);
      step.redo = redoCounter_++;
    }
    const int32_t number = step.snapshot;
    cursor_ = cursor_ + 1 < int32_t(steps_.size()) ? cursor_ + 1 : -1;
    OpenSnapshot(number);
    RefreshMenuTexts();
  }
  if (cursor_ < 0) ens.RestoreCleanAfterUndoingAll();
  else ens.SetClean(0);
}

void KUndo::Redo() {
  if (!CanRedo()) {
    Beep();
    return;
  }
  {
    TUndoBusy busy(files_);
    cursor_ = cursor_ < 0 ? int32_t(steps_.size()) - 1 : cursor_ - 1;
    OpenSnapshot(-steps_[size_t(cursor_)].redo);
    RefreshMenuTexts();
  }
  files_.GetEnsemble().SetClean(0);
}

void KUndo::SetUndoEnabled(int32_t on) {
  if (on == enabled_) return;
  enabled_ = on;
  DeleteAllSteps();
}

void KUndo::SetUndoMax(int32_t max) {
  if (max == max_) return;
  max_ = max;
  DeleteAllSteps();
  current_ = oldest_ = 0;
}

TStr KUndo::GetUndoText() const {
  if (!CanUndo()) return TStr("&Undo\tCtrl+Z");
  return TStr("&Undo ") + TStr(KindName(steps_[size_t(cursor_)].kind)) + TStr("\tCtrl+Z");
}

TStr KUndo::GetRedoText() const {
  if (!CanRedo()) return TStr("&Redo\tCtrl+Y");
  const int32_t next = cursor_ < 0 ? int32_t(steps_.size()) - 1 : cursor_ - 1;
  return TStr("&Redo ") + TStr(KindName(steps_[size_t(next)].kind)) + TStr("\tCtrl+Y");
}

void KUndo::SetMenuTextSink(std::function<void(const TStr&, const TStr&)> sink) {
  sink_ = std::move(sink);
  RefreshMenuTexts();
}

void KUndo::RefreshMenuTexts() {
  if (sink_) sink_(GetUndoText(), GetRedoText());
}

std::unique_ptr<IFileName, void (*)(IFileName*)> KUndo::SnapshotName(int32_t number) const {
  std::unique_ptr<IFileName, void (*)(IFileName*)> name(CreateFileName(), DeleteName);
  name->SetFolder(folder_);
  name->SetName(FormatStr("undo%d", number));
  name->SetType(filetype::None);
  return name;
}

void KUndo::WriteSnapshot(int32_t number) {
  // Made whole in memory and put in place through a temporary file: a
  // snapshot on disk is always complete, whatever stops the write.
  TMemInOut mem;
  KModulFile::WriteEnsemble(mem, files_);
  ReplaceFileBytes(SnapshotName(number)->GetPath(), mem.Data());
}

void KUndo::OpenSnapshot(int32_t number) { files_.OpenEnsemble(*SnapshotName(number)); }

void KUndo::DeleteSnapshotFiles() {
  for (int32_t i = 0; i < max_; ++i) {
    auto name = SnapshotName(i);
    if (name->Exists()) name->Remove();
  }
}

void KUndo::StoreSettings() const {
  WriteSettingInt(TStr(setting::UndoEnabled), uint32_t(enabled_));
  WriteSettingInt(TStr(setting::UndoMax), uint32_t(max_));
}
