// Display-update routines of lamps, meters, level meters and graphs.
#include "src/engine/display_routines.h"

#include <atomic>

#include "src/engine/routine_util.h"

namespace {

using routines::LoadShared;
using routines::StoreShared;

std::atomic<IPanelHost*> panelHost{nullptr};

void Refresh(TEngineRecord* r) {
  if (IPanelHost* host = panelHost.load(std::memory_order_acquire)) host->RefreshControlViews(r->module);
}

// The value on the first audio input, copied once.
float InputValue(const TEngineRecord* r) { return LoadShared(*r->inputs[0][0]); }

// Lights the lamp word when low < v <= high; refreshes on a change.
void SetLamp(TEngineRecord* r, bool lit) {
  int32_t& word = r->state[0][0].i;
  if (LoadShared(word) == int32_t(lit)) return;
  StoreShared(word, int32_t(lit));
  Refresh(r);
}

bool InRange(float v, float low, float high) { return low < v && v <= high; }

// The held peak power decays by a quarter per refresh; the guard keeps it
// off the denormal range (it settles near 4e-12 in silence).
void DecayPeak(TEngineRecord* r) {
  float& peak = r->state[0][1].f;
  StoreShared(peak, LoadShared(peak) * 0.75f + 1e-12f);
}

void Lamp(TEngineRecord* r) {
  SetLamp(r, InRange(InputValue(r), r->params[kLampLowParam].f, r->params[kLampHighParam].f));
}

void LevelLamp(TEngineRecord* r) {
  const TWord* w = r->state[0];
  SetLamp(r, InRange(LoadShared(w[1].f), LoadShared(w[2].f), LoadShared(w[3].f)));
  DecayPeak(r);
}

void Meter(TEngineRecord* r) {
  const float v = InputValue(r);
  float& shown = r->state[0][1].f;
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
  t.display[152] = Lamp;
  t.display[153] = Lamp;
  t.display[199] = LevelLamp;
  t.display[155] = Meter;
  t.display[154] = Level;
  for (int32_t type : {32, 33, 34, 35, 36, 37, 38, 39, 40, 42, 43, 44, 45, 46, 47, 51, 52, 62, 63, 64, 65, 66, 67,
                       95, 97, 111, 132, 137, 144, 146, 165, 171, 172, 175, 176, 177, 183, 184, 185, 191, 192})
    t.display[type] = GraphRefresh;
}
