// Property sheets: a tabbed dialog with OK and Cancel whose pages are
// template-built controller views.
//
//   EPtr<IPrpSheet> sheet(CreatePrpSheet("Preferences"));
//   TEnsemblesPage ensembles(sheet.Get());   // TPrpPage subclasses, in tab order
//   TDirectoriesPage directories(sheet.Get());
//   sheet->Execute();
//
// A page's window is set up when its tab is first shown. On OK every page
// that was shown gets Apply, in tab order; a page whose CanClose then answers
// 0 keeps the sheet open on that page. Cancel applies nothing.
#pragma once

#include "pc/sky/dlg.h"

#include <QDialog>
#include <QPointer>

#include <vector>

class QTabWidget;
class DPrpSheet;
class DPrpPage;

class IPrpSheet : public virtual IView {
public:
  // Modal; kIdOk or kIdCancel.
  virtual int Execute() = 0;
};

class TPrpSheet : public TTView, public IPrpSheet {
public:
  using TTView::Execute;
  explicit TPrpSheet(const TStr& title);
  ~TPrpSheet() override;
  int Execute() override;
  DPrpSheet* GetDPrpSheet() const { return sheet_.data(); }

private:
  QPointer<DPrpSheet> sheet_;
};

IPrpSheet* CreatePrpSheet(const TStr& title);
inline IPrpSheet* CastToPrpSheet(IBase* o) { return CastTo<IPrpSheet>(o); }

// One page: the tab's title is the caption of its template.
class TPrpPage : public TCtrler {
public:
  TPrpPage(IPrpSheet* sheet, int32_t resourceId);
  ~TPrpPage() override;
  // Stores the page's values (its controls read back through their getters).
  virtual void Apply() {}
  // Asked after Apply: 0 keeps the sheet open on this page.
  virtual int CanClose() { return 1; }
  DPrpPage* GetDPrpPage() const;
};

class DPrpPage : public QWidget, public DCtrler {
public:
  DPrpPage(TCtrler* view, DPrpSheet* sheet, int32_t resourceId);
  void SetCaption(const TStr& text) override;
  QWidget* GetWindow() override { return this; }
  // The tab is shown for the first time during a run.
  void OnSetup();
  // OK: Apply, then whether the page lets the sheet close.
  bool OnApply();
  bool IsSetUp() const { return windowExists_ != 0; }
  void Closed() { windowExists_ = 0; }
};

class DPrpSheet : public QDialog {
public:
  explicit DPrpSheet(const TStr& title);
  void AddPage(DPrpPage* page, const QString& title);
  int Execute();
  QTabWidget* Tabs() const { return tabs_; }

  void accept() override;
  void reject() override;

private:
  void PageShown(int index);
  void Finish(int code);
  QTabWidget* tabs_;
  bool running_ = false;
};
