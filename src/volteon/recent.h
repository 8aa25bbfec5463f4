// The recent-files list of the File menu: the ensembles opened last, newest
// first, kept across runs.
#pragma once

#include "src/base/file.h"
#include "src/base/tools.h"
#include "src/volteon/commands.h"

#include <array>

class IMenu;

class IFileMenu : public virtual IBase {
public:
  virtual void SetMenu(IMenu* menu) = 0;
  virtual void Add(IFileName* name) = 0;
  virtual void Remove(IFileName* name) = 0;
  // Entry index (0 the newest), or null past the list.
  virtual IFileName* Get(int32_t index) = 0;
};

namespace recent {
constexpr int32_t kMaxEntries = 8;
} // namespace recent

class TFileMenu : public TBase, public IFileMenu {
public:
  TFileMenu();
  ~TFileMenu() override;
  void SetMenu(IMenu* menu) override;
  void Add(IFileName* name) override;
  void Remove(IFileName* name) override;
  IFileName* Get(int32_t index) override;
  int32_t GetCount() const { return count_; }
  // A long path shown short: what stands before the first separator, "...",
  // and the name after the last one.
  static TStr ShortenPath(const TStr& path);

private:
  void ClearItems();
  void Rebuild();
  void Save();

  IMenu* menu_ = nullptr;
  std::array<EPtr<IFileName>, recent::kMaxEntries> entries_;
  int32_t count_ = 0;
};

IFileMenu* CreateFileMenu();
