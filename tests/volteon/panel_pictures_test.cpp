// The pictures of the panel controls, drawn by the program at their sizes.
#include "src/volteon/panelpics.h"
#include "src/volteon/pictures.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <string>

namespace {

TEST(PanelPictures, EachIdHasItsSize) {
  using namespace picture;
  const struct {
    int32_t id, width, height;
  } table[] = {
      {kKnobStrip, 4736, 37},         {kKnobSmallStrip, 2560, 20},   {kFaderStrip, 5120, 100},
      {kFaderSmallStrip, 2688, 50},   {kButtonUpLit, 39, 18},        {kButtonDownDark, 39, 18},
      {kButtonUpLit + 4, 19, 9},      {kButtonDownDark + 4, 19, 9},  {kSwitchRowSelected, 20, 16},
      {kSwitchBottomSelected, 20, 18}, {kSwitchRowUnselected, 20, 16}, {kSwitchBottomUnselected, 20, 18},
      {kLampFirst, 14, 13},           {kLampFirst + 7, 14, 13},      {kMeterRedOff, 14, 5},
      {kMeterYellowOn, 14, 5},        {kEnsemblePanelTile, 128, 128},
  };
  for (const auto& c : table) {
    const QImage img = DrawPicture(c.id);
    EXPECT_EQ(img.width(), c.width) << c.id;
    EXPECT_EQ(img.height(), c.height) << c.id;
  }
  skytest::SaveShot(DrawPicture(kKnobStrip).copy(0, 0, 37 * 16, 37), "panel_knob_strip.png");
  skytest::SaveShot(DrawPicture(kFaderStrip).copy(0, 0, 40 * 16, 100), "panel_fader_strip.png");
}

// The pointer of a knob frame: the angle of the bright orange pixels'
// centre of mass around the frame's centre, in degrees clockwise from the
// lower left.
double PointerAngle(const QImage& strip, int32_t size, int32_t frame) {
  double sx = 0, sy = 0, n = 0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const QColor c = strip.pixelColor(frame * size + x, y);
      if (c.alpha() > 200 && c.red() > 200 && c.green() > 120 && c.green() < 210 && c.blue() < 120) {
        sx += x + 0.5 - size / 2.0;
        sy += y + 0.5 - size / 2.0;
        n += 1;
      }
    }
  if (n == 0) return -1;
  const double math = std::atan2(-sy, sx) * 180.0 / 3.14159265358979;
  double clockwise = 225.0 - math;
  while (clockwise < -20) clockwise += 360;
  while (clockwise > 340) clockwise -= 360;
  return clockwise;
}

// The top row of a fader frame's cap (its bright upper edge).
int32_t CapTop(const QImage& strip, int32_t w, int32_t h, int32_t frame) {
  for (int y = 0; y < h; ++y) {
    const QColor c = strip.pixelColor(frame * w + w / 2 + 5, y);
    if (c.alpha() > 200 && c.red() > 180 && c.green() > 180) return y - 1;
  }
  return -1;
}

TEST(PanelPictures, KnobPointersAndFaderCapsRiseWithTheFrame) {
  using namespace picture;
  for (auto [id, size] : {std::pair{kKnobStrip, 37}, std::pair{kKnobSmallStrip, 20}}) {
    const QImage strip = DrawPicture(id);
    double last = -1000;
    for (int32_t f = 0; f < kStripFrames; f += 6) {
      const double a = PointerAngle(strip, size, f);
      EXPECT_GE(a, last - 2.0) << id << " frame " << f; // a pixel's rounding at most
      last = std::max(last, a);
    }
    EXPECT_LT(PointerAngle(strip, size, 0), 20.0) << id;
    EXPECT_GT(PointerAngle(strip, size, kStripFrames - 1), 250.0) << id;
  }
  for (auto [id, w, h] : {std::tuple{kFaderStrip, 40, 100}, std::tuple{kFaderSmallStrip, 21, 50}}) {
    const QImage strip = DrawPicture(id);
    int32_t last = h;
    for (int32_t f = 0; f < kStripFrames; ++f) {
      const int32_t top = CapTop(strip, w, h, f);
      ASSERT_GE(top, 0) << id << " frame " << f;
      EXPECT_LE(top, last) << id << " frame " << f;
      last = top;
    }
    EXPECT_LT(CapTop(strip, w, h, kStripFrames - 1), CapTop(strip, w, h, 0) - h / 2) << id;
  }
}

TEST(PanelPictures, TheNumberedStripCarriesEachFrameNumber) {
  const QImage strip = DrawNumberedStrip(4736, 37);
  for (int32_t f = 0; f < picture::kStripFrames; ++f) EXPECT_EQ(NumberedStripFrame(strip.pixel(f * 37, 0)), f);
  EXPECT_EQ(NumberedStripFrame(strip.pixel(5, 5)), -1) << "the grey around the marks is none";
}

} // namespace
