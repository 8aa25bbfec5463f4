// The recent-files list: loading, adding, removing, the menu items and what
// is stored.
#include "src/volteon/recent.h"

#include "pc/sky/mdi.h"
#include "pc/sky/menu.h"
#include "src/base/settings.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int32_t kMenuId = 9901;

class RecentTest : public ::testing::Test {
protected:
  void SetUp() override {
    OpenSettings("RecentTest");
    for (int n = 1; n <= 9; ++n) DeleteSetting(FormatStr("File%d", n));
    RegisterMenuTable(kMenuId, {MenuPopup("&File", {MenuCommand("&Open...", 1001), MenuSeparator(),
                                                    MenuCommand("E&xit", cmd::kExit)})});
    menu = std::make_unique<DMenu>(kMenuId);
  }
  // The File menu's items as text; "-" for a separator.
  std::vector<std::string> Items() {
    std::vector<std::string> out;
    for (QAction* a : menu->Popup()->actions()) out.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    return out;
  }
  static EPtr<IFileName> Name(const std::string& path) {
    EPtr<IFileName> n(CreateFileName());
    n->SetPath(TStr(path.c_str()));
    return n;
  }
  static std::string Stored(int n) { return ReadSettingStr(FormatStr("File%d", n), TStr()).CStr(); }
  std::unique_ptr<DMenu> menu;
};

TEST_F(RecentTest, LoadingStopsAtTheFirstMissingValueAndSavingWritesWhatIsListed) {
  WriteSettingStr(TStr("File1"), TStr("/music/a.ens"));
  WriteSettingStr(TStr("File2"), TStr("/music/b.ens"));
  WriteSettingStr(TStr("File4"), TStr("/music/d.ens"));
  {
    TFileMenu list;
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.Get(2), nullptr);
  }
  EXPECT_EQ(Stored(1), "/music/a.ens");
  EXPECT_EQ(Stored(2), "/music/b.ens");
  EXPECT_EQ(Stored(4), "") << "values past the list are removed";
}

TEST_F(RecentTest, AddingMovesToTheTopWithoutDuplicatesAndDropsTheOldest) {
  TFileMenu list;
  list.SetMenu(menu.get());
  EXPECT_EQ(Items(), (std::vector<std::string>{"&Open...", "-", "E&xit"})) << "no separator for an empty list";
  for (int i = 1; i <= 9; ++i) list.Add(Name("/m/f" + std::to_string(i) + ".ens").Get());
  ASSERT_EQ(list.GetCount(), 8);
  EXPECT_EQ(std::string(list.Get(0)->GetPath().CStr()), "/m/f9.ens");
  EXPECT_EQ(std::string(list.Get(7)->GetPath().CStr()), "/m/f2.ens") << "f1 fell out";
  list.Add(Name("/M/F5.ENS").Get()); // the same file, other letter case
  EXPECT_EQ(list.GetCount(), 8);
  EXPECT_EQ(std::string(list.Get(0)->GetName(1).CStr()), "F5.ENS");
  EXPECT_EQ(std::string(list.Get(1)->GetPath().CStr()), "/m/f9.ens");
  const std::vector<std::string> items = Items();
  ASSERT_EQ(items.size(), 3u + 8u + 1u);
  EXPECT_EQ(items[2], "...F5.ENS") << "newest first, shortened";
  EXPECT_EQ(items[10], "-");
  EXPECT_EQ(items[11], "E&xit");
}

TEST_F(RecentTest, RemovingTakesTheEntryAndTheLastRemovalTheSeparator) {
  TFileMenu list;
  list.SetMenu(menu.get());
  list.Add(Name("/m/a.ens").Get());
  list.Add(Name("/m/b.ens").Get());
  list.Remove(Name("/m/zzz.ens").Get());
  EXPECT_EQ(list.GetCount(), 2);
  list.Remove(Name("/m/b.ens").Get());
  EXPECT_EQ(list.GetCount(), 1);
  EXPECT_EQ(Items(), (std::vector<std::string>{"&Open...", "-", "...a.ens", "-", "E&xit"}));
  list.Remove(Name("/m/a.ens").Get());
  EXPECT_EQ(Items(), (std::vector<std::string>{"&Open...", "-", "E&xit"}));
}

TEST(RecentPaths, LongPathsAreShortened) {
  const std::pair<const char*, const char*> table[] = {
      {"D:\\Music\\Ensembles\\live.ens", "D:...live.ens"},
      {"D:\\live.ens", "D:\\live.ens"},
      {"live.ens", "live.ens"},
      {"/home/anna/songs/live.ens", "...live.ens"},
      {"/live.ens", "/live.ens"},
  };
  for (auto [path, shown] : table) EXPECT_EQ(std::string(TFileMenu::ShortenPath(TStr(path)).CStr()), shown) << path;
}

} // namespace
