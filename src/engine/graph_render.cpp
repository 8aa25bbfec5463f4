// Panel graph renderers. They run on the GUI thread and read the engine's
// voice-0 coefficients without the lock; a curve that mixes two updates is
// corrected by the next redraw.
#include "src/engine/graph_render.h"

#include <atomic>
#include <cmath>

#include "src/engine/display_routines.h"
#include "src/engine/module_types.h"
#include "src/engine/routine_util.h"
#include "src/engine/tables.h"

namespace {

// The coefficients a renderer reads from voice 0: each word is copied once,
// as a relaxed atomic load, when the renderer asks for it. Words the audio
// thread keeps changing (integrators, outputs) are never touched.
class TCoefficients {
public:
  explicit TCoefficients(const TEngineRecord* r)
      : sr(EngineConstants.processingRate > 0.0f ? EngineConstants.processingRate : 44100.0f),
        words_(r->state && r->voices > 0 ? r->state[0] : TVoiceWords{}), count_(r->stateWords) {}
  float F(int32_t k) const {
    TWord w;
    w.i = I(k);
    return w.f;
  }
  int32_t I(int32_t k) const { return words_ && k < count_ ? routines::LoadShared(words_[k].i) : 0; }

  const float sr;  // the processing rate

private:
  TVoiceWords words_;
  int32_t count_;
};

std::atomic<TScopeReadout> scopeReadout{nullptr};

// ---------------------------------------------------------------------------
// Time axis: a duration T in seconds lies at (ln T + 6.9078) x 0.05429, so
// 1 ms is at 0; positions below 1e-5 become 1e-5.

constexpr double kOffGraph = 10000.0;

double TimeX(double seconds) {
  if (!(seconds > 0.0)) return 1e-5;
  const double x = (std::log(seconds) + 6.9078) * 0.05429;
  return x < 1e-5 ? 1e-5 : x;
}

// Duration of a linear stage that advances by `step` per sample.
double StepX(float step, float sr) {
  if (!(step > 0.0f)) return kOffGraph;
  return TimeX(1.0 / (double(step) * double(sr)));
}

// Duration of an exponential stage with factor c per sample.
double FactorX(float c, float sr) {
  if (!(c > 0.9f)) return 1e-5;
  const double k = -std::log(double(c));
  if (!(k > 0.0)) return kOffGraph;
  return TimeX(1.0 / double(sr) / k);
}

// e^u through the pitch table (0 once the index falls below the table).
double E(double u) { return PitchLookup(float(1200.0 + 86.5617 * u)); }

// Release start: 1 - 2 x XR, at least 0.5 and at least `after`.
double ReleaseStart(double xr, double after) {
  double xs = 1.0 - 2.0 * xr;
  if (xs < 0.5) xs = 0.5;
  if (xs < after) xs = after;
  return xs;
}

// Draws an envelope: `before(x)` up to the release start xs, then the level
// of the last column before xs decaying with the release length xr.
template <class Before>
void DrawEnvelope(float* columns, int32_t n, int32_t h, double xs, double xr, Before before) {
  double last = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const double x = double(i) / double(n);
    double level;
    if (x < xs) {
      level = before(x);
      last = level;
    } else {
      level = last * E((xs - x) / xr);
    }
    columns[i] = float(level * double(h - 1));
  }
}

enum {
  eDecay = 1, eRelease = 2, eAttackUnit = 3, eSustain = 4, eKneeRate = 12, eKneeFraction = 13
};

void HoldEnvelope(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double xh = TimeX(double(c.I(4)) / double(c.sr));
  for (int32_t i = 0; i < n; ++i) columns[i] = double(i) / double(n) < xh ? float(h - 1) : 0.0f;
}

void HoldReleaseEnvelope(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double xh = TimeX(double(c.I(4)) / double(c.sr));
  const double xr = FactorX(c.F(eRelease), c.sr);
  for (int32_t i = 0; i < n; ++i) {
    const double x = double(i) / double(n);
    columns[i] = float((x < xh ? 1.0 : E((xh - x) / xr)) * double(h - 1));
  }
}

void DecayEnvelope(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double xd = FactorX(c.F(eDecay), c.sr);
  for (int32_t i = 0; i < n; ++i) columns[i] = float(E(-(double(i) / double(n)) / xd) * double(h - 1));
}

void AttackDecayEnvelope(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double xa = StepX(c.F(3), c.sr);
  const double xd = FactorX(c.F(eDecay), c.sr);
  for (int32_t i = 0; i < n; ++i) {
    const double x = double(i) / double(n);
    columns[i] = float((x < xa ? x / xa : E((xa - x) / xd)) * double(h - 1));
  }
}

// The gate-driven envelopes with one decay.
template <bool Attacks, bool Decays, bool Sustains>
void GateEnvelope(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double xa = Attacks ? StepX(c.F(eAttackUnit), c.sr) : 0.0;
  const double xd = FactorX(c.F(eDecay), c.sr);
  const double xr = FactorX(c.F(eRelease), c.sr);
  const double s = Sustains ? double(c.F(eSustain)) : 0.0;
  const double xs = ReleaseStart(xr, xa);
  DrawEnvelope(columns, n, h, xs, xr, [&](double x) {
    if (Attacks && x < xa) return x / xa;
    if (!Decays) return 1.0;
    return (1.0 - s) * E((xa - x) / xd) + s;
  });
}

// The knee types: a linear first decay to the knee fraction B over X1, then
// an exponential decay (to 0 or to the sustain level).
template <bool Attacks, bool Sustains>
void KneeEnvelope(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double xa = Attacks ? StepX(c.F(eAttackUnit), c.sr) : 0.0;
  const double x1 = StepX(c.F(eKneeRate), c.sr);
  const double xd = FactorX(c.F(eDecay), c.sr);
  const double xr = FactorX(c.F(eRelease), c.sr);
  const double b = c.F(eKneeFraction);
  const double s = Sustains ? double(c.F(eSustain)) : 0.0;
  const double xb = xa + (1.0 - b) * x1;
  const double xs = ReleaseStart(xr, (!Attacks && Sustains) ? xb + xd : xb);
  DrawEnvelope(columns, n, h, xs, xr, [&](double x) {
    if (Attacks && x < xa) return x / xa;
    if (x < xb) return 1.0 - (x - xa) / x1;
    return (b - s) * E((xb - x) / xd) + s;
  });
}

// Multi-ramp envelopes: straight lines from 0 to level 1 over X1, from
// level k-1 to level k over Xk, flat up to the release start, then down to
// 0 over XR.
template <int M> void RampEnvelope(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  double ends[M + 1] = {0.0};
  double levels[M + 1] = {0.0};
  for (int k = 1; k <= M; ++k) {
    ends[k] = ends[k - 1] + StepX(c.F(4 + 2 * k), c.sr);
    levels[k] = c.F(5 + 2 * k);
  }
  const double xr = StepX(c.F(5), c.sr);
  double xs = 1.0 - xr;
  if (xs < ends[M]) xs = ends[M];
  for (int32_t i = 0; i < n; ++i) {
    const double x = double(i) / double(n);
    double level;
    if (x >= xs) {
      level = levels[M] * (1.0 - (x - xs) / xr);
      if (level < 0.0) level = 0.0;
    } else if (x >= ends[M]) {
      level = levels[M];
    } else {
      int k = 1;
      while (k < M && x >= ends[k]) ++k;
      const double span = ends[k] - ends[k - 1];
      level = levels[k - 1] + (levels[k] - levels[k - 1]) * (span > 0.0 ? (x - ends[k - 1]) / span : 1.0);
    }
    columns[i] = float(level * double(h - 1));
  }
}

// ---------------------------------------------------------------------------
// Frequency axis: column i stands for 10 x 2^(10.96578428466 i/n) Hz; the
// value is 2 ln|H| mapped so that 0 dB lies at 60 % of the height and the
// height spans 30 dB per pixel row count.

constexpr double kOctaves = 10.96578428466;
constexpr double kMaxOmega = 3.1;

double Omega(int32_t i, int32_t n, float sr) {
  return std::exp2(kOctaves * double(i) / double(n)) * 62.831856 / double(sr);
}

double Column(double v, int32_t h) { return double(h - 1) * (0.6 + 0.14476483 * v); }

// ln of a power ratio with the floor of the graphs.
double LogRatio(double num, double den) {
  if (!(den >= 1e-12)) return 100.0;
  const double ratio = num / den;
  return ratio < 1e-12 ? -100.0 : std::log(ratio);
}

template <class Response> void DrawResponse(float* columns, int32_t n, int32_t h, float sr, Response response) {
  for (int32_t i = 0; i < n; ++i) {
    const double w = Omega(i, n, sr);
    columns[i] = w > kMaxOmega ? kNoColumnValue : float(Column(response(std::cos(w), std::sin(w)), h));
  }
}

// The cutoff coefficient: the ready one of the grid types, or the P
// frequency x 6.283/sr held to the resonance limit (and at least 1e-12).
double Cutoff(const TCoefficients& c, bool ready) {
  if (ready) return c.F(0);
  double f = double(c.F(0)) * double(EngineConstants.omegaOverRate);
  if (f > double(c.F(5))) f = c.F(5);
  if (!(f >= 1e-12)) f = 1e-12;
  return f;
}

// |1 + c2 z^-1 + c1 z^-2|^2 on the unit circle.
double Denominator(double f, double q, double co, double si) {
  const double c1 = 1.0 - q * f;
  const double c2 = (f + q) * f - 2.0;
  const double re = c1 * (co * co - si * si) + c2 * co + 1.0;
  const double im = (-2.0 * c1 * co - c2) * si;
  return re * re + im * im;
}

template <bool Ready> void OnePole(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  double a = c.F(0);
  if (!Ready) {
    a *= double(EngineConstants.omegaOverRate);
    a = a < 0.0 ? 0.0 : a > 1.0 ? 1.0 : a;
  }
  const double b = a - 1.0;
  DrawResponse(columns, n, h, c.sr, [&](double co, double si) {
    return LogRatio(a * a, (b * co + 1.0) * (b * co + 1.0) + (b * si) * (b * si));
  });
}

template <bool Ready> void TwoPole(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double f = Cutoff(c, Ready), q = c.F(4);
  DrawResponse(columns, n, h, c.sr, [&](double co, double si) {
    return LogRatio(f * f * f * f, Denominator(f, q, co, si));
  });
}

// The notch output: numerator 1 + (f^2 - 2) z^-1 + z^-2, whose magnitude on
// the unit circle is |2 cos w + f^2 - 2|.
template <bool Ready> void Notch(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double f = Cutoff(c, Ready), q = c.F(4);
  DrawResponse(columns, n, h, c.sr, [&](double co, double si) {
    const double num = 2.0 * co + f * f - 2.0;
    return LogRatio(num * num, Denominator(f, q, co, si));
  });
}

template <bool Ready> void FourPole(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double f = Cutoff(c, Ready), q = c.F(4);
  DrawResponse(columns, n, h, c.sr, [&](double co, double si) {
    return 2.0 * LogRatio(f * f * f * f, Denominator(f, q, co, si));
  });
}

template <bool Ready> void FourPoleHigh(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double f = Cutoff(c, Ready), q = c.F(4);
  DrawResponse(columns, n, h, c.sr, [&](double co, double si) {
    const double zero = (1.0 - co) * (1.0 - co) + si * si;
    return 2.0 * LogRatio(zero * zero, Denominator(f, q, co, si));
  });
}

template <bool Ready> void PeakEq(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double f = Cutoff(c, Ready), q = c.F(4), k = c.F(3);
  const double c1 = 1.0 - q * f;
  const double n2 = ((1.0 - k) * q + f) * f - 2.0;
  const double n0 = k * q * f + 1.0;
  DrawResponse(columns, n, h, c.sr, [&](double co, double si) {
    const double re = c1 * (co * co - si * si) + n2 * co + n0;
    const double im = (-2.0 * c1 * co - n2) * si;
    return LogRatio(re * re + im * im, Denominator(f, q, co, si));
  });
}

// The shelf coefficient: ready in word 6, else P x scale held to the limit.
double ShelfCoefficient(const TCoefficients& c, bool ready) {
  double g = ready ? double(c.F(6)) : double(c.F(0)) * double(c.F(4));
  if (!ready && g > double(c.F(5))) g = c.F(5);
  return g >= 0.0 ? g : 0.0;
}

template <bool Ready> void HiShelf(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double g = ShelfCoefficient(c, Ready), b = c.F(1);
  DrawResponse(columns, n, h, c.sr, [&](double co, double si) {
    const double re = co * (b + 1.0) + g - b - 1.0, im = si * (b + 1.0);
    const double dre = co + g - 1.0;
    return LogRatio(re * re + im * im, dre * dre + si * si);
  });
}

template <bool Ready> void LoShelf(const TCoefficients& c, float* columns, int32_t n, int32_t h) {
  const double g = ShelfCoefficient(c, Ready), b = c.F(3);
  DrawResponse(columns, n, h, c.sr, [&](double co, double si) {
    const double re = co * (b * g + 1.0) + g - 1.0, im = si * (b * g + 1.0);
    const double dre = co + g - 1.0;
    return LogRatio(re * re + im * im, dre * dre + si * si);
  });
}

void Scope(const TEngineRecord* r, float* columns, int32_t n, int32_t h) {
  TScopeReadout readout = scopeReadout.load(std::memory_order_acquire);
  for (int32_t i = 0; i < n; ++i) {
    const float x = n > 1 ? float(i) / float(n - 1) : 0.0f;
    const float v = readout ? readout(r, x) : kNoColumnValue;
    columns[i] = v == kNoColumnValue ? kNoColumnValue : (v + 1.0f) * float(h - 1) * 0.5f;
  }
}

using TRenderer = void (*)(const TCoefficients& c, float* columns, int32_t n, int32_t h);

TRenderer RendererOf(int32_t type) {
  switch (type) {
  case kTypeHoldEnv.type: return HoldEnvelope;
  case kTypeHoldReleaseEnv.type: return HoldReleaseEnvelope;
  case kTypeDecayEnv.type: return DecayEnvelope;
  case kTypeAttackDecayEnv.type: return AttackDecayEnvelope;
  case kTypeAttackReleaseEnv.type: return GateEnvelope<true, false, false>;
  case kTypeAdrEnv.type: return GateEnvelope<true, true, false>;
  case kTypeAdsrEnv.type: return GateEnvelope<true, true, true>;
  case kTypeDecayReleaseEnv.type: return GateEnvelope<false, true, false>;
  case kTypeDsrEnv.type: return GateEnvelope<false, true, true>;
  case kTypeDbdrEnv.type: return KneeEnvelope<false, false>;
  case kTypeDbdsrEnv.type: return KneeEnvelope<false, true>;
  case kTypeAdbdrEnv.type: return KneeEnvelope<true, false>;
  case kTypeAdbdsrEnv.type: return KneeEnvelope<true, true>;
  case kTypeRamp4Env.type: return RampEnvelope<3>;
  case kTypeRamp5Env.type: return RampEnvelope<4>;
  case kTypeRamp6Env.type: return RampEnvelope<5>;
  case kTypeOnePoleFilterFm.type: return OnePole<false>;
  case kTypeOnePoleFilter.type: return OnePole<true>;
  case kTypeTwoPoleFilterFm.type: return TwoPole<false>;
  case kTypeTwoPoleFilter.type: return TwoPole<true>;
  case kTypeTwoPoleNotchFm.type: return Notch<false>;
  case kTypeTwoPoleNotch.type: return Notch<true>;
  case kTypeFourPoleFilterFm.type: return FourPole<false>;
  case kTypeFourPoleFilter.type: return FourPole<true>;
  case kTypeFourPoleHighPassFm.type: return FourPoleHigh<false>;
  case kTypeFourPoleHighPass.type: return FourPoleHigh<true>;
  case kTypePeakEqFm.type: return PeakEq<false>;
  case kTypePeakEq.type: return PeakEq<true>;
  case kTypeHiShelfEqFm.type: return HiShelf<false>;
  case kTypeHiShelfEq.type: return HiShelf<true>;
  case kTypeLoShelfEqFm.type: return LoShelf<false>;
  case kTypeLoShelfEq.type: return LoShelf<true>;
  default: return nullptr;
  }
}

// The shapers draw no curve of their own.
bool IsEmptyCurve(int32_t type) {
  for (TModuleType t : {kTypeEventShaper3, kTypeEventShaper4, kTypeShaper1Bp, kTypeShaper2Bp, kTypeShaper3Bp,
                        kTypeEventShaper5, kTypeParabolShaper, kTypeCubicShaper})
    if (t.type == type) return true;
  return false;
}

// The table entry: renders into the panel's buffer of the module.
void TableRenderer(TEngineRecord* r) {
  IPanelHost* host = GetPanelHost();
  if (!host || !r || !r->module) return;
  const TGraphColumns area = host->GetGraphColumns(r->module);
  if (area.values && area.width > 0) RenderGraph(r->module->GetTypeIndex(), r, area.values, area.width, area.height);
}

} // namespace

bool RenderGraph(int32_t type, const TEngineRecord* record, float* columns, int32_t width, int32_t height) {
  if (type == kTypeScope.type) {
    if (record && columns && width > 0) Scope(record, columns, width, height);
    return true;
  }
  if (IsEmptyCurve(type)) return true;
  TRenderer renderer = RendererOf(type);
  if (!renderer) return false;
  if (!record || !columns || width <= 0) return true;
  renderer(TCoefficients(record), columns, width, height);
  return true;
}

double GraphColumnHz(int32_t column, int32_t width) {
  return 10.0 * std::exp2(kOctaves * double(column) / double(width));
}

double GraphColumnDecibels(float value, int32_t height) {
  return (double(value) / double(height - 1) - 0.6) * 30.0;
}

void SetScopeReadout(TScopeReadout readout) { scopeReadout.store(readout, std::memory_order_release); }

void InstallGraphRenderers(TRoutineTables& t) {
  t.graph.ForEachIndex([&t](TModuleKey key) {
    const int32_t type = key.Index();
    if (RendererOf(type) || IsEmptyCurve(type) || type == kTypeScope.type) t.graph[key] = TableRenderer;
  });
}
