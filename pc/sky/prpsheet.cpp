#include "pc/sky/prpsheet.h"

#include "pc/sky/qtext.h"
#include "pc/sky/qthost.h"
#include "pc/sky/wnd.h"

#include <QDialogButtonBox>
#include <QMainWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
QWidget* MainWindow() { return GetMainWindow(); }
} // namespace

// ---------------------------------------------------------------- sheet

TPrpSheet::TPrpSheet(const TStr& title) : TTView(nullptr, 0), sheet_(new DPrpSheet(title)) {}

TPrpSheet::~TPrpSheet() {
  DestructorBody([this] { delete sheet_.data(); });
}

int TPrpSheet::Execute() { return sheet_ ? sheet_->Execute() : kIdCancel; }

IPrpSheet* CreatePrpSheet(const TStr& title) { return new TPrpSheet(title); }

DPrpSheet::DPrpSheet(const TStr& title) : QDialog(MainWindow()) {
  setWindowTitle(sky::ToQString(title));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(DlgFont());
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  tabs_ = new QTabWidget(this);
  layout->addWidget(tabs_);
  // OK and Cancel only: pages store their values when the sheet closes.
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ctl%1").arg(kIdOk));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("ctl%1").arg(kIdCancel));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &DPrpSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &DPrpSheet::reject);
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { PageShown(index); });
}

void DPrpSheet::AddPage(DPrpPage* page, const QString& title) { tabs_->addTab(page, title); }

int DPrpSheet::Execute() {
  running_ = true;
  tabs_->setCurrentIndex(0);
  PageShown(0);
  setResult(0);
  const int code = sky::RunModal(*this);
  running_ = false;
  Finish(code);
  return code == kIdOk ? kIdOk : kIdCancel;
}

void DPrpSheet::PageShown(int index) {
  // Only the page that is looked at is set up, and once per run.
  if (!running_) return;
  if (auto* page = dynamic_cast<DPrpPage*>(tabs_->widget(index)))
    if (!page->IsSetUp()) page->OnSetup();
}

void DPrpSheet::accept() {
  for (int i = 0; i < tabs_->count(); ++i) {
    auto* page = dynamic_cast<DPrpPage*>(tabs_->widget(i));
    if (!page || !page->IsSetUp()) continue; // never shown: nothing to store
    if (!page->OnApply()) {
      tabs_->setCurrentIndex(i);
      return;
    }
  }
  QDialog::done(kIdOk);
}

void DPrpSheet::reject() { QDialog::done(kIdCancel); }

void DPrpSheet::Finish(int) {
  for (int i = 0; i < tabs_->count(); ++i)
    if (auto* page = dynamic_cast<DPrpPage*>(tabs_->widget(i))) page->Closed();
}

// ---------------------------------------------------------------- pages

TPrpPage::TPrpPage(IPrpSheet* sheet, int32_t resourceId) {
  auto* s = dynamic_cast<TPrpSheet*>(sheet);
  auto* d = new DPrpPage(this, s ? s->GetDPrpSheet() : nullptr, resourceId);
  SetDCtrler(d, d);
}

TPrpPage::~TPrpPage() {
  DestructorBody([this] {
    DeleteControls();
    delete GetDPrpPage(); // the tab goes with its view
  });
}

DPrpPage* TPrpPage::GetDPrpPage() const { return static_cast<DPrpPage*>(GetDCtrler()); }

DPrpPage::DPrpPage(TCtrler* view, DPrpSheet* sheet, int32_t resourceId) : DCtrler(view) {
  const TDlgTemplate* t = FindDlgTemplate(resourceId);
  BuildDlgTemplate(this, t, this);
  if (sheet) sheet->AddPage(this, t ? sky::ToQString(t->caption) : QString());
}

void DPrpPage::SetCaption(const TStr& text) {
  setWindowTitle(sky::ToQString(text));
  if (auto* tabs = qobject_cast<QTabWidget*>(parentWidget() ? parentWidget()->parentWidget() : nullptr))
    tabs->setTabText(tabs->indexOf(this), sky::ToQString(text));
}

void DPrpPage::OnSetup() { SetUp(); }

bool DPrpPage::OnApply() {
  auto* page = dynamic_cast<TPrpPage*>(view_);
  if (!page) return true;
  // As in a dialog, the page's controls are read back and tested first: an
  // invalid number keeps the sheet open on it with one message.
  if (!ReadBackAndCheck()) return false;
  try {
    TUpdateBracket bracket;
    page->Apply();
    return page->CanClose() != 0;
  } catch (...) {
    // A page that cannot store its values says why and stays open.
    RecordCurrentException();
    ShowLastError();
    return false;
  }
}
