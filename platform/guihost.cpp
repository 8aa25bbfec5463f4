#include "platform/guihost.h"

#include <atomic>
#include <cstdio>

namespace platform {

namespace {
HeadlessHost& Headless() {
  static HeadlessHost host;
  return host;
}
std::atomic<GuiHost*> current{nullptr};
} // namespace

int EscapeAnswer(int kind) {
  switch (kind) {
  case 1: return 1;
  case 2: return 3;
  case 3: return 1;
  default: return 0;
  }
}

int HeadlessHost::MessageBox(const std::string& text, const std::string& caption, int kind) {
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  return EscapeAnswer(kind);
}

void HeadlessHost::Beep() {}

bool HeadlessHost::FileDialog(const FileDialogRequest& request, std::string& chosen) {
  std::fprintf(stderr, "[%s] file dialog cancelled: no GUI\n", request.title.c_str());
  return false;
}

namespace {
std::atomic<WindowHandle> clientWindow{nullptr};
}
void SetClientWindowHandle(WindowHandle window) { clientWindow.store(window, std::memory_order_release); }
WindowHandle GetClientWindowHandle() { return clientWindow.load(std::memory_order_acquire); }

GuiHost& Host() {
  GuiHost* h = current.load(std::memory_order_acquire);
  return h ? *h : Headless();
}

GuiHost* SetHost(GuiHost* host) {
  GuiHost* old = current.exchange(host, std::memory_order_acq_rel);
  return old ? old : &Headless();
}

} // namespace platform
