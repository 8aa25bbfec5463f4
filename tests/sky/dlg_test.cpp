// Dialogs from templates, the OK/Cancel protocol, the command table and the
// edit, number and value controls.
#include "pc/sky/app.h"
#include "pc/sky/ctrl.h"
#include "pc/sky/dlg.h"
#include "pc/sky/qthost.h"
#include "src/base/tools.h"
#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <cmath>

namespace {

constexpr int32_t kTestDlg = 9100;
constexpr int32_t kEditA = 3620, kEditB = 3621, kText = 3500, kPush = 3585, kCheck = 3662;
constexpr int32_t kRadioA = 3700, kRadioB = 3710;

void RegisterTestDlg() {
  RegisterDlgTemplate({kTestDlg, "Test Dialog", 200, 120, {
    DlgStatic(kText, "&Tempo:", 7, 9, 40, 8),
    DlgEdit(kEditA, 50, 7, 60, 12),
    DlgStatic(-1, "&Length:", 7, 25, 40, 8),
    DlgEdit(kEditB, 50, 23, 60, 12),
    DlgCheck(kCheck, "E&xternal sync", 7, 40, 90, 10),
    DlgGroup("Mode", 7, 52, 90, 42),
    DlgRadio(kRadioA, "&Mono", 12, 62, 40, 10, dlgflag::kGroup),
    DlgRadio(kRadioA + 1, "&Poly", 12, 76, 40, 10),
    DlgGroup("Quality", 102, 52, 90, 42),
    DlgRadio(kRadioB, "&Good", 107, 62, 40, 10, dlgflag::kGroup),
    DlgRadio(kRadioB + 1, "&Best", 107, 76, 40, 10),
    DlgButton(kPush, "&Reset", 120, 7, 70, 14),
    DlgDefButton(kIdOk, "OK", 86, 100, 50, 14),
    DlgButton(kIdCancel, "Cancel", 142, 100, 50, 14),
  }});
}

using skytest::ModalScript;

template <class W> W* Ctl(QWidget& d, int32_t id) { return qobject_cast<W*>(FindDlgControl(&d, id)); }
void Type(QWidget& d, int32_t id, const char* text) { Ctl<QLineEdit>(d, id)->setText(QString::fromUtf8(text)); }
void Click(QWidget& d, int32_t id) { Ctl<QAbstractButton>(d, id)->click(); }

class TTestDlg : public TDlg {
public:
  TTestDlg() : TDlg(kTestDlg) {
    tempo = CreateCtrlerCnt(this, kEditA, 120, "Tempo", 20, 500, {});
    length = CreateCtrlerReal(this, kEditB, 1.5f, "Length", 0.f, 10.f, {});
    CreateCtrlerButton(this, kPush, [this] {
      ++pushes;
      bracketDepth = GetUpdateCount();
    });
  }
  ICtrlerCnt* tempo;
  ICtrlerReal* length;
  int pushes = 0;
  int32_t bracketDepth = 0;
};

struct DialogTest : ::testing::Test {
  void SetUp() override { RegisterTestDlg(); }
  testkit::ScriptedHost host;
};

TEST_F(DialogTest, TemplateBuildsNamedWidgetsAtTheirRectanglesWithIndependentRadioGroups) {
  TTestDlg dlg;
  QWidget& d = *dlg.GetDDlg();
  EXPECT_EQ(d.windowTitle(), "Test Dialog");
  EXPECT_EQ(d.size(), QSize(DlgUnitsToPixelsX(200), DlgUnitsToPixelsY(120)));
  struct Case {
    int32_t id, x, y, w, h;
  } cases[] = {{kEditA, 50, 7, 60, 12}, {kCheck, 7, 40, 90, 10}, {kRadioB + 1, 107, 76, 40, 10}, {kIdOk, 86, 100, 50, 14}};
  for (const Case& c : cases) {
    QWidget* w = FindDlgControl(&d, c.id);
    ASSERT_NE(w, nullptr) << c.id;
    EXPECT_EQ(w->objectName(), QStringLiteral("ctl%1").arg(c.id));
    EXPECT_EQ(w->geometry(), QRect(DlgUnitsToPixelsX(c.x), DlgUnitsToPixelsY(c.y),
                                   DlgUnitsToPixelsX(c.x + c.w) - DlgUnitsToPixelsX(c.x),
                                   DlgUnitsToPixelsY(c.y + c.h) - DlgUnitsToPixelsY(c.y)))
        << c.id;
  }
  auto* a0 = Ctl<QRadioButton>(d, kRadioA);
  auto* a1 = Ctl<QRadioButton>(d, kRadioA + 1);
  auto* b0 = Ctl<QRadioButton>(d, kRadioB);
  ASSERT_TRUE(a0 && a1 && b0);
  EXPECT_NE(a0->group(), b0->group());
  EXPECT_EQ(a0->group(), a1->group());
  a0->click();
  b0->click();
  a1->click();
  EXPECT_FALSE(a0->isChecked());
  EXPECT_TRUE(a1->isChecked());
  EXPECT_TRUE(b0->isChecked()) << "a click in one group leaves the other alone";
  // Tab order follows the table.
  QWidget* next = Ctl<QWidget>(d, kEditA)->nextInFocusChain();
  while (next && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
  EXPECT_EQ(next ? next->objectName() : QString(), QStringLiteral("ctl%1").arg(kEditB));
}

TEST_F(DialogTest, PushButtonExecutesOnceInsideOneBracket) {
  TTestDlg dlg;
  ModalScript script([](QDialog& d) {
    Click(d, kPush);
    Click(d, kIdCancel);
  });
  EXPECT_EQ(dlg.Execute(), kIdCancel);
  EXPECT_EQ(dlg.pushes, 1);
  EXPECT_EQ(dlg.bracketDepth, 1);
  EXPECT_EQ(GetUpdateCount(), 0);
}

TEST_F(DialogTest, OkWithAnInvalidEnabledEditShowsOneMessageAndStaysOpen) {
  TTestDlg dlg;
  bool openAfterOk = false;
  QWidget* focused = nullptr;
  host.QueueAnswer(0);
  ModalScript script([&](QDialog& d) {
    Type(d, kEditA, "900");
    Type(d, kEditB, "99"); // also out of range: only the first is reported
    Click(d, kIdOk);
    openAfterOk = d.isVisible();
    focused = d.focusWidget();
    Click(d, kIdCancel);
  });
  EXPECT_EQ(dlg.Execute(), kIdCancel);
  EXPECT_TRUE(openAfterOk);
  ASSERT_EQ(host.Boxes().size(), 1u);
  EXPECT_EQ(host.Boxes()[0].text, "Value of Tempo has to be between 20 and 500.");
  EXPECT_EQ(host.Boxes()[0].kind, 0);
  EXPECT_EQ(focused, FindDlgControl(dlg.GetDDlg(), kEditA));
  EXPECT_EQ(dlg.WasOk(), 0);
}

TEST_F(DialogTest, DisabledEditIsNeitherReadBackNorChecked) {
  TTestDlg dlg;
  dlg.tempo->SetEnabled(0);
  ModalScript script([&](QDialog& d) {
    EXPECT_TRUE(Ctl<QLineEdit>(d, kEditA)->isReadOnly());
    Type(d, kEditA, "900");
    Type(d, kEditB, "2.25");
    Click(d, kIdOk);
  });
  EXPECT_EQ(dlg.Execute(), kIdOk);
  EXPECT_EQ(dlg.WasOk(), 1);
  EXPECT_TRUE(host.Boxes().empty());
  EXPECT_EQ(dlg.tempo->GetValue(), 120);
  EXPECT_EQ(dlg.tempo->IsModified(), 0);
  EXPECT_FLOAT_EQ(dlg.length->GetValue(), 2.25f) << "read back at OK, kept after the window closed";
  EXPECT_EQ(dlg.length->IsModified(), 1);
}

TEST_F(DialogTest, CancelReadsNothingBack) {
  TTestDlg dlg;
  ModalScript script([](QDialog& d) {
    Type(d, kEditA, "77");
    Click(d, kIdCancel);
  });
  EXPECT_EQ(dlg.Execute(), kIdCancel);
  EXPECT_EQ(dlg.WasOk(), 0);
  EXPECT_EQ(dlg.tempo->GetValue(), 120);
  EXPECT_EQ(dlg.tempo->IsModified(), 0);
}

TEST_F(DialogTest, OkWithTheTextShownLeavesModifiedClear) {
  TTestDlg dlg;
  ModalScript script([](QDialog& d) {
    EXPECT_EQ(Ctl<QLineEdit>(d, kEditA)->text(), "120");
    Type(d, kEditA, "120");
    Click(d, kIdOk);
  });
  EXPECT_EQ(dlg.Execute(), kIdOk);
  EXPECT_EQ(dlg.tempo->IsModified(), 0);
}

TEST_F(DialogTest, CloseEndsWithItsCodeWithoutOk) {
  TTestDlg dlg;
  ModalScript script([&](QDialog& d) {
    Type(d, kEditA, "900");
    dlg.Close(0);
  });
  EXPECT_EQ(dlg.Execute(), kIdOk);
  EXPECT_EQ(dlg.WasOk(), 0);
  EXPECT_TRUE(host.Boxes().empty());
  EXPECT_EQ(dlg.tempo->GetValue(), 120) << "no window to read from once closed";
}

TEST_F(DialogTest, SetterWhileOpenShowsAtOnce) {
  TTestDlg dlg;
  ModalScript script([&](QDialog& d) {
    dlg.tempo->SetValue(300);
    EXPECT_EQ(Ctl<QLineEdit>(d, kEditA)->text(), "300");
    Click(d, kIdOk);
  });
  dlg.Execute();
  EXPECT_EQ(dlg.tempo->GetValue(), 300);
  EXPECT_EQ(dlg.tempo->IsModified(), 0);
}

// What OK makes of a typed number: the value read back and whether it passes.
TEST_F(DialogTest, NumberEditsAcceptOnlyWholeFiniteNumbers) {
  struct Case {
    const char* text;
    bool valid;
    double value;
  } cases[] = {
    {"12", true, 12}, {" 7", true, 7}, {"-5", true, -5}, {"12abc", false, 0},
    {"", false, 0},   {"nan", false, 0}, {"1e40", false, 0}, {"500", false, 0},
  };
  for (const Case& c : cases) {
    for (bool real : {false, true}) {
      SCOPED_TRACE(std::string(c.text) + (real ? " (float)" : " (integer)"));
      TDlg dlg(kTestDlg);
      ICtrlerEdit* edit = nullptr;
      if (real) edit = CreateCtrlerReal(&dlg, kEditA, 1.f, "Gain", -10.f, 100.f, {});
      else edit = CreateCtrlerCnt(&dlg, kEditA, 1, "Gain", -10, 100, {});
      testkit::ScriptedHost boxes;
      if (!c.valid) boxes.QueueAnswer(0);
      ModalScript script([&](QDialog& d) {
        Type(d, kEditA, c.text);
        Click(d, kIdOk);
        if (d.isVisible()) Click(d, kIdCancel);
      });
      EXPECT_EQ(dlg.Execute(), c.valid ? kIdOk : kIdCancel);
      EXPECT_EQ(dlg.WasOk(), c.valid ? 1 : 0);
      if (c.valid) {
        if (real) EXPECT_FLOAT_EQ(CastToCtrlerReal(edit)->GetValue(), float(c.value));
        else EXPECT_EQ(CastToCtrlerCnt(edit)->GetValue(), int32_t(c.value));
      } else {
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text, "Value of Gain has to be between -10 and 100.");
      }
    }
  }
}

TEST_F(DialogTest, UnsetBoundsShowAsTheSentinelAndDoNotLimit) {
  TDlg dlg(kTestDlg);
  ICtrlerCnt* cnt = CreateCtrlerCnt(&dlg, kEditA, 0, "Count", 0, kNoCnt, {});
  ICtrlerReal* real = CreateCtrlerReal(&dlg, kEditB, 0, "Any", kNoReal, kNoReal, {});
  cnt->SetValue(2000000000);
  real->SetValue(-3e30f);
  EXPECT_EQ(cnt->IsValid(), 1);
  EXPECT_EQ(real->IsValid(), 1);
  cnt->SetValue(-1);
  EXPECT_EQ(cnt->IsValid(), 0);
  EXPECT_EQ(cnt->ErrorText().Expand(), "Value of Count has to be between 0 and -2.147484E+09.");
}

TEST_F(DialogTest, NotificationsExecuteOnlyForTheCodesOfTheirRange) {
  TDlg dlg(kTestDlg);
  std::vector<int32_t> ran;
  for (int32_t id : {3585, 3662, 3703, 3741, 3781, 3821, 3621, 3500})
    dlg.AddCmd(id, [&ran, id] { ran.push_back(id); });
  DCtrler* d = dlg.GetDCtrler();
  struct Case {
    int32_t id, code;
    bool runs;
  } cases[] = {
    {3585, 0, true}, {3585, 5, false}, {3662, 0, true}, {3662, 1, false}, {3703, 0, true},
    {3741, 1, true}, {3741, 0, false}, {3781, 1, true}, {3781, 2, false}, {3821, 0, true},
    {3821, 8, true}, {3821, 5, true},  {3821, -12, false}, {3500, 0, false}, {3999, 0, false},
  };
  for (const Case& c : cases) {
    ran.clear();
    d->Notify(c.id, c.code);
    EXPECT_EQ(ran.size(), c.runs ? 1u : 0u) << c.id << " code " << c.code;
  }
}

TEST_F(DialogTest, ControlsWithoutIdOrHandlerRegisterNothing) {
  TDlg dlg(kTestDlg);
  CreateCtrlerButton(&dlg, 0, [] { FAIL(); });
  CreateCtrlerButton(&dlg, kPush, {});
  int enabled = 0;
  EXPECT_EQ(dlg.IsEnabled(kPush, enabled), 0);
  dlg.GetDCtrler()->Notify(kPush, ctlnote::kClicked); // nothing to run, nothing breaks
}

TEST_F(DialogTest, ModelessDialogShowsAndClosesWithOk) {
  TTestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  QDialog& d = *dlg.GetDDlg();
  EXPECT_TRUE(d.isVisible());
  EXPECT_EQ(Ctl<QLineEdit>(d, kEditA)->text(), "120");
  Type(d, kEditA, "99");
  Click(d, kIdOk);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(dlg.WasOk(), 1);
  EXPECT_EQ(dlg.tempo->GetValue(), 99);
}

TEST_F(DialogTest, WindowGoesWithTheView) {
  QPointer<QDialog> window;
  {
    TTestDlg dlg;
    window = dlg.GetDDlg();
    ASSERT_TRUE(window);
  }
  EXPECT_TRUE(window.isNull());
}

TEST_F(DialogTest, ControlsHeldInCountedPointersGoOnceAndTheViewsFindTheirWindow) {
  struct THolding : TDlg {
    THolding() : TDlg(kTestDlg), tempo(CreateCtrlerCnt(this, kEditA, 1, "Tempo", 0, 9, {})) {}
    EPtr<ICtrlerCnt> tempo;
  };
  auto* dlg = new THolding;
  EXPECT_EQ(GetViewWindow(AsTView(dlg->tempo.Get())), dlg->GetDDlg());
  delete dlg; // the pointer deletes the control first, the view then has no child left
}

TEST_F(DialogTest, DialogLooksRight) {
  TTestDlg dlg;
  CreateCtrlerText(&dlg, kText, {})->SetText("Tempo:");
  QImage shot;
  ModalScript script([&](QDialog& d) {
    Click(d, kRadioA + 1);
    Click(d, kRadioB);
    shot = d.grab().toImage();
    Click(d, kIdCancel);
  });
  dlg.Execute();
  skytest::SaveShot(shot, "dialog.png");
  EXPECT_FALSE(shot.isNull());
}

// ---------------------------------------------------------------- value field and spinner

// A controller whose window is a plain widget, as a tool window's would be.
class DTestCtrler : public QWidget, public DCtrler {
public:
  explicit DTestCtrler(TCtrler* v) : DCtrler(v) {}
  void SetCaption(const TStr&) override {}
  QWidget* GetWindow() override { return this; }
  void Open() { SetUp(); }
};
class TTestCtrler : public TCtrler {
public:
  TTestCtrler() : window(new DTestCtrler(this)) { SetDCtrler(window, window); }
  ~TTestCtrler() override {
    DeleteControls();
    delete window;
  }
  DTestCtrler* window;
};

QString GadgetText(ICtrlerValue* v) {
  auto* text = dynamic_cast<TCtrlerCtrl*>(AsTView(v)->FirstChild());
  auto* label = qobject_cast<QLabel*>(text->GetGadget());
  return label ? label->text() : QStringLiteral("<none>");
}
void Spin(ICtrlerValue* v, bool up) {
  auto* spin = dynamic_cast<TCtrlerCtrl*>(AsTView(v)->FirstChild()->NextSibling());
  spin->GetGadget()->findChild<QToolButton*>(up ? QStringLiteral("up") : QStringLiteral("down"))->click();
}

TEST(ValueFieldTest, StepsClampsAndShowsEmptyWithoutValue) {
  TTestCtrler box;
  int calls = 0;
  ICtrlerValue* bpm = CreateCtrlerValue(&box, 3501, 3850, 30, 120, "BPM", 20, 500, 0, 1, [&] { ++calls; });
  box.window->Open();
  EXPECT_EQ(GadgetText(bpm), "120");
  Spin(bpm, true);
  EXPECT_EQ(bpm->GetValue(), 121);
  EXPECT_EQ(GadgetText(bpm), "121");
  EXPECT_EQ(calls, 1);
  bpm->SetValue(500);
  Spin(bpm, true);
  EXPECT_EQ(bpm->GetValue(), 500) << "clamped at the maximum";
  bpm->SetValue(kNoReal);
  EXPECT_EQ(GadgetText(bpm), "");
  Spin(bpm, true);
  EXPECT_EQ(bpm->GetValue(), 500);
  bpm->SetValue(kNoReal);
  Spin(bpm, false);
  EXPECT_EQ(bpm->GetValue(), 20) << "no value steps down to the minimum";
  EXPECT_EQ(calls, 4);
}

TEST(ValueFieldTest, FormatsAndRefusesFormatsThatReadOtherArguments) {
  TTestCtrler box;
  ICtrlerValue* v = CreateCtrlerValue(&box, 3501, 3851, 60, 12.5f, "Delay", 0, 100, 0, 0.5f, {});
  box.window->Open();
  struct Case {
    const char* format;
    const char* shown;
  } cases[] = {{"%.1f ms", "12.5 ms"}, {"", "12.5"}, {"%s", "12.5"}, {"%d%%", "12.5"}, {"%f %f", "12.5"},
               {"%5.2f%%", "12.50%"}};
  for (const Case& c : cases) {
    v->SetFormat(c.format);
    EXPECT_EQ(GadgetText(v), c.shown) << c.format;
  }
}

TEST(ValueFieldTest, DisablingDisablesTheSpinnerOnly) {
  TTestCtrler box;
  ICtrlerValue* v = CreateCtrlerValue(&box, 3501, 3850, 30, 1, "X", 0, 10, 0, 1, {});
  box.window->Open();
  v->SetEnabled(0);
  auto* text = dynamic_cast<TCtrlerCtrl*>(AsTView(v)->FirstChild());
  auto* spin = dynamic_cast<TCtrlerCtrl*>(AsTView(v)->FirstChild()->NextSibling());
  EXPECT_TRUE(text->GetGadget()->isEnabled());
  EXPECT_FALSE(spin->GetGadget()->isEnabled());
  EXPECT_EQ(spin->IsEnabled(), 0);
}

} // namespace
