// The main window: the parameter set, the read and write groups, the log file
// choices, the status log and the counter. It owns the reader connection while
// it runs and ends with close, restart or language restart. All tag logic
// lives in TagWriter; this class reads its controls into the parameter set,
// calls TagWriter and shows what it reports.
#pragma once

#include <QDialog>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/base/nested_wait.h"
#include "app/connection/reader_client.h"
#include "app/events/mqtt_publisher.h"
#include "app/job/beeper.h"
#include "app/job/front_end.h"
#include "app/job/tag_writer.h"
#include "app/logs/status_log.h"
#include "app/production/cycle_summary.h"
#include "app/production/production_stats.h"
#include "app/store/settings.h"
#include "app/values/enabling.h"
#include "gui/limited_fields.h"
#include "gui/message_boxes.h"
#include "gui/qt_cycle_timer.h"
#include "gui/wait_cursor.h"
#include "update/update_check.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QVBoxLayout;

namespace stampwise::gui {

class ConnectionStatusBar;
class CGs1Panel;
class ProductionView;
class StationPanel;

class CStampwiseDlg : public QDialog, private FrontEnd {
  Q_OBJECT

 public:
  // Values the dialog ends with.
  enum EndValue { kRestart = 1, kClose = 2, kLanguageRestart = 10 };

  // Command values of the window menu (the system menu of the original).
  enum Command {
    kCmdAbout = 16,
    kCmdGerman = 2736,
    kCmdEnglish = 2752,
    kCmdChooseInterface = 16000,
    kCmdSettings = 16016,
    kCmdTransmitPower = 16032,
  };
  // Internal commands of the update check: the software check, the device check.
  enum UpdateCommand { kCmdSoftwareChecked = 1034, kCmdDeviceChecked = 1035 };

  // Runs a sub-dialog modally and returns its result; tests replace it.
  using DialogRunner = std::function<int(QDialog&)>;

  // `checks` are the process's update checks; without them the window makes
  // its own.
  CStampwiseDlg(Settings& settings, MessageBoxes& boxes, update::UpdateChecks* checks = nullptr,
                QWidget* parent = nullptr);
  ~CStampwiseDlg() override;

  void SetDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }
  // The production figures to add to (the application's, so a restart keeps
  // the shift); without them the window keeps its own. Before Start().
  void UseProductionStats(ProductionStats* stats) { production_ = stats != nullptr ? stats : ownProduction_.get(); }

  // Loads nothing more, opens the stored connection (asking for another
  // interface while that fails), applies the format rules and restores the
  // window rectangle. Called before the dialog is shown.
  void Start();

  // A command of the window menu, by its value (low four bits ignored).
  void SysCommand(int command);
  // Commands 1034 and 1035: opens the about box when the check found something newer.
  void UpdateChecked(int command);
  update::UpdateChecks& Checks() { return *checks_; }

  int Handle() const { return reader_.Handle(); }
  TagWriter& Writer() { return writer_; }
  const StatusLog& Log() const { return statusLog_; }
  QMenu* SystemMenu() const { return systemMenu_; }
  // The production view, opened (and raised) on demand.
  ProductionView* ShowProductionView();
  ProductionStats& Production() { return *production_; }
  StationPanel* StationControls() const { return stationPanel_; }

  // Dialog end: "Schliessen", the close box and Escape close, Escape only
  // while no cycle runs. Enter never ends the window (a barcode scanner ends
  // each scan with it).
  void reject() override;
  void accept() override {}

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // FrontEnd
  void AppendStatus(const std::string& line) override;
  void ShowWriteValue(const std::string& value) override;
  void ShowReadText(const std::string& text) override;
  void ShowProgrammedCount(int count) override;
  void FocusPasswordField() override;
  void SetWaitCursor(bool on) override;
  void WriteCycleStopped() override;
  void ReadCycleStopped() override;
  // Asks whether data the ledger holds as used go to a tag again, on purpose.
  bool ConfirmReuse();
  void TagDone(const TagEvent& event) override;
  void LedgerWait(const std::string& text) override;
  void ShowNextTagUri(const std::string& uri) override;
  void ShowReadTagUri(const std::string& uri) override;

  // Layout (stampwise_dlg_layout.cpp).
  void BuildControls();
  void BuildSystemMenu();
  void BuildControlTable();
  void ConnectControls();

  // Connection.
  bool OpenConnection(const std::string& connection, int baudCode, int timeoutMs);
  void OpenStoredConnection();
  void ChooseInterface();
  bool RunPortDialog(std::string* connection);
  void CloseConnection();
  // The open failure's message, with the device and the system's reason
  // below it where they can be found.
  void ShowOpenFailure(const std::string& connection, int messageId);

  // Controls and parameter set.
  ParameterSet ParamsFromControls();
  WriteOptions OptionsFromControls() const;
  bool ReadControls(bool skipValueCheck, bool showErrors = true);
  void WriteControls();
  void ApplyControlStates();
  void SwitchFormatTo(DataFormat format, bool msbFirst);
  QString WriteFieldText();
  // The control a validation error names by its number; null for none.
  QWidget* ControlByNumber(int number) const;
  // Changes the tag writer's job in place.
  void Reconfigure(const std::function<void(WriterConfig&)>& change);

  // GS1 EPC mode (stampwise_dlg_gs1.cpp): chosen next to the six formats,
  // whose stored index stays as it is.
  QWidget* BuildReadUriRow();
  // Grows the window when a GS1 row appeared, so that nothing is squeezed.
  void FitToContents();
  // The size that shows every control, within the screen (less the window
  // frame); the controls scroll where the screen is smaller. The start-up
  // size, also the window's minimum.
  QSize FittingSize();
  void FitToScreen();
  void LoadGs1State();
  // The station a PLC drives (stampwise_dlg_station.cpp).
  void BuildStationPanel(QVBoxLayout* report);
  // Each accepted trigger, on the window's thread: one write attempt as
  // "Schreiben" runs it, once no other exchange runs.
  void RunStationAttempt();
  // The station asks its shared ledger again, between exchanges.
  void ResumeStation();
  // The station takes triggers while a reader is open and no cycle runs.
  void UpdateStationReady();
  // The production view's shift report (stampwise_dlg_report.cpp): saved
  // where the operator says, then offered to open.
  void OnSaveShiftReport();
  // Traceability controls (stampwise_dlg_trace.cpp).
  void BuildTraceControls(QGridLayout* writeLayout, int writeRow, QGridLayout* logGrid, int logRow);
  void LoadTraceState();
  void ConnectTraceControls();
  void ApplyTrace();
  void OnChooseJournalFolder();
  void OnChooseValueList();
  void UpdateValueListLeft();
  // The tags get the list's lines, not the counter's values.
  bool ValueListInUse() const;
  // The journal and the value list stay as they are while a write cycle runs.
  void ApplyTraceStates();

 public:
  // The value list the window takes its values from; empty: none.
  void UseValueList(const std::string& path);

 private:
  void SetGs1Mode(bool on);
  bool ReadGs1Controls(bool skipValueCheck, bool showErrors);
  void ApplyGs1States();
  void SaveGs1State();

  // Handlers.
  void OnFormatRadio(DataFormat format);
  void OnMsbToggled();
  void OnLengthEdited();
  void OnBankChanged();
  void OnIncrementClicked(QCheckBox* clicked, QCheckBox* other);
  void OnLeadingZerosOrText();
  void OnSetPasswordClicked();
  void OnWriteOnce();
  void OnReadOnce();
  // "Zyklisch" of either group: starts the cycle, or stops the running one.
  void OnCycleButton(Cycle cycle);
  void OnTakeOver();
  void OnChooseLog(bool writeLog);
  void OnLoadRecord();
  void OnSaveRecord();
  void OnResetStatus();
  // A cycle began, or the one running ended (by the operator or by itself):
  // the status bar shows it, the end leaves its summary line.
  void CycleBegan(Cycle cycle);
  void CycleEnded();
  void StopCycleWithSummary();
  void RunSettingsDialog();
  void RunTransmitPowerDialog();
  void RunAboutBox();
  // Hands the identified reader to the device check.
  void NoteDevice();
  // Posts `command` to this window from a check's worker thread.
  update::CUpdateCheck::Notify PostUpdateCommand(int command);
  void Finish();
  // Starts the publisher of the stored "Ereignisse"/"MQTT" broker.
  void StartMqtt();
  // Runs one exchange command unless one is already running: a click handled
  // while a reply is awaited must not start a second exchange.
  void Exclusive(const std::function<void()>& command);

  Settings& settings_;
  MessageBoxes& boxes_;
  std::unique_ptr<update::UpdateChecks> ownChecks_;
  update::UpdateChecks* checks_;
  ReaderIdentity identity_;
  NestedWait aboutBox_;
  DialogRunner runDialog_;
  QtCycleTimer writeTimer_;
  QtCycleTimer readTimer_;
  Beeper beeper_;
  ReaderClient reader_;
  // The stored MQTT broker's publisher (none when no broker is stored);
  // made before the writer that tells it of each attempt, gone after it.
  std::unique_ptr<events::MqttPublisher> mqtt_;
  TagWriter writer_;
  StatusLog statusLog_;
  bool txPowerAdjustable_ = false;
  // The link last opened, reopened when the interface dialog is cancelled.
  struct OpenedLink {
    std::string connection;
    int baudCode = 0;
    int timeoutMs = 0;
  };
  std::optional<OpenedLink> opened_;
  // The cycle as shown: its attempts and start, for the summary line.
  Cycle shownCycle_ = Cycle::None;
  TagTally cycleTally_;
  std::chrono::steady_clock::time_point cycleStart_;
  int programmedShown_ = 0;  // tags written since the window opened
  std::unique_ptr<ProductionStats> ownProduction_;
  ProductionStats* production_ = nullptr;
  ProductionView* productionView_ = nullptr;
  bool finished_ = false;
  std::deque<WaitCursor> waitCursors_;  // one per SetWaitCursor(true) not yet ended
  NestedWait exchange_;
  QString templateTitle_;
  AppSettings loaded_;

  // The status bar follows the connection and the counter.
  void UpdateValuesLeft();
  ConnectionStatusBar* statusBar_ = nullptr;

  // The controls of the enabling rules, built once with the widgets.
  std::map<ControlId, QWidget*> controls_;

  // Controls, named "id<number>".
  QMenu* systemMenu_ = nullptr;
  QComboBox* bank_ = nullptr;                   // 1027
  QLineEdit* startWord_ = nullptr;              // 1000
  QLineEdit* lengthBytes_ = nullptr;            // 1001
  QCheckBox* epcLengthFix_ = nullptr;           // 1030
  QRadioButton* formatRadios_[6] = {};          // 1004, 1002, 1005, 1003, 1018, 1013
  QCheckBox* msbFirst_ = nullptr;               // 1028
  QGroupBox* readGroup_ = nullptr;              // 1024
  QPushButton* readCycle_ = nullptr;            // 1010
  QPushButton* readOnce_ = nullptr;             // 1016
  QCheckBox* keepLastValue_ = nullptr;          // 1159
  QLineEdit* readSingle_ = nullptr;             // 1012
  QPlainTextEdit* readMulti_ = nullptr;         // 1022
  QPushButton* takeOver_ = nullptr;             // 1021
  QGroupBox* writeGroup_ = nullptr;             // 1025
  QPushButton* writeCycle_ = nullptr;           // 1008
  QPushButton* writeOnce_ = nullptr;            // 1014
  QCheckBox* autoIncDec_ = nullptr;             // 1009
  QCheckBox* autoIncHex_ = nullptr;             // 1029
  QCheckBox* leadingZeros_ = nullptr;           // 1011
  QCheckBox* additionalText_ = nullptr;         // 1026
  QCheckBox* setPassword_ = nullptr;            // 1031
  QLineEdit* password_ = nullptr;               // 1015
  QCheckBox* activatePassword_ = nullptr;       // 1032
  LimitedLineEdit* valueSingle_ = nullptr;      // 1006
  LimitedPlainTextEdit* valueMulti_ = nullptr;  // 1023
  QCheckBox* writeLogOn_ = nullptr;             // 1151
  QLabel* writeLogPath_ = nullptr;              // 1149
  QPushButton* chooseWriteLog_ = nullptr;       // 1147
  QCheckBox* readLogOn_ = nullptr;              // 1153
  QLabel* readLogPath_ = nullptr;               // 1150
  QPushButton* chooseReadLog_ = nullptr;        // 1148
  QPlainTextEdit* status_ = nullptr;            // 1007
  QLabel* programmed_ = nullptr;                // 1033
  QPushButton* resetStatus_ = nullptr;          // 1017
  QPushButton* loadRecord_ = nullptr;           // 1019
  QPushButton* saveRecord_ = nullptr;           // 1020
  QPushButton* close_ = nullptr;                // 2
  QScrollArea* scroll_ = nullptr;               // the controls above the counter
  // Traceability: read-back check, journal, value list.
  QCheckBox* verifyWrites_ = nullptr;       // 1305
  QCheckBox* journalOn_ = nullptr;          // 1306
  QLabel* journalPath_ = nullptr;           // 1307
  QPushButton* chooseJournal_ = nullptr;    // 1308
  QLabel* valueListPath_ = nullptr;         // 1301
  QPushButton* chooseValueList_ = nullptr;  // 1302
  QPushButton* clearValueList_ = nullptr;   // 1303
  QLabel* valueListLeft_ = nullptr;         // 1304
  StationPanel* stationPanel_ = nullptr;    // "stationOn", "stationAddress"
  QRadioButton* gs1Radio_ = nullptr;        // "gs1Format"
  CGs1Panel* gs1Panel_ = nullptr;           // "gs1Panel"
  QLineEdit* readUri_ = nullptr;            // "gs1ReadUri": tag URI of an EPC bank read
  QWidget* readUriRow_ = nullptr;
  bool gs1Mode_ = false;
  Gs1Settings gs1Loaded_;
};

}  // namespace stampwise::gui
