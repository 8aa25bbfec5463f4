#include "src/volteon/pictures.h"

#include "pc/sky/draw.h"
#include "src/volteon/modview.h"
#include "src/volteon/panelpics.h"
#include "src/volteon/portview.h"
#include "src/volteon/strucwnd.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// A small deterministic hash: the same texture on every run and machine.
uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

// A fine, seamless grain around a base colour (the tile repeats without a
// visible edge because every pixel is independent of its neighbours'
// position in the tile).
QImage Tile(QColor base, int spread, uint32_t seed) {
  QImage img(picture::kTileSize, picture::kTileSize, QImage::Format_RGB32);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const int d = int(Hash(uint32_t(x), uint32_t(y), seed) % uint32_t(2 * spread + 1)) - spread;
      img.setPixel(x, y, qRgb(std::clamp(base.red() + d, 0, 255), std::clamp(base.green() + d, 0, 255),
                              std::clamp(base.blue() + d, 0, 255)));
    }
  return img;
}

// A dark panel with a waveform, the program's name and a row of knobs.
QImage AboutPicture() {
  QImage img(picture::kAboutWidth, picture::kAboutHeight, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 0, 0, img.height());
  bg.setColorAt(0, QColor(46, 52, 58));
  bg.setColorAt(1, QColor(20, 23, 27));
  p.fillRect(img.rect(), bg);
  // The waveform: a decaying, filtered saw.
  QPainterPath wave;
  for (int x = 20; x <= 430; ++x) {
    const double t = (x - 20) / 410.0;
    const double phase = std::fmod(t * 9.0, 1.0);
    const double y = 150 - 48 * std::exp(-2.2 * t) * (std::sin(phase * 6.2831853) * 0.6 + (1 - 2 * phase) * 0.4);
    if (x == 20) wave.moveTo(x, y);
    else wave.lineTo(x, y);
  }
  p.setPen(QPen(QColor(90, 200, 190), 2.0));
  p.drawPath(wave);
  QFont title(QStringLiteral("DejaVu Sans"));
  title.setPixelSize(44);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(235, 235, 228));
  p.drawText(QRect(0, 24, img.width(), 56), Qt::AlignCenter, QStringLiteral("Volteon"));
  QFont small(QStringLiteral("DejaVu Sans"));
  small.setPixelSize(13);
  p.setFont(small);
  p.setPen(QColor(160, 170, 175));
  p.drawText(QRect(0, 76, img.width(), 20), Qt::AlignCenter, QStringLiteral("modular synthesizer and sampler"));
  // Knobs with their pointers at rising angles.
  for (int i = 0; i < 6; ++i) {
    const QPointF c(75 + i * 60, 232);
    p.setPen(QPen(QColor(12, 12, 14), 1.5));
    p.setBrush(QColor(70, 76, 82));
    p.drawEllipse(c, 17, 17);
    const double a = (225 - i * 54) * 3.14159265 / 180.0;
    p.setPen(QPen(QColor(240, 180, 60), 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(13 * std::cos(a), -13 * std::sin(a)));
  }
  return img;
}

// ---------------------------------------------------------------------------
// The structure editor's pictures

QImage Blank(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  return img;
}

// The light grey ground of the module boxes.
QImage BoxGround() { return Tile(QColor(200, 200, 196), 4, 4); }

// The state marks of a box: 14 x 13, a framed letter field.
QImage StateMark(QColor fill, const char* letter, QColor ink) {
  QImage img = Blank(14, 13);
  QPainter p(&img);
  p.setPen(QColor(90, 90, 90));
  p.setBrush(fill);
  p.drawRect(1, 0, 12, 12);
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(10);
  f.setBold(true);
  p.setFont(f);
  p.setPen(ink);
  p.drawText(QRect(1, 0, 13, 13), Qt::AlignCenter, QString::fromLatin1(letter));
  return img;
}

// A port's connector: 4 x 4.
QImage PortMark(QColor c) {
  QImage img = Blank(4, 4);
  QPainter p(&img);
  p.fillRect(0, 0, 4, 4, c);
  p.setPen(QColor(0, 0, 0));
  p.drawRect(0, 0, 3, 3);
  return img;
}

// The mark of an unlabelled event port: a small red arrow, 4 x 10.
QImage EventMark() {
  QImage img = Blank(4, 10);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(128, 0, 0));
  const QPointF tri[3] = {QPointF(0, 2), QPointF(4, 5), QPointF(0, 8)};
  p.drawPolygon(tri, 3);
  return img;
}

// The marks of the panel sources on their boxes, 9 x 13.
QImage SourceMark(int kind) {
  QImage img = Blank(9, 13);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(30, 30, 30);
  switch (kind) {
  case 0: // fader: a slot with a cap
    p.fillRect(4, 1, 1, 11, ink);
    p.fillRect(1, 5, 7, 3, QColor(60, 60, 70));
    break;
  case 1: // knob
    p.setPen(QPen(ink, 1.0));
    p.setBrush(QColor(90, 90, 100));
    p.drawEllipse(QPointF(4.5, 6.5), 3.8, 3.8);
    p.setPen(QPen(QColor(240, 200, 80), 1.2));
    p.drawLine(QPointF(4.5, 6.5), QPointF(2.0, 3.5));
    break;
  case 2: // button
    p.setPen(ink);
    p.setBrush(QColor(150, 150, 160));
    p.drawRect(1, 3, 7, 7);
    break;
  default: // a MIDI or clock source: a small socket
    p.setPen(QPen(ink, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(4.5, 6.5), 3.6, 3.6);
    p.fillRect(4, 4, 1, 1, ink);
    p.fillRect(2, 6, 1, 1, ink);
    p.fillRect(6, 6, 1, 1, ink);
    break;
  }
  return img;
}

// A lamp mark, 10 x 13.
QImage LampMark(QColor c, bool twin) {
  QImage img = Blank(10, 13);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(40, 40, 40));
  p.setBrush(c);
  if (twin) {
    p.drawEllipse(QPointF(3, 6.5), 2.5, 2.5);
    p.drawEllipse(QPointF(7.5, 6.5), 2.5, 2.5);
  } else {
    p.drawEllipse(QPointF(5, 6.5), 4, 4);
  }
  return img;
}

// The pictures the catalogue names for its types.
constexpr int32_t kMacroPicture = 8042;
constexpr int32_t kSawPicture = 8060;
constexpr int32_t kSamplerPicture = 8085;
constexpr int32_t kSwitchPicture = 8099;

// A module's picture: 32 x 32, a framed screen with a trace drawn by kind.
QImage ModulePictureOf(int32_t id) {
  QImage img = Blank(32, 32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(70, 70, 70));
  p.setBrush(QColor(36, 44, 40));
  p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 3, 3);
  QPainterPath trace;
  const QColor ink(120, 230, 200);
  switch (id) {
  case kSawPicture: // a rising sawtooth
    trace.moveTo(4, 24);
    trace.lineTo(16, 8);
    trace.lineTo(16, 24);
    trace.lineTo(28, 8);
    break;
  case kSamplerPicture: // a sampled sound: a decaying wave
    for (int x = 3; x <= 29; ++x) {
      const double t = (x - 3) / 26.0;
      const double y = 16 - 10 * std::exp(-2.5 * t) * std::sin(t * 6.2831853 * 4);
      if (x == 3) trace.moveTo(x, y);
      else trace.lineTo(x, y);
    }
    break;
  case kSwitchPicture: // a switch: three inputs, one lever
    for (int y : {8, 16, 24}) {
      trace.addEllipse(QPointF(6, y), 1.5, 1.5);
    }
    trace.moveTo(7.5, 8);
    trace.lineTo(24, 16);
    trace.lineTo(29, 16);
    break;
  case kMacroPicture: // a macro: boxes joined by a wire
    trace.addRect(4, 6, 9, 8);
    trace.addRect(19, 18, 9, 8);
    trace.moveTo(13, 10);
    trace.lineTo(19, 22);
    break;
  default: { // a generic module: a small box with a port on each side
    trace.addRect(9, 9, 14, 14);
    trace.moveTo(3, 16);
    trace.lineTo(9, 16);
    trace.moveTo(23, 16);
    trace.lineTo(29, 16);
    break;
  }
  }
  p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(trace);
  return img;
}

// The structure window's icon: three joined boxes, 16 x 16.
QImage StructureIcon() {
  QImage img = Blank(16, 16);
  QPainter p(&img);
  p.setPen(QColor(30, 30, 30));
  p.setBrush(QColor(200, 200, 196));
  p.drawRect(1, 1, 5, 5);
  p.drawRect(9, 9, 5, 5);
  p.setPen(QColor(60, 140, 130));
  p.drawLine(6, 4, 9, 11);
  return img;
}

} // namespace

QImage DrawPicture(int32_t id) {
  switch (id) {
  case picture::kTileGreenGrey: return Tile(QColor(150, 160, 148), 6, 1);
  case picture::kTileSand: return Tile(QColor(214, 200, 168), 6, 2);
  case picture::kTileBlue: return Tile(QColor(120, 140, 176), 6, 3);
  case picture::kAboutPicture: return AboutPicture();
  case picture::kBoxMuted: return StateMark(QColor(200, 40, 40), "M", QColor(255, 255, 255));   // muted
  case picture::kBoxPoly: return StateMark(QColor(70, 120, 200), "P", QColor(255, 255, 255));  // poly
  case picture::kBoxMono: return StateMark(QColor(230, 230, 225), "M", QColor(30, 30, 30));    // mono
  case picture::kBoxInactive: return StateMark(QColor(150, 150, 150), "-", QColor(40, 40, 40));    // inactive
  case picture::kBoxBackground: return BoxGround();
  case picture::kOutPort: return PortMark(QColor(40, 40, 40));     // out-port
  case picture::kInPort: return PortMark(QColor(40, 40, 40));     // in-port
  case picture::kOutPortMuted: return PortMark(QColor(220, 60, 60));    // muted out-port
  case picture::kInPortMuted: return PortMark(QColor(220, 60, 60));    // muted or conflicting in-port
  case picture::kOutPortUnavailable: return PortMark(QColor(170, 170, 170));  // unavailable out-port
  case picture::kInPortFlagged: return PortMark(QColor(170, 170, 170));  // unavailable in-port
  case picture::kOutEventMark:
  case picture::kInEventMark: return EventMark();
  case picture::kStructureIcon: return StructureIcon();
  case picture::kLampMark: return LampMark(QColor(230, 60, 50), false);
  case picture::kLampTwinMark: return LampMark(QColor(230, 60, 50), true);
  case picture::kLevelLampMark: return LampMark(QColor(90, 220, 90), false);
  case picture::kButtonMark: return SourceMark(2);
  case picture::kFaderMark: return SourceMark(0);
  case picture::kKnobMark: return SourceMark(1);
  case picture::kSourceMark: return SourceMark(3);
  default:
    if (id >= picture::kFirstModulePicture && id <= picture::kLastModulePicture) return ModulePictureOf(id);
    if (QImage image = DrawPanelPicture(id); !image.isNull()) return image;
    return DrawCtrlBoxPicture(id);
  }
}

void InstallPictures() { sky::SetPictureProvider(&DrawPicture); }
