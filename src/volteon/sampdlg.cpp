#include "src/volteon/sampdlg.h"

#include "src/volteon/propdlg_layout.h"

#include "src/audio/samplemap.h"
#include "src/audio/soundpool.h"
#include "src/base/file.h"
#include "src/base/str.h"
#include "src/base/system.h"
#include "src/engine/audioio.h"
#include "src/mod/mod.h"
#include "src/mod/modaudio.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

constexpr int32_t kKeyMax = 127;
constexpr int32_t kDetuneRange = 100;
constexpr int32_t kGainMin = -48, kGainMax = 18;
constexpr int32_t kPanRange = 100;
constexpr float kPanScale = 0.01f;
constexpr int32_t kDirectionCount = 2, kQualityCount = 3;
// File dialog kinds of the file-name service.
constexpr int kMapOrAudioFiles = 10, kAudioFiles = 9, kMapFiles = 6;
// Sound-file states shown in the list.
constexpr int32_t kStateRestored = 1, kStateMissing = 2, kStateTooLarge = 3;

constexpr TSamplerLook kLooks[] = {
    {prpdlg::kSampler, true, false, true, false, true, false, true, nullptr},
    {prpdlg::kSamplerLoop, true, true, true, true, true, false, true, nullptr},
    {prpdlg::kGrainLoop, false, true, true, true, true, true, true, "Signal - Informed Re-Synthesis"},
    {prpdlg::kWaveTable, false, true, true, true, false, true, true, nullptr},
    {prpdlg::kBeatWarp, false, true, false, false, true, true, false, "Align Phase"},
};


// Runs work; an error is recorded and reported as false.
template <class F> bool Try(F work) {
  try {
    work();
    return true;
  } catch (const TError&) {
  } catch (const std::exception&) {
    RecordCurrentException();
  }
  return false;
}

} // namespace

const TSamplerLook* FindSamplerLook(int32_t resourceId) {
  for (const TSamplerLook& look : kLooks)
    if (look.resourceId == resourceId) return &look;
  return nullptr;
}

// ---------------------------------------------------------------- construction

TSamplerPrp::TSamplerPrp(KSModul* module, int32_t resourceId) : TModPrp(module, resourceId), module_(module) {
  BindLabel();
  BindInfo();
  ShowInstrument();
  ShowVoices();
  BindMono();
  BindMute();
  BindBackupSound();
  BindVisibleInInstr();
  BindVisibleInEns();
  map_ = module->GetSampleMap();
  if (map_) current_ = map_->GetCurrent() ? map_->GetCurrent() : map_->GetAt(0);
}

void TSamplerPrp::CreateControls(const TSamplerLook& look) {
  using namespace sampid;
  load_ = CreateCtrlerButton(this, kLoad, Handler(this, &TSamplerPrp::Load));
  add_ = CreateCtrlerButton(this, kAdd, Handler(this, &TSamplerPrp::Add));
  save_ = CreateCtrlerButton(this, kSave, Handler(this, &TSamplerPrp::Save));
  sort_ = CreateCtrlerButton(this, kSort, {});
  replace_ = CreateCtrlerButton(this, kReplace, Handler(this, &TSamplerPrp::Replace));
  delete_ = CreateCtrlerButton(this, kDelete, Handler(this, &TSamplerPrp::Delete));
  edit_ = CreateCtrlerButton(this, kEdit, Handler(this, &TSamplerPrp::Edit));
  reload_ = CreateCtrlerButton(this, kReload, Handler(this, &TSamplerPrp::Reload));
  applyToAll_ = CreateCtrlerButton(this, kApplyToAll, Handler(this, &TSamplerPrp::ApplyToAll));

  IAudioFileMapEntry* e = current_;
  if (look.oscilMode)
    bind_.oscilMode =
        CreateCtrlerBoolean(this, prpid::kOscilMode, module_->IsOscilMode(), Handler(this, &TSamplerPrp::OscilModeClicked));
  if (look.noStereo)
    noStereo_ = CreateCtrlerBoolean(this, prpid::kNoStereo, map_ ? map_->GetNoStereo() : 0,
                                    Handler(this, &TSamplerPrp::NoStereoClicked));
  if (look.loop) {
    bind_.loop = CreateCtrlerBoolean(this, prpid::kLoop, e ? e->GetLoopOn() : 0, Handler(this, &TSamplerPrp::LoopClicked));
    alternating_ = CreateCtrlerBoolean(this, prpid::kAlternatingLoop, e ? e->GetAlternatingLoop() : 0,
                                       Handler(this, &TSamplerPrp::AlternatingClicked));
  }
  if (look.loopInRelease)
    loopInRelease_ = CreateCtrlerBoolean(this, prpid::kLoopInRelease, e ? e->GetLoopInRelease() : 0,
                                         Handler(this, &TSamplerPrp::LoopInReleaseClicked));
  if (look.resynthesis)
    resynthesis_ = CreateCtrlerBoolean(this, prpid::kResynthesis, e ? e->GetResynthesis() : 0,
                                       Handler(this, &TSamplerPrp::ResynthesisClicked));

  leftSplit_ = new TSliderParam(this, kLeftSplitText, kLeftSplitBar, kLeftSplitDown, kLeftSplitUp, 0,
                                TStr("Left Split: "), TStr(), Handler(this, &TSamplerPrp::LeftSplitChanged), 0,
                                kKeyMax, 1);
  if (look.rootKeyDetune) {
    rootKey_ = new TSliderParam(this, kRootKeyText, kRootKeyBar, kRootKeyDown, kRootKeyUp, 0, TStr("Root Key: "),
                                TStr(), Handler(this, &TSamplerPrp::RootKeyChanged), 0, kKeyMax, 1);
    detune_ = new TSliderParam(this, kDetuneText, kDetuneBar, kDetuneDown, kDetuneUp, 0, TStr("Detune: "),
                               TStr(" Cent"), Handler(this, &TSamplerPrp::DetuneChanged), -kDetuneRange,
                               kDetuneRange, 0);
  }
  if (look.gainPan) {
    gain_ = new TSliderParam(this, kGainText, kGainBar, kGainDown, kGainUp, 0, TStr("Gain: "), TStr(" dB"),
                             Handler(this, &TSamplerPrp::GainChanged), kGainMin, kGainMax, 0);
    pan_ = new TSliderParam(this, kPanText, kPanBar, kPanDown, kPanUp, 0, TStr("Pan: "), TStr(),
                            Handler(this, &TSamplerPrp::PanChanged), -kPanRange, kPanRange, 0);
  }
  list_ = CreateCtrlerList(this, kList, Handler(this, &TSamplerPrp::ListSelected));
  if (look.direction)
    bind_.direction = CreateCtrlerSwitch(this, prpid::kDirection, kDirectionCount, e ? e->GetDirection() : 0,
                                         Handler(this, &TSamplerPrp::DirectionClicked));
  bind_.quality = CreateCtrlerSwitch(this, prpid::kQuality, kQualityCount, module_->GetQuality(),
                                     Handler(this, &TSamplerPrp::QualityClicked));
  UpdateControls();
  UpdateList();
}

// ---------------------------------------------------------------- list and controls

IAudioFileMapEntry* TSamplerPrp::EntryAt(int32_t index) const {
  return map_ && index >= 0 && index < map_->GetCount() ? map_->GetAt(index) : nullptr;
}

void TSamplerPrp::CheckCurrent() {
  if (current_ && (!map_ || map_->IndexOf(current_) < 0)) current_ = nullptr;
}

TStr TSamplerPrp::LineText(IAudioFileMapEntry* entry) {
  const int32_t split = entry->GetLeftSplit();
  TStr line = FormatStr("%ld ", long(split)) + TStr(" (") + FormatNoteName(split) + TStr(") - ");
  IAudioFileBuf* sound = entry->GetSoundFile();
  if (sound && sound->GetFileName()) line = line + sound->GetFileName()->GetName(1);
  switch (sound ? sound->GetState() : 0) {
  case kStateMissing: line = line + TStr(" (missing)"); break;
  case kStateTooLarge: line = line + TStr(" (too large)"); break;
  case kStateRestored: line = line + TStr(" (restored)"); break;
  default: break;
  }
  return line;
}

void TSamplerPrp::UpdateList() {
  if (!list_) return;
  list_->Clear();
  int32_t selected = -1;
  const int32_t count = map_ ? map_->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    IAudioFileMapEntry* entry = map_->GetAt(i);
    if (entry == current_) selected = i;
    list_->AddItem(LineText(entry));
  }
  list_->Select(selected);
}

void TSamplerPrp::UpdateControls() {
  const int32_t count = map_ ? map_->GetCount() : 0;
  IAudioFileMapEntry* e = current_;
  const int has = e ? 1 : 0;
  if (save_) save_->SetEnabled(count >= 1);
  if (sort_) sort_->SetEnabled(0);
  if (applyToAll_) applyToAll_->SetEnabled(count >= 2);
  for (ICtrlerButton* b : {replace_, delete_, edit_, reload_})
    if (b) b->SetEnabled(has);
  if (bind_.direction) {
    bind_.direction->SetEnabled(has);
    bind_.direction->SetPosition(e ? e->GetDirection() : 0);
  }
  auto box = [has](ICtrlerBoolean* b, int value) {
    if (!b) return;
    b->SetEnabled(has);
    b->SetValue(value);
  };
  box(bind_.loop, e ? e->GetLoopOn() : 0);
  box(alternating_, e ? e->GetAlternatingLoop() : 0);
  box(loopInRelease_, e ? e->GetLoopInRelease() : 1);
  box(resynthesis_, e ? e->GetResynthesis() : 1);
  auto slider = [](TSliderParam* s, int enabled, int32_t value) {
    if (!s) return;
    s->Enable(enabled);
    s->SetValue(value);
  };
  const int pitch = has && !module_->IsOscilMode();
  slider(leftSplit_, has, e ? e->GetLeftSplit() : 0);
  slider(rootKey_, pitch, e ? e->GetRootKey() : 0);
  slider(detune_, pitch, e ? e->GetDetune() : 0);
  slider(gain_, has, e ? e->GetGain() : 0);
  slider(pan_, has, e ? int32_t(std::lround(e->GetPan() / kPanScale)) : 0);
}

void TSamplerPrp::Refresh() {
  module_->SetCtrlStyle(module_->GetCtrlStyle());
  UpdateList();
  UpdateControls();
}

// ---------------------------------------------------------------- commands

void TSamplerPrp::Load() {
  if (!map_) return;
  EPtr<IFileName> file(CreateFileName());
  if (!file->OpenDialog(TStr("Open Map-File or Audio-File"), AudioWorkFolder(), kMapOrAudioFiles)) return;
  CommitUndo();
  {
    TAudioCommand command(module_);
    const bool ok = Try([&] { map_->Load(file.Get()); });
    current_ = ok ? map_->GetAt(0) : nullptr;
    if (!ok) ShowLastError();
  }
  Refresh();
}

void TSamplerPrp::Add() {
  if (!map_) return;
  EPtr<IFileName> file(CreateFileName());
  if (!file->OpenDialog(TStr("Add Audio-File to Map"), AudioWorkFolder(), kAudioFiles)) return;
  CommitUndo();
  {
    TAudioCommand command(module_);
    if (Try([&] {
          map_->Add(file.Get());
          current_ = map_->GetAt(map_->GetCount() - 1);
        })) {
    } else {
      CheckCurrent();
      ShowLastError();
    }
  }
  Refresh();
}

void TSamplerPrp::Save() {
  if (!map_ || map_->GetCount() < 1) return;
  EPtr<IFileName> file(CreateFileName());
  if (!file->SaveDialog(TStr("Save Sample-Map"), AudioWorkFolder(), kMapFiles)) return;
  {
    TAudioCommand command(module_);
    if (!Try([&] { map_->Save(file.Get()); })) ShowLastError();
  }
  Refresh();
}

void TSamplerPrp::Replace() {
  if (!map_ || !current_) return;
  EPtr<IFileName> file(CreateFileName());
  if (!file->OpenDialog(TStr("Replace Audio-File"), AudioWorkFolder(), kAudioFiles)) return;
  CommitUndo();
  const int32_t position = map_->IndexOf(current_);
  {
    TAudioCommand command(module_);
    const bool ok = Try([&] {
      current_->SetSoundFile(file.Get());
      current_ = EntryAt(position);
    });
    if (!ok) {
      current_ = nullptr;
      ShowLastError();
    }
  }
  Refresh();
}

void TSamplerPrp::Delete() {
  if (!map_ || !current_) return;
  CommitUndo();
  int32_t position = map_->IndexOf(current_);
  {
    TAudioCommand command(module_);
    const bool ok = Try([&] { map_->Remove(current_); });
    if (position >= map_->GetCount()) position = map_->GetCount() - 1;
    // The entry at the same place is the next one, or the previous one when
    // the last went; after a failure the same rule finds an entry that is
    // certainly still in the map.
    current_ = EntryAt(position);
    if (!ok) ShowLastError();
  }
  Refresh();
}

void TSamplerPrp::Edit() {
  if (!current_ || !current_->GetSoundFile()) return;
  TAudioPause pause(module_);
  if (!Try([&] { current_->GetSoundFile()->EditExternally(); })) ShowLastError();
}

// Reading the sound again replaces the samples the engine plays from: a
// paused driver may still be inside a block, so the reload holds the
// module's bracket (and with it the engine lock) as the model's own reload
// command does.
void TSamplerPrp::Reload() {
  if (!current_ || !current_->GetSoundFile()) return;
  bool ok = true;
  {
    TAudioCommand command(module_);
    ok = Try([&] { current_->GetSoundFile()->Reload(); });
  }
  if (!ok) ShowLastError();
}

void TSamplerPrp::ApplyToAll() {
  if (!map_ || !current_) return;
  CommitUndo();
  TLockGuard guard(EngineCriticalSection());
  const int32_t loop = current_->GetLoopOn(), alternating = current_->GetAlternatingLoop(),
                release = current_->GetLoopInRelease(), direction = current_->GetDirection();
  for (int32_t i = 0; i < map_->GetCount(); ++i) {
    IAudioFileMapEntry* other = map_->GetAt(i);
    if (other == current_) continue;
    other->SetLoopOn(loop);
    other->SetAlternatingLoop(alternating);
    other->SetLoopInRelease(release);
    other->SetDirection(direction);
  }
}

// ---------------------------------------------------------------- immediate edits

template <class F> void TSamplerPrp::EditEntry(F write) {
  if (!current_) return;
  CommitUndo();
  TLockGuard guard(EngineCriticalSection());
  write(current_);
}

void TSamplerPrp::NoStereoClicked() {
  if (!map_ || !noStereo_) return;
  CommitUndo();
  TLockGuard guard(EngineCriticalSection());
  map_->SetNoStereo(noStereo_->GetValue());
}

void TSamplerPrp::OscilModeClicked() {
  CommitUndo();
  module_->SetOscilMode(bind_.oscilMode->GetValue() != 0);
  UpdateControls();
}

void TSamplerPrp::QualityClicked() {
  CommitUndo();
  module_->SetQuality(bind_.quality->GetPosition());
}

void TSamplerPrp::LoopClicked() {
  EditEntry([this](IAudioFileMapEntry* e) { e->SetLoopOn(bind_.loop->GetValue()); });
}
void TSamplerPrp::AlternatingClicked() {
  EditEntry([this](IAudioFileMapEntry* e) { e->SetAlternatingLoop(alternating_->GetValue()); });
}
void TSamplerPrp::LoopInReleaseClicked() {
  EditEntry([this](IAudioFileMapEntry* e) { e->SetLoopInRelease(loopInRelease_->GetValue()); });
}
void TSamplerPrp::ResynthesisClicked() {
  EditEntry([this](IAudioFileMapEntry* e) { e->SetResynthesis(resynthesis_->GetValue()); });
}
void TSamplerPrp::DirectionClicked() {
  EditEntry([this](IAudioFileMapEntry* e) { e->SetDirection(bind_.direction->GetPosition()); });
}
void TSamplerPrp::LeftSplitChanged() {
  if (!current_) return;
  EditEntry([this](IAudioFileMapEntry* e) { e->SetLeftSplit(leftSplit_->GetValue()); });
  UpdateList();
}
void TSamplerPrp::RootKeyChanged() {
  EditEntry([this](IAudioFileMapEntry* e) { e->SetRootKey(rootKey_->GetValue()); });
}
void TSamplerPrp::DetuneChanged() {
  EditEntry([this](IAudioFileMapEntry* e) { e->SetDetune(detune_->GetValue()); });
}
void TSamplerPrp::GainChanged() {
  EditEntry([this](IAudioFileMapEntry* e) { e->SetGain(gain_->GetValue()); });
}
void TSamplerPrp::PanChanged() {
  EditEntry([this](IAudioFileMapEntry* e) { e->SetPan(float(pan_->GetValue()) * kPanScale); });
}

void TSamplerPrp::ListSelected() {
  if (!list_ || !map_) return;
  for (int32_t i = 0; i < list_->GetCount(); ++i)
    if (list_->IsSelected(i))
      if (IAudioFileMapEntry* e = EntryAt(i)) current_ = e;
  UpdateControls();
}

// ---------------------------------------------------------------- classes

TSamplerAndSamplerFMPrp::TSamplerAndSamplerFMPrp(KSModul* m) : TSamplerPrp(m, prpdlg::kSampler) {
  CreateControls(*FindSamplerLook(prpdlg::kSampler));
}
TSamplerLoopPrp::TSamplerLoopPrp(KSModul* m) : TSamplerPrp(m, prpdlg::kSamplerLoop) {
  CreateControls(*FindSamplerLook(prpdlg::kSamplerLoop));
}
TGrainLoopPrp::TGrainLoopPrp(KSModul* m) : TSamplerPrp(m, prpdlg::kGrainLoop) {
  CreateControls(*FindSamplerLook(prpdlg::kGrainLoop));
}
TWaveTablePrp::TWaveTablePrp(KSModul* m) : TSamplerPrp(m, prpdlg::kWaveTable) {
  CreateControls(*FindSamplerLook(prpdlg::kWaveTable));
}
TBeatWarpPrp::TBeatWarpPrp(KSModul* m) : TSamplerPrp(m, prpdlg::kBeatWarp) {
  CreateControls(*FindSamplerLook(prpdlg::kBeatWarp));
}

// ---------------------------------------------------------------- templates

namespace {

using prplay::TLayout;
constexpr int32_t kSamplerW = 283;
constexpr int32_t kRowButtonW = 50, kStepButtonW = 14, kBarH = 14, kListH = 52;

void ButtonRow(TLayout& l, const prplay::TLabelled& buttons) {
  int32_t x = prplay::kInset;
  for (const auto& [id, text] : buttons) {
    l.Add(DlgButton(id, text, x, l.Y(), kRowButtonW, prplay::kButtonH));
    x += kRowButtonW + 4;
  }
  l.Skip(prplay::kButtonH + 4);
}

void SliderRow(TLayout& l, int32_t textId, int32_t downId, int32_t barId, int32_t upId) {
  const int32_t w = l.Width() - 2 * prplay::kInset;
  l.Add(DlgStatic(textId, "", prplay::kInset, l.Y(), w, 8));
  l.Skip(10);
  l.Add(DlgButton(downId, "<", prplay::kInset, l.Y(), kStepButtonW, kBarH));
  l.Add(DlgSlider(barId, prplay::kInset + kStepButtonW + 2, l.Y(), w - 2 * (kStepButtonW + 2), kBarH));
  l.Add(DlgButton(upId, ">", prplay::kInset + w - kStepButtonW, l.Y(), kStepButtonW, kBarH));
  l.Skip(kBarH + 3);
}

// A group of check boxes or radio buttons in one column at (x, y).
int32_t SmallGroup(TLayout& l, const char* title, int32_t x, int32_t y, int32_t w, const prplay::TLabelled& items,
                   bool radio) {
  const int32_t h = prplay::kGroupTitle + int32_t(items.size()) * prplay::kCheckRow + prplay::kGroupEnd;
  l.Add(DlgGroup(title, x, y, w, h));
  int32_t iy = y + prplay::kGroupTitle;
  for (size_t i = 0; i < items.size(); ++i) {
    const auto& [id, text] = items[i];
    if (radio) l.Add(DlgRadio(id, text, x + 6, iy, w - 10, prplay::kCheckH, i == 0 ? dlgflag::kGroup : 0));
    else l.Add(DlgCheck(id, text, x + 6, iy, w - 10, prplay::kCheckH));
    iy += prplay::kCheckRow;
  }
  return h;
}

void SamplerTemplate(const TSamplerLook& look) {
  using namespace sampid;
  TLayout l(look.resourceId, kSamplerW);
  l.Begin("General");
  l.Field("Label", prpid::kLabel);
  l.Field("Instrument", prpid::kInstrument);
  l.Field("Info", prpid::kInfo);
  l.Field("Voices", prpid::kVoices);
  l.Checks({{prpid::kMono, "Mono"}, {prpid::kMute, "Mute"}, {prpid::kVisibleInInstr, "Visible in Instrument"},
            {prpid::kVisibleInEns, "Visible in Ensemble"}},
           2);
  l.End();
  l.Begin("Sample Map");
  ButtonRow(l, {{kLoad, "Load"}, {kAdd, "Add"}, {kSort, "Sort"}, {kSave, "Save"}});
  l.Add(DlgList(kList, prplay::kInset, l.Y(), l.Width() - 2 * prplay::kInset, kListH));
  l.Skip(kListH);
  l.End();
  l.Begin("Selected Sample");
  ButtonRow(l, {{kReplace, "Replace"}, {kDelete, "Delete"}, {kEdit, "Edit"}, {kReload, "Reload"}});
  SliderRow(l, kLeftSplitText, kLeftSplitDown, kLeftSplitBar, kLeftSplitUp);
  if (look.rootKeyDetune) {
    SliderRow(l, kRootKeyText, kRootKeyDown, kRootKeyBar, kRootKeyUp);
    SliderRow(l, kDetuneText, kDetuneDown, kDetuneBar, kDetuneUp);
  }
  if (look.gainPan) {
    SliderRow(l, kGainText, kGainDown, kGainBar, kGainUp);
    SliderRow(l, kPanText, kPanDown, kPanBar, kPanUp);
  }
  if (look.resynthesis) l.Checks({{prpid::kResynthesis, look.resynthesis}}, 1);
  l.End();

  // Along the bottom: Module, Quality, Direction, Loop side by side.
  prplay::TLabelled module;
  if (look.noStereo) module.push_back({prpid::kNoStereo, "No Stereo"});
  module.push_back({prpid::kBackupSound, "Backup Sound"});
  if (look.oscilMode) module.push_back({prpid::kOscilMode, "Oscil. Mode"});
  prplay::TLabelled loop;
  if (look.loop) {
    loop.push_back({prpid::kLoop, "On / Off"});
    loop.push_back({prpid::kAlternatingLoop, "Alternating Loop"});
  }
  if (look.loopInRelease) loop.push_back({prpid::kLoopInRelease, "Loop in Release"});
  const int32_t y = l.Y();
  int32_t x = prplay::kMargin, tallest = 0;
  const int32_t gap = 4, moduleW = 70, qualityW = 54, directionW = 56;
  const int32_t loopW = kSamplerW - 2 * prplay::kMargin - moduleW - qualityW - directionW - 3 * gap;
  tallest = std::max(tallest, SmallGroup(l, "Module", x, y, moduleW, module, false));
  x += moduleW + gap;
  tallest = std::max(tallest, SmallGroup(l, "Quality", x, y, qualityW,
                                         {{prpid::kQuality, "Poor"}, {prpid::kQuality + 1, "Good"},
                                          {prpid::kQuality + 2, "Excellent"}},
                                         true));
  x += qualityW + gap;
  if (look.direction)
    tallest = std::max(tallest, SmallGroup(l, "Direction", x, y, directionW,
                                           {{prpid::kDirection, "Forward"}, {prpid::kDirection + 1, "Backward"}},
                                           true));
  x += directionW + gap;
  if (!loop.empty()) tallest = std::max(tallest, SmallGroup(l, "Loop", x, y, loopW, loop, false));
  l.Skip(tallest + prplay::kGroupGap);
  l.Add(DlgButton(kApplyToAll, "Apply to all Samples in Map", prplay::kMargin, l.Y() + 2, 110, prplay::kButtonH));
  RegisterDlgTemplate(l.Finish(false));
}

} // namespace

void RegisterSamplerTemplates() {
  for (const TSamplerLook& look : kLooks) SamplerTemplate(look);
}
