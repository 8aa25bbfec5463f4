// The program's pictures (tool-bar cels, module pictures, panel strips, the
// about and start pictures), drawn by its own code at their resource ids.
#pragma once

#include <cstdint>

class QImage;

// The picture of a resource id, or a null image when the program has none.
QImage DrawPicture(int32_t id);
// Makes every bitmap resource load come from DrawPicture first.
void InstallPictures();
