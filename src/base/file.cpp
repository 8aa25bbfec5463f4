#include "src/base/file.h"

#include "platform/fs.h"
#include "platform/guihost.h"

#include <string>

QV_MESSAGE(CannotOpenFile, "Cannot open file $1.")
QV_MESSAGE(CannotCloseFile, "Cannot close file $1.")
QV_MESSAGE(FileAccessError, "Error while accessing file $1.")
QV_MESSAGE(FileReadError, "Error while reading file $1.")
QV_MESSAGE(FileWriteError, "Error while writing file $1.")
QV_MESSAGE(SaveNoSpace, "Not enough space to write file\n$1.")
QV_MESSAGE(SaveReadOnly, "Cannot write file $1.\nThe file or its folder is write-protected.")
QV_MESSAGE(SaveIsFolder, "Cannot write file $1.\nA folder of that name is in the way.")
QV_MESSAGE(SaveNoFolder, "Cannot write file $1.\nThe folder does not exist.")

namespace {

const char* const kExtensions[] = {"", "ens", "ism", "mdl", "wav", "aif", "map", "exe"};

TContentTypeTest contentTest = nullptr;

TStr Lowered(TStr s) {
  s.ToLower();
  return s;
}

int32_t LastIndexOf(const TStr& s, char c) {
  for (int32_t i = s.Length() - 1; i >= 0; --i)
    if (s[i] == c) return i;
  return -1;
}

// The type of a lower-case extension; ".aiff" is AIFF like ".aif".
int TypeOfExtension(const TStr& lower) {
  for (int t = 1; t <= 7; ++t)
    if (lower == TStr(kExtensions[t])) return t;
  if (lower == TStr("aiff")) return filetype::Aiff;
  return 0;
}

void ParseSpelled(const TStr& text, TStr* rest, int* type, TStr* spelled) {
  *type = 0;
  *rest = text;
  *spelled = TStr();
  int32_t dot = LastIndexOf(text, '.');
  if (dot < 0) return;
  TStr suffix = text.Mid(dot + 1, text.Length() - dot - 1);
  int t = TypeOfExtension(Lowered(suffix));
  if (t == 0) return;
  *type = t;
  *rest = text.Mid(0, dot);
  *spelled = suffix;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "\" becomes "/"; a leading drive ("C:" before a separator or alone) names
// the root.
TStr ToSlashes(const TStr& text) {
  const int32_t n = text.Length();
  const bool isSep2 = n > 2 && (text[2] == '\\' || text[2] == '/');
  const bool drive = n >= 2 && IsLetter(text[0]) && text[1] == ':' && (n == 2 || isSep2);
  if (drive && n == 2) return TStr("/");
  std::string s;
  s.reserve(size_t(n));
  for (int32_t i = drive ? 2 : 0; i < n; ++i) s.push_back(text[i] == '\\' ? '/' : text[i]);
  return TStr(s);
}

void SplitSpelled(const TStr& path, TStr* folder, TStr* name, int* type, TStr* spelled) {
  TStr r;
  ParseSpelled(ToSlashes(path), &r, type, spelled);
  *folder = TStr();
  *name = TStr();
  int32_t s = LastIndexOf(r, '/');
  if (s < 0) {
    *name = r;
    return;
  }
  const bool last = s == r.Length() - 1;
  if (*type == 0 && !last && platform::KindOf(r.Std()) != platform::EntryKind::File) {
    *folder = r;
    return;
  }
  *folder = s == 0 ? TStr("/") : r.Mid(0, s);
  *name = r.Mid(s + 1, r.Length() - s - 1);
}

TStr WithoutTrailingSeparator(TStr text) {
  if (text.Length() > 1 && text[text.Length() - 1] == '/') text = text.Mid(0, text.Length() - 1);
  return text;
}

std::vector<platform::FileDialogFilter> FiltersOf(int kind) {
  const platform::FileDialogFilter all{"All Files (*.*)", "*.*"};
  switch (kind) {
  case 1: return {{"Ensembles (*.ens)", "*.ens"}, all};
  case 2: return {{"Instruments (*.ism)", "*.ism"}, all};
  case 3: return {{"Macros (*.mdl)", "*.mdl"}, all};
  case 4: return {{"WAV Files (*.wav)", "*.wav"}, all};
  case 5: return {{"AIFF Files (*.aif)", "*.aif;*.aiff"}, all};
  case 6: return {{"Map Files (*.map)", "*.map"}, all};
  // Programs carry no extension here.
  case 7: return {{"Program Files", "*"}, all};
  case 8:
    return {{"Ensembles (*.ens)", "*.ens"},
            {"Structure Files (*.ens)(*.ism)(*.mdl)", "*.ens;*.ism;*.mdl"},
            {"Instruments (*.ism)", "*.ism"},
            {"Macros (*.mdl)", "*.mdl"},
            all};
  case 9:
    return {{"Audiofiles (*.wav)(*.aif)", "*.wav;*.aif;*.aiff"},
            {"WAV Files (*.wav)", "*.wav"},
            {"AIFF Files (*.aif)", "*.aif;*.aiff"},
            all};
  case 10:
    return {{"Samplefiles (*.map)(*.wav)(*.aif)", "*.map;*.wav;*.aif;*.aiff"},
            {"Map Files (*.map)", "*.map"},
            {"WAV Files (*.wav)", "*.wav"},
            {"AIFF Files (*.aif)", "*.aif;*.aiff"},
            all};
  default: return {};
  }
}

} // namespace

TStr FileTypeExtension(int type) { return (type >= 1 && type <= 7) ? TStr(kExtensions[type]) : TStr(); }

void ParseFileType(TStr text, TStr* rest, int* type) {
  TStr spelled;
  ParseSpelled(text, rest, type, &spelled);
}

void SplitPath(TStr path, TStr* folder, TStr* name, int* type) {
  TStr spelled;
  SplitSpelled(path, folder, name, type, &spelled);
}

void SetContentTypeTest(TContentTypeTest test) { contentTest = test; }

bool MaskMatches(const TStr& mask, const TStr& name) {
  if (mask == TStr("*.*") || mask == TStr("*")) return true;
  int32_t dot = LastIndexOf(name, '.');
  if (mask == TStr("*.")) return dot < 0;
  if (dot < 0 || mask.Length() < 3) return false;
  TStr want = Lowered(mask.Mid(2, mask.Length() - 2));
  TStr have = Lowered(name.Mid(dot + 1, name.Length() - dot - 1));
  return have == want || (want == TStr("aif") && have == TStr("aiff"));
}

// ---------------------------------------------------------------- TFileName

void TFileName::Assign(const IBase& other) {
  const TFileName* o = dynamic_cast<const TFileName*>(&other);
  if (!o || o == this) return;
  folder_ = o->folder_;
  name_ = o->name_;
  type_ = o->type_;
  spelled_ = o->spelled_;
  spelledType_ = o->spelledType_;
}

bool TFileName::IsEqual(const IBase& other) const {
  const TFileName* o = dynamic_cast<const TFileName*>(&other);
  if (!o) return false;
  if (Lowered(folder_) != Lowered(o->folder_)) return false;
  if (GetType() != o->GetType()) return false;
  return Lowered(GetName(1)) == Lowered(o->GetName(1));
}

void TFileName::SetFolder(const TStr& folder) { folder_ = WithoutTrailingSeparator(ToSlashes(folder)); }

TStr TFileName::GetName(int withType) const {
  if (!withType || name_.IsEmpty()) return name_;
  if (spelledType_ == type_ && type_ != 0) return spelled_.IsEmpty() ? name_ : name_ + "." + spelled_;
  TStr ext = FileTypeExtension(type_);
  return ext.IsEmpty() ? name_ : name_ + "." + ext;
}

int TFileName::GetType() const {
  // The content test opens the file; a test that asks for the type again
  // meanwhile gets the stored one.
  static thread_local bool testing = false;
  if (type_ == 0 && contentTest && !testing && !name_.IsEmpty()) {
    TStr path = GetPath();
    if (platform::KindOf(path.Std()) == platform::EntryKind::File) {
      testing = true;
      int found = 0;
      try {
        found = contentTest(*this);
      } catch (...) {
        RecordCurrentException(); // an unreadable file simply has no type
      }
      testing = false;
      if (found != 0) {
        // The file keeps its name: a type found by content adds no extension.
        type_ = found;
        spelled_ = TStr();
        spelledType_ = found;
      }
    }
  }
  return type_;
}

TStr TFileName::Compose(const TStr& fileName) const {
  if (folder_.IsEmpty()) return fileName;
  if (fileName.IsEmpty()) return folder_;
  if (folder_[folder_.Length() - 1] == '/') return folder_ + fileName;
  return folder_ + "/" + fileName;
}

TStr TFileName::GetPath() const {
  TStr composed = Compose(GetName(1));
  if (composed.IsEmpty() || platform::EntryExists(composed.Std())) return composed;
  std::vector<TStr> candidates{composed};
  if (type_ == filetype::Aiff && !name_.IsEmpty()) {
    // ".aif" and ".aiff" name the same kind of file: either spelling finds it.
    const bool long4 = spelledType_ == type_ && Lowered(spelled_) == TStr("aiff");
    TStr other = long4 ? TStr("aif") : TStr("aiff");
    TStr alternative = Compose(name_ + "." + other);
    if (platform::EntryExists(alternative.Std())) return alternative;
    candidates.push_back(alternative);
  }
  for (const TStr& c : candidates) {
    std::string found = platform::FindIgnoringCase(c.Std());
    if (!found.empty()) return TStr(found);
  }
  return composed;
}

void TFileName::SetPath(const TStr& path) {
  int type = 0;
  SplitSpelled(path, &folder_, &name_, &type, &spelled_);
  type_ = type;
  spelledType_ = type;
}

void TFileName::SetFileName(const TStr& text) {
  int type = 0;
  ParseSpelled(text, &name_, &type, &spelled_);
  type_ = type;
  spelledType_ = type;
}

void TFileName::CopyFolder(const IFileName* other) {
  if (other) folder_ = other->GetFolder();
}

int TFileName::RunDialog(bool save, const TStr& title, IFileName* memory, int kind) {
  platform::FileDialogRequest request;
  request.save = save;
  request.title = title.Std();
  request.filters = FiltersOf(kind);
  request.owner = platform::GetClientWindowHandle();
  // The open dialog starts where the memory last was; the save dialog only
  // when the name has no folder of its own.
  const bool useMemory = memory && (!save || folder_.IsEmpty());
  request.initialFolder = (useMemory ? memory->GetFolder() : folder_).Std();
  // A name without a type is proposed with the memory's type.
  const int ownType = type_;
  if (ownType == 0 && memory) type_ = memory->GetType();
  request.fileName = GetName(1).Std();
  type_ = ownType;
  if (save && kind >= 1 && kind <= 6) request.defaultExtension = kExtensions[kind];

  std::string chosen;
  if (!platform::Host().FileDialog(request, chosen) || chosen.empty()) return 0;
  if (!request.defaultExtension.empty()) {
    // A name typed without any extension gets the kind's.
    size_t slash = chosen.find_last_of("/\\");
    std::string last = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
    if (!last.empty() && last.find('.') == std::string::npos) chosen += "." + request.defaultExtension;
  }
  SetPath(TStr(chosen));
  if (memory) memory->SetFolder(folder_);
  return 1;
}

int TFileName::OpenDialog(const TStr& title, IFileName* memory, int kind) { return RunDialog(false, title, memory, kind); }
int TFileName::SaveDialog(const TStr& title, IFileName* memory, int kind) { return RunDialog(true, title, memory, kind); }

int TFileName::Exists() const {
  TStr path = GetPath();
  return !path.IsEmpty() && platform::EntryExists(path.Std()) ? 1 : 0;
}

int TFileName::FolderExists() const {
  if (folder_.IsEmpty()) return 0;
  TFileName f;
  f.folder_ = WithoutTrailingSeparator(folder_);
  return platform::KindOf(f.GetPath().Std()) == platform::EntryKind::Folder ? 1 : 0;
}

int TFileName::Remove() {
  if (!Exists()) return 0;
  return platform::RemoveFile(GetPath().Std()) ? 1 : 0;
}

int TFileName::Rename(const IFileName* target) {
  if (!target || !Exists()) return 0;
  TFileName renamed;
  renamed.Assign(*this);
  renamed.name_ = target->GetName(0);
  renamed.type_ = target->GetType();
  if (const TFileName* t = dynamic_cast<const TFileName*>(target)) {
    renamed.spelled_ = t->spelled_;
    renamed.spelledType_ = t->spelledType_;
  } else {
    renamed.spelledType_ = -1;
  }
  TStr to = renamed.Compose(renamed.GetName(1));
  if (platform::MoveFile(GetPath().Std(), to.Std()) != platform::MoveResult::Moved) return 0;
  Assign(renamed);
  return 1;
}

int TFileName::Execute(const TStr& arguments) {
  std::vector<std::string> args;
  if (!arguments.IsEmpty()) args.push_back(arguments.Std());
  return platform::StartProgram(GetPath().Std(), args) ? 1 : 0;
}

TInOut* TFileName::Read(TInOut* s) {
  TStr folder, text;
  uint32_t stored = 0;
  s->ReadStr(folder).ReadStr(text).ReadULong(stored);
  SetFolder(folder);
  SetFileName(text);
  if (type_ == 0 && stored >= 1 && stored <= 7) type_ = int(stored);
  return s;
}

TInOut* TFileName::Write(TInOut* s) const {
  s->WriteStr(GetFolder()).WriteStr(GetName(1)).WriteULong(uint32_t(type_));
  return s;
}

IFileName* CreateFileName() { return new TFileName(); }

// ---------------------------------------------------------------- TFile

TFile::TFile() : name_(CreateFileName()) {}

TFile::~TFile() {
  DestructorBody([this] { Close(); });
}

void TFile::Open(const IFileName* name, int mode) {
  Close();
  TStr path = name ? name->GetPath() : TStr();
  int fd = path.IsEmpty() ? -1 : platform::OpenFd(path.Std(), platform::OpenMode(mode));
  if (fd < 0) {
    CannotOpenFile().SetParam(1, path);
    ThrowError(&CannotOpenFile());
  }
  fd_ = fd;
  name_->Assign(*name);
}

void TFile::OpenRead(const IFileName* name) { Open(name, int(platform::OpenMode::Read)); }
void TFile::OpenWrite(const IFileName* name) { Open(name, int(platform::OpenMode::Write)); }
void TFile::OpenReadWrite(const IFileName* name) { Open(name, int(platform::OpenMode::ReadWrite)); }

void TFile::Close() {
  if (fd_ < 0) return;
  // The descriptor is released even when closing reports an error (for
  // example a write that a network file system could not complete).
  int fd = fd_;
  fd_ = -1;
  if (!platform::CloseFd(fd)) {
    CannotCloseFile().SetParam(1, GetPath());
    ThrowError(&CannotCloseFile());
  }
}

TStr TFile::GetPath() const { return name_->GetPath(); }

uint32_t TFile::Tell() {
  int64_t p = fd_ < 0 ? -1 : platform::TellFd(fd_);
  if (p < 0 || p > int64_t(UINT32_MAX)) {
    FileAccessError().SetParam(1, GetPath());
    ThrowError(&FileAccessError());
  }
  return uint32_t(p);
}

void TFile::Seek(int32_t position) {
  if (fd_ < 0 || position < 0 || platform::SeekFd(fd_, position) < 0) {
    FileAccessError().SetParam(1, GetPath());
    ThrowError(&FileAccessError());
  }
}

void TFile::Write(const void* data, uint32_t count) {
  if (count == 0) return;
  if (fd_ < 0 || !platform::WriteFd(fd_, data, count)) {
    FileWriteError().SetParam(1, GetPath());
    ThrowError(&FileWriteError());
  }
}

uint32_t TFile::Read(void* data, uint32_t count) {
  if (count == 0) return 0;
  int64_t n = fd_ < 0 ? -1 : platform::ReadFd(fd_, data, count);
  if (n < 0) RaiseReadError();
  return uint32_t(n);
}

int64_t TFile::Remaining() const {
  if (fd_ < 0) return -1;
  int64_t size = platform::SizeFd(fd_), pos = platform::TellFd(fd_);
  if (size < 0 || pos < 0) return -1;
  return size > pos ? size - pos : 0;
}

void TFile::RaiseReadError() {
  FileReadError().SetParam(1, GetPath());
  ThrowError(&FileReadError());
}

IFile* CreateFileObject() { return new TFile(); }

// ---------------------------------------------------------------- searches

namespace {

class TFileSearch : public TBase, public virtual IFileSearch {
public:
  explicit TFileSearch(const IFileName* pattern);
  int Next(IFileName* out) override;

private:
  static constexpr int kMaxLevels = 100;
  struct TLevel {
    std::vector<platform::FolderEntry> entries;
    size_t index = 0;
    bool folders = true; // listing the subfolders (else the matching entries)
  };
  void Leave();

  std::vector<TLevel> levels_;
  int level_ = 0;       // -1 once the walk is over
  TStr folder_;         // the current level's folder, with a trailing "/"
  TStr mask_;
  bool startPending_ = true;
};

TFileSearch::TFileSearch(const IFileName* pattern) {
  mask_ = TStr("*.") + FileTypeExtension(pattern ? pattern->GetType() : 0);
  TFileName start;
  if (pattern) start.SetFolder(pattern->GetFolder());
  TStr folder = start.GetPath();
  // Without a folder there is nothing to list (never the whole file system).
  if (folder.IsEmpty()) {
    level_ = -1;
    return;
  }
  folder_ = folder[folder.Length() - 1] == '/' ? folder : folder + "/";
}

void TFileSearch::Leave() {
  levels_.pop_back();
  --level_;
  TStr f = WithoutTrailingSeparator(folder_);
  int32_t s = LastIndexOf(f, '/');
  folder_ = s >= 0 ? f.Mid(0, s + 1) : TStr();
}

int TFileSearch::Next(IFileName* out) {
  if (level_ < 0) return 0;
  if (startPending_) {
    startPending_ = false;
    levels_.emplace_back();
    // A folder that cannot be listed ends like an empty one.
    platform::ListFolder(folder_.Std(), levels_.back().entries);
  }
  TLevel& level = levels_.back();
  if (level.folders) {
    while (level.index < level.entries.size()) {
      const platform::FolderEntry& e = level.entries[level.index++];
      // Links to folders are not entered: they could lead back up the tree.
      if (!e.folder || e.link || level_ + 1 >= kMaxLevels) continue;
      // A folder entry always has type 0, whatever its name looks like, so a
      // caller can count the levels.
      out->SetFolder(TStr());
      out->SetName(TStr(e.name));
      out->SetType(0);
      ++level_;
      folder_ += TStr(e.name) + "/";
      startPending_ = true;
      return 1;
    }
    level.folders = false;
    level.index = 0;
  }
  while (level.index < level.entries.size()) {
    const platform::FolderEntry& e = level.entries[level.index++];
    if (!MaskMatches(mask_, TStr(e.name))) continue;
    out->SetFolder(folder_);
    out->SetFileName(TStr(e.name));
    return 1;
  }
  Leave();
  return 0;
}

} // namespace

IFileSearch* CreateFileSearch(const IFileName* pattern) { return new TFileSearch(pattern); }

// ---------------------------------------------------------------- folders

namespace {

struct TFolders {
  TFileName temp, program, ensembles, instruments, macros, library;
  bool made = false;
};

TStr& ProgramPathOverride() {
  static TStr path;
  return path;
}

void Place(TFolders& f) {
  std::string program = ProgramPathOverride().IsEmpty() ? platform::ProgramPath() : ProgramPathOverride().Std();
  size_t slash = program.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : (slash == 0 ? "/" : program.substr(0, slash));
  f.program.SetFolder(TStr(folder));
  // The program lies in a subfolder ("bin") of the installation folder.
  size_t up = folder.rfind('/');
  std::string install = up == std::string::npos ? std::string() : folder.substr(0, up + 1);
  f.ensembles.SetFolder(TStr(install + "Library/Ensembles"));
  f.instruments.SetFolder(TStr(install + "Library/Instruments"));
  f.macros.SetFolder(TStr(install + "Library/Macros"));
  f.library.SetFolder(TStr(install + "Library"));
}

TFolders& Folders() {
  // Never destroyed: callers may hold the objects until the very end.
  static TFolders* f = new TFolders;
  if (!f->made) {
    f->made = true;
    f->temp.SetFolder(TStr(platform::TempFolderPath()));
    Place(*f);
  }
  return *f;
}

} // namespace

IFileName* TempFolder() { return &Folders().temp; }
IFileName* ProgramFolder() { return &Folders().program; }
IFileName* EnsembleLibraryFolder() { return &Folders().ensembles; }
IFileName* InstrumentLibraryFolder() { return &Folders().instruments; }
IFileName* MacroLibraryFolder() { return &Folders().macros; }
IFileName* LibraryFolder() { return &Folders().library; }

void OverrideProgramPath(const TStr& programPath) {
  ProgramPathOverride() = programPath;
  Place(Folders());
}

namespace {
// One of the user's folders: the data folder, then the part below it.
IFileName* UserFolder(IFileName* slot, const char* below) {
  const std::string data = platform::UserDataFolderPath();
  slot->SetFolder(TStr(data.empty() ? std::string() : data + "/" + below));
  return slot;
}
} // namespace

IFileName* UserLibraryFolder() {
  static TFileName* f = new TFileName; // never destroyed, as the folders above
  return UserFolder(f, "Library");
}
IFileName* UserEnsembleFolder() {
  static TFileName* f = new TFileName;
  return UserFolder(f, "Library/Ensembles");
}
IFileName* UserInstrumentFolder() {
  static TFileName* f = new TFileName;
  return UserFolder(f, "Library/Instruments");
}
IFileName* UserMacroFolder() {
  static TFileName* f = new TFileName;
  return UserFolder(f, "Library/Macros");
}

int MakeFolders(const TStr& folder) { return !folder.IsEmpty() && platform::MakeFolders(folder.Std()) ? 1 : 0; }

void ReplaceFileBytes(const TStr& path, const std::vector<uint8_t>& bytes, const TStr& backupPath) {
  platform::ReplaceOptions options;
  options.backupPath = backupPath.Std();
  const platform::WriteError e =
      platform::ReplaceFile(path.Std(), std::string(bytes.begin(), bytes.end()), options);
  TParamStr* message = nullptr;
  switch (e) {
  case platform::WriteError::None: return;
  case platform::WriteError::NoSpace: message = &SaveNoSpace(); break;
  case platform::WriteError::ReadOnly: message = &SaveReadOnly(); break;
  case platform::WriteError::IsFolder: message = &SaveIsFolder(); break;
  case platform::WriteError::Missing: message = &SaveNoFolder(); break;
  case platform::WriteError::Failed: message = &FileWriteError(); break;
  }
  message->SetParam(1, path);
  ThrowError(message);
}
