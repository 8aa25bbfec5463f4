// The control views of a panel: their places and sizes, playing faders,
// knobs, buttons and switches with the mouse, lamps, meters and graphs
// following the engine, the file view, frames, moving and locking.
#include "tests/volteon/panelfixture.h"

#include "src/audio/buffers.h"
#include "src/audio/samplemap.h"
#include "src/base/file.h"
#include "src/engine/engine.h"
#include "src/engine/tables.h"
#include "src/mod/instr.h"
#include "src/mod/modaudio.h"
#include "src/mod/undo.h"
#include "src/volteon/paneldlg.h"
#include "src/volteon/panelpics.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

using paneltest::Session;

class PanelViews : public ::testing::Test {
protected:
  void SetUp() override {
    synth = s.AddInstrument("Synth");
    ASSERT_NE(synth, nullptr);
  }
  TPanelWnd* Open() {
    panel = s.OpenPanel(synth);
    return panel;
  }
  DWnd* Canvas() { return panel->GetDWnd(); }
  void Click(TCtrlView* v, int32_t x, int32_t y) {
    skytest::Press(Canvas(), Session::At(v, x, y));
    skytest::Release(Canvas(), Session::At(v, x, y));
  }
  Session s;
  KSModul* synth = nullptr;
  TPanelWnd* panel = nullptr;
};

TEST_F(PanelViews, ControlsStandAtTheirModelPositionsWithTheirSizes) {
  KSModul* fader = s.Add(synth, kTypeFader, TPnt(8, 12));
  KSModul* knob = s.Add(synth, kTypeFader, TPnt(100, 40));
  knob->SetCtrlStyle(2);
  knob->SetSmallDesign(true);
  KSModul* bare = s.Add(synth, kTypeFader, TPnt(200, 0));
  bare->SetLabelShown(false);
  bare->SetValueShown(false);
  KSModul* lamp = s.Add(synth, kTypeLamp, TPnt(40, 160));
  Open();
  struct Case {
    KSModul* m;
    TPnt pos;
    int32_t w, h;
  } cases[] = {
      {fader, TPnt(8, 12), 48, 16 + 16 + 112},
      {knob, TPnt(100, 40), 24, 10 + 10 + 22},
      {bare, TPnt(200, 0), 48, 112},
      {lamp, TPnt(40, 160), 24, 16 + 20},
  };
  for (const Case& c : cases) {
    TCtrlView* v = s.ViewOf(c.m);
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->IsVisible());
    EXPECT_EQ(v->GetArea(), TArea(c.pos.X(), c.pos.Y(), c.pos.X() + c.w, c.pos.Y() + c.h)) << c.m->GetLabel().CStr();
  }
  // A small knob's frame sits one pixel right of its operating area; a
  // normal knob's one pixel above.
  auto* small = s.View<TFaderView>(knob);
  EXPECT_EQ(small->GetFrameDestination().Left(), small->GetOperatingArea().Left() + 1);
  knob->SetSmallDesign(false);
  EXPECT_EQ(small->GetFrameDestination().Top(), small->GetOperatingArea().Top() - 1);
  EXPECT_EQ(small->GetFrameDestination().Width(), 37);
}

TEST_F(PanelViews, TheFrameShownForLowerUpperAndStep) {
  KSModul* f = s.Add(synth, kTypeFader);
  struct Case {
    int32_t lower, upper, step, frame;
  } cases[] = {
      {0, 127, 0, 0},     {0, 127, 64, 64},  {0, 127, 127, 127}, {0, 1, 0, 0},   {0, 1, 1, 127},
      {10, 20, 15, 63},   {10, 20, 5, 0},    {10, 20, 120, 127}, {0, 2, 1, 63},
  };
  for (const Case& c : cases) {
    f->SetControlRange(0.0f, c.lower, 1.0f, c.upper, 1.0f / float(c.upper - c.lower));
    EXPECT_EQ(TFaderView::FrameOfStep(f, c.step), c.frame) << c.lower << " " << c.upper << " " << c.step;
  }
}

TEST_F(PanelViews, ARunOfEqualValuesShowsItsFirstStepAndNeverLeavesTheRange) {
  KSModul* f = s.Add(synth, kTypeFader);
  // Steps 10 ... 20 give the same value: each shows step 10's frame.
  f->SetControlRange(0.0f, 0, 1.0f, 127, 1.0f / 127.0f);
  f->SetControlRange(0.0f, 10, 0.0f, 127, 0.0f); // every value 0 from step 10 up
  int32_t shown = -1;
  for (int32_t step : {10, 15, 20, 127}) {
    EXPECT_EQ(TFaderView::FrameOfStep(f, step, &shown), 0) << step;
    EXPECT_EQ(shown, 10) << "the walk stops at the lower bound, never below it";
  }
}

TEST_F(PanelViews, AFaderDraggedThirtyPixelsUpRisesThirtyStepsAndIsClamped) {
  KSModul* f = s.Add(synth, kTypeFader, TPnt(8, 8));
  f->SetControlRange(0.0f, 0, 1.0f, 127, 1.0f / 127.0f);
  f->SetControlStep(40);
  Open();
  auto* v = s.View<TFaderView>(f);
  const TArea op = v->GetOperatingArea();
  const QPoint start = Session::At(v, op.Left() + 20, op.Top() + 50);
  skytest::Press(Canvas(), start);
  skytest::Move(Canvas(), start - QPoint(0, 30), Qt::LeftButton);
  EXPECT_EQ(f->GetControlStep(), 70);
  EXPECT_EQ(v->GetShownStep(), 70);
  skytest::Move(Canvas(), start - QPoint(0, 400), Qt::LeftButton);
  EXPECT_EQ(f->GetControlStep(), 127) << "pinned at the upper bound";
  skytest::Move(Canvas(), start + QPoint(0, 400), Qt::LeftButton);
  EXPECT_EQ(f->GetControlStep(), 0) << "pinned at the lower bound";
  skytest::Release(Canvas(), start + QPoint(0, 400));
  EXPECT_EQ(v->GetOrigin(), TPnt(8, 8)) << "playing does not move the control";
  EXPECT_EQ(s.files->GetUndo().GetStepCount(), 0) << "control changes keep no undo step";
}

TEST_F(PanelViews, ADragMovesTheSelectionOnTheGridAndALockedPanelPlaysButDoesNotMove) {
  KSModul* a = s.Add(synth, kTypeFader, TPnt(8, 8));
  KSModul* b = s.Add(synth, kTypeButton, TPnt(80, 8));
  Open();
  s.Top()->DeselectAll();
  a->Select();
  b->Select();
  TCtrlView* va = s.ViewOf(a);
  TCtrlView* vb = s.ViewOf(b);
  // Press on the label of a (outside its operating area) and drag by (13, 6).
  const QPoint start = Session::At(va, 20, 5);
  skytest::Press(Canvas(), start);
  skytest::Move(Canvas(), start + QPoint(5, 2), Qt::LeftButton);
  skytest::Move(Canvas(), start + QPoint(13, 6), Qt::LeftButton);
  skytest::Release(Canvas(), start + QPoint(13, 6));
  EXPECT_EQ(va->GetOrigin(), TPnt(20, 16)) << "8 + 13 and 8 + 6 on the 4-pixel grid";
  EXPECT_EQ(vb->GetOrigin(), TPnt(92, 16)) << "the whole selection moves by the same offset";
  EXPECT_EQ(a->GetInstrCtrlPos(), TPnt(20, 16));
  EXPECT_EQ(b->GetInstrCtrlPos(), TPnt(92, 16));
  EXPECT_TRUE(a->IsSelected() && b->IsSelected()) << "after a real drag nothing is deselected";
  EXPECT_EQ(s.files->GetUndo().GetStepCount(), 0) << "moves merge into one step the ensemble does not keep";

  // Locked: a press on the label selects but moves nothing; the button still plays.
  synth->SetPanelLocked(true);
  const QPoint again = Session::At(va, 20, 5);
  skytest::Press(Canvas(), again);
  skytest::Move(Canvas(), again + QPoint(40, 40), Qt::LeftButton);
  skytest::Release(Canvas(), again + QPoint(40, 40));
  EXPECT_EQ(va->GetOrigin(), TPnt(20, 16));
  auto* button = s.View<TButtonView>(b);
  const TArea op = button->GetOperatingArea();
  skytest::Press(Canvas(), Session::At(button, op.Left() + 3, op.Top() + 3));
  EXPECT_EQ(b->GetControlStep(), 64);
  EXPECT_TRUE(button->IsPressed());
  skytest::Release(Canvas(), Session::At(button, op.Left() + 3, op.Top() + 3));
  EXPECT_FALSE(button->IsPressed());
  EXPECT_EQ(vb->GetOrigin(), TPnt(92, 16));
}

TEST_F(PanelViews, AClickOnOneOfASelectionLeavesItAloneSelected) {
  KSModul* a = s.Add(synth, kTypeLamp, TPnt(8, 8));
  KSModul* b = s.Add(synth, kTypeLamp, TPnt(48, 8));
  KSModul* c = s.Add(synth, kTypeLamp, TPnt(88, 8));
  Open();
  for (KSModul* m : {a, b, c}) m->Select();
  Click(s.ViewOf(b), 5, 5);
  EXPECT_FALSE(a->IsSelected());
  EXPECT_TRUE(b->IsSelected());
  EXPECT_FALSE(c->IsSelected());
}

TEST(PanelPictures, ButtonPictureByModeStepAndPress) {
  using namespace picture;
  struct Case {
    int32_t mode, step;
    bool pressed;
    int32_t id;
  } cases[] = {
      {kButtonTrigger, 0, true, kButtonDownLit},  {kButtonTrigger, 64, false, kButtonUpDark},
      {kButtonGate, 0, false, kButtonUpDark},     {kButtonGate, 0, true, kButtonDownLit},
      {kButtonGate, 64, false, kButtonDownLit},   {kButtonToggle, 0, false, kButtonUpDark},
      {kButtonToggle, 0, true, kButtonDownDark},  {kButtonToggle, 64, true, kButtonDownLit},
      {kButtonToggle, 64, false, kButtonUpLit},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TButtonView::PictureOf(c.mode, c.step, c.pressed), c.id) << c.mode << " " << c.step << " " << c.pressed;
}

TEST_F(PanelViews, ATriggerButtonShowsPressedOnlyWhileTheMouseIsDown) {
  KSModul* b = s.Add(synth, kTypeButton, TPnt(8, 8));
  b->SetCtrlStyle(kButtonTrigger);
  Open();
  auto* v = s.View<TButtonView>(b);
  const QPoint p = Session::At(v, v->GetOperatingArea().Left() + 4, v->GetOperatingArea().Top() + 4);
  skytest::Press(Canvas(), p);
  EXPECT_EQ(TButtonView::PictureOf(b->GetCtrlStyle(), b->GetControlStep(), v->IsPressed()), picture::kButtonDownLit);
  skytest::Release(Canvas(), p);
  EXPECT_EQ(TButtonView::PictureOf(b->GetCtrlStyle(), b->GetControlStep(), v->IsPressed()), picture::kButtonUpDark);
}

TEST_F(PanelViews, SwitchRowsAreChosenByClickAndOneRowToggles) {
  KSModul* four = s.Add(synth, TModuleType{kCatSwitch, 3}, TPnt(8, 8));
  KSModul* one = s.Add(synth, TModuleType{kCatSwitch, 0}, TPnt(80, 8));
  Open();
  auto* v4 = s.View<TSwitchView>(four);
  auto* v1 = s.View<TSwitchView>(one);
  ASSERT_EQ(v4->GetRows(), 4);
  ASSERT_EQ(v1->GetRows(), 1);
  const TArea op = v4->GetOperatingArea();
  struct Case {
    int32_t y, step;
  } cases[] = {{op.Top() + 2, 3}, {op.Top() + 20, 2}, {op.Bottom() - 2, 0}, {op.Bottom() - 20, 1}};
  for (const Case& c : cases) {
    Click(v4, op.Left() + 5, c.y);
    EXPECT_EQ(four->GetControlStep(), c.step) << c.y;
  }
  // The selected row is drawn from the top: step 1 of 4 is row 2.
  EXPECT_EQ(v4->PictureOfRow(2, 1), picture::kSwitchRowSelected);
  EXPECT_EQ(v4->PictureOfRow(3, 1), picture::kSwitchBottomUnselected);
  EXPECT_EQ(v4->PictureOfRow(3, 0), picture::kSwitchBottomSelected);
  const TArea op1 = v1->GetOperatingArea();
  const int32_t first = one->GetControlStep();
  Click(v1, op1.Left() + 5, op1.Top() + 5);
  EXPECT_NE(one->GetControlStep(), first);
  Click(v1, op1.Left() + 5, op1.Top() + 5);
  EXPECT_EQ(one->GetControlStep(), first);
}

TEST(PanelPictures, LampPictureByColourAndState) {
  using namespace picture;
  EXPECT_EQ(TLampView::PictureOf(300, false), kLampFirst);
  EXPECT_EQ(TLampView::PictureOf(303, false), kLampFirst + 3);
  EXPECT_EQ(TLampView::PictureOf(300, true), kLampFirst + kLampOnOffset);
  EXPECT_EQ(TLampView::PictureOf(302, true), kLampFirst + kLampOnOffset + 2);
  EXPECT_EQ(TLampView::PictureOf(0, true), kLampFirst + kLampOnOffset) << "an unknown colour takes the first";
}

TEST_F(PanelViews, MetersLightSegmentsByLevelWithTheEnginesDecibelConversion) {
  KSModul* linear = s.Add(synth, kTypeMeter, TPnt(8, 8));
  KSModul* level = s.Add(synth, kTypeLevelMeter, TPnt(40, 8));
  linear->SetControlRange(0.0f, 0, 1.7f, 127, 0.01f);
  level->SetControlRange(-60.0f, 0, 0.0f, 127, 1.0f);
  Open();
  auto* lv = s.View<TMeterView>(linear);
  auto* dv = s.View<TMeterView>(level);
  struct Case {
    float level;
    int32_t count;
  } linearCases[] = {{-1.0f, 0}, {0.0f, 0}, {0.05f, 1}, {0.1f, 1}, {0.15f, 2}, {1.55f, 16}, {1.7f, 17}, {1e30f, 17},
                     {std::numeric_limits<float>::quiet_NaN(), 0}};
  for (const Case& c : linearCases) EXPECT_EQ(lv->CountOf(c.level), c.count) << c.level;
  // Level thresholds are amplitudes of decibels: 20 log10.
  for (int32_t k = 0; k < TMeterView::kSegments; ++k) {
    const float db = -60.0f + 60.0f * float(k) / 17.0f;
    EXPECT_NEAR(dv->GetThreshold(k), std::pow(10.0f, db / 20.0f), 1e-3f * std::pow(10.0f, db / 20.0f) + 1e-6f) << k;
  }
  EXPECT_EQ(dv->CountOf(2.0f), 17) << "above the top threshold: all lit";
  EXPECT_EQ(dv->CountOf(dv->GetThreshold(0)), 0) << "at t[0]: none";
}

TEST(PanelGraph, ColumnRunsForOrdinaryAndHostileValues) {
  using G = TGraphView;
  const int32_t T = 10, B = 61; // a 52-pixel graph: H = 51
  struct Case {
    float v, p;
    bool scope;
    std::vector<G::TRun> runs;
  } cases[] = {
      {FLT_MAX, 5.0f, false, {{G::kBackground, T}}},
      {std::numeric_limits<float>::quiet_NaN(), 5.0f, false, {{G::kBackground, T}}},
      {-5.0f, -3.0f, false, {{G::kBackground, T}}},
      {1e30f, 1e30f, false, {{G::kFill, T}}},
      {1e30f, 1e30f, true, {{G::kBackground, T}}},
      {-1e30f, -1e30f, false, {{G::kBackground, T}}},
      {10.0f, 10.0f, false, {{G::kFill, B - 10}, {G::kCurve, B - 11}, {G::kBackground, T}}},
      {20.0f, 10.0f, false, {{G::kFill, B - 11}, {G::kCurve, B - 21}, {G::kBackground, T}}},
      {10.0f, 20.0f, false, {{G::kFill, B - 10}, {G::kCurve, B - 20}, {G::kBackground, T}}},
      {1e30f, 10.0f, false, {{G::kFill, B - 11}, {G::kCurve, B - 52}, {G::kBackground, T}}},
      {-1e30f, 10.0f, false, {{G::kFill, B - 0}, {G::kCurve, B - 10}, {G::kBackground, T}}},
      {20.0f, 10.0f, true, {{G::kBackground, B - 11}, {G::kCurve, B - 21}, {G::kBackground, T}}},
  };
  for (const Case& c : cases) {
    G::TRun runs[4];
    const int32_t n = G::ColumnRuns(c.v, c.p, T, B, c.scope, runs);
    ASSERT_EQ(n, int32_t(c.runs.size())) << c.v << " " << c.p;
    for (int32_t i = 0; i < n; ++i) {
      EXPECT_EQ(runs[i].piece, c.runs[size_t(i)].piece) << c.v << " " << c.p << " piece " << i;
      EXPECT_EQ(runs[i].toY, c.runs[size_t(i)].toY) << c.v << " " << c.p << " piece " << i;
    }
  }
}

TEST_F(PanelViews, AGraphDrawsHostileBuffersWithoutHarm) {
  KSModul* env = s.Add(synth, kTypeAdsrEnv, TPnt(8, 8));
  ASSERT_NE(env, nullptr);
  env->SetVisibleInInstr(true);
  Open();
  auto* g = s.View<TGraphView>(env);
  ASSERT_NE(g, nullptr);
  float* buffer = env->GetDisplayBuffer();
  const int32_t w = env->GetDisplaySize().X();
  for (int32_t x = 0; x < w; ++x)
    buffer[x] = x % 5 == 0 ? FLT_MAX : x % 5 == 1 ? std::numeric_limits<float>::quiet_NaN()
                                   : x % 5 == 2 ? 1e38f : x % 5 == 3 ? -1e38f : float(x % 40);
  g->Invalidate();
  const QImage shot = s.Screen(panel);
  skytest::SaveShot(shot, "panel_graph_hostile.png");
  // A FLT_MAX column is plain background from top to bottom.
  const TArea op = g->GetOperatingArea();
  const QColor bg = shot.pixelColor(g->GetOrigin().X() + op.Left(), g->GetOrigin().Y() + op.Bottom() - 2);
  EXPECT_EQ(bg, QColor(77, 102, 78));
}

TEST_F(PanelViews, TheFileViewReadsEachModulesOwnSoundObject) {
  KSModul* deck = s.Add(synth, kTypeTapedeck1, TPnt(8, 8));
  KSModul* sampler = s.Add(synth, kTypeSampler, TPnt(8, 60));
  ASSERT_TRUE(deck && sampler);
  ASSERT_NE(deck->GetRecordBuffer(), nullptr);
  ASSERT_NE(sampler->GetSampleMap(), nullptr);
  sampler->GetSampleMap()->GetDisplayName()->SetPath(TStr("/tmp/drums.map"));
  EXPECT_EQ(TFileView::SoundFileName(sampler), sampler->GetSampleMap()->GetDisplayName()->GetName(1));
  EXPECT_EQ(TFileView::SoundFileName(deck), TStr()) << "a deck without a recording names nothing";
}

TEST_F(PanelViews, PropertiesOfAMacroPanelOpenTheMacrosDialog) {
  KSModul* macro = synth->InsertModule(kTypeMacro, kPlaceNext);
  ASSERT_NE(macro, nullptr);
  std::vector<std::pair<std::string, KSModul*>> opened;
  panel_dialogs::SetOpeners([&](KSModul* m) { opened.emplace_back("module", m); },
                            [&](KSModul* m) { opened.emplace_back("instrument", m); }, nullptr);
  TPanelWnd* macroPanel = s.OpenPanel(macro);
  ASSERT_NE(macroPanel, nullptr);
  macroPanel->Execute(cmd::kProperties);
  s.OpenPanel(synth)->Execute(cmd::kProperties);
  panel_dialogs::SetOpeners(nullptr, nullptr, nullptr);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], std::make_pair(std::string("module"), macro));
  EXPECT_EQ(opened[1], std::make_pair(std::string("instrument"), synth));
}

TEST_F(PanelViews, MacroFramesEncloseTheirControlsAndAnEmptyOneVanishes) {
  KSModul* macro = synth->InsertModule(kTypeMacro, kPlaceNext);
  ASSERT_NE(macro, nullptr);
  macro->SetVisibleInInstr(true);
  KSModul* inner = s.Add(macro, kTypeFader, TPnt(40, 40));
  Open();
  TCtrlView* frame = s.View<TMacroView>(macro);
  TCtrlView* fv = s.ViewOf(inner);
  ASSERT_TRUE(frame && fv);
  EXPECT_TRUE(frame->IsVisible());
  const TArea in = fv->GetArea();
  EXPECT_EQ(frame->GetArea(), TArea(in.Left() - 8, in.Top() - 16, in.Right() + 8, in.Bottom() + 8));
  inner->SetVisibleInInstr(false);
  EXPECT_FALSE(frame->IsVisible()) << "a macro whose controls are all hidden has no frame";
}

} // namespace
