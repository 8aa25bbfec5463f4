#include "src/volteon/pictures.h"

#include "pc/sky/draw.h"

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

} // namespace

QImage DrawPicture(int32_t id) {
  switch (id) {
  case picture::kTileGreenGrey: return Tile(QColor(150, 160, 148), 6, 1);
  case picture::kTileSand: return Tile(QColor(214, 200, 168), 6, 2);
  case picture::kTileBlue: return Tile(QColor(120, 140, 176), 6, 3);
  case picture::kAboutPicture: return AboutPicture();
  default: return DrawCtrlBoxPicture(id);
  }
}

void InstallPictures() { sky::SetPictureProvider(&DrawPicture); }
