// The about box of Help > About and the start dialog, the picture that stands
// on the screen while the program starts.
#pragma once

#include "pc/sky/ctrl.h"
#include "pc/sky/dlg.h"

namespace aboutdlg {
constexpr int32_t kAboutDlg = 7400;
constexpr int32_t kStartDlg = 7401;
constexpr int32_t kVersionText = 3500;
// The start dialog closes on the first timer tick this long after start.
constexpr int32_t kStartDlgMs = 2000;
} // namespace aboutdlg

class TAboutDlg : public TDlg {
public:
  TAboutDlg();

private:
  ICtrlerText* version_ = nullptr;
};

class TStartDlg : public TDlg {
public:
  TStartDlg();
  ~TStartDlg() override;
};

// Registers the two dialogs' templates.
void RegisterAboutDlgs();
// Runs the about box modally; each run makes and destroys its own dialog.
void ShowAboutBox();
// Shows the start dialog (modeless) unless it is already shown.
void ShowStartDlg();
// Closes the start dialog when it is shown; otherwise nothing.
void CloseStartDlg();
// The shown start dialog, null when none.
TStartDlg* GetStartDlg();
// The timer callback that closes the start dialog; 0 removes the timer.
int CloseStartDlgTimer(void* data);
