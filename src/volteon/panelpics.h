// The pictures of the panel controls: knob and fader strips of 128 frames,
// button faces, switch rows, lamps and meter segments, drawn by our own code.
#pragma once

#include <cstdint>

#include <QImage>

namespace picture {
// Strips of 128 frames side by side, frame 0 at the left.
constexpr int32_t kStripFrames = 128;
constexpr int32_t kKnobStrip = 10500;        // 4736 x 37: frames 37 x 37
constexpr int32_t kKnobSmallStrip = 10501;   // 2560 x 20: frames 20 x 20
constexpr int32_t kFaderStrip = 10502;       // 5120 x 100: frames 40 x 100
constexpr int32_t kFaderSmallStrip = 10503;  // 2688 x 50: frames 21 x 50
// Buttons: up and lit, down and lit, up and dark, down and dark; the small
// design's four follow.
constexpr int32_t kButtonUpLit = 10600;
constexpr int32_t kButtonDownLit = 10601;
constexpr int32_t kButtonUpDark = 10602;
constexpr int32_t kButtonDownDark = 10603;
constexpr int32_t kButtonSmallOffset = 4;
constexpr int32_t kButtonWidth = 39, kButtonHeight = 18;
constexpr int32_t kButtonSmallWidth = 19, kButtonSmallHeight = 9;
// Switch rows: 20 x 16, the bottom rows 20 x 18.
constexpr int32_t kSwitchRowSelected = 10700;
constexpr int32_t kSwitchBottomSelected = 10702;
constexpr int32_t kSwitchRowUnselected = 10704;
constexpr int32_t kSwitchBottomUnselected = 10706;
constexpr int32_t kSwitchFirst = 10700, kSwitchLast = 10707;
constexpr int32_t kSwitchRowWidth = 20, kSwitchRowHeight = 16, kSwitchBottomHeight = 18;
// Lamps 14 x 13: four colours dark, then the same four lit.
constexpr int32_t kLampFirst = 10800;
constexpr int32_t kLampOnOffset = 4;
constexpr int32_t kLampColours = 4;
constexpr int32_t kLampWidth = 14, kLampHeight = 13;
// Meter segments 14 x 5: dark red, dark green, dark amber, dark yellow, then
// the same four lit.
constexpr int32_t kMeterFirst = 10900;
constexpr int32_t kMeterRedOff = 10900, kMeterGreenOff = 10901, kMeterAmberOff = 10902, kMeterYellowOff = 10903;
constexpr int32_t kMeterRedOn = 10904, kMeterGreenOn = 10905, kMeterAmberOn = 10906, kMeterYellowOn = 10907;
constexpr int32_t kMeterWidth = 14, kMeterHeight = 5;
// The ensemble panel's background tile.
constexpr int32_t kEnsemblePanelTile = 7850;
constexpr int32_t kPanelIcon = 7860;
} // namespace picture

// The panel picture of a resource id, or a null image.
QImage DrawPanelPicture(int32_t id);

// A strip whose every frame carries its own number in the red channel of
// its top-left pixel (green and blue 0), the rest a flat grey, for tests
// that check which frame a control shows.
QImage DrawNumberedStrip(int32_t width, int32_t height);
// The frame number a pixel of a numbered strip carries, or -1 when the
// pixel is not such a mark.
int32_t NumberedStripFrame(QRgb pixel);
