// A small session for the panel tests: an ensemble on the offline driver
// with its undo list, the panel side of the windows, the program's
// pictures, and a manual timer.
#pragma once

#include "src/engine/module_types.h"
#include "src/engine/offline.h"
#include "src/mod/ensemble.h"
#include "src/mod/ensfile.h"
#include "src/volteon/ctrlview.h"
#include "src/volteon/panelwnd.h"
#include "tests/sky/skyfixture.h"

#include <QImage>
#include <QPoint>

#include <memory>
#include <string>

namespace paneltest {

class Session {
public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  KEnsemble& Ens() { return *ensemble; }
  KSModul* Top() { return ensemble->GetTopModule(); }
  KSModul* AddInstrument(const char* label = "Synth");
  // A control inserted as the panel's insert commands do.
  KSModul* Add(KSModul* into, TModuleType type, TPnt panelPos = NoPnt);
  TPanelWnd* OpenPanel(KSModul* structure);
  // Wires a control of an instrument through the instrument's output to
  // the ensemble's Audio Out, so that it runs in the engine.
  void WireToOutput(KSModul* instrument, KSModul* source);
  // The control view of a module in the instrument (or ensemble) panel.
  TCtrlView* ViewOf(KSModul* m, bool ensemblePanel = false);
  template <class V> V* View(KSModul* m, bool ensemblePanel = false) { return dynamic_cast<V*>(ViewOf(m, ensemblePanel)); }
  // The canvas as shown, after pending events ran.
  QImage Screen(TPanelWnd* w);
  // A point of a view in the window's client coordinates.
  static QPoint At(TCtrlView* v, int32_t x, int32_t y);
  static void Settle();
  TOfflineAudio* Driver();
  // Runs the engine over some frames.
  void Render(int32_t frames);

  skytest::ManualTicker ticker;
  std::unique_ptr<KEnsemble> ensemble;
  std::unique_ptr<KEnsembleFiles> files;
  std::unique_ptr<TPanelWindows> windows;
};

} // namespace paneltest
