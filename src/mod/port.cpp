// The port's own records: its wires by source, its destinations, and the two
// out-ports a solo sends to the Audio Out. What needs the module tree is in
// wiring.cpp.
#include "src/mod/port.h"

// The two out-ports a solo sends to the Audio Out; a port that goes away
// stops being one.
namespace {
KOutPort* soloSources[2] = {nullptr, nullptr};
} // namespace

// ---------------------------------------------------------------------------
// KInPort

void KInPort::SetSoloSources(KOutPort* first, KOutPort* second) {
  soloSources[0] = first;
  soloSources[1] = second;
}

KOutPort* KInPort::GetSoloSource(int32_t i) { return i == 0 || i == 1 ? soloSources[i] : nullptr; }

KInPort::KInPort(KSModul* owner) : KPort(owner) {
  for (int32_t i = 0; i < kMaxWires; ++i) sourceChild_[i] = sourcePort_[i] = -1;
}

KInPort::~KInPort() {
  DestructorBody([this] {
    while (wireCount_ > 0) {
      KOutPort* source = sources_[wireCount_ - 1];
      if (source) {
        DropWire(source);
      } else {
        --wireCount_;
        sourceChild_[wireCount_] = sourcePort_[wireCount_] = -1;
      }
    }
  });
}

bool KInPort::CanConnect(KOutPort* source) const {
  if (!source || source->GetOwner() == owner_) return false;
  if (IsAudioKind(source->GetKind()) && IsEventKind(kind_)) return false;
  return true;
}

int32_t KInPort::Connect(KOutPort* source) {
  if (!CanConnect(source)) return 1;
  return AddWire(source) ? 0 : 1;
}

bool KInPort::AddWireRecord(int32_t child, int32_t port) {
  if (wireCount_ >= kMaxWires) return false;
  sources_[wireCount_] = nullptr;
  wireViews_[wireCount_] = nullptr;
  sourceChild_[wireCount_] = child;
  sourcePort_[wireCount_] = port;
  ++wireCount_;
  return true;
}

void KInPort::RenumberSources(KSModul* removedChild, int32_t childIndex, KSModul* portOwner, int32_t portIndex) {
  for (int32_t i = 0; i < wireCount_; ++i) {
    if (removedChild && sourceChild_[i] > childIndex) --sourceChild_[i];
    if (portOwner && sources_[i] && sources_[i]->GetOwner() == portOwner && sourcePort_[i] > portIndex)
      --sourcePort_[i];
  }
}

// ---------------------------------------------------------------------------
// KOutPort

KOutPort::KOutPort(KSModul* owner) : KPort(owner) {}

KOutPort::~KOutPort() {
  // No bracket here: a port goes away with its module, inside the caller's bracket.
  DestructorBody([this] {
    for (auto& solo : soloSources)
      if (solo == this) solo = nullptr;
    while (destCount_ > 0) {
      int32_t before = destCount_;
      dests_[0]->DropWire(this);
      if (destCount_ == before) RemoveDestination(dests_[0]);
    }
  });
}

bool KOutPort::CanConnect(KInPort* destination) const { return destination && destination->CanConnect(const_cast<KOutPort*>(this)); }

int32_t KOutPort::Connect(KInPort* destination) {
  if (!CanConnect(destination)) return 1;
  return destination->AddWire(this) ? 0 : 1;
}

void KOutPort::Disconnect(KInPort* destination) {
  if (destination) destination->RemoveWire(this);
}

void KOutPort::DisconnectAll() {
  while (destCount_ > 0) {
    int32_t before = destCount_;
    dests_[0]->RemoveWire(this);
    if (destCount_ == before) RemoveDestination(dests_[0]);
  }
}

void KOutPort::RemoveDestination(KInPort* destination) {
  for (int32_t i = 0; i < destCount_; ++i) {
    if (dests_[i] != destination) continue;
    for (int32_t j = i; j + 1 < destCount_; ++j) dests_[j] = dests_[j + 1];
    dests_[--destCount_] = nullptr;
    return;
  }
}
