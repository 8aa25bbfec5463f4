#include "src/volteon/pictures.h"

#include "pc/sky/draw.h"

#include <QImage>

QImage DrawPicture(int32_t) { return QImage(); }

void InstallPictures() { sky::SetPictureProvider(&DrawPicture); }
