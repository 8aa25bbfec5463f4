// The program's pictures come from its own code before any file.
#include "src/volteon/pictures.h"

#include "pc/sky/draw.h"
#include "tests/sky/skyfixture.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

TEST(Pictures, EachIdHasItsSize) {
  const struct {
    int32_t id, width, height;
  } table[] = {
      {picture::kTileGreenGrey, 128, 128},
      {picture::kTileSand, 128, 128},
      {picture::kTileBlue, 128, 128},
      {picture::kAboutPicture, 450, 280},
  };
  for (const auto& c : table) {
    const QImage img = DrawPicture(c.id);
    EXPECT_EQ(img.width(), c.width) << c.id;
    EXPECT_EQ(img.height(), c.height) << c.id;
    skytest::SaveShot(img, "picture_" + std::to_string(c.id) + ".png");
  }
  EXPECT_TRUE(DrawPicture(-1).isNull());
}

TEST(Pictures, TilesDifferInColourAndAreTheSameEveryTime) {
  EXPECT_EQ(DrawPicture(picture::kTileSand), DrawPicture(picture::kTileSand));
  const QColor sand = DrawPicture(picture::kTileSand).pixelColor(5, 5);
  const QColor blue = DrawPicture(picture::kTileBlue).pixelColor(5, 5);
  EXPECT_GT(sand.red(), sand.blue());
  EXPECT_GT(blue.blue(), blue.red());
}

TEST(Pictures, ResourcesLoadThroughTheProvider) {
  InstallPictures();
  EPtr<IBmp> bmp(CreateBmp());
  bmp->LoadResource(picture::kAboutPicture);
  EXPECT_EQ(bmp->GetWidth(), 450);
  sky::SetPictureProvider(nullptr);
}

} // namespace
