// The about box and the main window's update commands, off screen, against
// the loopback HTTPS server.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "gui/about_dlg.h"
#include "gui/bitmap_static.h"
#include "gui/label.h"
#include "gui/stampwise_dlg.h"
#include "sim/sim_process.h"
#include "tests/gui/gui_test_support.h"
#include "tests/update/https_test_server.h"

namespace stampwise::gui::testing {
namespace {

using stampwise::testing::HttpsTestServer;
using stampwise::testing::ScopedCaBundle;
using stampwise::testing::TempFolder;

constexpr int kGuardMs = 60000;  // only a guard against a hang

const char kDeviceVersions[] =
    "[Alias]\r\n312=MKV39\r\n[MKV39]\r\nVersion=1.12\r\nInstaller=https://127.0.0.1/none.run\r\n";

class AboutBoxTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<HttpsTestServer>(); }
  static void TearDownTestSuite() { server_.reset(); }

  // A folder on the server with a software versions file whose installer is
  // "setup.run" there.
  static std::string ServeFolder(const std::string& folder, const std::string& version, const std::string& build) {
    std::filesystem::create_directories(server_->Root() + "/" + folder);
    const std::string base = server_->Base() + folder + "/";
    server_->Serve(folder + "/RFIDVersionsUHF.txt", "[QL_MKV_Stampwise]\r\nVersion=" + version + "\r\nBuild=" + build +
                                                        "\r\nInstaller=" + base + "setup.run\r\n");
    server_->Serve(folder + "/RFIDDeviceVersions.txt", kDeviceVersions);
    server_->Serve(folder + "/setup.run", "#!/bin/sh\nexit 0\n");
    return base;
  }
  static CLabel* Line(const QWidget& box, int id) { return Control<CLabel>(box, id); }

  static inline std::unique_ptr<HttpsTestServer> server_;
  ScopedCaBundle trust_{server_->CaFile()};
  PrivateSettings settings_;
  RecordingBoxes boxes_;
};

TEST_F(AboutBoxTest, ShowsResourceTextsUntilTheCheckEndsThenRefreshesOnItsOwn) {
  update::UpdateChecks checks(ServeFolder("newer", "9.99", "2099-01-01"));
  checks.device.StartCheck();
  checks.device.SetDevice("312B", "QL-MKV39");
  Settings store;
  CAboutDlg box(store, checks, boxes_);
  // Nothing has been delivered yet: the results arrive through the event loop.
  EXPECT_EQ(Line(box, 105)->text(), "Nach Update suchen");
  EXPECT_EQ(Line(box, 106)->text(), "Gerät");
  EXPECT_FALSE(Line(box, 105)->Link());
  EXPECT_TRUE(Control<QLabel>(box, 101)->text().startsWith("QL-MKV Stampwise V 1.00 ("));
  EXPECT_EQ(Control<QLabel>(box, 1012)->text(), "SDK Version 1.19");
  box.show();

  ASSERT_TRUE(QTest::qWaitFor([&] { return Line(box, 105)->text() != "Nach Update suchen"; }, kGuardMs));
  EXPECT_EQ(Line(box, 105)->text(), "Neue Version:QL-MKV Stampwise => V 9.99 (2099-01-01)");
  EXPECT_TRUE(Line(box, 105)->Link());
  EXPECT_EQ(Line(box, 105)->TextColor(), QColor(192, 0, 0));
  EXPECT_EQ(Line(box, 105)->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(Line(box, 106)->text(), "Update QL-MKV39 V1.11 => V1.12");
  EXPECT_TRUE(Line(box, 106)->Link());
  for (int link : {103, 104}) {
    EXPECT_TRUE(Line(box, link)->Link()) << link;
    EXPECT_EQ(Line(box, link)->TextColor(), QColor(0, 0, 255)) << link;
    EXPECT_TRUE(Line(box, link)->font().underline()) << link;
  }
  EXPECT_TRUE(Line(box, 103)->text().startsWith("mailto:"));
}

TEST_F(AboutBoxTest, LineColoursFollowTheResult) {
  struct Case {
    std::string base;
    const char* line;
    QColor colour;
  };
  const Case cases[] = {
      {ServeFolder("current", "1.00", "2000-01-01"), "QL-MKV Stampwise ist aktuell", QColor(128, 128, 128)},
      {server_->Base() + "nothing/", "Keine Internet Verbindung: Update Prüfung nicht möglich!", QColor(255, 0, 0)},
  };
  for (const Case& c : cases) {
    update::UpdateChecks checks(c.base);
    Settings store;
    CAboutDlg box(store, checks, boxes_);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Line(box, 105)->text() != "Nach Update suchen"; }, kGuardMs));
    EXPECT_EQ(Line(box, 105)->text(), QString::fromUtf8(c.line));
    EXPECT_EQ(Line(box, 105)->TextColor(), c.colour) << c.line;
    EXPECT_FALSE(Line(box, 105)->Link()) << c.line;
    EXPECT_EQ(Line(box, 106)->text(), "") << "no device";
  }
}

// With no server reachable the device line says only that the check was not
// possible, in red: unknown is not up to date.
TEST_F(AboutBoxTest, DeviceLineWithoutAVersionsFileIsNotUpToDate) {
  update::UpdateChecks checks(server_->Base() + "nothing/");
  checks.device.StartCheck();
  checks.device.SetDevice("312B", "QL-MKV39");
  Settings store;
  CAboutDlg box(store, checks, boxes_);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Line(box, 105)->text() != "Nach Update suchen"; }, kGuardMs));
  EXPECT_EQ(Line(box, 106)->text(),
            QString::fromUtf8("QL-MKV39 V1.11: Keine Internet Verbindung: Update Prüfung nicht möglich!"));
  EXPECT_EQ(Line(box, 106)->TextColor(), QColor(255, 0, 0));
  EXPECT_FALSE(Line(box, 106)->Link());
  if (const char* folder = getenv("STAMPWISE_SCREENSHOT_DIR")) {
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_TRUE(box.grab().save(QString::fromLocal8Bit(folder) + "/stampwise-about-not-possible.png"));
  }
}

TEST_F(AboutBoxTest, ClearedCheckBoxStoresZeroAndTheNextWindowDoesNotCheck) {
  update::UpdateChecks checks(ServeFolder("current", "1.00", "2000-01-01"));
  {
    Settings store;
    CAboutDlg box(store, checks, boxes_);
    ASSERT_TRUE(Control<QCheckBox>(box, 1058)->isChecked());
    Control<QCheckBox>(box, 1058)->setChecked(false);
    Control<QPushButton>(box, 1)->click();
    EXPECT_EQ(box.result(), QDialog::Accepted);
  }
  EXPECT_EQ(Settings().ReadString("Version", "Update", ""), "0");

  settings_.SetPort("/dev/stampwise-no-such-port");
  update::UpdateChecks fresh(ServeFolder("newer", "9.99", "2099-01-01"));
  Settings store;
  CStampwiseDlg window(store, boxes_, &fresh);
  window.SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
  window.Start();
  EXPECT_FALSE(fresh.software.Started());
  // The about box still looks when it opens.
  CAboutDlg box(store, fresh, boxes_, &window);
  EXPECT_TRUE(fresh.software.Started());
  EXPECT_FALSE(Control<QCheckBox>(box, 1058)->isChecked());
}

TEST_F(AboutBoxTest, OnlyALinkLineStartsTheUpdate) {
  TempFolder downloads("stampwise-tmp");
  setenv("TMPDIR", downloads.Path().c_str(), 1);
  struct Case {
    std::string base;
    bool started;
  };
  const Case cases[] = {{ServeFolder("current", "1.00", "2000-01-01"), false},
                        {ServeFolder("newer", "9.99", "2099-01-01"), true}};
  for (const Case& c : cases) {
    update::UpdateChecks checks(c.base);
    Settings store;
    CAboutDlg box(store, checks, boxes_);
    std::vector<std::string> startedPaths;
    box.SetInstallerStarter([&](const std::string& path) {
      startedPaths.push_back(path);
      return update::InstallerStart{true, {}};
    });
    box.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Line(box, 105)->text() != "Nach Update suchen"; }, kGuardMs));
    const QString shown = Line(box, 105)->text();
    QTest::mouseClick(Line(box, 105), Qt::LeftButton);
    if (c.started) {
      ASSERT_EQ(startedPaths, std::vector<std::string>{downloads.File("setup.run")});
      EXPECT_EQ(stampwise::testing::ReadFile(startedPaths[0]), "#!/bin/sh\nexit 0\n");
      EXPECT_TRUE(box.ExitRequested());
      EXPECT_EQ(box.result(), QDialog::Accepted);
    } else {
      EXPECT_TRUE(startedPaths.empty());
      EXPECT_TRUE(std::filesystem::is_empty(downloads.Path()));
      EXPECT_FALSE(box.ExitRequested());
      EXPECT_TRUE(box.isVisible());
      EXPECT_EQ(Line(box, 105)->text(), shown);
    }
  }
  unsetenv("TMPDIR");
}

TEST_F(AboutBoxTest, InstallerThatDoesNotStartIsReportedAndTheLineComesBack) {
  TempFolder downloads("stampwise-tmp");
  setenv("TMPDIR", downloads.Path().c_str(), 1);
  update::UpdateChecks checks(ServeFolder("newer", "9.99", "2099-01-01"));
  Settings store;
  CAboutDlg box(store, checks, boxes_);
  box.SetInstallerStarter([](const std::string&) { return update::InstallerStart{false, "can not be started"}; });
  box.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Line(box, 105)->Link(); }, kGuardMs));
  const QString shown = Line(box, 105)->text();
  QTest::mouseClick(Line(box, 105), Qt::LeftButton);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "can not be started");
  EXPECT_EQ(Line(box, 105)->text(), shown);
  EXPECT_FALSE(box.ExitRequested());
  unsetenv("TMPDIR");
}

TEST_F(AboutBoxTest, ClosingTheBoxDuringADownloadAbandonsIt) {
  TempFolder downloads("stampwise-tmp");
  setenv("TMPDIR", downloads.Path().c_str(), 1);
  const std::string base = ServeFolder("stalled", "9.99", "2099-01-01");
  // The installer answer stops half way and then sends nothing.
  server_->Serve("stalled/RFIDVersionsUHF.txt", "[QL_MKV_Stampwise]\r\nVersion=9.99\r\nBuild=2099-01-01\r\nInstaller=" +
                                                    server_->Base() + "stall/stalled/setup.run\r\n");
  update::UpdateChecks checks(base);
  Settings store;
  CAboutDlg box(store, checks, boxes_);
  bool started = false;
  box.SetInstallerStarter([&](const std::string&) {
    started = true;
    return update::InstallerStart{true, {}};
  });
  box.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Line(box, 105)->Link(); }, kGuardMs));
  const QString shown = Line(box, 105)->text();
  // The box keeps running its events while it downloads: the close arrives.
  bool closedWhileDownloading = false;
  QTimer::singleShot(300, &box, [&] {
    closedWhileDownloading = Line(box, 105)->text() == "Update wird gestartet, bitte warten!";
    box.reject();
  });
  QTest::mouseClick(Line(box, 105), Qt::LeftButton);
  EXPECT_TRUE(closedWhileDownloading);
  EXPECT_FALSE(started);
  EXPECT_EQ(Line(box, 105)->text(), shown);
  EXPECT_TRUE(std::filesystem::is_empty(downloads.Path()));
  unsetenv("TMPDIR");
}

TEST_F(AboutBoxTest, MainWindowOpensTheBoxWhenTheSoftwareCheckFindsANewerVersion) {
  settings_.SetPort("/dev/stampwise-no-such-port");
  struct Case {
    std::string base;
    bool opens;
  };
  const Case cases[] = {{ServeFolder("newer", "9.99", "2099-01-01"), true},
                        {ServeFolder("current", "1.00", "2000-01-01"), false}};
  for (const Case& c : cases) {
    update::UpdateChecks checks(c.base);
    Settings store;
    CStampwiseDlg window(store, boxes_, &checks);
    std::vector<std::string> dialogs;
    window.SetDialogRunner([&](QDialog& dialog) {
      dialogs.push_back(dialog.objectName().toStdString());
      return int(QDialog::Rejected);
    });
    window.Start();
    ASSERT_TRUE(checks.software.WaitForResult(std::chrono::milliseconds(kGuardMs)));
    // The worker posted its news before the wait ended; the event loop delivers it.
    QCoreApplication::processEvents();
    const bool opened = std::find(dialogs.begin(), dialogs.end(), "CAboutDlg") != dialogs.end();
    EXPECT_EQ(opened, c.opens) << c.base;
  }
}

TEST_F(AboutBoxTest, MainWindowOpensTheBoxForNewerFirmwareOfTheIdentifiedReader) {
  struct Case {
    const char* model;
    int update;  // the "Update" setting
    bool opens;
  };
  const Case cases[] = {{"312B", 1, true}, {"312C", 1, false}, {"312B", 0, false}};
  for (const Case& c : cases) {
    mkvsim::SimProcess sim({"--quiet", "--model", c.model});
    settings_.SetPort(sim.PtyPath());
    Settings().WriteInt("Version", "Update", c.update);
    update::UpdateChecks checks(ServeFolder("current", "1.00", "2000-01-01"));
    Settings store;
    CStampwiseDlg window(store, boxes_, &checks);
    std::vector<std::string> dialogs;
    window.SetDialogRunner([&](QDialog& dialog) {
      dialogs.push_back(dialog.objectName().toStdString());
      return int(QDialog::Rejected);
    });
    window.Start();
    ASSERT_GT(window.Handle(), 0) << c.model;
    EXPECT_EQ(checks.device.DeviceName(), "QL-MKV39");
    ASSERT_TRUE(checks.device.WaitForResult(std::chrono::milliseconds(kGuardMs)));
    QCoreApplication::processEvents();
    const bool opened = std::find(dialogs.begin(), dialogs.end(), "CAboutDlg") != dialogs.end();
    EXPECT_EQ(opened, c.opens) << c.model << " Update=" << c.update;
  }
}

TEST(BitmapStatic, WhiteIsTransparent) {
  CBitmapStatic logo(StampwiseLogo());
  const QImage shown = logo.Transparent().toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0);     // white corner
  EXPECT_EQ(qAlpha(shown.pixel(8, 32)), 255);  // the tag
}

TEST(AboutScreenshot, AboutBoxWithBothLines) {
  const char* folder = getenv("STAMPWISE_SCREENSHOT_DIR");
  if (folder == nullptr) GTEST_SKIP() << "STAMPWISE_SCREENSHOT_DIR not set";
  HttpsTestServer server;
  ScopedCaBundle trust(server.CaFile());
  PrivateSettings settings;
  server.Serve("RFIDVersionsUHF.txt",
               "[QL_MKV_Stampwise]\r\nVersion=9.99\r\nBuild=2099-01-01\r\nInstaller=https://127.0.0.1/setup.run\r\n");
  server.Serve("RFIDDeviceVersions.txt", kDeviceVersions);
  update::UpdateChecks checks(server.Base());
  checks.device.StartCheck();
  checks.device.SetDevice("312B", "QL-MKV39");
  Settings store;
  RecordingBoxes boxes;
  CAboutDlg box(store, checks, boxes);
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Control<CLabel>(box, 106)->Link(); }, kGuardMs));
  QTest::qWait(200);
  EXPECT_TRUE(box.grab().save(QString::fromLocal8Bit(folder) + "/stampwise-about.png"));
}

}  // namespace
}  // namespace stampwise::gui::testing
