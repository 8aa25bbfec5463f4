#include "platform/fs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string ParentOf(const std::string& path) {
  size_t s = path.rfind('/');
  if (s == std::string::npos) return ".";
  if (s == 0) return "/";
  return path.substr(0, s);
}

bool LinkExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Copies a regular file to a target that must not exist yet.
MoveResult CopyThenRemove(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return MoveResult::Failed;
  struct stat st;
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return MoveResult::Failed;
  }
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
  if (out < 0) {
    int e = errno;
    ::close(in);
    return e == EEXIST ? MoveResult::TargetExists : MoveResult::Failed;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    int64_t n = ReadFd(in, buffer, sizeof buffer);
    if (n < 0) { ok = false; break; }
    if (n == 0) break;
    if (!WriteFd(out, buffer, size_t(n))) { ok = false; break; }
  }
  if (ok && ::fsync(out) != 0) ok = false;
  ::close(in);
  if (!CloseFd(out)) ok = false;
  if (!ok) {
    ::unlink(to.c_str());
    return MoveResult::Failed;
  }
  ::unlink(from.c_str());
  return MoveResult::Moved;
}

// ---------------------------------------------------------------- fault plan

struct TFaults {
  bool active = false;
  FaultPlan plan;
  int64_t steps = 0;
  bool failed = false;
};

TFaults& Faults() {
  static TFaults faults;
  return faults;
}

// Pieces of a write while a plan is set: small enough that a plan can stop a
// file in its middle.
constexpr size_t kFaultPiece = 512;

// One step that changes the disk. False (with errno set) when the plan makes
// it fail.
bool FaultStep() {
  TFaults& f = Faults();
  if (!f.active) return true;
  const int64_t step = f.steps++;
  if (step == f.plan.killAt) ::raise(SIGKILL);
  if (f.failed || step == f.plan.failAt) {
    f.failed = true;
    errno = f.plan.error != 0 ? f.plan.error : ENOSPC;
    return false;
  }
  return true;
}

} // namespace

void SetFaultPlan(const FaultPlan& plan) {
  TFaults& f = Faults();
  f.active = true;
  f.plan = plan;
  f.steps = 0;
  f.failed = false;
}

void ClearFaultPlan() { Faults() = TFaults(); }

int64_t FaultStepsTaken() { return Faults().steps; }

// ---------------------------------------------------------------- descriptors

int OpenFd(const std::string& path, OpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
  case OpenMode::Read: flags |= O_RDONLY; break;
  case OpenMode::Write: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
  case OpenMode::ReadWrite: flags |= O_RDWR | O_CREAT; break;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return -1;
  }
  return fd;
}

bool CloseFd(int fd) {
  // On Linux the descriptor is gone after close, even when it reports an
  // error (EINTR included), so it is never closed twice.
  return ::close(fd) == 0;
}

int64_t ReadFd(int fd, void* buffer, size_t count) {
  size_t done = 0;
  char* b = static_cast<char*>(buffer);
  while (done < count) {
    ssize_t n = ::read(fd, b + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += size_t(n);
  }
  return int64_t(done);
}

bool WriteFd(int fd, const void* data, size_t count) {
  size_t done = 0;
  const char* b = static_cast<const char*>(data);
  while (done < count) {
    size_t piece = count - done;
    if (Faults().active) {
      piece = std::min(piece, kFaultPiece);
      if (!FaultStep()) return false;
    }
    ssize_t n = ::write(fd, b + done, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += size_t(n);
  }
  return true;
}

int64_t SeekFd(int fd, int64_t position) { return ::lseek(fd, off_t(position), SEEK_SET); }
int64_t TellFd(int fd) { return ::lseek(fd, 0, SEEK_CUR); }

int64_t SizeFd(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return -1;
  return int64_t(st.st_size);
}

// ---------------------------------------------------------------- paths

EntryKind KindOf(const std::string& path) {
  if (path.empty()) return EntryKind::Missing;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? EntryKind::Folder : EntryKind::File;
  return LinkExists(path) ? EntryKind::File : EntryKind::Missing;
}

bool EntryExists(const std::string& path) { return !path.empty() && LinkExists(path); }

int CompareIgnoringCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = (unsigned char)Lower(a[i]), y = (unsigned char)Lower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string FindIgnoringCase(const std::string& path) {
  if (path.empty()) return std::string();
  std::string found = path[0] == '/' ? "/" : "";
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty()) continue;
    std::string exact = Join(found, part);
    if (LinkExists(exact)) {
      found = exact;
      continue;
    }
    std::vector<FolderEntry> entries;
    if (!ListFolder(found.empty() ? "." : found, entries)) return std::string();
    auto hit = std::find_if(entries.begin(), entries.end(),
                            [&](const FolderEntry& e) { return CompareIgnoringCase(e.name, part) == 0; });
    if (hit == entries.end()) return std::string();
    found = Join(found, hit->name);
  }
  return found;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

MoveResult MoveFile(const std::string& from, const std::string& to) {
  if (!LinkExists(from)) return MoveResult::Failed;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return MoveResult::Moved;
  int e = errno;
  if (e == EEXIST) return MoveResult::TargetExists;
  if (e == EINVAL || e == ENOSYS) {
    // A file system without no-replace renames: check first.
    if (LinkExists(to)) return MoveResult::TargetExists;
    if (::rename(from.c_str(), to.c_str()) == 0) return MoveResult::Moved;
    e = errno;
  }
  if (e == EXDEV) return CopyThenRemove(from, to);
  return MoveResult::Failed;
}

bool MakeFolders(const std::string& path) {
  if (path.empty()) return false;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = ParentOf(path);
  if (parent != path && parent != "." && parent != "/" && !MakeFolders(parent)) return false;
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries) {
  entries.clear();
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return false;
  while (struct dirent* d = ::readdir(dir)) {
    std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry e{name, d->d_type == DT_DIR, d->d_type == DT_LNK};
    if (d->d_type == DT_UNKNOWN) {
      struct stat st;
      if (::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        e.folder = S_ISDIR(st.st_mode);
        e.link = S_ISLNK(st.st_mode);
      }
    }
    entries.push_back(std::move(e));
  }
  ::closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    int c = CompareIgnoringCase(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
  content.clear();
  int fd = OpenFd(path, OpenMode::Read);
  if (fd < 0) return false;
  char buffer[65536];
  bool ok = true;
  for (;;) {
    int64_t n = ReadFd(fd, buffer, sizeof buffer);
    if (n < 0) { ok = false; break; }
    if (n == 0) break;
    content.append(buffer, size_t(n));
  }
  CloseFd(fd);
  return ok;
}

namespace {

std::string NameOf(const std::string& path) {
  size_t s = path.rfind('/');
  return s == std::string::npos ? path : path.substr(s + 1);
}

WriteError ErrorFromErrno(int e) {
  switch (e) {
  case ENOSPC:
  case EDQUOT: return WriteError::NoSpace;
  case EACCES:
  case EPERM:
  case EROFS: return WriteError::ReadOnly;
  case EISDIR: return WriteError::IsFolder;
  case ENOENT:
  case ENOTDIR: return WriteError::Missing;
  default: return WriteError::Failed;
  }
}

bool ProcessRuns(long pid) {
  if (pid <= 0 || pid != long(pid_t(pid))) return false;
  return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// The process id in a temporary's name, or -1 when the name is not one.
long TempOwner(const std::string& name) {
  if (name.empty() || name[0] != '.') return -1;
  size_t at = name.rfind(kSaveTempMarker);
  if (at == std::string::npos) return -1;
  size_t pos = at + std::strlen(kSaveTempMarker);
  long pid = 0;
  size_t digits = 0;
  while (pos < name.size() && name[pos] >= '0' && name[pos] <= '9' && digits < 10) {
    pid = pid * 10 + (name[pos] - '0');
    ++pos;
    ++digits;
  }
  if (digits == 0 || pos >= name.size() || name[pos] != '-') return -1;
  return pid;
}

// Removes the temporaries of saves into the folder whose process has ended
// (a save that was killed or lost its power).
void RemoveStaleTemps(const std::string& folder) {
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, entries)) return;
  const long self = long(::getpid());
  for (const FolderEntry& e : entries) {
    if (e.folder || e.link) continue;
    long owner = TempOwner(e.name);
    if (owner < 0 || owner == self || ProcessRuns(owner)) continue;
    ::unlink(Join(folder, e.name).c_str());
  }
}

// A new private temporary beside the target; its descriptor, or -1.
int MakeTemp(const std::string& folder, const std::string& target, std::vector<char>& name) {
  std::string base = NameOf(target);
  constexpr size_t kRoom = 200; // leaves room for the marker within a name's 255 bytes
  if (base.size() > kRoom) base.resize(kRoom);
  std::string temp = Join(folder, "." + base + kSaveTempMarker + std::to_string(long(::getpid())) + "-XXXXXX");
  name.assign(temp.begin(), temp.end());
  name.push_back(0);
  if (!FaultStep()) return -1;
  return ::mkostemp(name.data(), O_CLOEXEC);
}

// Writes a whole temporary file; errno tells why when it fails.
bool FillTemp(int fd, const std::string& content) {
  if (!WriteFd(fd, content.data(), content.size())) return false;
  if (!FaultStep()) return false;
  return ::fdatasync(fd) == 0;
}

bool RenameStep(const std::string& from, const std::string& to) {
  if (!FaultStep()) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// Keeps the target's present content under the backup name: a second link to
// the same file when the file system allows it, else a copy. The target is
// never touched.
bool KeepBackup(const std::string& folder, const std::string& path, const std::string& backup) {
  std::vector<char> temp;
  int fd = MakeTemp(folder, backup, temp);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(temp.data());
  bool ok = FaultStep() && ::link(path.c_str(), temp.data()) == 0;
  if (!ok) {
    std::string old;
    if (!ReadWholeFile(path, old)) return false;
    fd = ::open(temp.data(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    ok = FillTemp(fd, old);
    if (!CloseFd(fd)) ok = false;
  }
  if (ok) ok = RenameStep(temp.data(), backup);
  // A rename between two links of one file (the backup already is the old
  // file) succeeds without removing the temporary name: it goes here.
  int e = errno;
  ::unlink(temp.data());
  errno = e;
  return ok;
}

} // namespace

WriteError ReplaceFile(const std::string& path, const std::string& content, const ReplaceOptions& options) {
  struct stat st;
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return WriteError::IsFolder;
  const std::string folder = ParentOf(path);
  if (KindOf(folder) != EntryKind::Folder) return WriteError::Missing;
  RemoveStaleTemps(folder);
  std::vector<char> name;
  int fd = MakeTemp(folder, path, name);
  if (fd < 0) return ErrorFromErrno(errno);
  // An existing file keeps its permissions. A new one gets what any new file
  // of the user gets (the temporary file itself is private), unless the
  // caller keeps it private.
  if (exists) {
    ::fchmod(fd, st.st_mode & 07777);
  } else if (!options.privateIfNew) {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  bool ok = FillTemp(fd, content);
  int e = ok ? 0 : errno;
  if (!CloseFd(fd) && ok) {
    ok = false;
    e = errno;
  }
  if (ok && exists && !options.backupPath.empty() && !KeepBackup(folder, path, options.backupPath)) {
    ok = false;
    e = errno;
  }
  if (ok && !RenameStep(name.data(), path)) {
    ok = false;
    e = errno;
  }
  if (!ok) {
    ::unlink(name.data());
    return ErrorFromErrno(e);
  }
  return WriteError::None;
}

bool ReplaceFileContent(const std::string& path, const std::string& content, bool privateIfNew) {
  ReplaceOptions options;
  options.privateIfNew = privateIfNew;
  return ReplaceFile(path, content, options) == WriteError::None;
}

FileLock::FileLock(const std::string& lockPath) {
  do {
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) return;
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd_);
      fd_ = -1;
      return;
    }
  }
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_); // closing releases the lock
}

// ---------------------------------------------------------------- processes

bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
  // Everything the children need is prepared here: between fork and exec only
  // async-signal-safe calls are allowed.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  // The pipe reports a failed exec: its write end closes on a successful one.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  pid_t middle = ::fork();
  if (middle < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (middle == 0) {
    // The middle process exits at once, so the program is adopted by init and
    // never becomes our zombie.
    pid_t child = ::fork();
    if (child == 0) {
      ::setsid();
      ::execv(argv[0], argv.data());
      int e = errno;
      ssize_t w = ::write(report[1], &e, sizeof e);
      (void)w;
      ::_exit(127);
    }
    if (child < 0) {
      int e = errno;
      ssize_t w = ::write(report[1], &e, sizeof e);
      (void)w;
    }
    ::_exit(0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int e = 0;
  ssize_t n;
  do {
    n = ::read(report[0], &e, sizeof e);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  return n == 0;
}

// ---------------------------------------------------------------- folders

std::string ProgramPath() {
  std::vector<char> buffer(1024);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (size_t(n) < buffer.size()) return std::string(buffer.data(), size_t(n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string TempFolderPath() {
  const char* t = std::getenv("TMPDIR");
  if (t && *t && KindOf(t) == EntryKind::Folder) return t;
  return "/tmp";
}

std::string SettingsFolderPath() {
  const char* own = std::getenv("QUORVEX_SETTINGS_DIR");
  if (own && *own) return own;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return Join(xdg, "Orvanta");
  const char* home = std::getenv("HOME");
  if (home && *home) return Join(Join(home, ".config"), "Orvanta");
  return std::string();
}

std::string UserDataFolderPath() {
  constexpr const char* kProgramFolder = "Quorvex";
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return Join(xdg, kProgramFolder);
  const char* home = std::getenv("HOME");
  if (home && *home) return Join(Join(Join(home, ".local"), "share"), kProgramFolder);
  return std::string();
}

std::string WindowsFolderPath() {
  const char* own = std::getenv("QUORVEX_WINDOWS_DIR");
  if (own && *own) return own;
  return SettingsFolderPath();
}

} // namespace platform
