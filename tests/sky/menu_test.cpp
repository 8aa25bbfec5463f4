// Menus built from tables: items by command and by position, checks,
// enabling before showing and before running, shared pop-ups.
#include "pc/sky/menu.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include <map>
#include <memory>

namespace {

using skytest::ActionOf;

constexpr int32_t kTable = 7550;
constexpr int32_t kOpen = 1001, kSave = 1002, kDeep = 1500, kDeeper = 1501;

void RegisterTestTable() {
  RegisterMenuTable(kTable, {MenuPopup("&File", {MenuCommand("&Open...\tCtrl+O", kOpen), MenuSeparator(),
                                                 MenuCommand("&Save", kSave),
                                                 MenuPopup("More", {MenuCommand("Deep", kDeep),
                                                                    MenuPopup("Most", {MenuCommand("Deeper", kDeeper)})})})});
}

class MenuTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterTestTable();
    menu.reset(new DMenu(kTable));
  }
  std::unique_ptr<DMenu> menu;
};

TEST_F(MenuTest, ATableGivesItsPopupWithIdsAndLabels) {
  ASSERT_NE(menu->Popup(), nullptr);
  EXPECT_EQ(menu->GetItemCount(), 1) << "the table's top holds the one pop-up";
  EXPECT_EQ(menu->Popup()->actions().size(), 4);
  QAction* open = ActionOf(menu->Menu(), kOpen);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(menu->GetItemText(kOpen, menu::kByCommand), TStr("&Open...\tCtrl+O"));
  EXPECT_EQ(menu->GetItemText(0, menu::kByPosition), TStr("&File"));
  EXPECT_EQ(menu->GetItemText(4242, menu::kByCommand), TStr()) << "no such item";
}

// The names a label shows after its tab, and the keys they stand for.
TEST(MenuLabelKeys, TheLabelAfterTheTabNamesTheKey) {
  struct Case {
    const char* label;
    QList<QKeySequence> keys;
  };
  const Case cases[] = {
      {"&Open...\tCtrl+O", {QKeySequence(Qt::CTRL | Qt::Key_O)}},
      {"Stop &Audio\tNum 0", {QKeySequence(Qt::KeypadModifier | Qt::Key_0)}},
      {"&Delete\tDel", {QKeySequence(Qt::Key_Delete)}},
      {"Pr&operties\tAlt+Enter", {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)}},
      {"Next\tShift+Ctrl+F5", {QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_F5)}},
      {"Digit\tCtrl+1", {QKeySequence(Qt::CTRL | Qt::Key_1)}},
      {"&Mute", {}},
      {"Odd\tHyper+Q", {}},
      {"Odd\tCtrl+", {}},
      {"Odd\tNum X", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(LabelKeys(QString::fromLatin1(c.label)), c.keys) << c.label;
}

TEST_F(MenuTest, CheckAndTextByCommandReachNestedPopups) {
  menu->CheckItem(kDeeper, 1, menu::kByCommand);
  QAction* deeper = ActionOf(menu->Menu(), kDeeper);
  ASSERT_NE(deeper, nullptr);
  EXPECT_TRUE(deeper->isChecked());
  menu->CheckItem(kDeeper, 0, menu::kByCommand);
  EXPECT_FALSE(deeper->isChecked());
  EXPECT_FALSE(deeper->isCheckable()) << "an unchecked item shows no empty box";
  menu->SetItemText(kDeep, "Deep one", menu::kByCommand);
  EXPECT_EQ(menu->GetItemText(kDeep, menu::kByCommand), TStr("Deep one"));
  menu->SetDefaultItem(kSave, menu::kByCommand);
  EXPECT_TRUE(ActionOf(menu->Menu(), kSave)->font().bold());
  menu->CheckItem(99, 1, menu::kByCommand); // unknown: nothing happens
}

TEST_F(MenuTest, ItemTextsComeBackLimitedTo99Characters) {
  const std::string longText(150, 'x');
  menu->SetItemText(kSave, TStr(longText), menu::kByCommand);
  EXPECT_EQ(menu->GetItemText(kSave, menu::kByCommand), TStr(std::string(menu::kMaxTextLength, 'x')));
  const std::string exact(menu::kMaxTextLength, 'y');
  menu->SetItemText(kSave, TStr(exact), menu::kByCommand);
  EXPECT_EQ(menu->GetItemText(kSave, menu::kByCommand), TStr(exact));
}

TEST_F(MenuTest, InsertAndDeleteByCommandAndByPosition) {
  std::unique_ptr<DMenu> popup(new DMenu(menu::kEmptyPopup));
  EXPECT_EQ(popup->GetItemCount(), 0);
  popup->InsertItem(menu::kAppend, 4001, "First", menu::kByCommand);
  popup->InsertItem(menu::kAppend, 4003, "Third", menu::kByCommand);
  popup->InsertItem(4003, 4002, "Second", menu::kByCommand);       // before the item of command 4003
  popup->InsertSeparator(0, 0, menu::kByPosition);                  // before the first item
  popup->InsertItem(0, 4000, "Zero", menu::kByPosition);
  ASSERT_EQ(popup->GetItemCount(), 5);
  const char* order[] = {"Zero", "", "First", "Second", "Third"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(popup->GetItemText(i, menu::kByPosition), TStr(order[i])) << i;
  popup->DeleteItem(4002, menu::kByCommand);
  popup->DeleteItem(1, menu::kByPosition);
  popup->DeleteItem(7, menu::kByPosition); // none: nothing happens
  ASSERT_EQ(popup->GetItemCount(), 3);
  EXPECT_EQ(popup->GetItemText(1, menu::kByPosition), TStr("First"));
  // A table's menu deletes by position in the pop-up it shows.
  menu->DeleteItem(0, menu::kByPosition);
  EXPECT_EQ(ActionOf(menu->Menu(), kOpen), nullptr);
  EXPECT_EQ(menu->GetItemCount(), 1);
}

// A command target answering from a table of states.
struct Commands {
  std::map<int32_t, int> enabled, checked;
  std::vector<int32_t> ran;
  TCommandTarget Target() {
    TCommandTarget t;
    t.execute = [this](int32_t id) { ran.push_back(id); };
    t.query = [this](int32_t id, int& e, int& hasCheck, int& c) {
      e = enabled.count(id) ? enabled[id] : 0;
      hasCheck = checked.count(id) ? 1 : 0;
      c = hasCheck ? checked[id] : 0;
    };
    return t;
  }
};

TEST_F(MenuTest, ShowingAsksEveryItemAndAGreyedCommandNeverRuns) {
  Commands c;
  c.enabled = {{kOpen, 1}, {kSave, 0}};
  c.checked = {{kOpen, 1}};
  menu->SetTarget(c.Target());
  QMenu* file = menu->Popup();
  emit file->aboutToShow();
  QAction* open = ActionOf(file, kOpen);
  QAction* save = ActionOf(file, kSave);
  EXPECT_TRUE(open->isEnabled());
  EXPECT_TRUE(open->isChecked());
  EXPECT_FALSE(save->isEnabled());
  emit file->aboutToHide();
  EXPECT_TRUE(save->isEnabled()) << "hidden items count as enabled";
  // A click (or a key) on an item asks again before its command runs.
  save->trigger();
  EXPECT_TRUE(c.ran.empty());
  c.enabled[kSave] = 1;
  save->trigger();
  open->trigger();
  EXPECT_EQ(c.ran, (std::vector<int32_t>{kSave, kOpen}));
  // A nested pop-up is asked when it shows.
  QAction* deep = ActionOf(file, kDeep);
  for (QAction* a : file->actions())
    if (a->menu() && a->menu()->actions().contains(deep)) emit a->menu()->aboutToShow();
  EXPECT_FALSE(deep->isEnabled()) << "nobody answers it: greyed";
}

TEST(MenuOwnership, APopupOfAnotherMenuIsTakenOutNotDestroyedTwice) {
  for (bool parentFirst : {true, false}) {
    auto* parent = new DMenu(menu::kEmptyPopup);
    auto* child = new DMenu(menu::kEmptyPopup);
    child->InsertItem(menu::kAppend, 4010, "Inside", menu::kByCommand);
    parent->InsertItem(menu::kAppend, 4011, "Before", menu::kByCommand);
    parent->InsertSubMenu(menu::kAppend, child, "Sub", menu::kByCommand);
    ASSERT_EQ(parent->GetItemCount(), 2);
    EXPECT_EQ(parent->GetItemText(1, menu::kByPosition), TStr("Sub"));
    if (parentFirst) {
      delete parent;
      EXPECT_EQ(child->GetItemCount(), 1) << "the pop-up outlives the menu it was shown in";
      delete child;
    } else {
      delete child;
      EXPECT_EQ(parent->GetItemCount(), 1) << "its item went with it";
      delete parent;
    }
  }
  // Deleting the item of a borrowed pop-up only takes it out.
  DMenu parent(menu::kEmptyPopup), child(menu::kEmptyPopup);
  child.InsertItem(menu::kAppend, 4012, "Inside", menu::kByCommand);
  parent.InsertSubMenu(menu::kAppend, &child, "Sub", menu::kByCommand);
  parent.DeleteItem(0, menu::kByPosition);
  EXPECT_EQ(parent.GetItemCount(), 0);
  EXPECT_EQ(child.GetItemCount(), 1);
}

} // namespace
