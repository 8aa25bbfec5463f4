// Repairs after an ensemble was read: Audio Ins and Outs stored inside
// macros or with more channels than the driver has, and the warnings for
// ensembles of the old full-scale range.
#include "src/mod/ensemble.h"
#include "src/mod/instr.h"
#include "src/mod/mod.h"
#include "src/mod/moddata.h"
#include "src/mod/modfile.h"

namespace {

QV_MESSAGE(NestedAudio, "Audio Ins/Outs inside of macros\nor instruments are no longer supported.\nInvalid Audio Outs have been deleted.");
QV_MESSAGE(ImpossibleWires, "The Audio In/Out in the loaded ensemble has more\ninputs/outputs than the active Audio In/Out.\nImpossible wires have been deleted.");
QV_MESSAGE(OldTapedeck, "Warning. You are opening an old ensemble which contains\na Tapedeck module. The full scale range was greater in\nthe old version of Pellucide (-4.096 ... 4.096).\nIt is now -1 ... 1, so you may need to reduce\nthe record level to avoid clipping.");
QV_MESSAGE(OldLevel, "Warning. You are opening an old ensemble without\nan Audio-Out level fader. The full scale range for\nAudio-Out was greater in the old version of\nPellucide (-4.096 ... 4.096). It is now -1 ... 1, so you\nmay need to reduce the output signal level to avoid clipping.");

bool IsAudioOutType(const KSModul* m) {
  return m->IsType(kTypeOldAudioOutA) || m->IsType(kTypeOldAudioOutB) || m->IsType(kTypeOldAudioOutC) ||
         m->IsType(kTypeAudioOut);
}

int32_t LoadMark(const KSModul* m) { return m->GetData() ? m->GetData()->loadMark : 0; }

void ClearLoadMark(KSModul* m) {
  if (m->GetData()) m->GetData()->loadMark = 0;
}

KEnsemble* EnsembleOf(KSModul* m) { return dynamic_cast<KEnsemble*>(m->GetHost()); }

// Puts a fresh driver module of the type in place of a loaded one: the wires
// of the loaded one move to the ports of the same number; 2 when some could
// not.
int32_t ReplaceLoaded(KSModul* parent, KSModul* loaded, TModuleType type) {
  KEnsemble* ens = EnsembleOf(parent);
  int32_t result = 0;
  TStructureChange change(parent);
  if (ens) {
    KSModul* current = type == kTypeAudioIn ? ens->GetAudioInModule() : ens->GetAudioOutModule();
    if (current && current != loaded) parent->DeleteChild(current);
  }
  KSModul* fresh = parent->InsertModule(type, kPlaceNext);
  if (!fresh) return 2;
  fresh->SetPos(loaded->GetPos());
  if (ens) {
    if (type == kTypeAudioIn) ens->SetAudioInModule(fresh);
    else ens->SetAudioOutModule(fresh);
  }
  if (loaded->IsMuted()) fresh->Mute();
  if (type == kTypeAudioIn) {
    for (int32_t j = 0; j < loaded->GetOutPortCount(); ++j) {
      KOutPort* from = loaded->GetOutPort(j);
      while (from->GetDestinationCount() > 0) {
        KInPort* dest = from->GetDestination(0);
        from->Disconnect(dest);
        if (KOutPort* to = fresh->GetOutPort(j)) dest->Connect(to);
        else result = 2;
      }
    }
  } else {
    for (int32_t i = 0; i < loaded->GetInPortCount(); ++i) {
      KInPort* from = loaded->GetInPort(i);
      while (from->GetWireCount() > 0) {
        KOutPort* source = from->GetSource(0);
        from->RemoveWire(source);
        if (!source) break;
        if (KInPort* to = fresh->GetInPort(i)) to->Connect(source);
        else result = 2;
      }
    }
  }
  parent->DeleteChild(loaded);
  return result;
}

// The loaded one takes the place of the ensemble's own, which it matches.
void TakePlace(KSModul* parent, KSModul* loaded, KSModul* current, bool in) {
  KEnsemble* ens = EnsembleOf(parent);
  TStructureChange change(parent);
  if (current && current != loaded) parent->DeleteChild(current);
  ClearLoadMark(loaded);
  if (ens) {
    if (in) ens->SetAudioInModule(loaded);
    else ens->SetAudioOutModule(loaded);
  }
  loaded->MarkDriverChannels();
}

int32_t Repair(KSModul* node) {
  int32_t result = 0;
  KEnsemble* ens = EnsembleOf(node);
  for (int32_t i = 0; i < node->GetChildCount();) {
    KSModul* child = node->GetChild(i);
    const int32_t mark = LoadMark(child);
    if (mark == 0) {
      result |= Repair(child);
      ++i;
      continue;
    }
    if (mark == 1) {
      node->DeleteChild(child);
      result |= 1;
      continue;
    }
    if (IsAudioOutType(child)) {
      KSModul* current = ens ? ens->GetAudioOutModule() : nullptr;
      if (child->IsType(kTypeAudioOut) && current && current->GetInPortCount() == child->GetInPortCount()) {
        TakePlace(node, child, current, false);
      } else {
        result |= ReplaceLoaded(node, child, kTypeAudioOut);
      }
    } else {
      KSModul* current = ens ? ens->GetAudioInModule() : nullptr;
      if (!current) {
        node->DeleteChild(child);
        result |= 2;
        continue;
      }
      if (current->GetOutPortCount() == child->GetOutPortCount()) TakePlace(node, child, current, true);
      else result |= ReplaceLoaded(node, child, kTypeAudioIn);
    }
    // Children may have moved: start the walk again; repaired modules carry no mark.
    i = 0;
  }
  return result;
}

bool IsFader(const KSModul* m) { return m && m->IsType(kTypeFader); }

int32_t Warn(KSModul* m) {
  int32_t result = 0;
  if (IsAudioOutType(m)) {
    KInPort* level = nullptr;
    for (int32_t i = 0; i < m->GetInPortCount(); ++i)
      if (m->GetInPort(i)->GetLabel() == TStr("Lvl")) level = m->GetInPort(i);
    if (level && level->GetWireCount() == 1 && level->GetSource(0) && IsFader(level->GetSource(0)->GetOwner())) {
      KSModul* fader = level->GetSource(0)->GetOwner();
      fader->SetControlRange(fader->GetMinimum() - 12.0f, fader->GetMidiLower(), fader->GetMaximum() - 12.0f,
                             fader->GetMidiUpper(), float(fader->GetStepSize()));
      result = 1;
    }
  } else if (m->IsType(kTypeTapedeck1) || m->IsType(kTypeTapedeck2)) {
    result = 2;
  }
  for (int32_t i = 0; i < m->GetChildCount(); ++i) result |= Warn(m->GetChild(i));
  return result;
}

} // namespace

int32_t KModulFile::RepairLoadedStructure(KSModul& top, bool announce) {
  const int32_t result = Repair(&top);
  if (result & 1) KSModul::ShowModelMessage(NestedAudio());
  else if (result & 2) KSModul::ShowModelMessage(ImpossibleWires());
  else if (announce)
    if (KEnsemble* ens = EnsembleOf(&top)) ens->MarkClean();
  return result;
}

void KModulFile::AdoptLoadedAudioModules(KSModul& top) {
  KEnsemble* ens = EnsembleOf(&top);
  if (!ens) return;
  for (int32_t i = 0; i < top.GetChildCount(); ++i) {
    KSModul* child = top.GetChild(i);
    if (LoadMark(child) != 2) continue;
    if (child->IsType(kTypeAudioOut) && !ens->GetAudioOutModule()) ens->SetAudioOutModule(child);
    else if (child->IsType(kTypeAudioIn) && !ens->GetAudioInModule()) ens->SetAudioInModule(child);
    else continue;
    child->MarkDriverChannels();
  }
}

int32_t KModulFile::WarnOldEnsemble(KSModul& top) {
  if (top.GetRecordVersion() > kLastVersionWithWideFullScale) return -1;
  const int32_t result = Warn(&top);
  if (result & 2) KSModul::ShowModelMessage(OldTapedeck());
  else if (result == 0) KSModul::ShowModelMessage(OldLevel());
  else if (KEnsemble* ens = EnsembleOf(&top)) ens->MarkClean();
  return result;
}
