// Which frame of its strip a fader or knob shows, read back from the
// screen: the strips here carry their frame numbers in a pixel.
#include "tests/volteon/panelfixture.h"

#include "pc/sky/draw.h"
#include "src/volteon/panelpics.h"
#include "src/volteon/pictures.h"

#include <gtest/gtest.h>

namespace {

using paneltest::Session;

QImage NumberedPictures(int32_t id) {
  switch (id) {
  case picture::kKnobStrip: return DrawNumberedStrip(4736, 37);
  case picture::kKnobSmallStrip: return DrawNumberedStrip(2560, 20);
  case picture::kFaderStrip: return DrawNumberedStrip(5120, 100);
  case picture::kFaderSmallStrip: return DrawNumberedStrip(2688, 50);
  default: return DrawPicture(id);
  }
}

TEST(PanelStrip, TheScreenShowsTheFrameOfTheStep) {
  Session s;
  // Before any control view loads its strips.
  sky::SetPictureProvider(&NumberedPictures);
  KSModul* synth = s.AddInstrument();
  KSModul* fader = s.Add(synth, kTypeFader, TPnt(8, 8));
  KSModul* knob = s.Add(synth, kTypeFader, TPnt(80, 8));
  knob->SetCtrlStyle(2);
  KSModul* small = s.Add(synth, kTypeFader, TPnt(160, 8));
  small->SetSmallDesign(true);
  TPanelWnd* panel = s.OpenPanel(synth);
  ASSERT_NE(panel, nullptr);
  struct Case {
    int32_t lower, upper, step, frame;
  } cases[] = {{0, 127, 0, 0}, {0, 127, 64, 64}, {0, 127, 127, 127}, {0, 1, 1, 127}, {0, 1, 0, 0}, {10, 20, 15, 63}};
  for (KSModul* m : {fader, knob, small}) {
    auto* v = s.View<TFaderView>(m);
    ASSERT_NE(v, nullptr);
    for (const Case& c : cases) {
      m->SetControlRange(0.0f, c.lower, 1.0f, c.upper, 1.0f / float(c.upper - c.lower));
      m->SetControlStep(c.step);
      const QImage shot = s.Screen(panel);
      const TArea d = v->GetFrameDestination();
      const QRgb mark = shot.pixel(v->GetOrigin().X() + d.Left(), v->GetOrigin().Y() + d.Top());
      EXPECT_EQ(NumberedStripFrame(mark), c.frame) << m->GetLabel().CStr() << " " << c.lower << "-" << c.upper
                                                  << " step " << c.step;
    }
  }
  sky::SetPictureProvider(&DrawPicture);
}

} // namespace
