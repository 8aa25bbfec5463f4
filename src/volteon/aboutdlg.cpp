#include "src/volteon/aboutdlg.h"

#include "pc/sky/ctrl.h"
#include "src/mod/mod.h"
#include "src/volteon/pictures.h"

#include <QDialog>

namespace {

// The program's file version the about box names.
constexpr int32_t kProgramVersion = 200;

TStartDlg* TheStartDlg = nullptr;

} // namespace

void RegisterAboutDlgs() {
  using namespace aboutdlg;
  RegisterDlgTemplate({kAboutDlg,
                       "About Volteon",
                       272,
                       202,
                       {
                           DlgPicture(-1, picture::kAboutPicture, 5, 5, 262, 152),
                           DlgStatic(kVersionText, "Version X.X.X", 74, 160, 123, 8, dlgflag::kCentre),
                           DlgDefButton(kIdOk, "OK", 110, 181, 52, 14),
                       }});
  RegisterDlgTemplate({kStartDlg, "", 272, 161, {DlgPicture(-1, picture::kAboutPicture, 5, 5, 262, 152)}});
}

TAboutDlg::TAboutDlg() : TDlg(aboutdlg::kAboutDlg) {
  version_ = CreateCtrlerText(this, aboutdlg::kVersionText, {});
  version_->SetText(TStr("Version ") + FormatFileVersion(kProgramVersion));
}

TStartDlg::TStartDlg() : TDlg(aboutdlg::kStartDlg) {
  // A picture without caption or frame, above the windows being built.
  if (QDialog* w = GetDDlg()) {
    w->setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    w->setWindowTitle(QStringLiteral("Volteon"));
  }
  Create();
}

TStartDlg::~TStartDlg() { Close(1); }

void ShowAboutBox() {
  TAboutDlg dlg;
  dlg.Execute();
}

void ShowStartDlg() {
  if (!TheStartDlg) TheStartDlg = new TStartDlg();
}

void CloseStartDlg() {
  TStartDlg* dlg = TheStartDlg;
  TheStartDlg = nullptr;
  delete dlg;
}

TStartDlg* GetStartDlg() { return TheStartDlg; }

int CloseStartDlgTimer(void*) {
  CloseStartDlg();
  return 0;
}
