#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace testkit {

ScriptedHost::ScriptedHost() : previous_(platform::SetHost(this)) {}
ScriptedHost::~ScriptedHost() { platform::SetHost(previous_); }

int ScriptedHost::MessageBox(const std::string& text, const std::string& caption, int kind) {
  boxes_.push_back({text, caption, kind});
  if (answers_.empty()) {
    ADD_FAILURE() << "Unexpected message box [" << caption << "] " << text;
    return platform::EscapeAnswer(kind);
  }
  int a = answers_.front();
  answers_.pop_front();
  return a;
}

bool ScriptedHost::FileDialog(const platform::FileDialogRequest& request, std::string& chosen) {
  dialogs_.push_back(request);
  if (fileAnswers_.empty()) {
    ADD_FAILURE() << "Unexpected file dialog [" << request.title << "]";
    return false;
  }
  FileAnswer a = fileAnswers_.front();
  fileAnswers_.pop_front();
  if (a.confirm) chosen = a.path;
  return a.confirm;
}

namespace {
const std::string& Root() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string& root = *new std::string([] {
    namespace fs = std::filesystem;
    std::string base = fs::temp_directory_path().string() + "/qvtest-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back(0);
    const char* made = mkdtemp(buf.data());
    std::string r = made ? made : base;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(Root(), ec);
    });
    return r;
  }());
  return root;
}
} // namespace

std::string TempDir(const std::string& tag) {
  static std::atomic<int> n{0};
  std::string d = Root() + "/" + tag + "-" + std::to_string(n++);
  std::filesystem::create_directories(d);
  return d;
}

std::string SourceDir() {
  const char* s = std::getenv("QV_SOURCE_DIR");
  return s ? s : QV_SOURCE_TREE;
}

std::vector<unsigned char> Bytes(std::initializer_list<int> values) {
  std::vector<unsigned char> r;
  for (int v : values) r.push_back(static_cast<unsigned char>(v));
  return r;
}

std::string Hex(const std::vector<unsigned char>& bytes) {
  std::string s;
  char b[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
    s += b;
  }
  return s;
}

} // namespace testkit
