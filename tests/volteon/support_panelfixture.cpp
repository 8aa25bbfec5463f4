#include "tests/volteon/panelfixture.h"

#include "pc/sky/wnd.h"
#include "src/base/settings.h"
#include "src/mod/instr.h"
#include "src/volteon/pictures.h"
#include "tests/common/testkit.h"

#include <QApplication>

namespace paneltest {

Session::Session() {
  OpenSettings("PanelTest");
  WriteSettingStr(TStr(setting::TmpDir), TStr(testkit::TempDir("panel-tmp").c_str()));
  WriteSettingInt(TStr(setting::UndoEnabled), 1);
  InstallPictures();
  ensemble = std::make_unique<KEnsemble>([](int32_t, IAudioOwner* owner) -> IAudioInOut* {
    return new TOfflineAudio(owner);
  });
  files = std::make_unique<KEnsembleFiles>(*ensemble);
  ensemble->SetFiles(files.get());
  windows = std::make_unique<TPanelWindows>(ensemble.get());
  ensemble->SetWindows(windows.get());
}

Session::~Session() {
  windows.reset();
  ensemble->SetFiles(nullptr);
  files.reset();
  ensemble.reset();
  Settle();
}

KSModul* Session::AddInstrument(const char* label) {
  KSModul* instr = Top()->InsertModule(kTypeInstrument, kPlaceNext);
  if (instr) instr->SetLabel(TStr(label));
  return instr;
}

KSModul* Session::Add(KSModul* into, TModuleType type, TPnt panelPos) {
  KSModul* m = into->InsertModule(type, kPlaceNextPanel);
  if (m && panelPos != NoPnt) {
    m->SetInstrCtrlPos(panelPos);
    m->SetEnsCtrlPos(panelPos);
  }
  return m;
}

void Session::WireToOutput(KSModul* instrument, KSModul* source) {
  constexpr int32_t kAudioOutLeft = 2; // the Audio Out's left channel
  TStructureChange bracket(Top());
  KSModul* out = ensemble->GetAudioOutModule();
  if (!out) {
    out = Top()->InsertModule(kTypeAudioOut, kPlaceAudioOut);
    ensemble->SetAudioOutModule(out);
  }
  KSModul* terminal = instrument->InsertModule(kTypeAudioMonoOutTerminal, kPlaceNext);
  if (!out || !terminal) return;
  terminal->GetInPort(0)->Connect(source->GetOutPort(0));
  out->GetInPort(kAudioOutLeft)->Connect(instrument->GetOutPort(instrument->GetOutPortCount() - 1));
  if (TOfflineAudio* d = Driver()) d->EnableOutput(0);
}

TPanelWnd* Session::OpenPanel(KSModul* structure) {
  structure->OpenPanel(false);
  auto* w = dynamic_cast<TPanelWnd*>(structure->GetPanelWnd());
  if (w && w->GetDWnd()) {
    TArea a = structure->GetPanelWndArea();
    w->GetDWnd()->resize(a.Width(), a.Height());
  }
  Settle();
  return w;
}

TCtrlView* Session::ViewOf(KSModul* m, bool ens) {
  return dynamic_cast<TCtrlView*>(ens ? m->GetEnsCtrlView() : m->GetInstrCtrlView());
}

QImage Session::Screen(TPanelWnd* w) {
  Settle();
  return skytest::Screen(w->GetDWnd());
}

QPoint Session::At(TCtrlView* v, int32_t x, int32_t y) {
  const TPnt o = v->GetOrigin();
  return QPoint(o.X() + x, o.Y() + y);
}

void Session::Settle() {
  QCoreApplication::sendPostedEvents();
  QApplication::processEvents();
}

TOfflineAudio* Session::Driver() { return dynamic_cast<TOfflineAudio*>(ensemble->GetAudio()); }

void Session::Render(int32_t frames) {
  std::vector<float> out(size_t(frames) * 2);
  if (TOfflineAudio* d = Driver()) d->Render(nullptr, out.data(), frames);
}

} // namespace paneltest
