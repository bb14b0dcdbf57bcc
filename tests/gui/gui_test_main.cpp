// GoogleTest main for the widget tests: one QApplication for all of them, the
// reader library's waits hooked into its event loop as in the program.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include "gui/wait_hooks.h"

int main(int argc, char** argv) {
  // Off screen unless the caller chose a platform (the screenshot run uses xcb).
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  stampwise::gui::InstallWaitHooks();
  const int result = RUN_ALL_TESTS();
  stampwise::gui::RemoveWaitHooks();
  return result;
}
