#include "src/volteon/recent.h"

#include "pc/sky/mdi.h"
#include "pc/sky/menu.h"
#include "src/base/settings.h"

namespace {
TStr EntrySetting(int32_t n) { return FormatStr("File%d", int(n)); }
} // namespace

TFileMenu::TFileMenu() {
  for (auto& e : entries_) e = EPtr<IFileName>(CreateFileName());
  for (int32_t n = 1; n <= recent::kMaxEntries; ++n) {
    TStr path = ReadSettingStr(EntrySetting(n), TStr());
    if (path.IsEmpty()) break;
    entries_[size_t(count_++)]->SetPath(path);
  }
}

TFileMenu::~TFileMenu() {
  DestructorBody([&] { Save(); });
}

void TFileMenu::SetMenu(IMenu* menu) {
  menu_ = menu;
  Rebuild();
}

void TFileMenu::Add(IFileName* name) {
  if (!name) return;
  ClearItems();
  int32_t found = -1;
  for (int32_t k = 0; k < count_ && found < 0; ++k)
    if (entries_[size_t(k)]->IsEqual(*name)) found = k;
  int32_t last = found;
  if (found < 0) {
    if (count_ < recent::kMaxEntries) ++count_;
    last = count_ - 1;
  }
  // Entries above the place move down one; the oldest falls out of a full list.
  for (int32_t k = last; k > 0; --k) entries_[size_t(k)]->Assign(*entries_[size_t(k - 1)]);
  entries_[0]->Assign(*name);
  Rebuild();
}

void TFileMenu::Remove(IFileName* name) {
  ClearItems();
  for (int32_t k = 0; name && k < count_; ++k) {
    if (!entries_[size_t(k)]->IsEqual(*name)) continue;
    for (int32_t j = k; j + 1 < count_; ++j) entries_[size_t(j)]->Assign(*entries_[size_t(j + 1)]);
    --count_;
    break;
  }
  Rebuild();
}

IFileName* TFileMenu::Get(int32_t index) {
  return index >= 0 && index < count_ ? entries_[size_t(index)].Get() : nullptr;
}

TStr TFileMenu::ShortenPath(const TStr& path) {
  const std::string s = path.Std();
  const size_t first = s.find_first_of("/\\");
  const size_t last = s.find_last_of("/\\");
  if (first == last) return path;
  return TStr(s.substr(0, first) + "..." + s.substr(last + 1));
}

void TFileMenu::ClearItems() {
  if (!menu_) return;
  for (int32_t id = recent::kSeparatorId; id < recent::kFirstEntryId + recent::kMaxEntries; ++id)
    menu_->DeleteItem(id, menu::kByCommand);
}

void TFileMenu::Rebuild() {
  if (!menu_) return;
  // Each item goes just before Exit: the newest stays on top, the separator
  // right above Exit.
  for (int32_t i = 0; i < count_; ++i)
    menu_->InsertItem(cmd::kExit, recent::kFirstEntryId + i, MenuLiteral(ShortenPath(entries_[size_t(i)]->GetPath())),
                      menu::kByCommand);
  if (count_ > 0) menu_->InsertSeparator(cmd::kExit, recent::kSeparatorId, menu::kByCommand);
}

void TFileMenu::Save() {
  for (int32_t n = 1; n <= recent::kMaxEntries; ++n) DeleteSetting(EntrySetting(n));
  for (int32_t i = 0; i < count_; ++i) WriteSettingStr(EntrySetting(i + 1), entries_[size_t(i)]->GetPath());
}

IFileMenu* CreateFileMenu() { return new TFileMenu(); }
