// The GUI host of the base library's message boxes, beeps and file dialogs:
// QMessageBox and Qt's own file dialog. Every modal run goes through one
// runner, which tests replace to press the buttons a person would.
#pragma once

#include "platform/guihost.h"

#include <QString>

#include <functional>

class QDialog;

namespace sky {

// Runs a dialog modally and returns its result code. The program's runner
// is the dialog's own exec().
using TModalRunner = std::function<int(QDialog& dialog)>;
// Installs a runner (an empty one restores exec()); returns the previous one.
TModalRunner SetModalRunner(TModalRunner runner);
int RunModal(QDialog& dialog);

// A file type entry in Qt's form: the description without its "(…)" groups,
// then every mask of the pattern in one group. "*.*" becomes "*", and masks
// with letters are offered in upper case too, so "x.WAV" is found by "*.wav".
QString QtFileFilter(const platform::FileDialogFilter& filter);

class QtGuiHost : public platform::GuiHost {
public:
  // Message kinds 0 OK, 1 OK/Cancel, 2 Yes/No, 3 Yes/No/Cancel (others OK);
  // Esc answers OK, Cancel, No and Cancel. Off the GUI thread the box is
  // shown later by the GUI thread and the caller gets the Esc answer at once,
  // so no thread ever waits for a person.
  int MessageBox(const std::string& text, const std::string& caption, int kind) override;
  void Beep() override;
  bool FileDialog(const platform::FileDialogRequest& request, std::string& chosen) override;
};

// Installs the Qt host for the process's lifetime (needs a QApplication).
// Dialogs are owned by the widget whose QWidget* the platform layer holds as
// the client window handle, else by the active window.
void InstallQtGuiHost();

} // namespace sky
