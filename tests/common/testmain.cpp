// The main of every test program: settings go to a private folder so that no
// test touches the user's own.
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0); // tests never need a display
  setenv("QUORVEX_SETTINGS_DIR", testkit::TempDir("settings").c_str(), 1);
  setenv("XDG_DATA_HOME", testkit::TempDir("data").c_str(), 1); // the user's work folders
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
