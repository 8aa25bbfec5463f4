// The main of the window tests: one QApplication for the whole run, settings
// in a private folder.
#include "tests/common/testkit.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

// What the sanitizers must not report: Qt's own threads (file-info gatherer,
// X event reader, thread pool) synchronise through Qt's futex-based
// primitives and GLib's event loop, which ThreadSanitizer cannot see; the
// font, X and Qt plugin libraries keep some memory for the whole process.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\nrace:libQt6XcbQpa.so\n"
         "race:libqxcb.so\nrace:libqoffscreen.so\nrace:libglib-2.0.so\n";
}
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libxcb\nleak:libX11\nleak:libdbus\nleak:libQt6XcbQpa\nleak:libglib\n";
}

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0); // tests never need a display
  setenv("QUORVEX_SETTINGS_DIR", testkit::TempDir("settings").c_str(), 1);
  setenv("XDG_DATA_HOME", testkit::TempDir("data").c_str(), 1); // the user's work folders
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
