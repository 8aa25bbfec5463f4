// Children joining a structure: a module made from its type or read from an
// instrument or macro file is added, placed and shown in the windows.
#include "src/mod/mod.h"
#include "src/mod/modfile.h"
#include "src/mod/modwnd.h"
#include "src/mod/undokind.h"

QV_MESSAGE(NoMoreInTerminals, "No more In-Terminals in this module allowed.")
QV_MESSAGE(TooManyPorts, "Too many ports.")

KSModul* KSModul::AddCreatedChild(int32_t mode) {
  KSModul* child = newChild_;
  if (!child || childCount_ >= kMaxChildren) return nullptr;
  newChild_ = nullptr;
  {
    TStructureChange bracket(this);
    if (child->IsCategory(kCatInTerminal) || child->IsCategory(kCatOutTerminal)) {
      bool in = child->IsCategory(kCatInTerminal);
      int32_t count = in ? inCount_ : outCount_;
      if (count >= kMaxPorts - 1) {
        // Refused: the terminal never joins the tree and is destroyed.
        ShowModelMessage(in ? NoMoreInTerminals() : TooManyPorts());
        delete child;
        return nullptr;
      }
      if (category_ == kCatInstrument) {
        // A terminal's type index is the signal kind of its port: mono here.
        child->type_ = child->type_ == kEventPoly ? kEventMono : kAudioMono;
        child->mono_ = 1;
      }
      int32_t kind = child->type_ >= 0 && child->type_ <= 3 ? child->type_ : 0;
      if (in) {
        if (KOutPort* own = child->GetOutPort(0)) own->SetKindAndIndex(kind, own->GetIndexField());
        KInPort* port = AddInPort();
        port->SetKindAndIndex(kind, -1);
        port->SetName(child->label_);
        port->SetInfo(child->help_);
        child->terminalNo_ = inCount_ - 1;
      } else {
        if (KInPort* own = child->GetInPort(0)) own->SetKindAndIndex(kind, own->GetIndexField());
        KOutPort* port = AddOutPort();
        port->SetKindAndIndex(kind, -1);
        port->SetLabel(child->label_);
        port->SetInfo(child->help_);
        child->terminalNo_ = outCount_ - 1;
      }
      // This node's box shows the new port.
      if (parent_) RemakeBox();
    }
    children_[childCount_++] = child;
  }
  KModulFile::ApplyVoiceSettings(*child);
  child->Select();
  switch (mode) {
  case kPlaceNext:
  case kPlaceNextPanel: {
    child->pos_ = nextInsert_;
    nextInsert_ += TPnt(16, 16);
    const KModulDef* def = child->GetTypeDef();
    if (def && def->panelView != kViewNone) {
      // The control lands on the next free spot of both panels.
      KSModul* panelNode = GetPanelNode();
      child->instrPanelPos_ = panelNode->nextInstrPanelInsert_;
      panelNode->nextInstrPanelInsert_ += TPnt(16, 16);
      child->ensPanelPos_ = panelNode->nextEnsPanelInsert_;
      panelNode->nextEnsPanelInsert_ += TPnt(16, 16);
    }
    break;
  }
  case kPlaceAudioOut:
  case kPlaceAudioIn: {
    KSModul* top = GetTop();
    IModelWindows* windows = Windows();
    TArea area = top->structWnd_ && windows ? windows->GetClientArea(top->structWnd_) : top->structArea_;
    int32_t w = area.Right() - area.Left();
    int32_t h = area.Bottom() - area.Top();
    if (mode == kPlaceAudioIn) child->pos_ = TPnt(8, (h - 46) / 16 * 8 - 24);
    else child->pos_ = TPnt((w - 8) / 8 * 8 - 104, (h - 46) / 16 * 8 - (8 * child->inCount_ + 8));
    break;
  }
  default: break;
  }
  if (structWnd_) child->CreateView(structWnd_);
  RefreshPanels();
  if (mode == kPlaceNext || mode == kPlaceNextPanel)
    if (IModelWindows* windows = Windows()) windows->MakeRoomFor(child);
  return child;
}

KSModul* KSModul::InsertModule(int32_t category, int32_t type, int32_t mode, bool withUndo) {
  if (withUndo && host_) host_->AddUndoStep(UndoKind::kInsertModule, this);
  if (!CreateChild(category, type)) return nullptr;
  return AddCreatedChild(mode);
}

KSModul* KSModul::CreateChildFromFile(const IFileName& name) {
  if (newChild_) {
    delete newChild_;
    newChild_ = nullptr;
  }
  IFileEnsemble* ens = host_ ? host_->GetFileEnsemble() : nullptr;
  if (childCount_ >= kMaxChildren || !ens) return nullptr;
  auto* child = new KSModul(host_, this);
  // A file that cannot be read whole leaves nothing behind: the reader
  // has shown why.
  if (KModulFile::ReadFile(*child, name, *ens) != 1) {
    delete child;
    return nullptr;
  }
  newChild_ = child;
  return child;
}

KSModul* KSModul::InsertModuleFile(const IFileName& name, int32_t mode, bool withUndo) {
  if (withUndo && host_) host_->AddUndoStep(UndoKind::kInsertModule, this);
  KSModul* child = CreateChildFromFile(name);
  if (!child) return nullptr;
  child->SetFileName(name);
  return AddCreatedChild(mode);
}
