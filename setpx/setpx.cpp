#include "setpx/setpx.h"

#include "platform/fs.h"
#include "setpx/profile.h"

#include <string>

namespace setpx {

namespace {

// "midi" for index 0, "midi" followed by the index in decimal after it.
std::string DriverKey(int index) {
  return index == 0 ? std::string(KeyStem) : std::string(KeyStem) + std::to_string(index);
}

std::string ProfilePath() {
  std::string folder = platform::WindowsFolderPath();
  if (folder.empty()) return std::string();
  return folder.back() == '/' ? folder + ProfileName : folder + "/" + ProfileName;
}

bool IsDriverKey(const ProfileFile& profile, int index) {
  std::string value;
  return profile.Find(DriversSection, DriverKey(index), value) && value == DriverFile;
}

bool Save(const std::string& path, const ProfileFile& profile) {
  std::string folder = path.substr(0, path.rfind('/'));
  if (!folder.empty() && !platform::EntryExists(folder) && !platform::MakeFolders(folder)) return false;
  return platform::ReplaceFileContent(path, profile.Text());
}

// Removes every line that registers the driver under a driver key, repeated
// lines of one key included: removing only the first would let the next one
// take its place, and the driver would stay registered. Answers whether a
// line went.
bool RemoveRegistrations(ProfileFile& profile) {
  int removed = 0;
  for (int n = 0; n < DriverKeyCount; ++n) removed += profile.DeleteEvery(DriversSection, DriverKey(n), DriverFile);
  return removed > 0;
}

// Both exports edit the file once and write it once: what they answer is
// what the file then holds.
bool Install() {
  std::string path = ProfilePath();
  if (path.empty()) return false;
  ProfileFile profile;
  if (profile.Load(path) == ProfileFile::LoadResult::Unreadable) return false;
  RemoveRegistrations(profile);
  for (int n = 0; n < DriverKeyCount; ++n)
    if (IsDriverKey(profile, n)) return false;
  // A key is free only when it does not exist: any value, even an empty one,
  // belongs to some other driver.
  std::string value;
  for (int n = 0; n < DriverKeyCount; ++n) {
    if (!profile.Find(DriversSection, DriverKey(n), value)) {
      profile.Set(DriversSection, DriverKey(n), DriverFile);
      return Save(path, profile);
    }
  }
  return false; // every key taken: nothing written
}

bool Deinstall() {
  std::string path = ProfilePath();
  if (path.empty()) return false;
  ProfileFile profile;
  if (profile.Load(path) == ProfileFile::LoadResult::Unreadable) return false;
  if (!RemoveRegistrations(profile)) return true;
  if (!Save(path, profile)) return false;
  for (int n = 0; n < DriverKeyCount; ++n)
    if (IsDriverKey(profile, n)) return false;
  return true;
}

} // namespace
} // namespace setpx

// Nothing may leave an exported function as an exception: the caller is not
// ours and may not even be C++.
int32_t InstallPelMidiDll(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
  try {
    return setpx::Install() ? setpx::Success : setpx::Failure;
  } catch (...) {
    return setpx::Failure;
  }
}

int32_t DeinstallPelMidiDll(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
  try {
    return setpx::Deinstall() ? setpx::Success : setpx::Failure;
  } catch (...) {
    return setpx::Failure;
  }
}
