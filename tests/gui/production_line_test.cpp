// The main window as an operator on a production line meets it: a barcode
// scanner's Enter, a stray Escape, a cancelled interface dialog and job
// fields touched mid-cycle change nothing; a cycle is seen while it runs and
// leaves its summary; the window fits a small screen; the production view.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <fstream>
#include <memory>

#include "app/base/paths.h"
#include "app/store/settings_keys.h"
#include "app/texts/language.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "gui/connection_status.h"
#include "gui/production_view.h"
#include "gui/stampwise_dlg.h"
#include "sim/sim_process.h"
#include "tests/gui/gui_test_support.h"

namespace stampwise::gui::testing {
namespace {

class ProductionLine : public ::testing::Test {
 protected:
  std::unique_ptr<CStampwiseDlg> OpenWindow(std::vector<std::string> simArgs = {"--tags", "1"}) {
    simArgs.push_back("--quiet");
    sim_ = std::make_unique<mkvsim::SimProcess>(simArgs);
    settings_.SetPort(sim_->PtyPath());
    store_ = std::make_unique<Settings>();
    auto window = std::make_unique<CStampwiseDlg>(*store_, boxes_);
    window->SetDialogRunner([this](QDialog& dialog) {
      dialogsRun_.push_back(dialog.objectName().toStdString());
      return int(QDialog::Rejected);
    });
    window->Start();
    window->show();
    return window;
  }

  static QString Text(const CStampwiseDlg& window, int id) {
    if (auto* edit = Control<QLineEdit>(window, id)) return edit->text();
    if (auto* label = Control<QLabel>(window, id)) return label->text();
    if (auto* multi = Control<QPlainTextEdit>(window, id)) return multi->toPlainText();
    return {};
  }
  static ConnectionStatusBar* Bar(const CStampwiseDlg& window) {
    return window.findChild<ConnectionStatusBar*>(QStringLiteral("statusBar"));
  }
  // Starts the write cycle and waits for `tags` more tags.
  static void RunCycleFor(CStampwiseDlg& window, int tags) {
    const int before = Text(window, 1033).toInt();
    Control<QAbstractButton>(window, 1008)->click();
    ASSERT_EQ(window.Writer().RunningCycle(), Cycle::Write);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Text(window, 1033).toInt() >= before + tags; }, kSimWaitMs));
  }
  static int Count(const QString& text, const QString& part) { return static_cast<int>(text.count(part)); }

  PrivateSettings settings_;
  RecordingBoxes boxes_;
  std::unique_ptr<mkvsim::SimProcess> sim_;
  std::unique_ptr<Settings> store_;
  std::vector<std::string> dialogsRun_;
};

// A scanner ends each scan with Enter; the keys reach the window through
// the field that has the focus. Neither key ends the window or its cycle;
// Escape closes like "Schliessen" once no cycle runs.
TEST_F(ProductionLine, EnterAndEscapeNeverStopARunningCycle) {
  auto window = OpenWindow({"--conveyor", "300,100"});
  ASSERT_GT(window->Handle(), 0);
  RunCycleFor(*window, 1);
  const QString log = Text(*window, 1007);
  for (const int field : {1006, 1000, 1001}) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      QWidget* target = Control(*window, field);
      target->setFocus();
      QTest::keyClick(target->isEnabled() ? target : static_cast<QWidget*>(window.get()), key);
      EXPECT_TRUE(window->isVisible()) << field << " " << key;
      EXPECT_EQ(window->result(), 0) << field << " " << key;
      EXPECT_EQ(window->Writer().RunningCycle(), Cycle::Write) << field << " " << key;
    }
  }
  EXPECT_TRUE(Text(*window, 1007).startsWith(log));
  Control<QAbstractButton>(*window, 1008)->click();
  QTest::keyClick(Control(*window, 1006), Qt::Key_Return);
  EXPECT_TRUE(window->isVisible());
  QTest::keyClick(Control(*window, 1006), Qt::Key_Escape);
  EXPECT_EQ(window->result(), CStampwiseDlg::kClose);
}

// What the job writes stays as it was started while a write cycle runs:
// the bank, the journal's switch and folder, the value list.
TEST_F(ProductionLine, JobControlsAreLockedDuringAWriteCycleOnly) {
  const std::string list = settings_.File() + ".list.csv";
  std::ofstream(list) << "0000000A\n0000000B\n0000000C\n0000000D\n";
  auto window = OpenWindow({"--conveyor", "300,100"});
  ASSERT_GT(window->Handle(), 0);
  window->UseValueList(list);
  const int locked[] = {1027, 1306, 1308, 1302, 1303};
  for (const int id : locked) EXPECT_TRUE(Control(*window, id)->isEnabled()) << id;
  RunCycleFor(*window, 1);
  for (const int id : locked) EXPECT_FALSE(Control(*window, id)->isEnabled()) << id;
  Control<QAbstractButton>(*window, 1008)->click();
  for (const int id : locked) EXPECT_TRUE(Control(*window, id)->isEnabled()) << id;
  // A read cycle writes nothing: the bank may change.
  Control<QAbstractButton>(*window, 1010)->click();
  EXPECT_TRUE(Control(*window, 1027)->isEnabled());
  Control<QAbstractButton>(*window, 1010)->click();
}

// Cancel in "Schnittstelle wählen" leaves the reader that was open, with
// its title and status bar, and writes go on through it.
TEST_F(ProductionLine, CancelledInterfaceDialogKeepsTheReader) {
  auto window = OpenWindow();
  ASSERT_GT(window->Handle(), 0);
  const QString title = window->windowTitle();
  const QString reader = Bar(*window)->ReaderText();
  window->SysCommand(CStampwiseDlg::kCmdChooseInterface);
  EXPECT_EQ(dialogsRun_, std::vector<std::string>{"CPortDlg"});
  EXPECT_GT(window->Handle(), 0);
  EXPECT_EQ(window->windowTitle(), title);
  EXPECT_EQ(Bar(*window)->ReaderText(), reader);
  Control<QAbstractButton>(*window, 1014)->click();
  EXPECT_EQ(Text(*window, 1033), "1");
  EXPECT_TRUE(boxes_.shown.empty());
}

// The running cycle is seen at a glance, the counter goes on across cycles
// (as many as the success lines), and each cycle's end leaves its summary.
TEST_F(ProductionLine, ACycleIsSeenWhileItRunsAndEndsWithItsSummary) {
  auto window = OpenWindow({"--conveyor", "300,100"});
  ASSERT_GT(window->Handle(), 0);
  Control<QLineEdit>(*window, 1006)->setText("00000041");
  ASSERT_TRUE(QTest::qWaitFor([&] { return sim_->Command("list").rfind("OK 1", 0) == 0; }, kSimWaitMs));
  Control<QAbstractButton>(*window, 1014)->click();
  ASSERT_EQ(Text(*window, 1033), "1");
  EXPECT_EQ(Bar(*window)->CycleText(), "");

  RunCycleFor(*window, 2);
  EXPECT_TRUE(Control<QPushButton>(*window, 1008)->isChecked());
  EXPECT_EQ(Bar(*window)->CycleText(), "Schreibzyklus läuft");
  EXPECT_GE(Text(*window, 1033).toInt(), 3);  // the one-shot write stays counted
  Control<QAbstractButton>(*window, 1008)->click();
  EXPECT_EQ(Bar(*window)->CycleText(), "");
  const QString log = Text(*window, 1007);
  const int successes = Count(log, QStringLiteral("erfolgreich geschrieben"));
  EXPECT_EQ(Text(*window, 1033).toInt(), successes);
  const QString summary = log.trimmed().section(QLatin1Char('\n'), -1);
  const std::string next = Text(*window, 1006).toStdString();
  EXPECT_THAT(summary.toStdString(),
              ::testing::StartsWith("Zyklus beendet: " + std::to_string(successes - 1) + " geschrieben, "));
  EXPECT_THAT(summary.toStdString(), ::testing::HasSubstr(" mit unbekanntem Ergebnis, nächster Wert <" + next + ">, "));
  EXPECT_THAT(summary.toStdString(), ::testing::EndsWith(" s"));

  // A read cycle's end says what it read.
  Control<QAbstractButton>(*window, 1010)->click();
  EXPECT_EQ(Bar(*window)->CycleText(), "Lesezyklus läuft");
  Control<QAbstractButton>(*window, 1010)->click();
  EXPECT_TRUE(Text(*window, 1007).trimmed().section(QLatin1Char('\n'), -1).startsWith("Zyklus beendet: "));
}

// A port that does not open says which file and why.
TEST_F(ProductionLine, AnOpenFailureNamesThePathAndTheReason) {
  settings_.SetPort("/dev/stampwise-no-such-port");
  Settings store;
  CStampwiseDlg window(store, boxes_);
  window.SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
  window.Start();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text,
            LoadString(msg::kPortOpenFailed) + "\n\n/dev/stampwise-no-such-port: No such file or directory");
}

// The production view follows the tags of a running cycle, reads the same
// events as the status log, and stays open across cycles.
TEST_F(ProductionLine, ProductionViewFollowsTheCycle) {
  auto window = OpenWindow({"--conveyor", "300,100"});
  ASSERT_GT(window->Handle(), 0);
  ProductionView* view = window->ShowProductionView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->StateText(), "Angehalten");
  RunCycleFor(*window, 3);
  EXPECT_EQ(view->StateText(), "Schreibzyklus läuft");
  const int written = Text(*window, 1033).toInt();
  EXPECT_EQ(view->Figure("productionShift").toInt(), written);
  EXPECT_EQ(view->Figure("productionCycle").toInt(), written);
  EXPECT_EQ(view->Figure("productionFailed"), "0");
  EXPECT_EQ(view->Figure("productionYield"), "100.0 %");
  EXPECT_GT(view->Figure("productionRate").toDouble(), 0.0);
  EXPECT_TRUE(Text(*window, 1007).contains("<" + view->Figure("productionLastValue") + "> erfolgreich geschrieben"));
  EXPECT_EQ(view->Figure("productionLastEpc").size(), 24);
  Control<QAbstractButton>(*window, 1008)->click();
  EXPECT_EQ(view->StateText(), "Angehalten");
  EXPECT_EQ(Settings().ReadInt(keys::kProductionViewOpen), 1);
  view->close();
  EXPECT_EQ(Settings().ReadInt(keys::kProductionViewOpen), 0);
}

// "Schichtbericht speichern" in the production view: the ledger's page of
// the shift the view counts (from its start by the plan), offered beside the
// write log under the shift's name, then offered to open; a file that cannot
// be written says why.
TEST_F(ProductionLine, TheProductionViewSavesTheShiftsReport) {
  // One shift a day, begun half an hour ago: no change of shift during the test.
  const QDateTime shiftStart = QDateTime::currentDateTime().addSecs(-30 * 60);
  Settings().WriteString(keys::kShiftStarts, shiftStart.toString(QStringLiteral("HH:mm")).toStdString());
  auto window = OpenWindow({"--conveyor", "300,100"});
  ASSERT_GT(window->Handle(), 0);
  ProductionView* view = window->ShowProductionView();
  RunCycleFor(*window, 3);
  Control<QAbstractButton>(*window, 1008)->click();
  const int written = view->Figure("productionShift").toInt();
  const int attempts = written + view->Figure("productionFailed").toInt() + view->Figure("productionUnknown").toInt();
  ASSERT_GE(written, 3);

  const QString folder = QFileInfo(QString::fromStdString(settings_.File())).absolutePath();
  const struct {
    QString chosen;
    const char* box;
    const char* says;
  } cases[] = {
      {folder + "/shift.html", "question", "Jetzt öffnen?"},
      {folder + "/no-such-folder/shift.html", "warning", "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chosen.toStdString());
    QString offered;
    window->SetDialogRunner([&](QDialog& dialog) {
      auto* files = qobject_cast<QFileDialog*>(&dialog);
      if (files == nullptr) return int(QDialog::Rejected);
      offered = files->selectedFiles().value(0);
      files->selectFile(c.chosen);
      return int(QDialog::Accepted);
    });
    boxes_.shown.clear();
    view->findChild<QPushButton*>(QStringLiteral("productionReport"))->click();
    EXPECT_EQ(offered, folder + shiftStart.toString(QStringLiteral("'/Schicht-'yyyy-MM-dd-HHmm'.html'")));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].kind, c.box);
    EXPECT_THAT(boxes_.shown[0].text, ::testing::HasSubstr(c.says));
  }
  const std::string html = stampwise::testing::ReadFile(folder.toStdString() + "/shift.html");
  EXPECT_THAT(html,
              ::testing::HasSubstr("Shift report " +
                                   shiftStart.toString(QStringLiteral("yyyy-MM-dd HH:mm")).toStdString() + " - "));
  EXPECT_THAT(html, ::testing::HasSubstr("<td><b>All</b></td><td>" + std::to_string(attempts) + "</td><td>" +
                                         std::to_string(written) + "</td>"));
  EXPECT_THAT(html, ::testing::HasSubstr("<rect"));
}

// ---- the screen ----------------------------------------------------------------

// The window's own size for every mode: the six formats, GS1 with its panel
// and with the tag URI row, in both languages. With a title bar and borders
// it fits 1366 x 740 (a 1366 x 768 screen with a panel), and at that size no
// text is cut.
struct Mode {
  const char* name;
  int formatRadio;  // 0: GS1
  bool readUri;
};

class WindowSize : public ProductionLine, public ::testing::WithParamInterface<int> {};

TEST_P(WindowSize, FitsASmallLaptopScreenInEveryModeWithoutCuttingTexts) {
  ApplyLanguage(GetParam(), ResourceDirectoryOf(kEnglishLibraryName));
  settings_.SetPort("/dev/stampwise-no-such-port");
  // The widest counter the status bar shows.
  Settings().WriteInt(section::kSettings, "Byteanzahl", 1023);
  Settings().WriteInt(section::kSettings, "AutoIncrement", 1);
  Settings store;
  CStampwiseDlg window(store, boxes_);
  window.SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
  window.Start();
  window.show();
  const Mode modes[] = {{"hex-bin", 1004, false},   {"hex-ascii", 1002, false}, {"dec-bin", 1005, false},
                        {"dec-ascii", 1003, false}, {"data-bin", 1018, false},  {"data-ascii", 1013, false},
                        {"gs1", 0, false},          {"gs1-uri", 0, true}};
  for (const Mode& mode : modes) {
    if (mode.formatRadio != 0) {
      Control<QAbstractButton>(window, mode.formatRadio)->click();
    } else {
      window.findChild<QRadioButton*>(QStringLiteral("gs1Format"))->click();
    }
    if (mode.readUri) window.findChild<QLineEdit*>(QStringLiteral("gs1ReadUri"))->parentWidget()->show();
    // The window itself made room: nothing scrolls where the screen is large enough.
    const QSize room = window.screen()->availableGeometry().size() - QSize(8, 36);
    if (window.sizeHint().height() <= room.height() && window.sizeHint().width() <= room.width()) {
      QApplication::processEvents();
      auto* scroll = window.findChild<QScrollArea*>(QStringLiteral("mainScroll"));
      EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0) << mode.name;
      EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0) << mode.name;
    }
    window.findChild<QWidget*>(QStringLiteral("mainContent"))->layout()->activate();
    window.findChild<QScrollArea*>(QStringLiteral("mainScroll"))->updateGeometry();
    window.layout()->activate();
    const QSize natural = window.sizeHint();
    EXPECT_LE(natural.width() + 8, 1366) << mode.name;
    EXPECT_LE(natural.height() + 36, 740) << mode.name;
    window.resize(natural);
    window.layout()->activate();
    QApplication::processEvents();
    for (QWidget* control : window.findChildren<QWidget*>()) {
      if (!control->isVisibleTo(&window)) continue;
      auto* button = qobject_cast<QAbstractButton*>(control);
      auto* label = qobject_cast<QLabel*>(control);
      if ((button == nullptr && label == nullptr) || control->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored) {
        continue;
      }
      // A push button's text with a little room; check boxes, radio buttons
      // and labels as their style asks.
      const int needed = qobject_cast<QPushButton*>(control) != nullptr
                             ? control->fontMetrics().horizontalAdvance(button->text()) + 6
                             : control->minimumSizeHint().width();
      EXPECT_GE(control->width(), needed) << mode.name << ": " << control->objectName().toStdString() << " "
                                          << (button ? button->text() : label->text()).toStdString();
    }
  }
  ApplyLanguage(0, "");
}

INSTANTIATE_TEST_SUITE_P(Languages, WindowSize, ::testing::Values(0, 1),
                         [](const auto& test) { return test.param == 0 ? "German" : "English"; });

// A 1366 x 740 screen at 125 % (its own test run sets the screen and the
// scale): the controls scroll, the counter, "Schliessen" and the status bar
// stay on the screen.
TEST_F(ProductionLine, OnAScaledLaptopScreenTheControlsScrollAndTheButtonsStay) {
  if (getenv("STAMPWISE_LAPTOP_SCREEN") == nullptr) GTEST_SKIP() << "runs on the scaled laptop screen only";
  settings_.SetPort("/dev/stampwise-no-such-port");
  Settings store;
  CStampwiseDlg window(store, boxes_);
  window.SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
  window.Start();
  window.show();
  window.findChild<QRadioButton*>(QStringLiteral("gs1Format"))->click();
  const QSize room = window.screen()->availableGeometry().size();
  ASSERT_GT(window.sizeHint().height(), room.height()) << "the test needs a screen lower than the window";
  EXPECT_LE(window.frameGeometry().height(), room.height());
  EXPECT_LE(window.frameGeometry().width(), room.width());
  auto* scroll = window.findChild<QScrollArea*>(QStringLiteral("mainScroll"));
  ASSERT_NE(scroll, nullptr);
  EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
  for (QWidget* always : {Control(window, 2), Control(window, 1033), static_cast<QWidget*>(Bar(window))}) {
    const QRect where(always->mapTo(&window, QPoint(0, 0)), always->size());
    EXPECT_TRUE(window.rect().contains(where)) << always->objectName().toStdString();
  }
}

}  // namespace
}  // namespace stampwise::gui::testing
