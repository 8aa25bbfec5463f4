// The program's pictures come from its own code before any file.
#include "src/volteon/pictures.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

TEST(Pictures, UnknownIdsHaveNoPicture) { EXPECT_TRUE(DrawPicture(-1).isNull()); }

} // namespace
