// Files, file names, folder searches and the process-wide folders.
//
// A file name is kept as folder, name and file type; the path is composed on
// demand with "/" as the separator. Paths from old files may use "\" and a
// drive letter: they are turned into "/" paths. When a composed path does not
// exist as spelled, each component is looked up without regard to case (and
// ".aif" also finds ".aiff"), so names rebuilt from stored records still find
// their files.
#pragma once

#include "src/base/inout.h"
#include "src/base/tools.h"

#include <cstdint>
#include <vector>

// File types: one numbering for names, extensions and dialog kinds.
namespace filetype {
inline constexpr int None = 0;       // no known type; also folders
inline constexpr int Ensemble = 1;   // "ens"
inline constexpr int Instrument = 2; // "ism"
inline constexpr int Macro = 3;      // "mdl"
inline constexpr int Wav = 4;        // "wav"
inline constexpr int Aiff = 5;       // "aif" (".aiff" is recognised too)
inline constexpr int Map = 6;        // "map"
inline constexpr int Program = 7;    // "exe"
} // namespace filetype

// The extension of a type 1-7 ("ens" ...), empty for any other.
TStr FileTypeExtension(int type);

class IFileName : public virtual IBase {
public:
  virtual TStr GetFolder() const = 0;
  // Removes one trailing separator (the root "/" stays) and stores the rest.
  virtual void SetFolder(const TStr& folder) = 0;
  // With withType and a name and a type of 1-7: name + "." + extension (as it
  // was spelled when the name was parsed); otherwise the plain name.
  virtual TStr GetName(int withType) const = 0;
  virtual void SetName(const TStr& name) = 0;
  // The stored type; a type 0 of an existing file is found by its content
  // (when a content test is installed) and kept.
  virtual int GetType() const = 0;
  virtual void SetType(int type) = 0;
  // The composed path; when it does not exist as spelled, the spelling found
  // on disk without regard to case.
  virtual TStr GetPath() const = 0;
  virtual void SetPath(const TStr& path) = 0;
  virtual void CopyFolder(const IFileName* other) = 0;
  // The standard dialogs; kind 0-10 selects the type list. 1 when a file was
  // chosen (the name takes it, the memory its folder), 0 when cancelled.
  virtual int OpenDialog(const TStr& title, IFileName* memory, int kind) = 0;
  virtual int SaveDialog(const TStr& title, IFileName* memory, int kind) = 0;
  virtual int Exists() const = 0;
  // 1 when the folder is a folder that exists.
  virtual int FolderExists() const = 0;
  // Deletes the file when it exists; 1 when it was deleted.
  virtual int Remove() = 0;
  // Renames the file within its folder to the target's name and type; an
  // existing file of that name is never replaced. 1 when moved (the name then
  // follows), 0 when nothing changed.
  virtual int Rename(const IFileName* target) = 0;
  // Starts the program with the arguments as one argument (none when empty),
  // directly, without a shell. 1 when it started.
  virtual int Execute(const TStr& arguments) = 0;
  // The file-name record: folder, name with extension, type.
  virtual TInOut* Read(TInOut* s) = 0;
  virtual TInOut* Write(TInOut* s) const = 0;
  // Name and type from a file's name such as "Piano.WAV", keeping the
  // extension as spelled there.
  virtual void SetFileName(const TStr& text) = 0;
};

class TFileName : public TBase, public virtual IFileName {
public:
  TFileName() = default;
  void Assign(const IBase& other) override;
  bool IsEqual(const IBase& other) const override;

  TStr GetFolder() const override { return folder_; }
  void SetFolder(const TStr& folder) override;
  TStr GetName(int withType) const override;
  void SetName(const TStr& name) override { name_ = name; }
  int GetType() const override;
  void SetType(int type) override { type_ = type; }
  TStr GetPath() const override;
  void SetPath(const TStr& path) override;
  void CopyFolder(const IFileName* other) override;
  int OpenDialog(const TStr& title, IFileName* memory, int kind) override;
  int SaveDialog(const TStr& title, IFileName* memory, int kind) override;
  int Exists() const override;
  int FolderExists() const override;
  int Remove() override;
  int Rename(const IFileName* target) override;
  int Execute(const TStr& arguments) override;
  TInOut* Read(TInOut* s) override;
  TInOut* Write(TInOut* s) const override;
  void SetFileName(const TStr& text) override;

private:
  TStr Compose(const TStr& fileName) const;
  int RunDialog(bool save, const TStr& title, IFileName* memory, int kind);

  TStr folder_;
  TStr name_;
  mutable int type_ = 0;
  // The extension as found on disk or in the parsed text, used while the type
  // is still spelledType_ (empty: the file has no extension).
  mutable TStr spelled_;
  mutable int spelledType_ = -1;
};

class IFile : public virtual TInOut, public virtual IBase {
public:
  // Each open closes the file first. A failure raises "Cannot open file $1.".
  virtual void OpenRead(const IFileName* name) = 0;      // an existing file (never a folder)
  virtual void OpenWrite(const IFileName* name) = 0;     // created or truncated
  virtual void OpenReadWrite(const IFileName* name) = 0; // created when missing
  virtual void Close() = 0;
  virtual TStr GetPath() const = 0;
  virtual uint32_t Tell() = 0;
  virtual void Seek(int32_t position) = 0;
  // Writes every byte or raises "Error while writing file $1.".
  virtual void Write(const void* data, uint32_t count) = 0;
  // Up to count bytes; fewer only at the end of the file.
  virtual uint32_t Read(void* data, uint32_t count) = 0;
  virtual int IsOpen() const = 0;
};

class TFile : public TBase, public virtual IFile {
public:
  TFile();
  ~TFile() override;
  void OpenRead(const IFileName* name) override;
  void OpenWrite(const IFileName* name) override;
  void OpenReadWrite(const IFileName* name) override;
  void Close() override;
  TStr GetPath() const override;
  uint32_t Tell() override;
  void Seek(int32_t position) override;
  void Write(const void* data, uint32_t count) override;
  uint32_t Read(void* data, uint32_t count) override;
  int IsOpen() const override { return fd_ >= 0; }

  void RawWrite(const void* buffer, uint32_t count) override { Write(buffer, count); }
  uint32_t RawRead(void* buffer, uint32_t count) override { return Read(buffer, count); }
  int64_t Remaining() const override;
  [[noreturn]] void RaiseReadError() override;

private:
  void Open(const IFileName* name, int mode);
  int fd_ = -1;
  EPtr<IFileName> name_;
};

// A walk through a folder tree. In each folder: its subfolders first (each
// delivered with type 0 and no folder, then its whole tree, then an answer
// 0), then the entries matching the mask (delivered with their folder), then
// an answer 0 for the folder itself. After the final 0 it keeps answering 0.
class IFileSearch : public virtual IBase {
public:
  virtual int Next(IFileName* out) = 0;
};

// Masks of a search: "*." + the pattern's extension. "*.*" matches every
// name, "*." the names without a dot, "*.wav" the names with that extension
// (without regard to case; "*.aif" also ".aiff").
bool MaskMatches(const TStr& mask, const TStr& name);

IFileName* CreateFileName();
inline IFileName* CastToFileName(IBase* object) { return CastTo<IFileName>(object); }
IFile* CreateFileObject();
inline IFile* CastToFile(IBase* object) { return CastTo<IFile>(object); }
// A search over the pattern's folder for entries of the pattern's type. A
// pattern without a folder lists nothing. At most 100 folder levels are
// entered; symbolic links to folders are never entered.
IFileSearch* CreateFileSearch(const IFileName* pattern);

// Replaces the file at the path by the bytes through a temporary file in the
// same folder, so the path always holds the whole old or the whole new file.
// With a backup path, the old content is kept there as well. A failure leaves
// the old file and raises a message that says what happened: a full disk, a
// write-protected file or folder, a folder in the way, a missing folder.
void ReplaceFileBytes(const TStr& path, const std::vector<uint8_t>& bytes, const TStr& backupPath = TStr());

// Splits a name's text at its last "." when the suffix is a known extension.
void ParseFileType(TStr text, TStr* rest, int* type);
// Splits a path into folder, name and type. A path without a known type names
// a folder, unless it names an existing file (programs have no extension).
void SplitPath(TStr path, TStr* folder, TStr* name, int* type);

// Installed by the sound-file layer: the type of an existing file found by
// its content (4 WAV, 5 AIFF), or 0. Must not throw.
using TContentTypeTest = int (*)(const IFileName& name);
void SetContentTypeTest(TContentTypeTest test);

// Process-wide folders, made on first use; never delete them.
IFileName* TempFolder();
IFileName* ProgramFolder();
// The installation folder is the program's folder without its last part
// ("bin"); the libraries lie in it.
IFileName* EnsembleLibraryFolder();   // "Library/Ensembles"
IFileName* InstrumentLibraryFolder(); // "Library/Instruments"
IFileName* MacroLibraryFolder();      // "Library/Macros"
IFileName* LibraryFolder();           // "Library"
// Makes the program folder and the library folders follow another program
// path (tests and tools that run outside an installation).
void OverrideProgramPath(const TStr& programPath);
// The folders a user writes in, with the libraries' shape below the user's
// data folder of the program (platform::UserDataFolderPath): the libraries
// beside the program are for reading, and an installed program cannot write
// there. Each call follows the environment as it is now; the folder is
// empty when the user has no data folder.
IFileName* UserLibraryFolder();    // "Library"
IFileName* UserEnsembleFolder();   // "Library/Ensembles"
IFileName* UserInstrumentFolder(); // "Library/Instruments"
IFileName* UserMacroFolder();      // "Library/Macros"
// Creates a folder and its missing parents; 0 when it could not.
int MakeFolders(const TStr& folder);
