// The main of the window tests: one QApplication for the whole run, settings
// in a private folder.
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0); // tests never need a display
  setenv("QUORVEX_SETTINGS_DIR", testkit::TempDir("settings").c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
