// Prints the time the engine takes per second of audio for a saw into a
// resonant low pass, while it sounds and while its tail decays: the two
// should be alike (a tail in the denormal range would be many times slower).
#include "bench/host.h"

#include "platform/sys.h"
#include "src/engine/engine.h"
#include "src/engine/voice_state.h"
#include "src/mod/instr.h"

#include <cstdio>
#include <vector>

namespace {

int32_t InIndex(KSModul* m, const char* label) {
  for (int32_t i = 0; i < m->GetInPortCount(); ++i)
    if (m->GetInPort(i)->GetLabel() == TStr(label)) return i;
  return 0;
}

int32_t OutIndex(KSModul* m, const char* label) {
  for (int32_t i = 0; i < m->GetOutPortCount(); ++i)
    if (m->GetOutPort(i)->GetLabel() == TStr(label)) return i;
  return 0;
}

void Wire(KSModul* from, const char* out, KSModul* to, const char* in) {
  to->GetInPort(InIndex(to, in))->Connect(from->GetOutPort(OutIndex(from, out)));
}

double SecondsFor(bench::TTreeHost& host, int32_t seconds) {
  std::vector<float> in(2 * 512, 0.0f), out(2 * 512);
  const uint64_t start = platform::MonotonicNs();
  for (int32_t block = 0; block < seconds * 44100 / 512; ++block) host.Driver().Render(in.data(), out.data(), 512);
  return double(platform::MonotonicNs() - start) * 1e-9;
}

} // namespace

int main() {
  bench::TTreeHost host;
  host.Top()->GetOwnInstr()->SetVoiceCount(16);
  KSModul* top = host.Top();
  KSModul *saw, *filter, *mix;
  {
    TStructureChange bracket(top);
    host.audioOut = top->InsertModule(kTypeAudioOut, kPlaceAudioOut);
    saw = top->InsertModule(kTypeSawFm, kPlaceNext);
    filter = top->InsertModule(kTypeTwoPoleFilterFm, kPlaceNext);
    mix = top->InsertModule(kTypeAudioVoiceCombiner, kPlaceNext);
    Wire(saw, "Out", filter, "In");
    Wire(filter, "LP", mix, "In");
    Wire(mix, "Out", host.audioOut, "L");
  }
  host.Driver().EnableOutput(0);
  float amplitude = 0.5f, zero = 0.0f;
  TEngineRecord* s = saw->GetEngineRecord();
  TEngineRecord* f = filter->GetEngineRecord();
  const int32_t a = saw->GetInPort(InIndex(saw, "A"))->GetIndexField();
  for (int32_t v = 0; v < s->voices; ++v) {
    s->state[v][QV_WORD_AT(OscState, pitch)].f = 55.0f * float(v + 1);
    s->inputs[v][a] = &amplitude;
    f->state[v][QV_WORD_AT(SvfState, cutoff)].f = 3000.0f;
    f->state[v][QV_WORD_AT(SvfState, damping)].f = 0.05f;
    f->state[v][QV_WORD_AT(SvfState, limit)].f = 1.0f;
  }
  ResolveAudioInput(s, a);
  const double sounding = SecondsFor(host, 5);
  for (int32_t v = 0; v < s->voices; ++v) s->inputs[v][a] = &zero;
  ResolveAudioInput(s, a);
  const double tail = SecondsFor(host, 5);
  std::printf("16 voices saw into 2-pole filter: %.3f ms per second sounding, %.3f ms per second of tail\n",
              sounding * 1000.0 / 5.0, tail * 1000.0 / 5.0);
  host.audioOut = nullptr;
  return 0;
}
