// Property sheets: pages set up when shown, applied in order on OK.
#include "pc/sky/ctrl.h"
#include "pc/sky/prpsheet.h"
#include "pc/sky/qthost.h"
#include "src/base/tools.h"
#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {

constexpr int32_t kPageA = 9301, kPageB = 9302, kPageC = 9303;
constexpr int32_t kEdit = 3620;

void RegisterPages() {
  int n = 0;
  for (auto [id, caption] : {std::pair{kPageA, "Ensembles"}, {kPageB, "Processor Usage"}, {kPageC, "Directories"}}) {
    RegisterDlgTemplate({id, caption, 210, 90, {
      DlgStatic(-1, n++ == 0 ? "&Undo steps:" : "&Value:", 7, 9, 60, 8),
      DlgEdit(kEdit, 70, 7, 60, 12),
    }});
  }
}

class TTestPage : public TPrpPage {
public:
  TTestPage(IPrpSheet* sheet, int32_t id, std::vector<int32_t>& log) : TPrpPage(sheet, id), id_(id), log_(log) {
    edit = CreateCtrlerEdit(this, kEdit, TStr("start"), {});
  }
  void Apply() override {
    log_.push_back(id_);
    applied = edit->GetText();
  }
  int CanClose() override { return refuse ? 0 : 1; }
  ICtrlerEdit* edit;
  TStr applied;
  int refuse = 0;

private:
  int32_t id_;
  std::vector<int32_t>& log_;
};

using skytest::ModalScript;

QTabWidget* Tabs(QDialog& d) { return d.findChild<QTabWidget*>(); }
void Press(QDialog& d, int32_t id) {
  d.findChild<QPushButton*>(QStringLiteral("ctl%1").arg(id))->click();
}
QLineEdit* EditOf(TPrpPage& p) { return qobject_cast<QLineEdit*>(FindDlgControl(p.GetDPrpPage(), kEdit)); }

struct PrpSheetTest : ::testing::Test {
  void SetUp() override { RegisterPages(); }
  testkit::ScriptedHost host;
  std::vector<int32_t> log;
};

TEST_F(PrpSheetTest, OkAppliesTheVisitedPagesInOrder) {
  EPtr<IPrpSheet> sheet(CreatePrpSheet("Preferences"));
  TTestPage a(sheet.Get(), kPageA, log), b(sheet.Get(), kPageB, log), c(sheet.Get(), kPageC, log);
  int buttons = 0;
  ModalScript script([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "Preferences");
    buttons = int(d.findChild<QDialogButtonBox*>()->buttons().size());
    EXPECT_EQ(Tabs(d)->tabText(1), "Processor Usage");
    Tabs(d)->setCurrentIndex(2);
    EditOf(c)->setText("third");
    Press(d, kIdOk);
  });
  EXPECT_EQ(sheet->Execute(), kIdOk);
  EXPECT_EQ(buttons, 2) << "OK and Cancel, no Apply";
  EXPECT_EQ(log, (std::vector<int32_t>{kPageA, kPageC})) << "the page never shown is not applied";
  EXPECT_EQ(c.applied, TStr("third"));
  EXPECT_EQ(EditOf(b)->text(), "") << "a page never shown is never set up";
  EXPECT_EQ(c.edit->GetText(), TStr("third")) << "kept after the sheet closed";
}

TEST_F(PrpSheetTest, CancelAppliesNothing) {
  EPtr<IPrpSheet> sheet(CreatePrpSheet("Preferences"));
  TTestPage a(sheet.Get(), kPageA, log);
  ModalScript script([&](QDialog& d) {
    EditOf(a)->setText("typed");
    Press(d, kIdCancel);
  });
  EXPECT_EQ(sheet->Execute(), kIdCancel);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(a.edit->GetText(), TStr("start"));
}

TEST_F(PrpSheetTest, ARefusingPageKeepsTheSheetOpenOnIt) {
  EPtr<IPrpSheet> sheet(CreatePrpSheet("Preferences"));
  TTestPage a(sheet.Get(), kPageA, log), b(sheet.Get(), kPageB, log);
  b.refuse = 1;
  int shownAfterRefusal = -1;
  bool openAfterRefusal = false;
  ModalScript script([&](QDialog& d) {
    Tabs(d)->setCurrentIndex(1);
    Tabs(d)->setCurrentIndex(0);
    Press(d, kIdOk);
    openAfterRefusal = d.isVisible();
    shownAfterRefusal = Tabs(d)->currentIndex();
    b.refuse = 0;
    Press(d, kIdOk);
  });
  EXPECT_EQ(sheet->Execute(), kIdOk);
  EXPECT_TRUE(openAfterRefusal);
  EXPECT_EQ(shownAfterRefusal, 1);
  EXPECT_EQ(log, (std::vector<int32_t>{kPageA, kPageB, kPageA, kPageB}));
}

TEST_F(PrpSheetTest, PagesAndSheetGoInEitherOrder) {
  std::vector<int32_t> unused;
  auto* sheet = CreatePrpSheet("Preferences");
  auto* page = new TTestPage(sheet, kPageA, unused);
  SafeDelete(sheet); // the page's window goes with the sheet
  EXPECT_EQ(page->GetDPrpPage(), nullptr);
  delete page;
  EPtr<IPrpSheet> other(CreatePrpSheet("Preferences"));
  { TTestPage gone(other.Get(), kPageA, unused); }
  EXPECT_EQ(dynamic_cast<TPrpSheet*>(other.Get())->GetDPrpSheet()->Tabs()->count(), 0);
}

TEST_F(PrpSheetTest, SheetLooksRight) {
  EPtr<IPrpSheet> sheet(CreatePrpSheet("Preferences"));
  TTestPage a(sheet.Get(), kPageA, log), b(sheet.Get(), kPageB, log);
  QImage shot;
  ModalScript script([&](QDialog& d) {
    shot = d.grab().toImage();
    Press(d, kIdCancel);
  });
  sheet->Execute();
  skytest::SaveShot(shot, "prpsheet.png");
  EXPECT_FALSE(shot.isNull());
}

} // namespace
