// Display-update routines of lamps, meters, level meters and graphs.
#include "src/engine/display_routines.h"

#include <atomic>

#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/voice_state.h"

namespace {

using routines::LoadShared;
using routines::StoreShared;

std::atomic<IPanelHost*> panelHost{nullptr};

void Refresh(TEngineRecord* r) {
  if (IPanelHost* host = panelHost.load(std::memory_order_acquire)) host->RefreshControlViews(r->module);
}

constexpr int32_t kLampInputWord = QV_WORD_AT(LampState, input);
constexpr int32_t kLampLitWord = QV_WORD_AT(LampState, lit);
constexpr int32_t kMeterInputWord = QV_WORD_AT(MeterState, input);
constexpr int32_t kMeterValueWord = QV_WORD_AT(MeterState, value);
constexpr int32_t kLevelPeakWord = QV_WORD_AT(LevelLampState, peak);
static_assert(QV_WORD_AT(LevelLampState, lit) == kLampLitWord, "both lamps keep their state in one word");
static_assert(QV_WORD_AT(MeterState, value) == kLevelPeakWord, "level meters and level lamps hold the peak alike");

// On the audio thread, after every block: the watched output is a plain
// word of the module that computes it; the display's own copy is shared.
template <int32_t Word, int32_t Input> void PublishInput(TEngineRecord* r) {
  if (!r->inputs || !r->state || r->voices < 1 || r->audioInputs <= Input || r->stateWords <= Word) return;
  StoreShared(r->state[0][Word].f, *r->inputs[0][Input]);
}

// Lights the lamp word when low < v <= high; refreshes on a change.
void SetLamp(TEngineRecord* r, bool lit) {
  int32_t& word = r->state[0][kLampLitWord].i;
  if (LoadShared(word) == int32_t(lit)) return;
  StoreShared(word, int32_t(lit));
  Refresh(r);
}

bool InRange(float v, float low, float high) { return low < v && v <= high; }

// The held peak power decays by a quarter per refresh; the guard keeps it
// off the denormal range (it settles near 4e-12 in silence).
void DecayPeak(TEngineRecord* r) {
  float& peak = r->state[0][kLevelPeakWord].f;
  StoreShared(peak, LoadShared(peak) * 0.75f + 1e-12f);
}

void Lamp(TEngineRecord* r) {
  const float v = LoadShared(r->state[0][kLampInputWord].f);
  // The range may change under the engine lock while the panel reads it.
  const float low = LoadShared(r->params[kLampLowParam].f), high = LoadShared(r->params[kLampHighParam].f);
  SetLamp(r, InRange(v, low, high));
}

void LevelLamp(TEngineRecord* r) {
  const TVoiceWords w = r->state[0];
  SetLamp(r, InRange(LoadShared(w[QV_WORD_AT(LevelLampState, peak)].f),
                     LoadShared(w[QV_WORD_AT(LevelLampState, low)].f),
                     LoadShared(w[QV_WORD_AT(LevelLampState, high)].f)));
  DecayPeak(r);
}

void Meter(TEngineRecord* r) {
  const float v = LoadShared(r->state[0][kMeterInputWord].f);
  float& shown = r->state[0][kMeterValueWord].f;
  if (LoadShared(shown) == v) return;
  StoreShared(shown, v);
  Refresh(r);
}

void Level(TEngineRecord* r) {
  Refresh(r);
  DecayPeak(r);
}

void GraphRefresh(TEngineRecord* r) {
  IPanelHost* host = panelHost.load(std::memory_order_acquire);
  if (host && host->IsGraphMarked(r->module)) host->RefreshControlViews(r->module);
}

} // namespace

IPanelHost* SetPanelHost(IPanelHost* host) { return panelHost.exchange(host, std::memory_order_acq_rel); }
IPanelHost* GetPanelHost() { return panelHost.load(std::memory_order_acquire); }

void InstallDisplayRoutines(TRoutineTables& t) {
  t.display[kTypeLamp] = Lamp;
  t.display[kTypeLampTwin] = Lamp;
  t.display[kTypeLevelLamp] = LevelLamp;
  t.display[kTypeMeter] = Meter;
  t.display[kTypeLevelMeter] = Level;
  t.displayWatch[kTypeLamp] = PublishInput<kLampInputWord, LampIn::kIn>;
  t.displayWatch[kTypeLampTwin] = PublishInput<kLampInputWord, LampIn::kIn>;
  t.displayWatch[kTypeMeter] = PublishInput<kMeterInputWord, MeterIn::kIn>;
  t.display.Fill(
      {kTypeHoldEnv, kTypeHoldReleaseEnv, kTypeAttackReleaseEnv, kTypeDecayEnv, kTypeDecayReleaseEnv, kTypeDsrEnv,
        kTypeAdsrEnv, kTypeAdbdrEnv, kTypeOnePoleFilterFm, kTypeTwoPoleFilterFm, kTypeFourPoleFilterFm, kTypePeakEqFm,
        kTypeHiShelfEqFm, kTypeLoShelfEqFm, kTypeTwoPoleNotchFm, kTypeEventShaper3, kTypeEventShaper4, kTypeShaper1Bp,
        kTypeShaper2Bp, kTypeShaper3Bp, kTypeEventShaper5, kTypeParabolShaper, kTypeCubicShaper, kTypeDbdrEnv,
        kTypeAdbdsrEnv, kTypeFourPoleHighPassFm, kTypeAttackDecayEnv, kTypeFourPoleFilter, kTypeFourPoleHighPass,
        kTypeOnePoleFilter, kTypeScope, kTypeTwoPoleFilter, kTypeTwoPoleNotch, kTypePeakEq, kTypeHiShelfEq,
        kTypeLoShelfEq, kTypeRamp4Env, kTypeRamp5Env, kTypeRamp6Env, kTypeDbdsrEnv, kTypeAdrEnv},
      GraphRefresh);
}
