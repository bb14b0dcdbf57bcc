// The interface dialog's typed device path and the stable names of serial
// ports, off screen.
#include "gui/port_dlg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>

#include "app/connection/open_reader.h"
#include "app/connection/reader_client.h"
#include "app/connection/serial_names.h"
#include "app/store/settings_keys.h"
#include "gui/device_list_delegate.h"
#include "sim/sim_process.h"
#include "tests/gui/gui_test_support.h"

namespace stampwise::gui::testing {
namespace {

class TypedPortTest : public ::testing::Test {
 protected:
  QLineEdit* Path(CPortDlg& dialog) { return Control<QLineEdit>(dialog, 1261); }
  static bool NothingSelected(CPortDlg& dialog) {
    return Control<QListWidget>(dialog, 1012)->selectedItems().isEmpty();
  }

  PrivateSettings file_;
  RecordingBoxes boxes_;
};

TEST_F(TypedPortTest, TypedPseudoTerminalIsKeptByOkAndOpensTheReader) {
  mkvsim::SimProcess sim;
  Settings settings;
  CPortDlg dialog(settings, boxes_);
  auto* list = Control<QListWidget>(dialog, 1012);
  if (list->count() > 0) list->item(0)->setSelected(true);
  QTest::keyClicks(Path(dialog), QString::fromStdString(sim.PtyPath()));
  EXPECT_TRUE(NothingSelected(dialog)) << "a typed path replaces the entry picked before";
  // A refresh pass does not take the operator's typing away.
  dialog.OnDeviceChange(CPortDlg::kConfigChanged);
  EXPECT_EQ(Path(dialog)->text().toStdString(), sim.PtyPath());

  QTest::mouseClick(Control<QPushButton>(dialog, 1), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Settings().ReadString(keys::kPortName), sim.PtyPath());
  EXPECT_EQ(dialog.GetConnectString(), sim.PtyPath() + ":1");
  ReaderClient reader;
  EXPECT_GT(reader.Open(dialog.GetConnectString(), 19200, 500).handle, 0);
  EXPECT_TRUE(boxes_.shown.empty());

  // The next showing has the choice greyed in the field, and picking an
  // entry empties a path typed again.
  CPortDlg again(settings, boxes_);
  EXPECT_EQ(Path(again)->placeholderText().toStdString(), sim.PtyPath());
  auto* nextList = Control<QListWidget>(again, 1012);
  if (nextList->count() > 0) {
    Path(again)->setText("/dev/null");
    nextList->item(0)->setSelected(true);
    EXPECT_TRUE(Path(again)->text().isEmpty());
  }
}

TEST_F(TypedPortTest, PathsThatCannotBeOpenedKeepTheDialogOpen) {
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {"/tmp/ttyV0", "Geben Sie einen Gerätepfad unter /dev/ ein."},
      {"/dev/tty V0", "Der Gerätepfad darf kein Leerzeichen enthalten."},
      {"/dev/stampwise-no-such-device", "Das Gerät /dev/stampwise-no-such-device gibt es nicht."},
      {"/dev/", "/dev/ ist kein Gerät."},
  };
  for (const auto& c : cases) {
    boxes_.shown.clear();
    Settings settings;
    CPortDlg dialog(settings, boxes_);
    Path(dialog)->setText(QString::fromStdString(c.path));
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << c.path;
    ASSERT_EQ(boxes_.shown.size(), 1u) << c.path;
    EXPECT_EQ(boxes_.shown[0].text, c.message);
    EXPECT_EQ(Settings().ReadString(keys::kPortName), "COM1") << c.path;
  }
}

TEST_F(TypedPortTest, StableNameStandsBesideItsPortAndCanBeTaken) {
  const std::vector<std::string> ports = ReaderClient::SerialPorts();
  if (ports.empty()) GTEST_SKIP() << "no serial port listed on this machine";
  const std::string device = DeviceFileOfConnection(ports.front());
  // The library opens only names under /dev/ as serial lines: the stand-in
  // for /dev/serial/by-id/ lies there too (removed with the test).
  stampwise::testing::TempFolder byId("stampwise-by-id", "/dev");
  if (byId.Path().empty()) GTEST_SKIP() << "cannot make a folder under /dev (needs root)";
  const std::string stable = byId.File("usb-Vex_Reader_0042-if00");
  std::filesystem::create_symlink(device, stable);
  setenv("STAMPWISE_SERIAL_BY_ID_DIR", byId.Path().c_str(), 1);

  Settings settings;
  CPortDlg dialog(settings, boxes_);
  auto* list = Control<QListWidget>(dialog, 1012);
  auto* useStable = Control<QPushButton>(dialog, 1262);
  const QList<QListWidgetItem*> found = list->findItems(QString::fromStdString(ports.front()), Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1);
  EXPECT_EQ(found[0]->data(DeviceListDelegate::kStableNameRole).toString().toStdString(), stable);
  EXPECT_FALSE(useStable->isEnabled() && NothingSelected(dialog));
  list->clearSelection();
  found[0]->setSelected(true);
  EXPECT_TRUE(useStable->isEnabled());
  QTest::mouseClick(useStable, Qt::LeftButton);
  EXPECT_EQ(Path(dialog)->text().toStdString(), stable);
  EXPECT_TRUE(NothingSelected(dialog));
  dialog.accept();
  unsetenv("STAMPWISE_SERIAL_BY_ID_DIR");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(Settings().ReadString(keys::kPortName), stable);
  EXPECT_EQ(dialog.GetConnectString(), stable + ":1");
}

}  // namespace
}  // namespace stampwise::gui::testing

namespace stampwise::gui::testing {
namespace {

// A picture of the dialog with a typed path and a stable name beside its
// port; only when a folder for the pictures is given (the xvfb-run test).
TEST_F(TypedPortTest, PictureWithATypedPathAndAStableName) {
  const char* folder = getenv("STAMPWISE_SCREENSHOT_DIR");
  if (folder == nullptr) GTEST_SKIP() << "STAMPWISE_SCREENSHOT_DIR not set";
  mkvsim::SimProcess sim;
  stampwise::testing::TempFolder byId("stampwise-by-id", "/dev");
  const std::vector<std::string> ports = ReaderClient::SerialPorts();
  if (!byId.Path().empty() && !ports.empty()) {
    std::filesystem::create_symlink(DeviceFileOfConnection(ports.front()), byId.File("usb-Vex_Reader_0042-if00"));
    setenv("STAMPWISE_SERIAL_BY_ID_DIR", byId.Path().c_str(), 1);
  }
  Settings settings;
  CPortDlg dialog(settings, boxes_);
  unsetenv("STAMPWISE_SERIAL_BY_ID_DIR");
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::keyClicks(Path(dialog), QString::fromStdString(sim.PtyPath()));
  QTest::qWait(200);
  EXPECT_TRUE(dialog.grab().save(QString::fromLocal8Bit(folder) + "/stampwise-interface-typed.png"));
}

}  // namespace
}  // namespace stampwise::gui::testing
