// The program's pictures (tool-bar cels, module pictures, panel strips, the
// about and start pictures, background tiles), drawn by its own code at
// their resource ids.
#pragma once

#include <cstdint>

class QImage;

namespace picture {
// Background tiles of the windows: 128 x 128 textures.
constexpr int32_t kTileGreenGrey = 7050;
constexpr int32_t kTileSand = 7051;
constexpr int32_t kTileBlue = 7052;
constexpr int32_t kTileSize = 128;
// The picture of the about box and the start dialog: 450 x 280.
constexpr int32_t kAboutPicture = 7402;
constexpr int32_t kAboutWidth = 450, kAboutHeight = 280;
} // namespace picture

// The pictures of the control box's tool bars; a null image for other ids.
QImage DrawCtrlBoxPicture(int32_t id);
// The picture of a resource id, or a null image when the program has none.
QImage DrawPicture(int32_t id);
// Makes every bitmap resource load come from DrawPicture first.
void InstallPictures();
