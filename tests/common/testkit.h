// Helpers shared by every test program.
#pragma once

#include "platform/guihost.h"

#include <deque>
#include <string>
#include <vector>

namespace testkit {

// A GUI host that records every request and answers from a queue. A request
// with no queued answer fails the running test instead of blocking.
class ScriptedHost : public platform::GuiHost {
public:
  struct Box {
    std::string text, caption;
    int kind;
  };

  ScriptedHost();
  ~ScriptedHost() override;

  void QueueAnswer(int answer) { answers_.push_back(answer); }
  const std::vector<Box>& Boxes() const { return boxes_; }
  int Beeps() const { return beeps_; }

  // File dialogs: each queued answer serves one dialog, in order; a dialog
  // with no queued answer fails the test and is cancelled.
  void QueueFileChoice(const std::string& path) { fileAnswers_.push_back({true, path}); }
  void QueueFileCancel() { fileAnswers_.push_back({false, std::string()}); }
  const std::vector<platform::FileDialogRequest>& FileDialogs() const { return dialogs_; }

  int MessageBox(const std::string& text, const std::string& caption, int kind) override;
  void Beep() override { ++beeps_; }
  bool FileDialog(const platform::FileDialogRequest& request, std::string& chosen) override;

private:
  struct FileAnswer {
    bool confirm;
    std::string path;
  };
  platform::GuiHost* previous_;
  std::deque<int> answers_;
  std::vector<Box> boxes_;
  std::deque<FileAnswer> fileAnswers_;
  std::vector<platform::FileDialogRequest> dialogs_;
  int beeps_ = 0;
};

// A fresh empty folder under the test run's temporary root, removed at exit.
std::string TempDir(const std::string& tag);
// The source tree (for fixtures committed beside the tests).
std::string SourceDir();

// Bytes helpers for byte-exact checks.
std::vector<unsigned char> Bytes(std::initializer_list<int> values);
std::string Hex(const std::vector<unsigned char>& bytes);

} // namespace testkit
