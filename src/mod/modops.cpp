// Operations on single modules and subtrees: tree queries, mono and poly,
// solo, selection, panel presence and the class-wide settings.
#include "src/engine/audioio.h"
#include "src/base/file.h"
#include "src/base/settings.h"
#include "src/base/str.h"
#include "src/mod/file_versions.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/modwnd.h"

#include "platform/fs.h"

#include <cfloat>

namespace {

struct TClassSettings {
  bool loaded = false;
  int32_t createBackups = 0;
  int32_t reloadLastEns = 1;
};
TClassSettings& ClassSettings() {
  static TClassSettings s;
  if (!s.loaded) {
    s.loaded = true;
    s.createBackups = ReadSettingFlag(TStr("CreateBackups"), 0);
    s.reloadLastEns = ReadSettingFlag(TStr("ReloadLastEns"), 1);
  }
  return s;
}
} // namespace

TStr FormatFileVersion(int32_t version) {
  if (version == kVersionOfRelease204) return TStr("2.0.4");
  return FormatStr("%d.%d.%d", version / 100, (version / 10) % 10, version % 10);
}

void KSModul::Walk(const std::function<void(KSModul*)>& fn) {
  fn(this);
  for (int32_t i = 0; i < childCount_; ++i) children_[i]->Walk(fn);
}

int32_t KSModul::IsInTopLevel() const {
  if (!parent_) return 0;
  if (parent_->IsCategory(kCatMacro)) return parent_->IsInTopLevel();
  return parent_->parent_ == nullptr ? 1 : 0;
}

KSModul* KSModul::FindBySerialNo(int32_t serial) {
  if (serialNo_ == serial) return this;
  for (int32_t i = 0; i < childCount_; ++i)
    if (KSModul* m = children_[i]->FindBySerialNo(serial)) return m;
  return nullptr;
}

KSModul* KSModul::FindReducibleInstr(KSModul* after) {
  // Tree order; with `after`, only the modules that follow it count.
  bool passed = after == nullptr;
  KSModul* found = nullptr;
  Walk([&](KSModul* m) {
    if (found) return;
    if (m == after) {
      passed = true;
      return;
    }
    if (passed && m->IsCategory(kCatInstrument) && m->IsAutoVoiceReduction() && m->GetOwnInstr() &&
        m->GetOwnInstr()->GetVoices() >= 2)
      found = m;
  });
  return found;
}

// ---------------------------------------------------------------------------
// Mono and poly

void KSModul::SetPortKinds(bool mono) {
  // Only the ports that stand for a terminal switch (the ports decide); the
  // ports of other modules keep their type's kinds, as a reload gives them.
  for (int32_t i = 0; i < inCount_; ++i)
    if (mono) in_[i]->MakeMono();
    else in_[i]->MakePoly();
  for (int32_t i = 0; i < outCount_; ++i)
    if (mono) out_[i]->MakeMono();
    else out_[i]->MakePoly();
}

void KSModul::SetMono() { SetMonoState(true); }
void KSModul::SetPoly() { SetMonoState(false); }

void KSModul::SetMonoState(bool mono) {
  const KModulDef* def = GetTypeDef();
  if ((mono_ != 0) == mono || (def && !def->monoSwitchable)) return;
  TStructureChange bracket(this);
  mono_ = mono ? 1 : 0;
  // The record is made again: one voice for a mono module, else the instrument's.
  if (record_) {
    ReleaseFromEngine();
    PrepareInEngine();
  }
  SetPortKinds(mono);
}

// ---------------------------------------------------------------------------
// Solo

// While a solo is on, what is wired to the Audio Out's mono audio inputs is
// taken away from it; the solo sources take their place.
void KSModul::MarkAudioOutSources(KSModul* out, bool available) {
  if (!out) return;
  for (int32_t i = 0; i < out->inCount_; ++i) {
    KInPort* p = out->in_[i];
    if (p->GetKind() != 0 || p->GetWireCount() == 0) continue;
    if (KOutPort* s = p->GetSource(0)) {
      if (available) s->MarkAvailable();
      else s->MarkUnavailable();
    }
  }
}

void KSModul::Solo() {
  if (!parent_ || IsSolo()) return;
  TStructureChange bracket(this);
  GetTop()->UnsoloAll();
  KSModul* out = host_ ? host_->GetAudioOutModule() : nullptr;
  MarkAudioOutSources(out, false);
  KOutPort* soloSources[2] = {nullptr, nullptr};
  if (IsMacroOrInstrument()) {
    for (int32_t i = 0; i < childCount_; ++i) {
      KSModul* t = children_[i];
      if (!t->IsCategory(kCatOutTerminal) || t->terminalNo_ > 1) continue;
      if (KInPort* p = t->GetInPort(0)) {
        p->CollectSources(p);
        if (p->GetCollectedCount() > 0) soloSources[t->terminalNo_] = p->GetCollected(0);
      }
      break;
    }
  } else {
    soloSources[0] = GetOutPort(0);
    soloSources[1] = GetOutPort(1);
  }
  KInPort::SetSoloSources(soloSources[0], soloSources[1]);
  for (KOutPort* s : soloSources)
    if (s) s->GetOwner()->SetSoloFlag(true);
  SetSoloFlag(true);
  if (out) out->SetSoloFlag(true);
}

void KSModul::Unsolo() {
  if (!IsSolo()) return;
  TStructureChange bracket(this);
  KSModul* out = host_ ? host_->GetAudioOutModule() : nullptr;
  MarkAudioOutSources(out, true);
  for (int32_t i = 0; i < 2; ++i)
    if (KOutPort* s = KInPort::GetSoloSource(i)) s->GetOwner()->SetSoloFlag(false);
  KInPort::SetSoloSources(nullptr, nullptr);
  SetSoloFlag(false);
  if (out) out->SetSoloFlag(false);
}

void KSModul::UnsoloAll() {
  TStructureChange bracket(this);
  Walk([](KSModul* m) { m->Unsolo(); });
}

void KSModul::ClearStaleSolo() {
  KInPort::SetSoloSources(nullptr, nullptr);
  KSModul* audioIn = host_ ? host_->GetAudioInModule() : nullptr;
  Walk([audioIn](KSModul* m) {
    m->SetSoloFlag(false);
    if (m == audioIn) return;
    for (int32_t i = 0; i < m->outCount_; ++i) m->out_[i]->MarkAvailable();
  });
  if (audioIn) audioIn->MarkDriverChannels();
}

// ---------------------------------------------------------------------------
// Selection

void KSModul::Select() {
  if (selected_) return;
  selected_ = 1;
  ShowSelection();
}

void KSModul::Deselect() {
  if (!selected_) return;
  selected_ = 0;
  ShowSelection();
}

void KSModul::ShowSelection() {
  IModelWindows* w = Windows();
  if (!w) return;
  if (boxView_) w->InvalidateView(boxView_);
  UpdateOwnCtrlViews();
}
void KSModul::DeselectAll() {
  Walk([](KSModul* m) { m->Deselect(); });
}

bool KSModul::IsSelectedInPanel(bool ensPanel) const {
  // A control inside a macro is selected on a panel when the macro is.
  for (const KSModul* m = this; m; m = m->parent_) {
    if (m->IsSelected() && (ensPanel ? m->IsVisibleInEns() : m->IsVisibleInInstr())) return true;
    if (!m->parent_ || m->parent_->IsCategory(kCatInstrument)) break;
  }
  return false;
}

KSModul* KSModul::GetSingleSelected() {
  KSModul* found = nullptr;
  int32_t count = 0;
  Walk([&](KSModul* m) {
    if (m->IsSelected()) {
      found = m;
      ++count;
    }
  });
  return count == 1 ? found : nullptr;
}

KInstr* KSModul::GetSelectedInstrument() {
  KInstr* candidate = nullptr;
  bool any = false, mixed = false;
  Walk([&](KSModul* m) {
    if (!m->IsSelected()) return;
    KInstr* own = m->GetOwnerInstr();
    if (!any) candidate = own;
    else if (candidate != own) mixed = true;
    any = true;
  });
  if (mixed) return nullptr;
  return any ? candidate : GetOwnerInstr();
}

// ---------------------------------------------------------------------------
// Panel presence

KSModul* KSModul::GetPanelModule(int32_t i) const {
  return panelModules_ && i >= 0 && i < panelCount_ ? panelModules_[i] : nullptr;
}

void KSModul::AddPanelModule(KSModul* module) {
  if (panelCount_ >= kMaxPanelModules || !module) return;
  if (!panelModules_) panelModules_ = std::make_unique<KSModul*[]>(kMaxPanelModules);
  panelModules_[panelCount_++] = module;
}

void KSModul::RemovePanelModule(KSModul* module) {
  for (int32_t i = 0; i < panelCount_; ++i) {
    if (panelModules_[i] != module) continue;
    for (int32_t j = i; j + 1 < panelCount_; ++j) panelModules_[j] = panelModules_[j + 1];
    panelModules_[--panelCount_] = nullptr;
    return;
  }
}

void KSModul::SetDisplaySize(TPnt size) {
  displaySize_ = TPnt(size.X() / 4 * 4, size.Y() / 4 * 4);
  displayBuffer_.assign(size_t(displaySize_.X() > 0 ? displaySize_.X() : 0), 0.0f);
}

float* KSModul::GetDisplayBuffer() {
  if (displayBuffer_.empty() && displaySize_.X() > 0) displayBuffer_.assign(size_t(displaySize_.X()), 0.0f);
  return displayBuffer_.data();
}

void KSModul::ClearDisplayBuffer() {
  for (float& v : displayBuffer_) v = FLT_MAX;
}

// ---------------------------------------------------------------------------
// Class-wide settings

int32_t KSModul::GetCreateBackups() { return ClassSettings().createBackups; }
void KSModul::SetCreateBackups(int32_t on) { ClassSettings().createBackups = on; }
int32_t KSModul::GetReloadLastEns() { return ClassSettings().reloadLastEns; }
void KSModul::SetReloadLastEns(int32_t on) { ClassSettings().reloadLastEns = on; }
void KSModul::StoreSettings() {
  WriteSettingInt(TStr("CreateBackups"), uint32_t(ClassSettings().createBackups));
  WriteSettingInt(TStr("ReloadLastEns"), uint32_t(ClassSettings().reloadLastEns));
}

namespace {
// "Backup of " + the file's name, in the same folder, of the same type.
void NameBackup(const IFileName& file, TFileName& backup) {
  backup.SetFolder(file.GetFolder());
  backup.SetName(TStr("Backup of ") + file.GetName(0));
  backup.SetType(file.GetType());
}
} // namespace

void KSModul::MakeBackup(IFileName* file) {
  // Only a file is moved aside: a folder of that name stays where it is.
  if (!file || !file->Exists() || platform::KindOf(file->GetPath().Std()) != platform::EntryKind::File) return;
  TFileName backup;
  NameBackup(*file, backup);
  backup.Remove();
  // The caller's name stays the file it is about to write.
  TFileName moving;
  moving.SetFolder(file->GetFolder());
  moving.SetName(file->GetName(0));
  moving.SetType(file->GetType());
  moving.Rename(&backup);
}

void KSModul::RemoveBackup(IFileName* file) {
  if (!file || GetCreateBackups() != 0) return;
  TFileName backup;
  NameBackup(*file, backup);
  backup.Remove();
}
