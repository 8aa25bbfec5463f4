// Files, folders, processes and well-known folders: every file-system call of
// the program goes through here. Paths are byte strings with "/" separators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- descriptors

enum class OpenMode {
  Read,      // an existing file, read only
  Write,     // created or truncated, write only
  ReadWrite, // created when missing, kept when present
};
// A descriptor, or -1. A folder never opens, in any mode.
int OpenFd(const std::string& path, OpenMode mode);
// Closes the descriptor. It is released even when the answer is false (a
// failed close has still given the descriptor back on Linux).
bool CloseFd(int fd);
// Reads up to count bytes, retrying interruptions and short reads, so that
// fewer bytes mean the end of the file. -1 on failure.
int64_t ReadFd(int fd, void* buffer, size_t count);
// Writes all count bytes or answers false (a full disk, a failed device).
bool WriteFd(int fd, const void* data, size_t count);
// The new position, or -1.
int64_t SeekFd(int fd, int64_t position);
int64_t TellFd(int fd);
// The size of the open file, or -1.
int64_t SizeFd(int fd);

// ---------------------------------------------------------------- paths

enum class EntryKind { Missing, File, Folder };
// What the path names, following symbolic links. Anything that is not a
// folder (device, fifo, dangling link) counts as a file.
EntryKind KindOf(const std::string& path);
bool EntryExists(const std::string& path);
// Finds an existing entry whose components match the path's without regard to
// ASCII case, trying the exact spelling of each component first. Answers the
// path as spelled on disk, or the empty text when there is none.
std::string FindIgnoringCase(const std::string& path);
// Bytes compared with ASCII letters folded to lower case.
int CompareIgnoringCase(const std::string& a, const std::string& b);

bool RemoveFile(const std::string& path);

enum class MoveResult { Moved, TargetExists, Failed };
// Moves a file without ever replacing an existing target. Across file systems
// the file is copied and the original removed once the copy is complete.
MoveResult MoveFile(const std::string& from, const std::string& to);

// Creates the folder and its missing parents.
bool MakeFolders(const std::string& path);

struct FolderEntry {
  std::string name;
  bool folder;  // a real folder (a symbolic link to a folder is not one)
  bool link;    // a symbolic link
};
// The entries of a folder without "." and "..", in a stable order: ASCII case
// folded, then bytes. False when the folder cannot be listed.
bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries);

// The whole content of a file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& content);
// What stopped a write.
enum class WriteError {
  None,
  NoSpace,  // the disk or the user's quota is full
  ReadOnly, // the folder or the file may not be written (permissions, a read-only medium)
  IsFolder, // the target is a folder
  Missing,  // the folder does not exist
  Failed,   // anything else (a failing device)
};
struct ReplaceOptions {
  // A new file stays private to the user (settings); an existing one always
  // keeps its permissions.
  bool privateIfNew = false;
  // When not empty and the target exists: the old content is kept under this
  // path (replacing an older file there) before the new content takes the
  // target's name. The target itself always holds the whole old or the whole
  // new content.
  std::string backupPath;
};
// Writes the content to a new temporary file in the same folder and renames it
// over the path, so that a failed or killed write leaves the old file as it
// was. The temporary file is named "." + the target's name + ".qvsave-" + the
// process id + "-" + a unique suffix; temporary files left in that folder by
// processes that no longer run are removed first.
WriteError ReplaceFile(const std::string& path, const std::string& content, const ReplaceOptions& options);
bool ReplaceFileContent(const std::string& path, const std::string& content, bool privateIfNew = false);
// The name part of the temporaries of ReplaceFile (tests look for leftovers).
inline constexpr const char* kSaveTempMarker = ".qvsave-";

// An exclusive lock between processes, held on a lock file (created when
// missing) until the guard is destroyed. Waits for another holder.
class FileLock {
public:
  explicit FileLock(const std::string& lockPath);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool Held() const { return fd_ >= 0; }

private:
  int fd_ = -1;
};

// ---------------------------------------------------------------- test hooks

// Fault injection for tests. While a plan is set, every step of a write that
// changes the disk counts (creating a file, each piece of a write, syncing,
// renaming, linking), and writes go out in small pieces so that a plan can hit
// the middle of a file. At step killAt the process kills itself (as a crash or
// a power cut would end it); at step failAt the step fails with the error
// number given (ENOSPC by default: a full disk) and so do all later writes.
struct FaultPlan {
  int64_t killAt = -1;
  int64_t failAt = -1;
  int error = 0; // 0: a full disk
};
void SetFaultPlan(const FaultPlan& plan);
void ClearFaultPlan();
// The steps counted since the plan was set.
int64_t FaultStepsTaken();

// ---------------------------------------------------------------- processes

// Starts the program directly (no shell) with the given arguments, each one
// argument of the new process whatever characters it holds. The program runs
// on its own: nothing waits for it and no zombie is left behind. False when
// it could not be started.
bool StartProgram(const std::string& program, const std::vector<std::string>& arguments);

// ---------------------------------------------------------------- folders

// The path of the running program (from /proc/self/exe).
std::string ProgramPath();
// The folder for temporary files: $TMPDIR when it names a folder, else /tmp.
std::string TempFolderPath();
// The folder of the settings store: $QUORVEX_SETTINGS_DIR when set, else
// $XDG_CONFIG_HOME/Orvanta, else ~/.config/Orvanta. Empty when there is none.
std::string SettingsFolderPath();
// The program's folder for what a user writes (the stand-in for folders
// below the program's folder, which an installed program cannot write):
// $XDG_DATA_HOME/Quorvex when XDG_DATA_HOME is an absolute path, else
// ~/.local/share/Quorvex. Empty when there is none.
std::string UserDataFolderPath();
// The folder that stands in for the Windows folder of the system the outside
// drivers were written for (where their "system.ini" lives):
// $QUORVEX_WINDOWS_DIR when set, else the settings folder.
std::string WindowsFolderPath();

} // namespace platform
