#include "src/mod/mod.h"
const KModulDef* KSModul::GetTypeDef() const { return nullptr; }
void KSModul::ApplyTypeDef(const KModulDef*) {}
void KSModul::ApplyTypeState(const KModulDef*, bool) {}
void KSModul::ApplyDriverChannels() {}
void KInPort::InitFromDef(const KPortDef&) {}
void KInPort::RefreshFromDef(const KPortDef&) {}
void KInPort::SetKind(const KPortDef&) {}
void KOutPort::InitFromDef(const KPortDef&) {}
void KOutPort::RefreshFromDef(const KPortDef&) {}
void KOutPort::SetKind(const KPortDef&) {}
