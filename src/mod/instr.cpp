#include "src/mod/instr.h"

#include "src/mod/mod.h"

KInstr::KInstr(KSModul* owner) : owner_(owner), voices_(owner && owner->GetParent() ? 6 : 1) {}

void KInstr::SetVoiceCount(int32_t voices) {
  voices_ = voices < 1 ? 1 : voices > kMaxVoices ? kMaxVoices : voices;
}
