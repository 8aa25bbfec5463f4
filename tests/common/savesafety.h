// Save-safety checks shared by the tests of every kind of file that the
// program replaces: a save killed at every step of its write, and a save whose
// disk fills up at every step.
#pragma once

#include <functional>
#include <string>

namespace testkit {

struct SaveUnderTest {
  std::string target;                    // the file the save replaces
  std::function<void()> putOld;          // writes the old file (and resets what the save depends on)
  std::function<void()> save;            // the save; may throw on failure
  std::string backup;                    // the backup the save keeps of the old file, or empty
};

// How many disk steps one undisturbed save takes (the save runs once in a
// child process, so the caller's state is unchanged).
long CountSaveSteps(const SaveUnderTest& s);

// Kills a child process at each step of the save (every step when there are
// few, else an even spread of about maxPoints) and checks that the target
// holds the whole old or the whole new content, that a backup, when asked for,
// holds the old content once the new one is in place, and that the next save
// into the folder leaves no temporary file behind.
void CheckKilledSaves(const SaveUnderTest& s, int maxPoints = 60);

// Makes the disk full at each step of the save (run in a child) and checks
// that the save reports a failure (childCheck answers true in the child after
// the failed save: the right message, the model untouched), that the target
// still holds the old content and that no temporary file is left.
void CheckFullDiskSaves(const SaveUnderTest& s, const std::function<bool(bool threw)>& childCheck,
                        int maxPoints = 30);

// The temporaries of saves in a folder.
int CountSaveTemps(const std::string& folder);
std::string SaveTempNames(const std::string& folder);
std::string ReadAll(const std::string& path);

} // namespace testkit
