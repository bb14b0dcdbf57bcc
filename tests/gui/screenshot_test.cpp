// Pictures of the main window after five tags of the demo and of the
// interface dialog, for a look at the layout. Runs only when a folder for the
// pictures is given (the xvfb-run test sets it).
#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <stdlib.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "app/base/paths.h"
#include "app/texts/language.h"
#include "gui/demo_session.h"
#include "gui/port_dlg.h"
#include "gui/production_view.h"
#include "gui/stampwise_dlg.h"
#include "gui/station_panel.h"
#include "plc/modbus_station.h"
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

// The window in each mode on the virtual 1366 x 768 screen, in German and in
// English: a write cycle running on the demo's conveyor with the production
// view beside it, its end with the summary line, a data format, and GS1 with
// the tag URI row; the whole screen with the window alone as well.
TEST(Screenshot, EveryModeOnALaptopScreenAndTheProductionView) {
  const char* folder = getenv("STAMPWISE_SCREENSHOT_DIR");
  if (folder == nullptr) GTEST_SKIP() << "STAMPWISE_SCREENSHOT_DIR not set";
  for (const int language : {0, 1}) {
    ApplyLanguage(language, ResourceDirectoryOf(kEnglishLibraryName));
    const QString prefix = QString::fromLocal8Bit(folder) + (language == 0 ? "/stampwise-de-" : "/stampwise-en-");
    DemoSession demo;
    setenv(kSettingsFileVariable, demo.SettingsFile().c_str(), 1);
    RecordingBoxes boxes;
    {
      Settings settings;
      CStampwiseDlg window(settings, boxes);
      window.Start();
      window.move(0, 0);
      window.show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
      const auto screen = [&](const char* name) {
        QTest::qWait(200);
        EXPECT_TRUE(window.screen()->grabWindow(0).save(prefix + name));
      };
      screen("screen-idle.png");
      ProductionView* view = window.ShowProductionView();
      view->move(window.frameGeometry().right() + 1, 0);
      QTest::mouseClick(Control<QPushButton>(window, 1008), Qt::LeftButton);
      ASSERT_TRUE(QTest::qWaitFor([&] { return Control<QLabel>(window, 1033)->text().toInt() >= 8; }, 30000));
      EXPECT_TRUE(window.grab().save(prefix + "cycle.png"));
      EXPECT_TRUE(view->grab().save(prefix + "production.png"));
      screen("screen-cycle.png");
      QTest::mouseClick(Control<QPushButton>(window, 1008), Qt::LeftButton);
      view->close();
      QTest::qWait(200);
      EXPECT_TRUE(window.grab().save(prefix + "after-cycle.png"));
      Control<QRadioButton>(window, 1013)->click();
      QTest::qWait(200);
      EXPECT_TRUE(window.grab().save(prefix + "data-ascii.png"));
      window.findChild<QRadioButton*>(QStringLiteral("gs1Format"))->click();
      auto field = [&](const char* name) { return window.findChild<QLineEdit*>(QString::fromLatin1(name)); };
      field("gs1Filter")->setText(QStringLiteral("1"));
      field("gs1CompanyDigits")->setText(QStringLiteral("7"));
      field("gs1Identifier")->setText(QStringLiteral("80614141123458"));
      field("gs1Serial")->setText(QStringLiteral("1000"));
      ASSERT_TRUE(QTest::qWaitFor(
          [&] {
            QTest::mouseClick(Control<QPushButton>(window, 1016), Qt::LeftButton);
            return !field("gs1ReadUri")->text().isEmpty();
          },
          30000));
      EXPECT_TRUE(window.grab().save(prefix + "gs1.png"));
      screen("screen-gs1.png");
    }
    unsetenv(kSettingsFileVariable);
    EXPECT_TRUE(boxes.shown.empty());
  }
  ApplyLanguage(0, "");
}

// The window as a station on the demo's conveyor: a PLC connected, its
// triggers until one passed; the status bar says so.
TEST(Screenshot, StationModeAfterAPlcTrigger) {
  const char* folder = getenv("STAMPWISE_SCREENSHOT_DIR");
  if (folder == nullptr) GTEST_SKIP() << "STAMPWISE_SCREENSHOT_DIR not set";
  DemoSession demo;
  setenv(kSettingsFileVariable, demo.SettingsFile().c_str(), 1);
  Settings().WriteString("Station", "Modbus", "127.0.0.1:0");
  RecordingBoxes boxes;
  {
    Settings settings;
    CStampwiseDlg window(settings, boxes);
    window.Start();
    window.move(0, 0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.findChild<QCheckBox*>(QStringLiteral("stationOn"))->click();
    const std::optional<plc::ListenAddress> listening = window.StationControls()->Listening();
    ASSERT_TRUE(listening);
    modbus_t* plc = modbus_new_tcp("127.0.0.1", listening->port);
    ASSERT_EQ(modbus_connect(plc), 0);
    // The belt brings a tag now and then: trigger until one was written.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          std::uint8_t coil = 0;
          if (modbus_read_bits(plc, 0, 1, &coil) == 1 && coil == 0) modbus_write_bit(plc, 0, 1);
          return Control<QLabel>(window, 1033)->text().toInt() >= 1;
        },
        30000));
    QTest::qWait(200);
    EXPECT_TRUE(window.screen()->grabWindow(0).save(QString::fromLocal8Bit(folder) + "/stampwise-station.png"));
    modbus_close(plc);
    modbus_free(plc);
  }
  unsetenv(kSettingsFileVariable);
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
}  // namespace stampwise::gui::testing
