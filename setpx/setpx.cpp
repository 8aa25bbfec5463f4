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

// Removes every registration of the driver and writes the file when one was
// removed.
bool RemoveRegistrations(const std::string& path) {
  ProfileFile profile;
  if (profile.Load(path) == ProfileFile::LoadResult::Unreadable) return false;
  bool removed = false;
  for (int n = 0; n < DriverKeyCount; ++n) {
    if (IsDriverKey(profile, n)) {
      profile.Delete(DriversSection, DriverKey(n));
      removed = true;
    }
  }
  return !removed || Save(path, profile);
}

bool Install() {
  std::string path = ProfilePath();
  if (path.empty() || !RemoveRegistrations(path)) return false;
  // Read again: what counts is what the file now holds.
  ProfileFile profile;
  if (profile.Load(path) == ProfileFile::LoadResult::Unreadable) return false;
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
  return false;
}

bool Deinstall() {
  std::string path = ProfilePath();
  return !path.empty() && RemoveRegistrations(path);
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
