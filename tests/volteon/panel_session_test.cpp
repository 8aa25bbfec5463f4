// An offscreen session: an instrument's panel with a fader, a knob, a
// button and a meter, played with the mouse while the engine runs, and
// grabbed to pictures for review.
#include "tests/volteon/panelfixture.h"

#include "src/engine/engine.h"
#include "src/mod/instr.h"

#include <gtest/gtest.h>

#include <cfloat>

namespace {

using paneltest::Session;

TEST(PanelSession, AFaderDragReachesTheEngineAndTheTickDrivesTheMeter) {
  Session s;
  KSModul* synth = s.AddInstrument("Synth");
  ASSERT_NE(synth, nullptr);
  KSModul* fader = s.Add(synth, kTypeFader, TPnt(8, 8));
  KSModul* knob = s.Add(synth, kTypeFader, TPnt(60, 8));
  KSModul* button = s.Add(synth, kTypeButton, TPnt(112, 8));
  KSModul* meter = s.Add(synth, kTypeMeter, TPnt(164, 8));
  ASSERT_TRUE(fader && knob && button && meter);
  fader->SetLabel(TStr("Cutoff"));
  knob->SetLabel(TStr("Reso"));
  knob->SetCtrlStyle(2);
  button->SetLabel(TStr("Hold"));
  meter->SetLabel(TStr("Mtr"));
  meter->SetControlRange(0.0f, 0, 1.0f, 127, 1.0f / 127.0f);
  fader->SetControlRange(0.0f, 0, 1.0f, 127, 1.0f / 127.0f);
  // The fader feeds the meter and, through the instrument's output, the
  // Audio Out: what reaches an output runs, and the meter with it.
  s.WireToOutput(synth, fader);
  {
    TStructureChange bracket(synth);
    ASSERT_EQ(meter->GetInPort(0)->Connect(fader->GetOutPort(0)), 0);
  }
  TPanelWnd* panel = s.OpenPanel(synth);
  ASSERT_NE(panel, nullptr);
  TFaderView* fv = s.View<TFaderView>(fader);
  ASSERT_NE(fv, nullptr);
  EXPECT_EQ(fv->GetOrigin(), TPnt(8, 8));
  fader->SetControlStep(20);
  s.Settle();
  DWnd* dw = panel->GetDWnd();
  // Drag the cap up by 30 pixels: 30 steps more.
  const TArea op = fv->GetOperatingArea();
  const QPoint start = Session::At(fv, op.Left() + 10, op.Top() + 60);
  skytest::Press(dw, start);
  skytest::Move(dw, start - QPoint(0, 10), Qt::LeftButton);
  skytest::Move(dw, start - QPoint(0, 30), Qt::LeftButton);
  skytest::Release(dw, start - QPoint(0, 30));
  EXPECT_EQ(fader->GetControlStep(), 50);
  EXPECT_EQ(fv->GetOrigin(), TPnt(8, 8)) << "a press on the operating area plays, it does not move";
  // The step's value reaches the engine: the meter's input reads it.
  const TEngineRecord* mr = meter->GetEngineRecord();
  ASSERT_NE(mr, nullptr);
  EXPECT_FLOAT_EQ(*mr->inputs[0][0], fader->GetTableValue(50));
  TMeterView* mv = s.View<TMeterView>(meter);
  ASSERT_NE(mv, nullptr);
  EXPECT_EQ(mv->GetCount(), 0) << "nothing lit before the panels' tick";
  const int32_t before = mv->GetRedrawCount();
  s.Render(64);
  s.ticker.Tick();
  EXPECT_EQ(mv->GetCount(), mv->CountOf(fader->GetTableValue(50)));
  EXPECT_GT(mv->GetCount(), 0);
  EXPECT_GT(mv->GetRedrawCount(), before);
  s.Top()->DeselectAll();
  button->Select();
    const QImage shot = s.Screen(panel);
  skytest::SaveShot(shot, "panel_session.png");
  // The lowest meter segment is lit (bright amber), the top one dark.
  const TPnt seg = mv->GetOrigin();
  const TArea mop = mv->GetOperatingArea();
  const QColor low = shot.pixelColor(seg.X() + mop.Left() + 7, seg.Y() + mop.Bottom() - 4);
  const QColor high = shot.pixelColor(seg.X() + mop.Left() + 7, seg.Y() + mop.Top() + 3);
  EXPECT_GT(low.red(), 200) << "lit";
  EXPECT_LT(high.red(), 100) << "dark";

  // The ensemble panel shows the instrument as a titled frame; the fader is
  // shown there too.
  fader->SetVisibleInEns(true);
  fader->SetEnsCtrlPos(TPnt(16, 24));
  TPanelWnd* ens = s.OpenPanel(s.Top());
  ASSERT_NE(ens, nullptr);
  TCtrlView* frame = s.ViewOf(synth, true);
  TCtrlView* inFrame = s.ViewOf(fader, true);
  ASSERT_TRUE(frame && inFrame);
  EXPECT_TRUE(frame->IsVisible());
  const TArea f = frame->GetArea(), c = inFrame->GetArea();
  EXPECT_TRUE(f.Left() < c.Left() && f.Top() < c.Top() && c.Right() < f.Right() && c.Bottom() < f.Bottom());
  skytest::SaveShot(s.Screen(ens), "panel_session_ensemble.png");
}

} // namespace

namespace {

// Every kind of control on one panel, for review.
TEST(PanelSession, AGalleryOfEveryControl) {
  Session s;
  KSModul* synth = s.AddInstrument("Gallery");
  KSModul* fader = s.Add(synth, kTypeFader, TPnt(8, 8));
  fader->SetControlRange(0.0f, 0, 1.0f, 127, 1.0f / 127.0f);
  fader->SetControlStep(90);
  KSModul* knob = s.Add(synth, kTypeFader, TPnt(60, 8));
  knob->SetCtrlStyle(2);
  knob->SetLabel(TStr("Knob"));
  knob->SetControlStep(100);
  KSModul* smallKnob = s.Add(synth, kTypeFader, TPnt(60, 80));
  smallKnob->SetCtrlStyle(2);
  smallKnob->SetSmallDesign(true);
  smallKnob->SetLabel(TStr("Fine"));
  KSModul* smallFader = s.Add(synth, kTypeFader, TPnt(88, 80));
  smallFader->SetSmallDesign(true);
  smallFader->SetLabel(TStr("Lvl"));
  KSModul* toggle = s.Add(synth, kTypeButton, TPnt(112, 8));
  toggle->SetControlStep(64);
  KSModul* gate = s.Add(synth, kTypeButton, TPnt(112, 48));
  gate->SetCtrlStyle(kButtonGate);
  gate->SetLabel(TStr("Gate"));
  KSModul* sw = s.Add(synth, TModuleType{kCatSwitch, 3}, TPnt(164, 8));
  sw->SetControlStep(2);
  KSModul* lamp = s.Add(synth, kTypeLamp, TPnt(216, 8));
  lamp->SetCtrlStyle(301);
  KSModul* meter = s.Add(synth, kTypeLevelMeter, TPnt(244, 8));
  KSModul* env = s.Add(synth, kTypeAdsrEnv, TPnt(276, 8));
  env->SetVisibleInInstr(true);
  KSModul* deck = s.Add(synth, kTypeTapedeck1, TPnt(276, 92));
  deck->SetVisibleInInstr(true);
  KSModul* macro = synth->InsertModule(kTypeMacro, kPlaceNext);
  macro->SetLabel(TStr("Filter"));
  macro->SetVisibleInInstr(true);
  KSModul* inner = s.Add(macro, kTypeFader, TPnt(176, 108));
  inner->SetCtrlStyle(2);
  inner->SetLabel(TStr("Cut"));
  KSModul* inner2 = s.Add(macro, kTypeFader, TPnt(224, 108));
  inner2->SetCtrlStyle(2);
  inner2->SetLabel(TStr("Res"));
  synth->SetPanelWndArea(TArea(0, 0, 400, 200));
  TPanelWnd* panel = s.OpenPanel(synth);
  ASSERT_NE(panel, nullptr);
  s.Top()->DeselectAll();
  // A curve in the graph: a rising line with a gap.
  float* columns = env->GetDisplayBuffer();
  const TPnt size = env->GetDisplaySize();
  for (int32_t x = 0; x < size.X(); ++x) columns[x] = x < 10 ? FLT_MAX : float(x) * float(size.Y()) / float(size.X());
  s.ViewOf(env)->Invalidate();
  for (KSModul* m : {fader, knob, smallKnob, smallFader, toggle, gate, sw, lamp, meter, env, deck, macro, inner, inner2})
    EXPECT_TRUE(s.ViewOf(m) && s.ViewOf(m)->IsVisible()) << m->GetLabel().CStr();
  const QImage shot = s.Screen(panel);
  skytest::SaveShot(shot, "panel_gallery.png");
  // The macro's frame encloses its two knobs.
  const TArea frame = s.ViewOf(macro)->GetArea();
  EXPECT_EQ(frame.Left(), 176 - 8);
  EXPECT_EQ(frame.Top(), 108 - 16);
}

} // namespace
