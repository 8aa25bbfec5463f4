#include "tests/common/savesafety.h"

#include "platform/fs.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testkit {

namespace {

std::string FolderOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

// Runs body in a child process; answers the wait status.
int InChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    int code = 1;
    try {
      code = body();
    } catch (...) {
      code = 2;
    }
    std::_Exit(code);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return status;
}

std::vector<long> Points(long steps, int maxPoints) {
  std::vector<long> points;
  if (steps <= maxPoints) {
    for (long k = 0; k < steps; ++k) points.push_back(k);
  } else {
    for (int i = 0; i < maxPoints; ++i) points.push_back(long(i) * (steps - 1) / (maxPoints - 1));
  }
  return points;
}

} // namespace

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

int CountSaveTemps(const std::string& folder) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    n += e.path().filename().string().find(platform::kSaveTempMarker) != std::string::npos;
  return n;
}

std::string SaveTempNames(const std::string& folder) {
  std::string names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.find(platform::kSaveTempMarker) != std::string::npos) names += name + " ";
  }
  return names;
}

long CountSaveSteps(const SaveUnderTest& s) {
  s.putOld();
  // The child reports its count through a file: exit codes are too small.
  const std::string report = FolderOf(s.target) + "/steps.count";
  int status = InChild([&] {
    platform::SetFaultPlan({});
    s.save();
    std::ofstream(report) << platform::FaultStepsTaken();
    return 0;
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an undisturbed save failed";
  long steps = std::atol(ReadAll(report).c_str());
  std::filesystem::remove(report);
  return steps;
}

void CheckKilledSaves(const SaveUnderTest& s, int maxPoints) {
  const std::string folder = FolderOf(s.target);
  // The two contents the target may hold.
  s.putOld();
  const std::string oldContent = ReadAll(s.target);
  ASSERT_EQ(InChild([&] {
              s.save();
              return 0;
            }),
            0);
  const std::string newContent = ReadAll(s.target);
  ASSERT_NE(oldContent, newContent) << "the save must change the file";
  const long steps = CountSaveSteps(s);
  ASSERT_GT(steps, 2);
  for (long k : Points(steps, maxPoints)) {
    SCOPED_TRACE("killed at step " + std::to_string(k) + " of " + std::to_string(steps));
    s.putOld();
    int status = InChild([&] {
      platform::SetFaultPlan({k, -1, 0});
      s.save();
      return 0;
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child was not stopped";
    const std::string now = ReadAll(s.target);
    EXPECT_TRUE(now == oldContent || now == newContent)
        << "the target holds " << now.size() << " bytes, neither the old " << oldContent.size() << " nor the new "
        << newContent.size();
    if (!s.backup.empty() && now == newContent) {
      EXPECT_EQ(ReadAll(s.backup), oldContent) << "the backup";
    }
    // The next save into the folder sweeps what the killed one left.
    EXPECT_EQ(InChild([&] {
                s.save();
                return 0;
              }),
              0);
    EXPECT_EQ(ReadAll(s.target), newContent);
    EXPECT_EQ(CountSaveTemps(folder), 0) << SaveTempNames(folder);
  }
}

void CheckFullDiskSaves(const SaveUnderTest& s, const std::function<bool(bool threw)>& childCheck, int maxPoints) {
  const std::string folder = FolderOf(s.target);
  const long steps = CountSaveSteps(s);
  ASSERT_GT(steps, 2);
  for (long k : Points(steps, maxPoints)) {
    SCOPED_TRACE("disk full at step " + std::to_string(k) + " of " + std::to_string(steps));
    s.putOld();
    const std::string oldContent = ReadAll(s.target);
    const std::string oldBackup = s.backup.empty() ? std::string() : ReadAll(s.backup);
    int status = InChild([&] {
      platform::SetFaultPlan({-1, k, 0});
      bool threw = false;
      try {
        s.save();
      } catch (...) {
        threw = true;
      }
      platform::ClearFaultPlan();
      return childCheck(threw) ? 0 : 3;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the failed save was not reported as it should be";
    EXPECT_EQ(ReadAll(s.target), oldContent);
    EXPECT_EQ(CountSaveTemps(folder), 0) << SaveTempNames(folder);
  }
}

} // namespace testkit
