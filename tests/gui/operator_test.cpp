// What the operator sees around the main window: Qt's own dialogs in the
// program's language, the status bar, and a stop signal that ends the program
// whatever box is open.
#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <signal.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "app/texts/language.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "gui/connection_status.h"
#include "gui/stampwise_app.h"
#include "gui/stampwise_dlg.h"
#include "gui/station_panel.h"
#include "gui/stop_signals.h"
#include "plc/modbus_station.h"
#include "sim/sim_process.h"
#include "tests/gui/gui_test_support.h"

namespace stampwise::gui::testing {
namespace {

// The texts of a dialog's push buttons, in order.
std::vector<std::string> ButtonTexts(const QWidget& dialog) {
  std::vector<std::string> texts;
  for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
    if (button->isVisible() || !button->text().isEmpty()) texts.push_back(button->text().toStdString());
  }
  return texts;
}

std::string StandardButtonText(QMessageBox::StandardButton which) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"), which);
  return box.button(which)->text().toStdString();
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST(QtTexts, FileDialogsAndStandardButtonsFollowTheLanguage) {
  PrivateSettings settings;
  mkvsim::SimProcess sim({"--quiet"});
  settings.SetPort(sim.PtyPath());
  RecordingBoxes boxes;
  std::vector<std::vector<std::string>> recordDialogButtons;
  std::vector<std::vector<std::string>> boxButtons;
  int run = 0;
  CStampwiseApp app(boxes);
  app.SetWindowRunner([&](CStampwiseDlg& window) {
    window.SetDialogRunner([&](QDialog& dialog) {
      if (qobject_cast<QFileDialog*>(&dialog) != nullptr) {
        dialog.show();
        recordDialogButtons.push_back(ButtonTexts(dialog));
        dialog.hide();
      }
      return int(QDialog::Rejected);
    });
    Control<QPushButton>(window, 1019)->click();  // "Datensatz lesen"
    boxButtons.push_back({StandardButtonText(QMessageBox::Yes), StandardButtonText(QMessageBox::No),
                          StandardButtonText(QMessageBox::Cancel), StandardButtonText(QMessageBox::Retry)});
    switch (run++) {
      case 0: window.SysCommand(CStampwiseDlg::kCmdEnglish); break;
      case 1: window.SysCommand(CStampwiseDlg::kCmdGerman); break;
      default: window.reject();
    }
    return window.result();
  });
  app.Run();
  ApplyLanguage(0, "");
  ASSERT_EQ(recordDialogButtons.size(), 3u);
  EXPECT_TRUE(Contains(recordDialogButtons[0], "Abbrechen")) << ::testing::PrintToString(recordDialogButtons[0]);
  EXPECT_TRUE(Contains(recordDialogButtons[1], "Cancel")) << ::testing::PrintToString(recordDialogButtons[1]);
  EXPECT_FALSE(Contains(recordDialogButtons[1], "Abbrechen"));
  EXPECT_TRUE(Contains(recordDialogButtons[2], "Abbrechen"));
  ASSERT_EQ(boxButtons.size(), 3u);
  EXPECT_EQ(boxButtons[0], (std::vector<std::string>{"&Ja", "&Nein", "Abbrechen", "Wiederholen"}));
  EXPECT_EQ(boxButtons[1], (std::vector<std::string>{"&Yes", "&No", "Cancel", "Retry"}));
  EXPECT_EQ(boxButtons[2], boxButtons[0]);
}

TEST(StatusBar, NamesTheReaderOrNoneAndTheValuesLeft) {
  PrivateSettings settings;
  RecordingBoxes boxes;
  {
    settings.SetPort("/dev/stampwise-no-such-port");
    Settings store;
    CStampwiseDlg window(store, boxes);
    window.SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
    window.Start();
    auto* bar = window.findChild<ConnectionStatusBar*>(QStringLiteral("statusBar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->ReaderText().toStdString(), LoadString(msg::kNoReader));
  }
  mkvsim::SimProcess sim({"--quiet", "--tags", "1"});
  settings.SetPort(sim.PtyPath());
  // One byte of hex counting from FD: three values are left.
  Settings().WriteInt(section::kSettings, "Datenformat", 0);
  Settings().WriteInt(section::kSettings, "Byteanzahl", 1);
  Settings().WriteString(section::kSettings, "LastData", "FD");
  Settings().WriteInt(section::kSettings, "AutoIncrement", 0);
  Settings().WriteInt(section::kSettings, "AutoIncHex", 1);
  Settings store;
  CStampwiseDlg window(store, boxes);
  window.SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
  window.Start();
  auto* bar = window.findChild<ConnectionStatusBar*>(QStringLiteral("statusBar"));
  ASSERT_GT(window.Handle(), 0);
  const std::string title = window.windowTitle().toStdString();
  EXPECT_EQ(" <" + bar->ReaderText().toStdString() + ">", title.substr(title.find(" <")));
  EXPECT_EQ(bar->ValuesLeftText().toStdString(), FormatString(msg::kValuesLeft, {"3"}));
  Control<QPushButton>(window, 1014)->click();  // "Einmalig": FD written, FE next
  EXPECT_EQ(bar->ValuesLeftText().toStdString(), FormatString(msg::kValuesLeft, {"2"}));
  Control<QAbstractButton>(window, 1029)->click();  // hex increment off: the value no longer counts
  EXPECT_EQ(bar->ValuesLeftText().toStdString(), "");
  const QString reader = bar->ReaderText();
  window.SysCommand(CStampwiseDlg::kCmdChooseInterface);  // the dialog is cancelled: the reader comes back
  EXPECT_EQ(bar->ReaderText(), reader);
}

// The window as a station: a PLC's trigger writes the tag through the
// window's job, the status bar says that a PLC is connected and how the last
// trigger went, and nothing is taken while a cycle runs.
TEST(StationMode, APlcTriggerWritesThroughTheWindow) {
  PrivateSettings settings;
  mkvsim::SimProcess sim({"--quiet", "--tags", "1"});
  settings.SetPort(sim.PtyPath());
  Settings().WriteString("Station", "Modbus", "127.0.0.1:0");
  RecordingBoxes boxes;
  Settings store;
  CStampwiseDlg window(store, boxes);
  window.SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
  window.Start();
  auto* bar = window.findChild<ConnectionStatusBar*>(QStringLiteral("statusBar"));
  auto* on = window.findChild<QCheckBox*>(QStringLiteral("stationOn"));
  ASSERT_NE(on, nullptr);
  EXPECT_EQ(bar->StationText().toStdString(), "");
  on->setChecked(true);
  const std::optional<plc::ListenAddress> listening = window.StationControls()->Listening();
  ASSERT_TRUE(listening);
  EXPECT_EQ(bar->StationText().toStdString(), LoadString(msg::kPlcNotConnected));

  modbus_t* plc = modbus_new_tcp("127.0.0.1", listening->port);
  ASSERT_EQ(modbus_connect(plc), 0);
  auto settled = [&] {
    std::uint8_t coil = 1;
    while (coil != 0) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      ASSERT_EQ(modbus_read_bits(plc, 0, 1, &coil), 1);
    }
  };
  ASSERT_EQ(modbus_write_bit(plc, 0, 1), 1);
  settled();
  EXPECT_EQ(sim.Command("written"), "OK 1");
  EXPECT_EQ(Control<QLabel>(window, 1033)->text().toStdString(), "1");
  const std::string status = bar->StationText().toStdString();
  EXPECT_EQ(status.rfind(LoadString(msg::kPlcConnected), 0), 0u) << status;
  EXPECT_NE(status.find(LoadString(msg::kStationPassed)), std::string::npos) << status;

  // A running cycle has the reader: a trigger is refused, nothing written.
  Control<QPushButton>(window, 1008)->click();  // "Zyklisch"
  EXPECT_EQ(modbus_write_bit(plc, 0, 1), -1);
  EXPECT_EQ(errno, EMBXSFAIL);
  Control<QPushButton>(window, 1008)->click();
  modbus_close(plc);
  modbus_free(plc);
  on->setChecked(false);
  EXPECT_EQ(bar->StationText().toStdString(), "");
}

// A stop signal while the open error's box is up: the box closes, and the
// program ends with its settings saved instead of showing the interface
// dialog and the window.
TEST(StopSignal, WithAMessageBoxOpenEndsTheProgramWithTheSettingsSaved) {
  PrivateSettings settings;
  settings.SetPort("/dev/stampwise-no-such-port");
  QtMessageBoxes boxes;
  CloseWindowsOnStopSignals(qApp);
  int boxesSeen = 0;
  int otherDialogs = 0;
  bool windowRun = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    if (qobject_cast<QMessageBox*>(modal) != nullptr) {
      if (boxesSeen++ == 0) ::kill(::getpid(), SIGTERM);
    } else {
      ++otherDialogs;  // the bug this guards against: take it away again
      qobject_cast<QDialog*>(modal)->reject();
    }
  });
  watch.start(20);
  CStampwiseApp app(boxes);
  app.SetWindowRunner([&](CStampwiseDlg& window) {
    windowRun = true;
    window.reject();
    return window.result();
  });
  app.Run();
  watch.stop();
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
  EXPECT_TRUE(StopRequested());
  ClearStopRequest();
  EXPECT_GE(boxesSeen, 1);
  EXPECT_EQ(otherDialogs, 0);
  EXPECT_FALSE(windowRun);
  EXPECT_GT(Settings().ReadWindowRect().right, 0);  // written when the window went
}

}  // namespace
}  // namespace stampwise::gui::testing
