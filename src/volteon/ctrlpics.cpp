// The pictures of the control box: button glyphs, the level meter strip and
// the MIDI lamp, drawn at their sizes.
#include "src/volteon/ctrlbox.h"
#include "src/volteon/pictures.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

using namespace pictureid;

const QColor kInk(40, 44, 52);
const QColor kPaper(250, 250, 244);
const QColor kAccent(40, 110, 190);
const QColor kRed(200, 40, 36);
const QColor kGreen(30, 150, 60);
const QColor kAmber(230, 160, 20);

QImage Blank(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  return img;
}

void Pen(QPainter& p, const QColor& c, double width = 1.2) {
  p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

// A sheet of paper with a folded corner.
void Sheet(QPainter& p, QRectF r) {
  QPolygonF page;
  page << r.topLeft() << QPointF(r.right() - 4, r.top()) << QPointF(r.right(), r.top() + 4) << r.bottomRight()
       << r.bottomLeft();
  Pen(p, kInk);
  p.setBrush(kPaper);
  p.drawPolygon(page);
  p.drawLine(QPointF(r.right() - 4, r.top()), QPointF(r.right() - 4, r.top() + 4));
  p.drawLine(QPointF(r.right() - 4, r.top() + 4), QPointF(r.right(), r.top() + 4));
}

// A small window frame with a title strip.
void Window(QPainter& p, QRectF r, const QColor& title) {
  Pen(p, kInk);
  p.setBrush(kPaper);
  p.drawRect(r);
  p.fillRect(QRectF(r.left() + 0.6, r.top() + 0.6, r.width() - 1.2, 3), title);
}

void Letter(QPainter& p, QRectF r, const QString& text, const QColor& c, int pixels, bool bold = true) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(pixels);
  f.setBold(bold);
  p.setFont(f);
  p.setPen(c);
  p.drawText(r, Qt::AlignCenter, text);
}

QImage Button(int32_t id) {
  QImage img = Blank(kButtonWidth, kButtonHeight);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF all(0.5, 0.5, kButtonWidth - 1, kButtonHeight - 1);
  switch (id) {
  case pictureid::kNew:
    Sheet(p, QRectF(5.5, 1.5, 10, 14));
    Letter(p, QRectF(10, 0, 10, 9), QStringLiteral("+"), kGreen, 10);
    break;
  case pictureid::kOpen: {
    Pen(p, kInk);
    p.setBrush(kAmber);
    QPolygonF back;
    back << QPointF(2.5, 4.5) << QPointF(7.5, 4.5) << QPointF(9, 6) << QPointF(16.5, 6) << QPointF(16.5, 15.5)
         << QPointF(2.5, 15.5);
    p.drawPolygon(back);
    p.setBrush(QColor(250, 200, 80));
    QPolygonF front;
    front << QPointF(2.5, 15.5) << QPointF(5, 8.5) << QPointF(18.5, 8.5) << QPointF(16.5, 15.5);
    p.drawPolygon(front);
    break;
  }
  case pictureid::kSave:
    Pen(p, kInk);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(3.5, 2.5, 13, 13), 1.5, 1.5);
    p.fillRect(QRectF(6, 3, 8, 5), kPaper);
    p.fillRect(QRectF(6.5, 10.5, 7, 4.5), QColor(210, 215, 225));
    break;
  case pictureid::kRunStop: {
    // A power symbol.
    Pen(p, kGreen, 1.8);
    p.drawArc(QRectF(4, 3.5, 12, 12), 120 * 16, 300 * 16);
    p.drawLine(QPointF(10, 2), QPointF(10, 9));
    break;
  }
  case pictureid::kHints: {
    Pen(p, kInk);
    p.setBrush(QColor(255, 250, 200));
    p.drawRoundedRect(QRectF(2.5, 2.5, 15, 10), 2, 2);
    QPolygonF tail;
    tail << QPointF(6, 12.5) << QPointF(5, 16) << QPointF(9.5, 12.5);
    p.drawPolygon(tail);
    Letter(p, QRectF(2.5, 2.5, 15, 10), QStringLiteral("?"), kAccent, 9);
    break;
  }
  case pictureid::kClosePanels:
  case pictureid::kCloseStructures: {
    Window(p, QRectF(2.5, 3.5, 12, 11), id == pictureid::kClosePanels ? kAmber : kAccent);
    Pen(p, kRed, 1.8);
    p.drawLine(QPointF(11, 9), QPointF(17, 15));
    p.drawLine(QPointF(17, 9), QPointF(11, 15));
    break;
  }
  case pictureid::kPanelsToFront:
    Window(p, QRectF(2.5, 2.5, 10, 8), QColor(150, 150, 150));
    Window(p, QRectF(7.5, 7.5, 10, 8), kAmber);
    break;
  case pictureid::kClockStop:
    p.fillRect(QRectF(5, 4, 10, 10), kInk);
    break;
  case pictureid::kClockStart: {
    QPolygonF play;
    play << QPointF(6, 3) << QPointF(15, 9) << QPointF(6, 15);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPolygon(play);
    break;
  }
  case pictureid::kGotoPanel: {
    Window(p, QRectF(2.5, 2.5, 15, 13), kAmber);
    Pen(p, kInk);
    p.setBrush(QColor(90, 96, 104));
    p.drawEllipse(QPointF(7, 10.5), 2.6, 2.6);
    p.drawEllipse(QPointF(13, 10.5), 2.6, 2.6);
    break;
  }
  case pictureid::kGotoStructure: {
    Window(p, QRectF(2.5, 2.5, 15, 13), kAccent);
    Pen(p, kInk);
    p.setBrush(QColor(200, 215, 235));
    p.drawRect(QRectF(4.5, 7.5, 4, 4));
    p.drawRect(QRectF(11.5, 9.5, 4, 4));
    p.drawLine(QPointF(8.5, 9.5), QPointF(11.5, 11.5));
    break;
  }
  case pictureid::kInfo:
    Pen(p, kAccent);
    p.setBrush(QColor(225, 235, 250));
    p.drawEllipse(QRectF(2.5, 1.5, 15, 15));
    Letter(p, QRectF(2.5, 1.5, 15, 15), QStringLiteral("i"), kAccent, 11);
    break;
  case pictureid::kProperties:
    Sheet(p, QRectF(4.5, 1.5, 11, 15));
    Pen(p, kInk, 1.0);
    for (int y : {6, 9, 12}) {
      p.drawLine(QPointF(6.5, y + 0.5), QPointF(9, y + 0.5));
      p.drawLine(QPointF(10.5, y + 0.5), QPointF(13.5, y + 0.5));
    }
    break;
  case pictureid::kSolo: Letter(p, all, QStringLiteral("S"), kAmber.darker(130), 13); break;
  case pictureid::kMute: Letter(p, all, QStringLiteral("M"), kRed, 13); break;
  case pictureid::kLearn: Letter(p, all, QStringLiteral("L"), kAccent, 13); break;
  case pictureid::kLock: {
    Pen(p, kInk, 1.6);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(6, 2, 8, 9), 0, 180 * 16);
    p.drawLine(QPointF(6, 6.5), QPointF(6, 8));
    p.drawLine(QPointF(14, 6.5), QPointF(14, 8));
    Pen(p, kInk, 1.0);
    p.setBrush(kAmber);
    p.drawRoundedRect(QRectF(4.5, 8.5, 11, 8), 1, 1);
    break;
  }
  case pictureid::kSnapDialog: {
    // A camera.
    Pen(p, kInk);
    p.setBrush(QColor(90, 96, 104));
    p.drawRoundedRect(QRectF(2.5, 5.5, 15, 10), 1.5, 1.5);
    p.drawRect(QRectF(6.5, 3.5, 5, 2));
    p.setBrush(QColor(200, 215, 235));
    p.drawEllipse(QPointF(10, 10.5), 3.2, 3.2);
    break;
  }
  case pictureid::kSnapReload: {
    Pen(p, kGreen, 1.8);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 3.5, 12, 12), 60 * 16, 270 * 16);
    QPolygonF head;
    head << QPointF(12, 1.5) << QPointF(16.5, 4.5) << QPointF(12, 7.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPolygon(head);
    break;
  }
  default: return QImage();
  }
  return img;
}

// Speaker-like symbols of the input and output meters: an arrow into or out
// of a bar, as tall as the meters.
QImage Symbol(bool output) {
  QImage img = Blank(kMeterCelWidth, kMeterCelHeight);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QPolygonF arrow;
  if (output) arrow << QPointF(2, 6) << QPointF(9, 10.5) << QPointF(2, 15);
  else arrow << QPointF(9, 6) << QPointF(2, 10.5) << QPointF(9, 15);
  p.setPen(Qt::NoPen);
  p.setBrush(output ? kRed : kGreen);
  p.drawPolygon(arrow);
  Letter(p, QRectF(0, 14, kMeterCelWidth, 7), output ? QStringLiteral("O") : QStringLiteral("I"), kInk, 7);
  return img;
}

// The meter: cel 0 dark (off), cels 1 ... 6 light one to six segments from
// the bottom; the top segment is red, the one below amber.
QImage Meter() {
  QImage img(kMeterCelWidth * kMeterCels, kMeterCelHeight, QImage::Format_RGB32);
  QPainter p(&img);
  const int segments = kMeterCels - 1;
  const int segH = (kMeterCelHeight - 3) / segments; // 3 pixels of frame and gap
  for (int cel = 0; cel < kMeterCels; ++cel) {
    const QRect frame(cel * kMeterCelWidth, 0, kMeterCelWidth, kMeterCelHeight);
    p.fillRect(frame, QColor(28, 30, 34));
    p.setPen(QColor(80, 84, 90));
    p.drawRect(frame.adjusted(0, 0, -1, -1));
    for (int s = 0; s < segments; ++s) {
      const QColor on = s == segments - 1 ? QColor(240, 50, 40) : s == segments - 2 ? QColor(250, 190, 40)
                                                                                     : QColor(60, 220, 80);
      const QColor off = on.darker(420);
      const bool lit = cel > 0 && s < cel;
      const int y = kMeterCelHeight - 2 - (s + 1) * segH;
      p.fillRect(QRect(frame.left() + 2, y + 1, kMeterCelWidth - 4, segH - 1), lit ? on : off);
    }
  }
  return img;
}

// The MIDI lamp: a round LED, dark and lit, with the word "MIDI" beside
// nothing else so that it reads at a glance.
QImage Lamp() {
  QImage img = Blank(kLampCelWidth * kLampCels, kLampCelHeight);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  for (int cel = 0; cel < kLampCels; ++cel) {
    const double cx = cel * kLampCelWidth + kLampCelWidth / 2.0;
    Letter(p, QRectF(cel * kLampCelWidth, 0, kLampCelWidth, 8), QStringLiteral("MIDI"), kInk, 7);
    const QColor led = cel ? QColor(255, 70, 50) : QColor(95, 40, 36);
    Pen(p, QColor(30, 30, 30), 1.0);
    p.setBrush(led);
    p.drawEllipse(QPointF(cx, 14.5), 5.5, 5.5);
    if (cel) {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(255, 220, 210));
      p.drawEllipse(QPointF(cx - 1.8, 12.8), 1.6, 1.6);
    }
  }
  return img;
}

} // namespace

QImage DrawCtrlBoxPicture(int32_t id) {
  switch (id) {
  case pictureid::kMeter: return Meter();
  case pictureid::kLamp: return Lamp();
  case pictureid::kInSymbol: return Symbol(false);
  case pictureid::kOutSymbol: return Symbol(true);
  default: return Button(id);
  }
}
