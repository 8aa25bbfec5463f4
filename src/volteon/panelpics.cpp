#include "src/volteon/panelpics.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979;
// The knob's pointer sweeps 270 degrees: from lower left (frame 0) clockwise
// over the top to lower right (the last frame).
constexpr double kKnobStartDegrees = 225.0;
constexpr double kKnobSweepDegrees = 270.0;

QImage Transparent(int32_t w, int32_t h) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  return img;
}

// One knob frame in a square of `size` pixels at x offset `left`.
void DrawKnob(QPainter& p, int32_t left, int32_t size, int32_t frame) {
  const double s = double(size);
  const QPointF c(left + s / 2.0, s / 2.0);
  const double r = s / 2.0 - (size > 24 ? 4.0 : 2.0);
  // Scale dots around the body, the lit part up to the pointer.
  const double a = (kKnobStartDegrees - kKnobSweepDegrees * frame / (picture::kStripFrames - 1)) * kPi / 180.0;
  if (size > 24) {
    for (int k = 0; k <= 10; ++k) {
      const double t = (kKnobStartDegrees - kKnobSweepDegrees * k / 10.0) * kPi / 180.0;
      const QPointF d = c + QPointF((r + 2.5) * std::cos(t), -(r + 2.5) * std::sin(t));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(40, 40, 40));
      p.drawEllipse(d, 0.9, 0.9);
    }
  }
  QRadialGradient body(c + QPointF(-r / 3, -r / 3), r * 1.4);
  body.setColorAt(0, QColor(112, 118, 124));
  body.setColorAt(1, QColor(38, 41, 45));
  p.setPen(QPen(QColor(15, 15, 17), 1.0));
  p.setBrush(body);
  p.drawEllipse(c, r, r);
  const double inner = size > 24 ? 3.0 : 1.0;
  const QPointF from = c + QPointF(inner * std::cos(a), -inner * std::sin(a));
  const QPointF to = c + QPointF((r - 1.0) * std::cos(a), -(r - 1.0) * std::sin(a));
  p.setPen(QPen(QColor(250, 176, 48), size > 24 ? 3.0 : 2.0, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(from, to);
}

QImage KnobStrip(int32_t size) {
  QImage img = Transparent(size * picture::kStripFrames, size);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  for (int32_t f = 0; f < picture::kStripFrames; ++f) DrawKnob(p, f * size, size, f);
  return img;
}

// One fader frame: a slot with tick marks and a cap whose top rises one
// step per frame or more.
void DrawFader(QPainter& p, int32_t left, int32_t w, int32_t h, int32_t frame) {
  const bool small = h < 80;
  const int32_t capH = small ? 7 : 13;
  const int32_t capW = small ? 15 : 30;
  const int32_t margin = small ? 1 : 3;
  const int32_t travel = h - 2 * margin - capH;
  const int32_t capTop = margin + travel - (travel * frame) / (picture::kStripFrames - 1);
  const int32_t cx = left + w / 2;
  // Tick marks at the left and right of the slot.
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QColor(40, 40, 40));
  for (int k = 0; k <= 10; ++k) {
    const int32_t y = margin + capH / 2 + (travel * k) / 10;
    const int32_t len = (k % 5 == 0) ? (small ? 3 : 6) : (small ? 2 : 4);
    p.drawLine(left + 1, y, left + len, y);
    p.drawLine(left + w - 1 - len, y, left + w - 2, y);
  }
  // The slot.
  p.fillRect(cx - 2, margin + capH / 2 - 1, 4, travel + 3, QColor(20, 20, 22));
  p.setPen(QColor(90, 90, 94));
  p.drawLine(cx + 2, margin + capH / 2 - 1, cx + 2, margin + capH / 2 + travel + 1);
  // The cap: a bevelled grey block with a white index line.
  const int32_t capLeft = cx - capW / 2;
  QLinearGradient g(0, capTop, 0, capTop + capH);
  g.setColorAt(0, QColor(214, 216, 218));
  g.setColorAt(0.45, QColor(150, 154, 158));
  g.setColorAt(0.55, QColor(118, 122, 126));
  g.setColorAt(1, QColor(70, 72, 76));
  p.fillRect(capLeft, capTop, capW, capH, g);
  p.setPen(QColor(20, 20, 22));
  p.drawRect(capLeft, capTop, capW - 1, capH - 1);
  p.setPen(QColor(250, 250, 250));
  p.drawLine(capLeft + 1, capTop + capH / 2, capLeft + capW - 2, capTop + capH / 2);
}

QImage FaderStrip(int32_t frameW, int32_t h) {
  QImage img = Transparent(frameW * picture::kStripFrames, h);
  QPainter p(&img);
  for (int32_t f = 0; f < picture::kStripFrames; ++f) DrawFader(p, f * frameW, frameW, h, f);
  return img;
}

// A push button: raised when up, sunken when down, with an LED lit or dark.
QImage Button(int32_t w, int32_t h, bool down, bool lit) {
  QImage img = Transparent(w, h);
  QPainter p(&img);
  const QColor face = down ? QColor(150, 152, 150) : QColor(196, 198, 194);
  p.fillRect(0, 0, w, h, face);
  const QColor light(246, 246, 244), shade(88, 90, 88);
  p.setPen(down ? shade : light);
  p.drawLine(0, 0, w - 1, 0);
  p.drawLine(0, 0, 0, h - 1);
  p.setPen(down ? light : shade);
  p.drawLine(0, h - 1, w - 1, h - 1);
  p.drawLine(w - 1, 0, w - 1, h - 1);
  p.setPen(QColor(30, 30, 30));
  p.setBrush(Qt::NoBrush);
  // The LED: a bar in the middle, shifted by a pixel when down.
  const int32_t o = down ? 1 : 0;
  const QRect led(w / 4 + o, h / 3 + o, w / 2, std::max(2, h / 3));
  p.fillRect(led, lit ? QColor(255, 70, 40) : QColor(90, 30, 26));
  if (lit) {
    p.setPen(QColor(255, 190, 160));
    p.drawLine(led.left(), led.top(), led.right(), led.top());
  }
  return img;
}

// A switch row: a round LED on a dark plate; a bottom row closes the plate.
QImage SwitchRow(bool selected, bool bottom) {
  const int32_t h = bottom ? picture::kSwitchBottomHeight : picture::kSwitchRowHeight;
  QImage img = Transparent(picture::kSwitchRowWidth, h);
  QPainter p(&img);
  p.fillRect(0, 0, picture::kSwitchRowWidth, h, QColor(58, 62, 66));
  p.setPen(QColor(20, 20, 22));
  p.drawLine(0, 0, 0, h - 1);
  p.drawLine(picture::kSwitchRowWidth - 1, 0, picture::kSwitchRowWidth - 1, h - 1);
  if (bottom) p.drawLine(0, h - 1, picture::kSwitchRowWidth - 1, h - 1);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(picture::kSwitchRowWidth / 2.0, picture::kSwitchRowHeight / 2.0);
  p.setPen(QPen(QColor(15, 15, 15), 1.0));
  p.setBrush(selected ? QColor(80, 230, 90) : QColor(30, 70, 34));
  p.drawEllipse(c, 4.5, 4.5);
  if (selected) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(210, 255, 210));
    p.drawEllipse(c + QPointF(-1.3, -1.3), 1.3, 1.3);
  }
  return img;
}

const QColor kLampTints[picture::kLampColours] = {QColor(240, 40, 30), QColor(40, 220, 60), QColor(250, 210, 40),
                                                    QColor(60, 130, 255)};

QImage Lamp(int32_t colour, bool on) {
  QImage img = Transparent(picture::kLampWidth, picture::kLampHeight);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor c = kLampTints[colour];
  const QPointF centre(picture::kLampWidth / 2.0, picture::kLampHeight / 2.0);
  p.setPen(QPen(QColor(20, 20, 20), 1.0));
  if (on) {
    QRadialGradient g(centre + QPointF(-1.5, -1.5), 6.0);
    g.setColorAt(0, c.lighter(170));
    g.setColorAt(1, c);
    p.setBrush(g);
  } else {
    p.setBrush(c.darker(320));
  }
  p.drawEllipse(centre, 5.5, 5.5);
  return img;
}

QImage MeterSegment(QColor c, bool on) {
  QImage img(picture::kMeterWidth, picture::kMeterHeight, QImage::Format_ARGB32_Premultiplied);
  img.fill(QColor(16, 16, 16));
  QPainter p(&img);
  p.fillRect(1, 0, picture::kMeterWidth - 2, picture::kMeterHeight - 1, on ? c : c.darker(560));
  return img;
}

QImage EnsembleTile() {
  QImage img(128, 128, QImage::Format_RGB32);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u;
      h = (h ^ (h >> 15)) * 2246822519u;
      const int d = int((h >> 7) % 9u) - 4;
      img.setPixel(x, y, qRgb(120 + d, 132 + d, 150 + d));
    }
  return img;
}

QImage PanelIcon() {
  QImage img = Transparent(16, 16);
  QPainter p(&img);
  p.fillRect(1, 1, 14, 14, QColor(150, 160, 148));
  p.fillRect(4, 3, 2, 10, QColor(20, 20, 20));
  p.fillRect(2, 6, 6, 3, QColor(200, 200, 200));
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(50, 54, 60));
  p.drawEllipse(QPointF(11.5, 8), 3, 3);
  return img;
}

} // namespace

QImage DrawPanelPicture(int32_t id) {
  using namespace picture;
  switch (id) {
  case kKnobStrip: return KnobStrip(37);
  case kKnobSmallStrip: return KnobStrip(20);
  case kFaderStrip: return FaderStrip(40, 100);
  case kFaderSmallStrip: return FaderStrip(21, 50);
  case kEnsemblePanelTile: return EnsembleTile();
  case kPanelIcon: return PanelIcon();
  default: break;
  }
  if (id >= kButtonUpLit && id < kButtonUpLit + 2 * kButtonSmallOffset) {
    const bool small = id >= kButtonUpLit + kButtonSmallOffset;
    const int32_t which = (id - kButtonUpLit) % kButtonSmallOffset;
    const bool down = which == 1 || which == 3;
    const bool lit = which <= 1;
    return small ? Button(kButtonSmallWidth, kButtonSmallHeight, down, lit) : Button(kButtonWidth, kButtonHeight, down, lit);
  }
  if (id >= kSwitchFirst && id <= kSwitchLast) {
    const int32_t k = id - kSwitchFirst;
    // Pairs: selected row, selected bottom row, unselected row, unselected bottom row.
    return SwitchRow(k < 4, (k / 2) % 2 == 1);
  }
  if (id >= kLampFirst && id < kLampFirst + 2 * kLampColours)
    return Lamp((id - kLampFirst) % kLampColours, id >= kLampFirst + kLampOnOffset);
  if (id >= kMeterFirst && id < kMeterFirst + 8) {
    static const QColor colours[4] = {QColor(255, 40, 30), QColor(50, 235, 70), QColor(255, 170, 30),
                                      QColor(245, 230, 40)};
    const int32_t k = id - kMeterFirst;
    return MeterSegment(colours[k % 4], k >= 4);
  }
  return QImage();
}

QImage DrawNumberedStrip(int32_t width, int32_t height) {
  QImage img(width, height, QImage::Format_RGB32);
  img.fill(QColor(128, 128, 128));
  const int32_t frameW = width / picture::kStripFrames;
  if (frameW <= 0 || height <= 0) return img;
  for (int32_t f = 0; f < picture::kStripFrames; ++f) img.setPixel(f * frameW, 0, qRgb(f, 0, 0));
  return img;
}

int32_t NumberedStripFrame(QRgb pixel) {
  if (qGreen(pixel) != 0 || qBlue(pixel) != 0) return -1;
  return qRed(pixel) < picture::kStripFrames ? qRed(pixel) : -1;
}
