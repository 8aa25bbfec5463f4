// Drawing context, colours, fonts and bitmaps.
#include "pc/sky/draw.h"

#include "tests/common/testkit.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QImage>
#include <QPainter>

#include <fstream>

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;

// A white canvas with a drawing context bound to it.
struct Canvas {
  explicit Canvas(int w = 64, int h = 32) : image(w, h, QImage::Format_RGB32) {
    image.fill(Qt::white);
    painter.begin(&image);
    ctx.SetDC(&painter);
  }
  QImage Done() {
    painter.end();
    return image;
  }
  QImage image;
  QPainter painter;
  TDrawContext ctx;
};

IFileName* NameOf(const TStr& path) {
  IFileName* n = CreateFileName();
  n->SetPath(path);
  return n;
}

int CountNot(const QImage& img, QRgb colour, QRect r) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += img.pixel(x, y) != colour;
  return n;
}

TEST(StdColors, EighteenColoursWithTheTransparentOneAsASeparateBlack) {
  const uint32_t expected[kStdColorCount] = {0x000000, 0xFFFFFF, 0x808080, 0xC0C0C0, 0x000080, 0x0000FF,
                                             0x008000, 0x00C000, 0x00FF00, 0x800000, 0xFF0000, 0x008080,
                                             0x00FFFF, 0x800080, 0xFF00FF, 0x808000, 0xFFFF00, 0x000000};
  for (int i = 1; i <= kStdColorCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(StdColor(i)->GetColor(), expected[i - 1]);
    EXPECT_EQ(StdColor(i), StdColor(i)) << "made once";
  }
  EXPECT_NE(StdColor(TStdColor::Transparent), StdColor(TStdColor::Black));
  EXPECT_TRUE(*StdColor(TStdColor::Transparent) == *StdColor(TStdColor::Black)) << "equal by value";
}

TEST(Colors, ComponentsAssignAndEquality) {
  EPtr<IColor> c(CreateColor(10, 20, 30));
  EXPECT_EQ(c->GetColor(), 10u | 20u << 8 | 30u << 16);
  c->SetGreen(200);
  EXPECT_EQ(c->GetRed(), 10);
  EXPECT_EQ(c->GetGreen(), 200);
  EXPECT_EQ(c->GetBlue(), 30);
  c->SetRed(300); // one byte only
  EXPECT_EQ(c->GetRed(), 300 & 0xFF);
  EXPECT_EQ(c->GetGreen(), 200);
  EPtr<IColor> d(CreateColor(0, 0, 0));
  EXPECT_FALSE(*d == *c);
  *d = *c;
  EXPECT_TRUE(*d == *c);
  EXPECT_EQ(CastToColor(c.Get()), c.Get());
  EPtr<IBmp> bmp(CreateBmp());
  EXPECT_EQ(CastToColor(bmp.Get()), nullptr);
  EXPECT_EQ(CastToBmp(c.Get()), nullptr);
}

TEST(DrawContext, LinesLeaveOutTheirEndPoint) {
  struct Case {
    TPnt from, to;
    std::vector<QPoint> on, off;
  };
  const Case cases[] = {
      {{2, 5}, {10, 5}, {{2, 5}, {9, 5}}, {{10, 5}, {1, 5}}},
      {{3, 2}, {3, 9}, {{3, 2}, {3, 8}}, {{3, 9}}},
      {{10, 5}, {2, 5}, {{10, 5}, {3, 5}}, {{2, 5}}},
      {{1, 1}, {6, 6}, {{1, 1}, {5, 5}}, {{6, 6}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from.X() << "," << c.from.Y() << " -> " << c.to.X() << "," << c.to.Y());
    Canvas cv;
    cv.ctx.MoveTo(c.from);
    cv.ctx.LineTo(c.to, StdColor(TStdColor::Black));
    QImage img = cv.Done();
    for (QPoint p : c.on) EXPECT_EQ(img.pixel(p), kBlack) << p.x() << "," << p.y();
    for (QPoint p : c.off) EXPECT_EQ(img.pixel(p), kWhite) << p.x() << "," << p.y();
  }
}

TEST(DrawContext, JoinedLinesContinueFromTheEndPoint) {
  Canvas cv;
  cv.ctx.MoveTo(TPnt(2, 2));
  cv.ctx.LineTo(TPnt(8, 2), StdColor(TStdColor::Black));
  cv.ctx.LineTo(TPnt(8, 8), StdColor(TStdColor::Red));
  QImage img = cv.Done();
  EXPECT_EQ(img.pixel(7, 2), kBlack);
  EXPECT_EQ(img.pixel(8, 2), 0xFFFF0000u) << "the corner belongs to the second line";
  EXPECT_EQ(img.pixel(8, 7), 0xFFFF0000u);
  EXPECT_EQ(img.pixel(8, 8), kWhite);
}

TEST(DrawContext, FillAreaIsRightAndBottomExclusive) {
  Canvas cv;
  cv.ctx.FillArea(TArea(4, 4, 10, 8), StdColor(TStdColor::Blue));
  QImage img = cv.Done();
  EXPECT_EQ(img.pixel(4, 4), 0xFF0000FFu);
  EXPECT_EQ(img.pixel(9, 7), 0xFF0000FFu);
  EXPECT_EQ(img.pixel(10, 7), kWhite);
  EXPECT_EQ(img.pixel(9, 8), kWhite);
}

TEST(DrawContext, OriginMovesRelativeToTheBindingOrigin) {
  QImage image(40, 40, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.translate(-10, -5); // as a window scrolled to (10, 5)
  TDrawContext ctx;
  ctx.SetDC(&p);
  EXPECT_EQ(ctx.GetOrigin(), TPnt(0, 0));
  ctx.SetOrigin(TPnt(12, 7));
  EXPECT_EQ(ctx.GetOrigin(), TPnt(12, 7));
  ctx.FillArea(TArea(0, 0, 1, 1), StdColor(TStdColor::Black));
  p.end();
  EXPECT_EQ(image.pixel(2, 2), kBlack);
}

TEST(Fonts, EveryFaceIsDejaVuSansAtAFixedPixelSize) {
  EPtr<IFnt> f(CreateFnt("MS Sans Serif", 8, 6));
  QFont q = sky::QtFont(f.Get());
  EXPECT_EQ(QFontInfo(q).family(), QStringLiteral("DejaVu Sans")) << "fontconfig must find DejaVu Sans";
  EXPECT_GT(q.pixelSize(), 0);
  EPtr<IFnt> big(CreateFnt("Arial", 20, 0));
  EXPECT_EQ(sky::QtFont(big.Get()).pixelSize(), 20);
  EPtr<IFnt> negative(CreateFnt("Arial", -16, 0));
  EXPECT_EQ(sky::QtFont(negative.Get()).pixelSize(), 16);
}

TEST(DrawContext, TextBackgroundOpaqueTransparentAndUnclipped) {
  EPtr<IFnt> font(CreateFnt("MS Sans Serif", 12, 0));
  struct Case {
    const char* name;
    TArea area;
    IColor* background;
    bool filled;   // the whole area takes the background colour
    bool clipped;  // nothing outside the area
  };
  const Case cases[] = {
      {"opaque", TArea(2, 2, 40, 20), StdColor(TStdColor::Yellow), true, true},
      {"transparent", TArea(2, 2, 40, 20), StdColor(TStdColor::Transparent), false, true},
      {"black is opaque", TArea(2, 2, 40, 20), StdColor(TStdColor::Black), true, true},
      {"empty area", EmptyArea, StdColor(TStdColor::Yellow), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Canvas cv(120, 40);
    cv.ctx.SetFont(font.Get());
    cv.ctx.DrawTextLeft(TPnt(4, 4), c.area, c.background, StdColor(TStdColor::Blue), "Wide text WWWWWWWW");
    QImage img = cv.Done();
    const QRgb yellowOrBlack = c.background->GetColor() == 0 ? kBlack : 0xFFFFFF00u;
    if (c.filled) {
      EXPECT_EQ(img.pixel(c.area.Left(), c.area.Top()), yellowOrBlack);
      EXPECT_EQ(img.pixel(c.area.Right() - 1, c.area.Bottom() - 1), yellowOrBlack);
    } else if (!c.area.IsEmpty()) {
      EXPECT_EQ(img.pixel(c.area.Left(), c.area.Top()), kWhite);
    }
    const int outside = CountNot(img, kWhite, QRect(41, 0, 79, 40));
    if (c.clipped) EXPECT_EQ(outside, 0);
    else EXPECT_GT(outside, 0) << "the text runs on past x 40";
    EXPECT_GT(CountNot(img, c.filled ? yellowOrBlack : kWhite, QRect(4, 4, 30, 12)), 0) << "some ink";
  }
}

TEST(DrawContext, TextAlignmentsAndExtent) {
  EPtr<IFnt> font(CreateFnt("MS Sans Serif", 12, 0));
  Canvas measure;
  measure.ctx.SetFont(font.Get());
  const TPnt extent = measure.ctx.GetTextExtent("MMMM");
  measure.Done();
  ASSERT_GT(extent.X(), 8);
  ASSERT_GE(extent.Y(), 12);
  auto inkColumns = [](const QImage& img) {
    int first = -1, last = -1;
    for (int x = 0; x < img.width(); ++x)
      for (int y = 0; y < img.height(); ++y)
        if (img.pixel(x, y) != kWhite) {
          if (first < 0) first = x;
          last = x;
          break;
        }
    return std::pair(first, last);
  };
  const IColor* none = StdColor(TStdColor::Transparent);
  {
    Canvas cv(200, 30);
    cv.ctx.SetFont(font.Get());
    cv.ctx.DrawTextRight(TPnt(150, 2), EmptyArea, const_cast<IColor*>(none), StdColor(TStdColor::Black), "MMMM");
    auto [first, last] = inkColumns(cv.Done());
    EXPECT_LE(last, 150);
    EXPECT_GE(last, 145) << "ends at the point";
    EXPECT_GE(first, 150 - extent.X() - 1);
  }
  {
    Canvas cv(200, 30);
    cv.ctx.SetFont(font.Get());
    cv.ctx.DrawTextCentred(2, TArea(20, 0, 181, 30), const_cast<IColor*>(none), StdColor(TStdColor::Black), "MMMM");
    auto [first, last] = inkColumns(cv.Done());
    const int centre = (20 + 181) / 2;
    EXPECT_NEAR((first + last) / 2.0, centre, 3.0);
  }
}

TEST(DrawContext, TileBitmapCutsTheLastRowAndColumn) {
  // A 4 x 3 bitmap, its top-left pixel marked.
  QImage tile(4, 3, QImage::Format_RGB32);
  tile.fill(Qt::green);
  tile.setPixel(0, 0, 0xFFFF0000);
  const std::string dir = testkit::TempDir("tile");
  ASSERT_TRUE(tile.save(QString::fromStdString(dir + "/tile.png")));
  EPtr<IFileName> name(NameOf(TStr((dir + "/tile.png").c_str())));
  EPtr<IBmp> bmp(CreateBmp());
  bmp->LoadFile(name.Get());
  ASSERT_EQ(bmp->GetWidth(), 4);
  ASSERT_EQ(bmp->GetHeight(), 3);
  Canvas cv(30, 20);
  cv.ctx.TileBitmap(TArea(1, 1, 11, 8), bmp.Get()); // 10 x 7: 2.5 by 2.33 tiles
  QImage img = cv.Done();
  for (QPoint marker : {QPoint(1, 1), QPoint(5, 1), QPoint(9, 1), QPoint(1, 4), QPoint(9, 7)})
    EXPECT_EQ(img.pixel(marker), 0xFFFF0000u) << marker.x() << "," << marker.y();
  EXPECT_EQ(img.pixel(10, 7), 0xFF00FF00u);
  EXPECT_EQ(img.pixel(11, 1), kWhite) << "cut at the right";
  EXPECT_EQ(img.pixel(1, 8), kWhite) << "cut at the bottom";
}

TEST(Bitmaps, UnloadedIsZeroSizedAndAFailedLoadKeepsTheOldBitmap) {
  EPtr<IBmp> bmp(CreateBmp());
  EXPECT_EQ(bmp->GetWidth(), 0);
  EXPECT_EQ(bmp->GetHeight(), 0);
  Canvas cv;
  cv.ctx.DrawBitmap(bmp.Get(), TPnt(0, 0)); // draws nothing, does not crash
  cv.ctx.TileBitmap(TArea(0, 0, 10, 10), bmp.Get());
  EXPECT_EQ(CountNot(cv.Done(), kWhite, QRect(0, 0, 64, 32)), 0);

  const std::string dir = testkit::TempDir("bmp");
  QImage img(5, 7, QImage::Format_RGB32);
  img.fill(Qt::blue);
  ASSERT_TRUE(img.save(QString::fromStdString(dir + "/ok.bmp")));
  { std::ofstream(dir + "/bad.bmp") << "not a bitmap"; }
  EPtr<IFileName> ok(NameOf(TStr((dir + "/ok.bmp").c_str())));
  EPtr<IFileName> bad(NameOf(TStr((dir + "/bad.bmp").c_str())));
  EPtr<IFileName> missing(NameOf(TStr((dir + "/missing.bmp").c_str())));
  bmp->LoadFile(ok.Get());
  EXPECT_EQ(bmp->GetWidth(), 5);
  EXPECT_EQ(bmp->GetHeight(), 7);
  for (IFileName* f : {bad.Get(), missing.Get()}) {
    EXPECT_THROW(bmp->LoadFile(f), TError);
    EXPECT_EQ(bmp->GetWidth(), 5) << "the old bitmap stays";
  }
  EXPECT_THROW(bmp->LoadResource(987654), TError);
  EXPECT_EQ(bmp->GetHeight(), 7);
}

TEST(Bitmaps, ResourcesComeFromTheResourceFolderById) {
  const std::string dir = testkit::TempDir("res");
  QImage img(3, 2, QImage::Format_RGB32);
  img.fill(Qt::red);
  ASSERT_TRUE(img.save(QString::fromStdString(dir + "/7050.png")));
  sky::SetBitmapResourceFolder(TStr(dir.c_str()));
  EPtr<IBmp> bmp(CreateBmp());
  bmp->LoadResource(7050);
  sky::SetBitmapResourceFolder(TStr());
  EXPECT_EQ(bmp->GetWidth(), 3);
  Canvas cv;
  cv.ctx.BlitBitmap(bmp.Get(), 1, 0, TArea(10, 10, 20, 20)); // larger than what is left of the bitmap
  QImage out = cv.Done();
  EXPECT_EQ(out.pixel(10, 10), 0xFFFF0000u);
  EXPECT_EQ(out.pixel(11, 11), 0xFFFF0000u);
  EXPECT_EQ(out.pixel(12, 10), kWhite) << "never stretched";
}

// A drawn picture comes before the folder; ids the program does not draw
// still come from the folder.
TEST(Bitmaps, DrawnPicturesComeFirst) {
  const std::string dir = testkit::TempDir("drawn");
  QImage onDisk(3, 2, QImage::Format_RGB32);
  onDisk.fill(Qt::red);
  ASSERT_TRUE(onDisk.save(QString::fromStdString(dir + "/7051.png")));
  ASSERT_TRUE(onDisk.save(QString::fromStdString(dir + "/7052.png")));
  sky::SetBitmapResourceFolder(TStr(dir.c_str()));
  sky::SetPictureProvider([](int32_t id) {
    if (id != 7051) return QImage();
    QImage drawn(9, 4, QImage::Format_RGB32);
    drawn.fill(Qt::blue);
    return drawn;
  });
  EPtr<IBmp> drawn(CreateBmp()), fromFolder(CreateBmp());
  drawn->LoadResource(7051);
  fromFolder->LoadResource(7052);
  sky::SetPictureProvider(nullptr);
  sky::SetBitmapResourceFolder(TStr());
  EXPECT_EQ(drawn->GetWidth(), 9);
  EXPECT_EQ(drawn->GetHeight(), 4);
  EXPECT_EQ(fromFolder->GetWidth(), 3);
}

} // namespace
