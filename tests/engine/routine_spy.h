// Catches the events a module sends: its event outputs are wired to the level
// inputs of a "Mixer 3", whose event routines are replaced by recorders.
#pragma once

#include "tests/engine/routine_rig.h"

#include "src/engine/event_ids.h"
#include "src/engine/routine_registry.h"

#include <initializer_list>
#include <vector>

namespace rig {

struct TSent {
  int32_t voice;
  float value;
};

inline std::vector<TSent>& Sent(int32_t input) {
  static std::vector<TSent> sent[3];
  return sent[input];
}

template <int Input> void Record(TEngineRecord*, int32_t voice, float value) {
  Sent(Input).push_back({voice, value});
}

// Values sent to one input, voice by voice in arrival order.
inline std::vector<float> Values(int32_t input) {
  std::vector<float> v;
  for (const TSent& s : Sent(input)) v.push_back(s.value);
  return v;
}

class TEventSpy {
public:
  TEventSpy() {
    RoutineTables().event[evLevel1] = Record<0>;
    RoutineTables().event[evLevel1 + 1] = Record<1>;
    RoutineTables().event[evLevel1 + 2] = Record<2>;
    Clear();
  }
  ~TEventSpy() { Clear(); }
  static void Clear() {
    for (int i = 0; i < 3; ++i) Sent(i).clear();
  }
  // Makes the spy module and keeps it processed.
  KSModul* Attach(TRig& r) {
    KSModul* m = r.Add(kTypeMixer3);
    r.Wire(m, "Out", r.out, "R");
    return m;
  }
  // A module of the type whose event outputs go to the spy's inputs 0, 1,
  // 2 in order; wired, ready and with nothing recorded yet.
  KSModul* Watch(TRig& r, TModuleType type, std::initializer_list<const char*> outputs) {
    KSModul* m = r.Add(type);
    KSModul* catcher = Attach(r);
    int32_t k = 0;
    for (const char* label : outputs) r.Wire(m, label, catcher, Input(k++));
    r.Ready();
    Clear();
    return m;
  }
  static const char* Input(int32_t k) {
    static const char* const labels[3] = {"Lvl1", "Lvl2", "Lvl3"};
    return labels[k];
  }

private:
  testhost::TRoutinePatch patch_;
};

} // namespace rig
