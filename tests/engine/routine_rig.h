// A small ensemble for routine tests: modules are inserted and wired through
// the model, the block loop runs through the offline driver, the Audio In's
// left channel carries the test signal and the Audio Out's left channel is
// read back. Constant inputs point at cells the rig owns.
#pragma once

#include "tests/engine/testhost.h"

#include "src/engine/engine.h"
#include "src/engine/voice_state.h"
#include "src/mod/instr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace rig {

inline int32_t InIndex(KSModul* m, const char* label) {
  for (int32_t i = 0; i < m->GetInPortCount(); ++i)
    if (m->GetInPort(i)->GetLabel() == TStr(label)) return i;
  ADD_FAILURE() << "no in-port " << label;
  return 0;
}

inline int32_t OutIndex(KSModul* m, const char* label) {
  for (int32_t i = 0; i < m->GetOutPortCount(); ++i)
    if (m->GetOutPort(i)->GetLabel() == TStr(label)) return i;
  ADD_FAILURE() << "no out-port " << label;
  return 0;
}

class TRig {
public:
  explicit TRig(float sampleRate = 44100.0f, int32_t voices = 1) : host(sampleRate) {
    host.Top()->GetOwnInstr()->SetVoiceCount(voices);
    TStructureChange bracket(host.Top());
    out = host.Top()->InsertModule(kTypeAudioOut, kPlaceAudioOut);
    host.audioOut = out;
    in = host.Top()->InsertModule(kTypeAudioIn, kPlaceAudioIn);
    host.audioIn = in;
  }
  ~TRig() { host.audioIn = host.audioOut = nullptr; }

  KSModul* Add(TModuleType type) { return host.Top()->InsertModule(type, kPlaceNext); }
  void Wire(KSModul* from, const char* outLabel, KSModul* to, const char* inLabel) {
    ASSERT_EQ(to->GetInPort(InIndex(to, inLabel))->Connect(from->GetOutPort(OutIndex(from, outLabel))), 0)
        << outLabel << " -> " << inLabel;
  }
  void WireAt(KSModul* from, const char* outLabel, KSModul* to, int32_t inPort) {
    ASSERT_EQ(to->GetInPort(inPort)->Connect(from->GetOutPort(OutIndex(from, outLabel))), 0) << outLabel;
  }
  // The module's output to the left channel of the Audio Out.
  void Listen(KSModul* from, const char* outLabel) { Wire(from, outLabel, out, "L"); }
  // The test signal (left input channel) into an input.
  void Feed(KSModul* to, const char* inLabel) { Wire(in, "L", to, inLabel); }

  // A module of the type heard on the output, ready to run.
  KSModul* Solo(TModuleType type, const char* outLabel) {
    KSModul* m = Add(type);
    Listen(m, outLabel);
    Ready();
    return m;
  }

  // Call once the wiring is done: opens the output at unit gain. Rebuilding
  // clears every state, so states are set after this.
  void Ready() {
    host.Driver().EnableOutput(0);
    host.Driver().EnableOutput(1);
    Words(out)[QV_WORD_AT(AudioOutState<2>, master)].f = 1.0f;
  }

  // Points an input of every voice at a cell the rig owns; returns the cell.
  float& Constant(KSModul* m, const char* inLabel, float value) {
    float& cell = cells_.emplace_back(value);
    const int32_t pointer = m->GetInPort(InIndex(m, inLabel))->GetIndexField();
    TEngineRecord* r = m->GetEngineRecord();
    for (int32_t v = 0; v < r->voices; ++v) r->inputs[v][pointer] = &cell;
    ResolveAudioInput(r, pointer);
    return cell;
  }

  TEngineRecord* Record(KSModul* m) { return m->GetEngineRecord(); }
  TVoiceWords Words(KSModul* m, int32_t voice = 0) { return m->GetEngineRecord()->state[voice]; }
  // The voice's words as one record (the types laid out voice-major).
  TWord* Contiguous(KSModul* m, int32_t voice = 0) { return m->GetEngineRecord()->state.Contiguous(voice); }

  // Runs frames with the given left-channel input (silence when empty);
  // returns the left output channel.
  std::vector<float> Render(int32_t frames, const std::vector<float>& left = {}) {
    std::vector<float> input(size_t(frames) * 2, 0.0f), output(size_t(frames) * 2, 0.0f);
    for (size_t i = 0; i < left.size() && i < size_t(frames); ++i) input[2 * i] = left[i];
    host.Driver().Render(input.data(), output.data(), frames);
    std::vector<float> result(static_cast<size_t>(frames));
    for (size_t i = 0; i < result.size(); ++i) result[i] = output[2 * i];
    return result;
  }

  testhost::THost host;
  KSModul* out = nullptr;
  KSModul* in = nullptr;

private:
  std::deque<float> cells_;
};

} // namespace rig
