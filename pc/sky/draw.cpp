#include "pc/sky/draw.h"

#include "pc/sky/qtext.h"

#include <QColor>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPen>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <atomic>
#include <mutex>

QV_MESSAGE(CannotLoadBitmap, "Cannot load bitmap $1.")
QV_MESSAGE(CannotOpenBitmapFile, "Cannot open file $1.")

namespace {

// ---------------------------------------------------------------- fonts

// Every face is drawn as DejaVu Sans. The height is the character cell in
// pixels (a negative height the character itself); cells below the smallest
// size that stays legible are raised to it.
constexpr const char* kFontFamily = "DejaVu Sans";
constexpr int kSmallestPixelSize = 11;

class TFnt : public TBase, public IFnt {
public:
  TFnt(const TStr& face, int32_t height, int32_t width) : face_(face) {
    int32_t h = height < 0 ? -height : height;
    font_.setFamily(QString::fromLatin1(kFontFamily));
    font_.setStyleHint(QFont::SansSerif);
    font_.setWeight(QFont::Normal);
    font_.setPixelSize(h < kSmallestPixelSize ? kSmallestPixelSize : h);
    font_.setHintingPreference(QFont::PreferFullHinting);
    (void)width;
  }
  const QFont& Font() const { return font_; }

private:
  TStr face_;
  QFont font_;
};

// ---------------------------------------------------------------- colours

class DColor : public TBase, public IColor {
public:
  explicit DColor(uint32_t value) : value_(value & 0xFFFFFF) {}
  uint32_t GetColor() const override { return value_; }
  void SetColor(uint32_t value) override { value_ = value & 0xFFFFFF; }
  int GetRed() const override { return int(value_ & 0xFF); }
  int GetGreen() const override { return int((value_ >> 8) & 0xFF); }
  int GetBlue() const override { return int((value_ >> 16) & 0xFF); }
  void SetRed(int v) override { value_ = (value_ & 0xFFFF00) | (uint32_t(v) & 0xFF); }
  void SetGreen(int v) override { value_ = (value_ & 0xFF00FF) | ((uint32_t(v) & 0xFF) << 8); }
  void SetBlue(int v) override { value_ = (value_ & 0x00FFFF) | ((uint32_t(v) & 0xFF) << 16); }
  void Assign(const IBase& other) override {
    if (auto* c = dynamic_cast<const IColor*>(&other)) value_ = c->GetColor();
  }
  bool IsEqual(const IBase& other) const override {
    auto* c = dynamic_cast<const IColor*>(&other);
    return c && c->GetColor() == value_;
  }

private:
  uint32_t value_;
};

// ---------------------------------------------------------------- bitmaps

TStr& ResourceFolder() {
  static TStr folder;
  return folder;
}
std::atomic<sky::TPictureProvider>& Provider() {
  static std::atomic<sky::TPictureProvider> provider{nullptr};
  return provider;
}
std::mutex& ResourceFolderLock() {
  static std::mutex m;
  return m;
}

class TBmp : public TBase, public IBmp {
public:
  void LoadResource(int32_t id) override {
    if (sky::TPictureProvider provider = Provider().load()) {
      QImage drawn = provider(id);
      if (!drawn.isNull()) {
        Take(std::move(drawn));
        return;
      }
    }
    QStringList candidates;
    for (const char* ext : {".png", ".bmp"}) candidates << QStringLiteral(":/bitmaps/%1%2").arg(id).arg(QLatin1String(ext));
    TStr folder;
    {
      std::lock_guard<std::mutex> lock(ResourceFolderLock());
      folder = ResourceFolder();
    }
    if (!folder.IsEmpty())
      for (const char* ext : {".png", ".bmp"})
        candidates << sky::ToQString(folder) + QStringLiteral("/%1%2").arg(id).arg(QLatin1String(ext));
    for (const QString& path : candidates) {
      QImage image;
      if (QFile::exists(path) && image.load(path)) {
        Take(std::move(image));
        return;
      }
    }
    CannotLoadBitmap().SetParam(1, FormatStr("%d", int(id)));
    ThrowError(&CannotLoadBitmap());
  }

  void LoadFile(IFileName* name) override {
    TStr path = name ? name->GetPath() : TStr();
    QImage image;
    if (path.IsEmpty() || !image.load(sky::ToQString(path))) {
      CannotOpenBitmapFile().SetParam(1, path);
      ThrowError(&CannotOpenBitmapFile());
    }
    Take(std::move(image));
  }

  int32_t GetWidth() const override { return image_.isNull() ? 0 : image_.width(); }
  int32_t GetHeight() const override { return image_.isNull() ? 0 : image_.height(); }
  const QImage* Image() const { return image_.isNull() ? nullptr : &image_; }

private:
  void Take(QImage image) {
    image_ = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                     : image.convertToFormat(QImage::Format_RGB32);
  }
  QImage image_;
};

} // namespace

// ---------------------------------------------------------------- factories

IDrawContext* CreateDrawContext() { return new TDrawContext; }
IFnt* CreateFnt(const TStr& face, int32_t height, int32_t width) { return new TFnt(face, height, width); }
IColor* CreateColor(int r, int g, int b) {
  return new DColor((uint32_t(r) & 0xFF) | ((uint32_t(g) & 0xFF) << 8) | ((uint32_t(b) & 0xFF) << 16));
}
IBmp* CreateBmp() { return new TBmp; }

IColor* StdColor(TStdColor which) {
  static const uint8_t kRgb[kStdColorCount][3] = {
      {0, 0, 0},     {255, 255, 255}, {128, 128, 128}, {192, 192, 192}, {128, 0, 0},   {255, 0, 0},
      {0, 128, 0},   {0, 192, 0},     {0, 255, 0},     {0, 0, 128},     {0, 0, 255},   {128, 128, 0},
      {255, 255, 0}, {128, 0, 128},   {255, 0, 255},   {0, 128, 128},   {0, 255, 255}, {0, 0, 0}};
  // Never freed: views hold these for the whole run.
  static IColor** colours = [] {
    auto** c = new IColor*[kStdColorCount];
    for (int i = 0; i < kStdColorCount; ++i) c[i] = CreateColor(kRgb[i][0], kRgb[i][1], kRgb[i][2]);
    return c;
  }();
  int n = int(which);
  if (n < 1 || n > kStdColorCount) n = int(TStdColor::Black);
  return colours[n - 1];
}

namespace sky {
QColor QtColor(const IColor* color) {
  if (!color) return QColor(Qt::black);
  return QColor(color->GetRed(), color->GetGreen(), color->GetBlue());
}
QFont QtFont(IFnt* font) {
  if (auto* f = dynamic_cast<TFnt*>(font)) return f->Font();
  QFont fallback(QString::fromLatin1(kFontFamily));
  fallback.setPixelSize(kSmallestPixelSize);
  return fallback;
}
const QImage* QtImage(IBmp* bmp) {
  auto* b = dynamic_cast<TBmp*>(bmp);
  return b ? b->Image() : nullptr;
}
void SetBitmapResourceFolder(const TStr& folder) {
  std::lock_guard<std::mutex> lock(ResourceFolderLock());
  ResourceFolder() = folder;
}
void SetPictureProvider(TPictureProvider provider) { Provider().store(provider); }
} // namespace sky

// ---------------------------------------------------------------- drawing context

namespace {
QRect QtRect(const TArea& a) { return QRect(a.Left(), a.Top(), a.Width(), a.Height()); }
} // namespace

void TDrawContext::SetDC(QPainter* painter) {
  painter_ = painter;
  base_ = TPnt();
  current_ = TPnt();
  if (!painter) return;
  QTransform t = painter->transform();
  base_ = TPnt(int32_t(t.dx()), int32_t(t.dy()));
  painter->setRenderHint(QPainter::Antialiasing, false);
  painter->setFont(sky::QtFont(nullptr));
}

TPnt TDrawContext::GetOrigin() const {
  if (!painter_) return TPnt();
  QTransform t = painter_->transform();
  return TPnt(int32_t(t.dx()) - base_.X(), int32_t(t.dy()) - base_.Y());
}

void TDrawContext::SetOrigin(const TPnt& p) {
  if (!painter_) return;
  painter_->setTransform(QTransform::fromTranslate(base_.X() + p.X(), base_.Y() + p.Y()));
}

void TDrawContext::SetFont(IFnt* font) {
  if (painter_) painter_->setFont(sky::QtFont(font));
}

void TDrawContext::DrawBitmap(IBmp* bmp, const TPnt& p) {
  if (!bmp) return;
  BlitBitmap(bmp, 0, 0, TArea(p.X(), p.Y(), p.X() + bmp->GetWidth(), p.Y() + bmp->GetHeight()));
}

void TDrawContext::BlitBitmap(IBmp* bmp, int32_t sx, int32_t sy, const TArea& dest) {
  const QImage* image = sky::QtImage(bmp);
  if (!painter_ || !image || dest.IsEmpty()) return;
  painter_->drawImage(QPoint(dest.Left(), dest.Top()), *image, QRect(sx, sy, dest.Width(), dest.Height()));
}

void TDrawContext::MoveTo(const TPnt& p) { current_ = p; }

void TDrawContext::LineTo(const TPnt& p, IColor* color) {
  if (painter_ && p != current_) {
    // Walked point by point from the current position, the end point left
    // out (whatever the direction), so joined lines meet without drawing
    // their common point twice.
    QPolygon points;
    int x = current_.X(), y = current_.Y();
    const int dx = std::abs(p.X() - x), dy = -std::abs(p.Y() - y);
    const int sx = x < p.X() ? 1 : -1, sy = y < p.Y() ? 1 : -1;
    int err = dx + dy;
    while (x != p.X() || y != p.Y()) {
      points << QPoint(x, y);
      const int e2 = 2 * err;
      if (e2 >= dy) { err += dy; x += sx; }
      if (e2 <= dx) { err += dx; y += sy; }
    }
    QPen pen(sky::QtColor(color), 1, Qt::SolidLine, Qt::SquareCap);
    pen.setCosmetic(true);
    painter_->setPen(pen);
    painter_->drawPoints(points);
  }
  current_ = p;
}

void TDrawContext::FillArea(const TArea& area, IColor* color) {
  if (painter_ && !area.IsEmpty()) painter_->fillRect(QtRect(area), sky::QtColor(color));
}

void TDrawContext::TileBitmap(const TArea& area, IBmp* bmp) {
  if (!painter_ || !bmp || area.IsEmpty()) return;
  const int32_t bw = bmp->GetWidth(), bh = bmp->GetHeight();
  if (bw <= 0 || bh <= 0) return;
  const int32_t w = area.Width(), h = area.Height();
  const int32_t columns = (w - 1) / bw, rows = (h - 1) / bh;
  for (int32_t row = 0; row <= rows; ++row) {
    for (int32_t col = 0; col <= columns; ++col) {
      const int32_t x = area.Left() + col * bw, y = area.Top() + row * bh;
      if (row < rows && col < columns) {
        DrawBitmap(bmp, TPnt(x, y));
      } else {
        const int32_t cw = std::min(bw, w - col * bw), ch = std::min(bh, h - row * bh);
        BlitBitmap(bmp, 0, 0, TArea(x, y, x + cw, y + ch));
      }
    }
  }
}

TPnt TDrawContext::GetTextExtent(const TStr& text) const {
  QFontMetrics fm(painter_ ? painter_->font() : sky::QtFont(nullptr));
  return TPnt(fm.horizontalAdvance(sky::ToQString(text)), fm.height());
}

void TDrawContext::DrawTextLeft(const TPnt& p, const TArea& area, IColor* background, IColor* color, const TStr& text) {
  DrawText(TAlign::Left, p, area, background, color, text);
}
void TDrawContext::DrawTextRight(const TPnt& p, const TArea& area, IColor* background, IColor* color, const TStr& text) {
  DrawText(TAlign::Right, p, area, background, color, text);
}
void TDrawContext::DrawTextCentred(int32_t y, const TArea& area, IColor* background, IColor* color, const TStr& text) {
  DrawText(TAlign::Centre, TPnt((area.Left() + area.Right()) / 2, y), area, background, color, text);
}

void TDrawContext::DrawText(TAlign align, const TPnt& p, const TArea& area, IColor* background, IColor* color,
                            const TStr& text) {
  if (!painter_) return;
  painter_->save();
  const bool whole = area == EmptyArea;
  if (!whole) {
    painter_->setClipRect(QtRect(area), painter_->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    if (background && background != StdColor(TStdColor::Transparent))
      painter_->fillRect(QtRect(area), sky::QtColor(background));
  }
  const QString s = sky::ToQString(text);
  const QFontMetrics fm(painter_->font());
  int x = p.X();
  const int advance = fm.horizontalAdvance(s);
  if (align == TAlign::Right) x -= advance;
  else if (align == TAlign::Centre) x -= advance / 2;
  painter_->setPen(sky::QtColor(color));
  // One line: the point-form drawText does not break at newlines.
  painter_->drawText(QPoint(x, p.Y() + fm.ascent()), s);
  painter_->restore();
}
