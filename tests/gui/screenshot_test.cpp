// Pictures of the main window after five tags of the demo and of the
// interface dialog, for a look at the layout. Runs only when a folder for the
// pictures is given (the xvfb-run test sets it).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/language.h"
#include "app/paths.h"
#include "gui/demo_session.h"
#include "gui/port_dlg.h"
#include "gui/stampwise_dlg.h"
#include "tests/gui/gui_test_support.h"

namespace stampwise::gui::testing {
namespace {

TEST(Screenshot, MainWindowAfterFiveDemoTagsAndInterfaceDialog) {
  const char* folder = getenv("STAMPWISE_SCREENSHOT_DIR");
  if (folder == nullptr) GTEST_SKIP() << "STAMPWISE_SCREENSHOT_DIR not set";
  DemoSession demo;
  setenv(kSettingsFileVariable, demo.SettingsFile().c_str(), 1);
  RecordingBoxes boxes;
  {
    Settings settings;
    CStampwiseDlg window(settings, boxes);
    window.Start();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(Control<QPushButton>(window, 1008), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Control<QLabel>(window, 1033)->text().toInt() >= 5; }, 30000));
    QTest::mouseClick(Control<QPushButton>(window, 1008), Qt::LeftButton);
    QTest::qWait(200);
    EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(folder) + "/stampwise-main.png"));

    CPortDlg ports(settings, boxes, &window);
    ports.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ports));
    QTest::qWait(200);
    EXPECT_TRUE(ports.grab().save(QString::fromLocal8Bit(folder) + "/stampwise-interface.png"));
  }
  unsetenv(kSettingsFileVariable);
  EXPECT_TRUE(boxes.shown.empty());
}

// The window in GS1 EPC mode after two tags, in German and in English, for a
// look at the panel.
TEST(Screenshot, MainWindowInGs1Mode) {
  const char* folder = getenv("STAMPWISE_SCREENSHOT_DIR");
  if (folder == nullptr) GTEST_SKIP() << "STAMPWISE_SCREENSHOT_DIR not set";
  for (const int language : {0, 1}) {
    ApplyLanguage(language, ResourceDirectoryOf(kEnglishLibraryName));
    DemoSession demo;
    setenv(kSettingsFileVariable, demo.SettingsFile().c_str(), 1);
    RecordingBoxes boxes;
    {
      Settings settings;
      CStampwiseDlg window(settings, boxes);
      window.Start();
      window.show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
      window.findChild<QRadioButton*>(QStringLiteral("gs1Format"))->click();
      auto field = [&](const char* name) { return window.findChild<QLineEdit*>(QString::fromLatin1(name)); };
      field("gs1Filter")->setText(QStringLiteral("1"));
      field("gs1CompanyDigits")->setText(QStringLiteral("7"));
      field("gs1Identifier")->setText(QStringLiteral("80614141123458"));
      field("gs1Serial")->setText(QStringLiteral("1000"));
      for (int tag = 0; tag < 2; ++tag) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
              QTest::mouseClick(Control<QPushButton>(window, 1014), Qt::LeftButton);
              return Control<QLabel>(window, 1033)->text().toInt() > tag;
            },
            30000));
      }
      QTest::mouseClick(Control<QPushButton>(window, 1016), Qt::LeftButton);
      QTest::qWait(200);
      const QString name = language == 0 ? QStringLiteral("/stampwise-main-gs1.png") : "/stampwise-main-gs1-en.png";
      EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(folder) + name));
    }
    unsetenv(kSettingsFileVariable);
    EXPECT_TRUE(boxes.shown.empty());
  }
  ApplyLanguage(0, "");
}

}  // namespace
}  // namespace stampwise::gui::testing
