// The seam between the program and whatever shows things to a person:
// message boxes, beeps and (later) file dialogs. The Qt host replaces the
// headless one at start-up; tests install a scripted host.
#pragma once

#include <string>

namespace platform {

// Message kinds: 0 OK, 1 OK/Cancel, 2 Yes/No, 3 Yes/No/Cancel; any other kind
// is a plain OK box. Answers: 0 OK, 1 Cancel, 2 Yes, 3 No.
class GuiHost {
public:
  virtual ~GuiHost() = default;
  virtual int MessageBox(const std::string& text, const std::string& caption, int kind) = 0;
  virtual void Beep() = 0;
};

// The answer of a person pressing Esc: OK, Cancel or No.
int EscapeAnswer(int kind);

// Without a GUI: prints the message to stderr and answers as Esc would.
class HeadlessHost : public GuiHost {
public:
  int MessageBox(const std::string& text, const std::string& caption, int kind) override;
  void Beep() override;
};

// The installed host (the headless one until another is set).
GuiHost& Host();
// Installs a host; nullptr restores the headless host. Returns the previous one.
GuiHost* SetHost(GuiHost* host);

} // namespace platform
