// The IP search, the LAN settings and the interface dialog's LAN side, off
// screen against simulated LAN modules on a private network (skipped where
// network namespaces cannot be made).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>

#include "app/connection/reader_client.h"
#include "app/store/settings_keys.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "gui/ip_search_dlg.h"
#include "gui/lan_config_dlg.h"
#include "gui/port_dlg.h"
#include "gui/stampwise_dlg.h"
#include "tests/gui/gui_test_support.h"
#include "tests/lan/module_network.h"

namespace stampwise::gui::testing {
namespace {

using qlmkv::test::ModuleNetwork;
using qlmkv::test::ModuleSpec;

const ModuleSpec kFixedReader{"fixed", "10.77.0.2/24", {"--lan-address", "10.77.0.2"}};
const ModuleSpec kAutomaticReader{"auto", "10.77.0.3/24", {"--lan-name", "HALLE"}};
const ModuleSpec kForeignModule{"foreign", "10.77.0.4/24", {"--lan-address", "10.77.0.4", "--lan-device", "XPORT-9"}};

constexpr int kSearchWaitMs = 15000;

// Runs `step` on every event-loop pass until it returns true (for the
// modal dialogs, whose exec() only returns when they close).
void WhileModal(std::function<bool()> step) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, step] {
    if (step()) timer->deleteLater();
  });
  timer->start();
}

template <typename Dialog>
Dialog* ActiveDialog() {
  return qobject_cast<Dialog*>(QApplication::activeModalWidget());
}

class LanDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    network_ = ModuleNetwork::Create(whyNot);
    if (network_ == nullptr) GTEST_SKIP() << "no private network for LAN tests: " << whyNot;
  }
  void TearDown() override { network_.reset(); }

  mkvsim::SimProcess& Start(const ModuleSpec& spec) { return network_->StartModule(spec); }
  void StartThreeModules() {
    Start(kFixedReader);
    Start(kAutomaticReader);
    Start(kForeignModule);
  }

  std::unique_ptr<ModuleNetwork> network_;
  RecordingBoxes boxes_;
};

TEST_F(LanDialogs, IpSearchListsReadersAndForeignModulesAndHandsBackOnlyReaders) {
  StartThreeModules();
  const std::vector<FoundModule> expected{{"10.77.0.2-10001", FoundModule::kReader},
                                          {"[HALLE]10.77.0.3-10001", FoundModule::kReader},
                                          {"10.77.0.4-10001", FoundModule::kForeign}};
  struct Row {
    int selected;
    std::string result;
  };
  for (const Row& row : {Row{2, ""}, Row{1, "[HALLE]10.77.0.3-10001"}, Row{-1, ""}}) {
    CIPAddrSuche search(boxes_);
    search.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !search.Entries().empty(); }, kSearchWaitMs));
    ASSERT_EQ(search.Entries(), expected);
    auto* list = Control<QListWidget>(search, 1128);
    auto* change = Control<QPushButton>(search, 1);
    ASSERT_EQ(list->count(), 3);
    for (int i = 0; i < 3; ++i) {
      const bool foreign = i == 2;
      EXPECT_EQ(list->item(i)->font().italic(), foreign) << i;
      EXPECT_EQ(list->item(i)->foreground().color() == QColor(255, 0, 0), foreign) << i;
    }
    EXPECT_FALSE(change->isEnabled());
    if (row.selected >= 0) list->item(row.selected)->setSelected(true);
    EXPECT_EQ(change->isEnabled(), row.selected >= 0);
    QTest::mouseClick(Control<QPushButton>(search, 2), Qt::LeftButton);
    EXPECT_FALSE(search.isVisible());
    EXPECT_EQ(search.Result(), row.result);
  }
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(LanDialogs, SearchKeepsEventsRunningUnderTheWaitCursorAndNeverNests) {
  Start(kFixedReader);
  CIPAddrSuche search(boxes_);
  int ticksDuringSearch = 0;
  bool waitCursorShown = false;
  bool nestedSearchRefused = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!ReaderClient::LanBusy()) return;
    ++ticksDuringSearch;
    waitCursorShown = waitCursorShown || (QGuiApplication::overrideCursor() != nullptr &&
                                          QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor);
    // A second search started from an event of the first one returns at once.
    nestedSearchRefused = nestedSearchRefused || ReaderClient::LanReaders().empty();
  });
  watch.start(10);
  search.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !search.Entries().empty(); }, kSearchWaitMs));
  watch.stop();
  EXPECT_GT(ticksDuringSearch, 0);
  EXPECT_TRUE(waitCursorShown);
  EXPECT_TRUE(nestedSearchRefused);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(search.Entries(), (std::vector<FoundModule>{{"10.77.0.2-10001", FoundModule::kReader}}));
}

TEST_F(LanDialogs, NothingFoundShowsTheFirewallMessageUntilCancelled) {
  boxes_.retries = 1;
  CIPAddrSuche search(boxes_);
  search.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !search.isVisible(); }, kSearchWaitMs));
  EXPECT_EQ(search.result(), QDialog::Rejected);
  EXPECT_TRUE(search.Result().empty());
  ASSERT_EQ(boxes_.shown.size(), 2u);
  for (const ShownBox& box : boxes_.shown) {
    EXPECT_EQ(box.kind, "retry");
    EXPECT_EQ(box.text, LoadString(msg::kNoLanDevices));
  }
}

TEST_F(LanDialogs, LanSettingsChangeAddressThenPortWithTheProgressBarShownMeanwhile) {
  mkvsim::SimProcess& module = Start(kFixedReader);
  struct Change {
    std::string from, address, port, expectedAddress, counts;
  };
  for (const Change& change :
       {Change{"10.77.0.2-10001", "10.77.0.6", "4001", "10.77.0.6-4001", "OK writes=1 assignments=1 restarts=1"},
        Change{"10.77.0.6-4001", "10.77.0.6", "4002", "10.77.0.6-4002", "OK writes=2 assignments=1 restarts=2"}}) {
    CLanConfig config(boxes_, change.from);
    auto* address = Control<QLineEdit>(config, 1243);
    auto* port = Control<QLineEdit>(config, 1246);
    auto* progress = Control<QProgressBar>(config, 1253);
    EXPECT_TRUE(Control<QRadioButton>(config, 1252)->isChecked());
    EXPECT_FALSE(Control<QLineEdit>(config, 1247)->isEnabled());
    EXPECT_EQ(Control<QLineEdit>(config, 1244)->text(), "255.255.255.0");
    EXPECT_EQ(address->text().toStdString() + "-" + port->text().toStdString(), change.from);
    config.show();
    EXPECT_FALSE(progress->isVisible());
    address->setText(QString::fromStdString(change.address));
    port->setText(QString::fromStdString(change.port));

    bool barSeen = false;
    bool buttonsHidden = true;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (!config.Applying()) return;
      barSeen = barSeen || progress->isVisible();
      buttonsHidden = buttonsHidden && !Control<QPushButton>(config, 1)->isVisible();
    });
    watch.start(10);
    config.accept();
    watch.stop();

    EXPECT_EQ(config.result(), QDialog::Accepted);
    EXPECT_TRUE(barSeen);
    EXPECT_TRUE(buttonsHidden);
    EXPECT_FALSE(config.isVisible());
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(config.ModuleAddress(), change.expectedAddress);
    EXPECT_EQ(module.Command("lan counts"), change.counts);
    const std::optional<LanSetup> setup = ReaderClient::ReadLanSetup(change.expectedAddress);
    ASSERT_TRUE(setup.has_value());
    EXPECT_EQ(setup->AddressText(), change.address);
    EXPECT_EQ(std::to_string(setup->port), change.port);
  }
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(LanDialogs, DhcpNameOfEightCharactersIsTakenAndNineAreRefused) {
  mkvsim::SimProcess& module =
      Start({"fixed", "10.77.0.2/24", {"--lan-address", "10.77.0.2", "--lan-auto-address", "10.77.0.9"}});
  CLanConfig config(boxes_, "10.77.0.2-10001");
  config.show();
  QTest::mouseClick(Control<QRadioButton>(config, 1251), Qt::LeftButton);
  auto* name = Control<QLineEdit>(config, 1247);
  EXPECT_TRUE(name->isEnabled());
  EXPECT_FALSE(Control<QLineEdit>(config, 1243)->isEnabled());
  EXPECT_FALSE(Control<QLineEdit>(config, 1246)->isEnabled());

  name->setText("NEUNAME12");
  config.accept();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Geben Sie höchstens 8 Zeichen ein.");
  EXPECT_TRUE(config.isVisible());
  EXPECT_EQ(module.Command("lan counts"), "OK writes=0 assignments=0 restarts=0");

  name->setText("NEUNAME1");
  config.accept();
  EXPECT_EQ(config.result(), QDialog::Accepted);
  EXPECT_EQ(config.ModuleAddress(), "[NEUNAME1]");
  EXPECT_EQ(ReaderClient::LanModules(), std::vector<std::string>{"[NEUNAME1]10.77.0.9-10001"});
  EXPECT_EQ(boxes_.shown.size(), 1u);
}

// A module named in Latin-1: the name field shows its characters (no
// replacement characters), and OK without a change keeps its bytes.
TEST_F(LanDialogs, AModuleNameThatIsNotUtf8ShowsAsLatin1AndIsKeptByteForByte) {
  const std::string name = "\xC4RGER";
  Start({"auto", "10.77.0.3/24", {"--lan-name", name, "--lan-auto-address", "10.77.0.3"}});
  CLanConfig config(boxes_, "10.77.0.3-10001");
  config.show();
  EXPECT_EQ(Control<QLineEdit>(config, 1247)->text(), QString::fromLatin1(name.data()));
  config.accept();
  EXPECT_EQ(config.result(), QDialog::Accepted);
  EXPECT_EQ(config.ModuleAddress(), "[" + name + "]");
  EXPECT_EQ(ReaderClient::LanModules(), std::vector<std::string>{"[" + name + "]10.77.0.3-10001"});
}

TEST_F(LanDialogs, UnreachableModuleLeavesTheFieldsOpenAndAFailedChangeIsReported) {
  CLanConfig config(boxes_, "10.77.0.99-10001");
  config.show();
  for (int id : {1243, 1244, 1245, 1246, 1247}) {
    EXPECT_TRUE(Control<QLineEdit>(config, id)->isEnabled()) << id;
    EXPECT_TRUE(Control<QLineEdit>(config, id)->text().isEmpty()) << id;
  }
  EXPECT_FALSE(Control<QRadioButton>(config, 1251)->isChecked());
  EXPECT_FALSE(Control<QRadioButton>(config, 1252)->isChecked());

  // A text that is no address is refused before anything is sent.
  Control<QLineEdit>(config, 1243)->setText("10.77.0");
  Control<QLineEdit>(config, 1246)->setText("10001");
  Control<QLineEdit>(config, 1244)->setText("255.255.255.0");
  config.accept();
  Control<QLineEdit>(config, 1243)->setText("10.77.0.7");
  config.accept();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[0].text, "Geben Sie eine gültige IP-Adresse ein.");
  EXPECT_EQ(boxes_.shown[1].text, LoadString(msg::kLanConfigFailed));
  EXPECT_TRUE(config.isVisible());
  EXPECT_FALSE(Control<QProgressBar>(config, 1253)->isVisible());
  EXPECT_TRUE(Control<QPushButton>(config, 1)->isVisible());
  EXPECT_TRUE(Control<QPushButton>(config, 1)->isEnabled());
}

TEST_F(LanDialogs, InterfaceDialogTakesTheIpSearchResult) {
  StartThreeModules();
  PrivateSettings file;
  Settings settings;
  settings.WriteInt(keys::kPortEthernet, 1);
  CPortDlg ports(settings, boxes_);
  ports.show();
  ASSERT_TRUE(Control<QPushButton>(ports, 1256)->isVisible());
  // The dialog's first pass lists the LAN readers; the dialog is locked meanwhile.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const std::vector<std::string> entries = ports.Entries();
        return ports.isEnabled() && std::find(entries.begin(), entries.end(), "LAN: [HALLE]") != entries.end();
      },
      kSearchWaitMs));
  WhileModal([] {
    CIPAddrSuche* search = ActiveDialog<CIPAddrSuche>();
    if (search == nullptr || search->Entries().empty()) return false;
    Control<QListWidget>(*search, 1128)->item(1)->setSelected(true);
    QTest::mouseClick(Control<QPushButton>(*search, 2), Qt::LeftButton);
    return true;
  });
  QTest::mouseClick(Control<QPushButton>(ports, 1256), Qt::LeftButton);
  EXPECT_EQ(ports.PortName(), "LAN: [HALLE]");

  auto* list = Control<QListWidget>(ports, 1012);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !list->selectedItems().isEmpty() && list->selectedItems()[0]->text() == "LAN: [HALLE]"; },
      kSearchWaitMs));
  const std::vector<std::string> entries = ports.Entries();
  EXPECT_NE(std::find(entries.begin(), entries.end(), "LAN: 10.77.0.2-10001"), entries.end());
  EXPECT_EQ(std::find(entries.begin(), entries.end(), "LAN: 10.77.0.4-10001"), entries.end());
  QTest::mouseClick(Control<QPushButton>(ports, 1), Qt::LeftButton);
  EXPECT_EQ(ports.result(), QDialog::Accepted);
  EXPECT_EQ(ports.GetConnectString(), "[HALLE]:1");
  EXPECT_EQ(Settings().ReadString(keys::kPortName), "LAN: [HALLE]");
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(LanDialogs, EthernetOffRemovesTheLanEntriesAndHidesTheSearch) {
  Start(kFixedReader);
  PrivateSettings file;
  Settings settings;
  settings.WriteInt(keys::kPortEthernet, 1);
  CPortDlg ports(settings, boxes_);
  ports.show();
  const auto lanEntries = [&] {
    const std::vector<std::string> entries = ports.Entries();
    return std::count_if(entries.begin(), entries.end(), [](const std::string& e) { return e.rfind("LAN: ", 0) == 0; });
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return lanEntries() == 1; }, kSearchWaitMs));
  QTest::mouseClick(Control<QCheckBox>(ports, 1250), Qt::LeftButton);
  EXPECT_FALSE(Control<QPushButton>(ports, 1256)->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([&] { return lanEntries() == 0; }, kSearchWaitMs));
  QTest::mouseClick(Control<QPushButton>(ports, 1), Qt::LeftButton);
  EXPECT_EQ(Settings().ReadInt(keys::kPortEthernet), 0);
}

// A LAN choice that does not answer is never swapped for another module (it
// may be another station's reader): it stays the choice.
TEST_F(LanDialogs, StoredLanChoiceIsKeptWhenTheInterfaceDialogIsBuilt) {
  Start(kFixedReader);
  struct Row {
    std::string stored, kept;
  };
  for (const Row& row :
       {Row{"LAN: 10.77.0.2-10001", "LAN: 10.77.0.2-10001"}, Row{"LAN: 10.77.0.66-10001", "LAN: 10.77.0.66-10001"}}) {
    PrivateSettings file;
    file.SetPort(row.stored);
    Settings settings;
    settings.WriteInt(keys::kPortEthernet, 1);
    CPortDlg ports(settings, boxes_);
    EXPECT_EQ(ports.PortName(), row.kept) << row.stored;
    EXPECT_EQ(Settings().ReadString(keys::kPortName), row.kept) << row.stored;
  }
}

// The window's start-up with a stored LAN reader that is gone while another
// reader answers on the network: the interface dialog comes, the other
// reader is not opened and the choice stays as stored.
TEST_F(LanDialogs, MainWindowNeverSwapsAStoredLanReaderForAnotherModule) {
  Start(kFixedReader);
  PrivateSettings file;
  file.SetPort("LAN: 10.77.0.66-10001");
  Settings settings;
  settings.WriteInt(keys::kPortEthernet, 1);
  std::vector<std::string> dialogsRun;
  CStampwiseDlg window(settings, boxes_);
  window.SetDialogRunner([&](QDialog& dialog) {
    dialogsRun.push_back(dialog.objectName().toStdString());
    return int(QDialog::Rejected);
  });
  window.Start();
  EXPECT_EQ(window.Handle(), 0);
  EXPECT_EQ(dialogsRun, std::vector<std::string>{"CPortDlg"});
  EXPECT_TRUE(window.windowTitle().endsWith(" <>")) << window.windowTitle().toStdString();
  EXPECT_EQ(Settings().ReadString(keys::kPortName), "LAN: 10.77.0.66-10001");
}

// Pictures of both dialogs with modules listed, for a look at the layout.
// Runs only when a folder for the pictures is given (the xvfb-run test sets it).
class LanScreenshot : public LanDialogs {};

TEST_F(LanScreenshot, IpSearchAndLanSettings) {
  const char* folder = getenv("STAMPWISE_SCREENSHOT_DIR");
  if (folder == nullptr) GTEST_SKIP() << "STAMPWISE_SCREENSHOT_DIR not set";
  const QString into = QString::fromLocal8Bit(folder);
  StartThreeModules();
  CIPAddrSuche search(boxes_);
  search.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&search));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !search.Entries().empty(); }, kSearchWaitMs));
  Control<QListWidget>(search, 1128)->item(0)->setSelected(true);
  QTest::qWait(200);
  EXPECT_TRUE(search.grab().save(into + "/stampwise-ipsearch.png"));

  CLanConfig config(boxes_, "10.77.0.2-10001", &search);
  config.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&config));
  QTest::qWait(200);
  EXPECT_TRUE(config.grab().save(into + "/stampwise-lanconfig.png"));

  // The interface dialog with the LAN readers listed.
  {
    PrivateSettings file;
    Settings settings;
    settings.WriteInt(keys::kPortEthernet, 1);
    CPortDlg ports(settings, boxes_);
    ports.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ports));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          const std::vector<std::string> entries = ports.Entries();
          return std::find(entries.begin(), entries.end(), "LAN: [HALLE]") != entries.end();
        },
        kSearchWaitMs));
    QTest::qWait(200);
    EXPECT_TRUE(ports.grab().save(into + "/stampwise-interface-lan.png"));
  }

  // And while a change of port is applied, with its progress bar.
  Control<QLineEdit>(config, 1246)->setText("4001");
  bool saved = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (saved || !config.Applying()) return;
    saved = config.grab().save(into + "/stampwise-lanconfig-applying.png");
  });
  watch.start(5);
  config.accept();
  EXPECT_TRUE(saved);
  EXPECT_TRUE(boxes_.shown.empty());
}

}  // namespace
}  // namespace stampwise::gui::testing
