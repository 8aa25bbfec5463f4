// The seam between the program and whatever shows things to a person:
// message boxes, beeps and file dialogs. The Qt host replaces the
// headless one at start-up; tests install a scripted host.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The native handle of the main window's client area, the owner of file
// dialogs. Null until the main window exists.
using WindowHandle = void*;
void SetClientWindowHandle(WindowHandle window);
WindowHandle GetClientWindowHandle();

// One entry of a file dialog's type list. The pattern holds masks separated
// by ";" with the program's meanings: "*.*" is every file, "*.wav" the
// files of that extension (compared without regard to case), "*" every file.
struct FileDialogFilter {
  std::string description;
  std::string pattern;
};

// A request for the standard open or save dialog.
struct FileDialogRequest {
  bool save = false;                    // save dialog (asks before overwriting) or open dialog (file must exist)
  std::string title;
  std::vector<FileDialogFilter> filters; // shown in this order, the first selected
  std::string initialFolder;            // may be empty
  std::string fileName;                 // proposed name, may be empty
  std::string defaultExtension;         // without the dot; empty for none
  WindowHandle owner = nullptr;
};

// Message kinds: 0 OK, 1 OK/Cancel, 2 Yes/No, 3 Yes/No/Cancel; any other kind
// is a plain OK box. Answers: 0 OK, 1 Cancel, 2 Yes, 3 No.
class GuiHost {
public:
  virtual ~GuiHost() = default;
  virtual int MessageBox(const std::string& text, const std::string& caption, int kind) = 0;
  virtual void Beep() = 0;
  // Shows a file dialog. True with the chosen path when the person confirmed,
  // false when the dialog was cancelled or failed. A host without dialogs cancels.
  virtual bool FileDialog(const FileDialogRequest& request, std::string& chosen) { return false; }
};

// The answer of a person pressing Esc: OK, Cancel or No.
int EscapeAnswer(int kind);

// Without a GUI: prints the message to stderr and answers as Esc would.
class HeadlessHost : public GuiHost {
public:
  int MessageBox(const std::string& text, const std::string& caption, int kind) override;
  void Beep() override;
  bool FileDialog(const FileDialogRequest& request, std::string& chosen) override;
};

// The installed host (the headless one until another is set).
GuiHost& Host();
// Installs a host; nullptr restores the headless host. Returns the previous one.
GuiHost* SetHost(GuiHost* host);

} // namespace platform
