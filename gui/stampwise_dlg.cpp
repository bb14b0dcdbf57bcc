#include "gui/stampwise_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>

#include "app/connection/open_failure.h"
#include "app/connection/port_settings.h"
#include "app/job/write_job.h"
#include "app/ledger/production_journal.h"
#include "app/store/record.h"
#include "app/store/settings_keys.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/enabling.h"
#include "app/values/formats.h"
#include "app/values/values.h"
#include "app/values/values_validation.h"
#include "gui/about_dlg.h"
#include "gui/beep_time_dlg.h"
#include "gui/connection_status.h"
#include "gui/help.h"
#include "gui/port_dlg.h"
#include "gui/production_view.h"
#include "gui/station_panel.h"
#include "gui/stop_signals.h"
#include "gui/texts.h"
#include "gui/tx_power_dlg.h"

namespace stampwise::gui {
namespace {

const char* const kTemplateTitle = "QL-MKV Stampwise";
// What a window manager adds around a window not yet shown: a title bar and
// borders (1366 x 768 with a panel leaves 1366 x 740 for the framed window).
const QSize kFrameAllowance(8, 36);

QString FileFilter(const char* description, const char* pattern) {
  return QStringLiteral("%1 (%2);;All Files (*)").arg(QLatin1String(description), QLatin1String(pattern));
}

}  // namespace

CStampwiseDlg::CStampwiseDlg(Settings& settings, MessageBoxes& boxes, update::UpdateChecks* checks, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      boxes_(boxes),
      ownChecks_(checks ? nullptr : std::make_unique<update::UpdateChecks>(update::StoredBaseAddress(settings_))),
      checks_(checks ? checks : ownChecks_.get()),
      runDialog_([](QDialog& dialog) { return dialog.exec(); }),
      writer_(*this, writeTimer_, readTimer_, &settings_, &beeper_),
      templateTitle_(QString::fromLatin1(kTemplateTitle)) {
  ownProduction_ = MakeProductionStats(settings_);
  production_ = ownProduction_.get();
  setObjectName(QStringLiteral("CStampwiseDlg"));
  setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);
  setWindowTitle(templateTitle_);
  BuildControls();

  loaded_ = settings_.Load();
  if (const std::optional<int> damaged = DamagedSettingsLine(settings_.FileName())) {
    boxes_.Warning(this, FromUtf8(FormatString(msg::kSettingsDamaged, {settings_.FileName(), *damaged})));
  }
  WriterConfig config = LoadWriteJob(settings_);
  config.ledgerFile = ChosenLedger(settings_, std::nullopt);
  config.leaseSize = settings_.ReadLeaseSize();
  // The window waits for a shared ledger that does not answer and goes on.
  config.waitForLedger = true;
  writer_.Configure(config);
  StartMqtt();
  writeLogPath_->setText(FromUtf8(loaded_.logs.writeLogFile));
  readLogPath_->setText(FromUtf8(loaded_.logs.readLogFile));
  writeLogOn_->setChecked(loaded_.logs.writeLogEnabled);
  readLogOn_->setChecked(loaded_.logs.readLogEnabled);
  WriteControls();
  LoadGs1State();
  // The list in use stays chosen across starts.
  valueListPath_->setText(FromUtf8(settings_.ReadString(keys::kValueListFile)));
  LoadTraceState();
  UpdateValuesLeft();
  // What the fields show now is the stored job: a value typed over it later
  // is the operator's own.
  writer_.MarkShown();
  ConnectControls();
  ConnectTraceControls();
  checks_->device.StartCheck();
}

CStampwiseDlg::~CStampwiseDlg() {
  checks_->software.Withdraw(this);
  checks_->device.Withdraw(this);
  Finish();
  delete productionView_;  // before the figures it shows may go
}

void CStampwiseDlg::Exclusive(const std::function<void()>& command) {
  const NestedWait::Turn turn(exchange_);
  if (turn.Entered()) command();
}

void CStampwiseDlg::ConnectControls() {
  for (int index = 0; index <= 5; ++index) {
    connect(formatRadios_[index], &QRadioButton::clicked, this, [this, index] {
      SetGs1Mode(false);
      OnFormatRadio(static_cast<DataFormat>(index));
    });
  }
  connect(gs1Radio_, &QRadioButton::clicked, this, [this] { SetGs1Mode(true); });
  connect(msbFirst_, &QCheckBox::clicked, this, &CStampwiseDlg::OnMsbToggled);
  connect(lengthBytes_, &QLineEdit::editingFinished, this, &CStampwiseDlg::OnLengthEdited);
  connect(bank_, &QComboBox::activated, this, &CStampwiseDlg::OnBankChanged);
  connect(autoIncDec_, &QCheckBox::clicked, this, [this] { OnIncrementClicked(autoIncDec_, autoIncHex_); });
  connect(autoIncHex_, &QCheckBox::clicked, this, [this] { OnIncrementClicked(autoIncHex_, autoIncDec_); });
  connect(leadingZeros_, &QCheckBox::clicked, this, &CStampwiseDlg::OnLeadingZerosOrText);
  connect(additionalText_, &QCheckBox::clicked, this, &CStampwiseDlg::OnLeadingZerosOrText);
  connect(setPassword_, &QCheckBox::clicked, this, &CStampwiseDlg::OnSetPasswordClicked);
  connect(writeOnce_, &QPushButton::clicked, this, &CStampwiseDlg::OnWriteOnce);
  connect(writeCycle_, &QPushButton::clicked, this, [this] { OnCycleButton(Cycle::Write); });
  connect(readOnce_, &QPushButton::clicked, this, &CStampwiseDlg::OnReadOnce);
  connect(readCycle_, &QPushButton::clicked, this, [this] { OnCycleButton(Cycle::Read); });
  connect(takeOver_, &QPushButton::clicked, this, &CStampwiseDlg::OnTakeOver);
  connect(chooseWriteLog_, &QPushButton::clicked, this, [this] { OnChooseLog(true); });
  connect(chooseReadLog_, &QPushButton::clicked, this, [this] { OnChooseLog(false); });
  connect(loadRecord_, &QPushButton::clicked, this, &CStampwiseDlg::OnLoadRecord);
  connect(saveRecord_, &QPushButton::clicked, this, &CStampwiseDlg::OnSaveRecord);
  connect(resetStatus_, &QPushButton::clicked, this, &CStampwiseDlg::OnResetStatus);
  connect(close_, &QPushButton::clicked, this, &CStampwiseDlg::reject);
  // The log boxes and "letzten Wert beibehalten" are looked at per line, also during cycles.
  connect(writeLogOn_, &QCheckBox::toggled, this,
          [this](bool on) { Reconfigure([on](WriterConfig& config) { config.logs.writeLogEnabled = on; }); });
  connect(readLogOn_, &QCheckBox::toggled, this,
          [this](bool on) { Reconfigure([on](WriterConfig& config) { config.logs.readLogEnabled = on; }); });
  connect(valueSingle_, &QLineEdit::textChanged, this, &CStampwiseDlg::UpdateValuesLeft);
  connect(valueMulti_, &QPlainTextEdit::textChanged, this, &CStampwiseDlg::UpdateValuesLeft);
  connect(keepLastValue_, &QCheckBox::toggled, this,
          [this](bool on) { Reconfigure([on](WriterConfig& config) { config.keepLastValue = on; }); });
  for (const Cycle cycle : {Cycle::Write, Cycle::Read}) {
    QtCycleTimer& timer = cycle == Cycle::Write ? writeTimer_ : readTimer_;
    connect(&timer.Timer(), &QTimer::timeout, this,
            [this, cycle] { Exclusive([this, cycle] { writer_.Tick(cycle); }); });
  }
}

void CStampwiseDlg::Start() {
  FitToScreen();
  OpenStoredConnection();
  SwitchFormatTo(writer_.Config().params.format, writer_.Config().params.msbFirst);
  if (settings_.ReadUpdateCheck()) checks_->software.StartCheck(this, PostUpdateCommand(kCmdSoftwareChecked));
  NoteDevice();

  std::vector<WindowRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect g = screen->geometry();
    screens.push_back({g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
  }
  if (const auto placed = PlaceSavedWindow(settings_.ReadWindowRect(), screens)) {
    const QSize wanted(placed->right - placed->left, placed->bottom - placed->top);
    setGeometry(QRect(QPoint(placed->left, placed->top), wanted.expandedTo(minimumSize())));
  }
  if (settings_.ReadInt(keys::kProductionViewOpen) != 0) ShowProductionView();
}

QSize CStampwiseDlg::FittingSize() {
  // A control just shown or hidden counts at once, not when the layouts next run.
  scroll_->widget()->layout()->activate();
  scroll_->updateGeometry();
  layout()->activate();
  QSize wanted = sizeHint();
  const QScreen* where = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  if (where == nullptr) return wanted;
  QSize frame = frameGeometry().size() - geometry().size();
  if (!isVisible() || frame.isEmpty()) frame = kFrameAllowance;
  const QSize room = where->availableGeometry().size() - frame;
  // Scrolling up and down takes a scroll bar's width from the controls.
  if (wanted.height() > room.height()) wanted.rwidth() += style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  return wanted.boundedTo(room);
}

void CStampwiseDlg::FitToScreen() {
  const QSize fitting = FittingSize();
  resize(fitting);
  setMinimumSize(fitting);
}

ProductionView* CStampwiseDlg::ShowProductionView() {
  if (productionView_ == nullptr) {
    productionView_ = new ProductionView(*production_, this);
    connect(productionView_, &ProductionView::Closed, this,
            [this] { settings_.WriteInt(keys::kProductionViewOpen, 0); });
    connect(productionView_, &ProductionView::ReportRequested, this, &CStampwiseDlg::OnSaveShiftReport);
  }
  settings_.WriteInt(keys::kProductionViewOpen, 1);
  productionView_->show();
  productionView_->raise();
  productionView_->Refresh();
  return productionView_;
}

// ---- connection ------------------------------------------------------------

bool CStampwiseDlg::OpenConnection(const std::string& connection, int baudCode, int timeoutMs) {
  txPowerAdjustable_ = false;
  const std::string version = ProductVersion();
  setWindowTitle(FromUtf8(WindowTitle(kTemplateTitle, version, nullptr)));
  const ReaderIdentity identity = reader_.Open(connection, baudCode, timeoutMs);
  writer_.SetLink(reader_.Tags());
  writer_.WatchLink([this] { return reader_.LinkLost(); }, connection);
  statusBar_->ShowReader(&identity);
  UpdateStationReady();
  if (identity.handle <= 0) {
    ShowOpenFailure(connection, identity.messageId);
    return false;
  }
  opened_ = OpenedLink{connection, baudCode, timeoutMs};
  txPowerAdjustable_ = identity.txPowerAdjustable;
  identity_ = identity;
  setWindowTitle(FromUtf8(WindowTitle(kTemplateTitle, version, &identity)));
  return true;
}

void CStampwiseDlg::OpenStoredConnection() {
  // The dialog's check of a stored USB or LAN choice runs at start-up too.
  const PortSettings port = LoadCheckedPortSettings(settings_);
  std::string connection = ConnectString(port.name, port.address);
  while (!OpenConnection(connection, settings_.ReadPortBaudrate(), settings_.ReadPortTimeout())) {
    if (StopRequested() || !RunPortDialog(&connection)) break;
  }
}

bool CStampwiseDlg::RunPortDialog(std::string* connection) {
  CPortDlg dialog(settings_, boxes_, this);
  if (runDialog_(dialog) != QDialog::Accepted) return false;
  *connection = dialog.GetConnectString();
  return true;
}

void CStampwiseDlg::ShowOpenFailure(const std::string& connection, int messageId) {
  QString text = TableText(messageId);
  if (messageId == msg::kPortOpenFailed) {
    if (const std::optional<OpenFailure> failure = FindOpenFailure(connection)) {
      text += QStringLiteral("\n\n") + FromUtf8(failure->path) + QStringLiteral(": ") + FromUtf8(failure->reason);
    }
  }
  boxes_.Warning(this, text);
}

void CStampwiseDlg::ChooseInterface() {
  // The cycle ends with its summary before its reader goes.
  StopCycleWithSummary();
  // The link open now comes back when the operator cancels: closing it
  // first keeps it free for the dialog (the mode switch opens readers).
  const std::optional<OpenedLink> previous = reader_.IsOpen() ? opened_ : std::nullopt;
  CloseConnection();
  std::string connection;
  for (;;) {
    if (StopRequested()) return;
    if (!RunPortDialog(&connection)) break;
    if (OpenConnection(connection, settings_.ReadPortBaudrate(), settings_.ReadPortTimeout())) {
      NoteDevice();
      return;
    }
  }
  if (previous && OpenConnection(previous->connection, previous->baudCode, previous->timeoutMs)) NoteDevice();
}

void CStampwiseDlg::CloseConnection() {
  writer_.SetLink(TagLink());
  statusBar_->ShowReader(nullptr);
  txPowerAdjustable_ = false;
  setWindowTitle(FromUtf8(WindowTitle(kTemplateTitle, ProductVersion(), nullptr)));
  const bool closed = reader_.Close();
  UpdateStationReady();
  if (!closed) boxes_.Warning(this, TableText(reader_.LastMessageId()));
}

// ---- controls and parameter set -------------------------------------------

QWidget* CStampwiseDlg::ControlByNumber(int number) const {
  const auto found = controls_.find(static_cast<ControlId>(number));
  return found == controls_.end() ? nullptr : found->second;
}

void CStampwiseDlg::Reconfigure(const std::function<void(WriterConfig&)>& change) {
  WriterConfig config = writer_.Config();
  change(config);
  writer_.Configure(config);
}

QString CStampwiseDlg::WriteFieldText() {
  return UsesMultiLineField(writer_.Config().params.format) ? valueMulti_->toPlainText() : valueSingle_->text();
}

// The widgets' state without validation. Format and byte order are those the
// value is currently expressed in (a format switch changes them).
ParameterSet CStampwiseDlg::ParamsFromControls() {
  ParameterSet params = writer_.Config().params;
  if (bank_->currentIndex() >= 0) params.bank = static_cast<Bank>(bank_->currentIndex());
  params.startWord = ParseIntegerField(ToUtf8(startWord_->text())).value_or(params.startWord);
  params.lengthBytes = ParseIntegerField(ToUtf8(lengthBytes_->text())).value_or(params.lengthBytes);
  params.autoIncrementDec = autoIncDec_->isChecked();
  params.autoIncrementHex = autoIncHex_->isChecked();
  params.leadingZeros = leadingZeros_->isChecked();
  params.additionalText = additionalText_->isChecked();
  params.value = ToValue(WriteFieldText());
  return params;
}

WriteOptions CStampwiseDlg::OptionsFromControls() const {
  WriteOptions options;
  options.epcLengthFix = epcLengthFix_->isChecked();
  options.setPassword = setPassword_->isChecked();
  options.activatePassword = activatePassword_->isChecked();
  options.accessPassword = ToValue(password_->text());
  return options;
}

bool CStampwiseDlg::ReadControls(bool skipValueCheck, bool showErrors) {
  const ParameterSet params = ParamsFromControls();
  WriteOptions options = OptionsFromControls();
  const ControlTexts texts{ToUtf8(startWord_->text()), ToUtf8(lengthBytes_->text()), ToValue(WriteFieldText()),
                           options.accessPassword};
  // In GS1 mode the six formats' write value is not used: the panel is
  // checked instead; a value list's lines are checked by the job itself.
  const bool listInUse = ValueListInUse();
  const Result<ValidControls> checked = ValidateControls(texts, params, skipValueCheck || gs1Mode_ || listInUse);
  if (!checked) {
    if (showErrors) {
      boxes_.Warning(this, FromUtf8(checked.message().text));
      if (QWidget* field = ControlByNumber(checked.message().controlId)) field->setFocus();
    }
    return false;
  }
  options.accessPassword = checked.value().accessPassword;
  Reconfigure([&](WriterConfig& config) {
    const std::string counterValue = config.params.value;
    config.params = checked.value().params;
    // The field shows the list's lines: the counter's value stays its own.
    if (listInUse) config.params.value = counterValue;
    config.options = options;
  });
  return ReadGs1Controls(skipValueCheck, showErrors);
}

void CStampwiseDlg::WriteControls() {
  const ParameterSet& params = writer_.Config().params;
  const WriteOptions& options = writer_.Config().options;
  bank_->setCurrentIndex(static_cast<int>(params.bank));
  startWord_->setText(QString::number(params.startWord));
  lengthBytes_->setText(QString::number(params.lengthBytes));
  for (int index = 0; index <= 5; ++index) formatRadios_[index]->setChecked(index == DataFormatIndex(params.format));
  msbFirst_->setChecked(params.msbFirst);
  autoIncDec_->setChecked(params.autoIncrementDec);
  autoIncHex_->setChecked(params.autoIncrementHex);
  leadingZeros_->setChecked(params.leadingZeros);
  additionalText_->setChecked(params.additionalText);
  epcLengthFix_->setChecked(options.epcLengthFix);
  setPassword_->setChecked(options.setPassword);
  activatePassword_->setChecked(options.activatePassword);
  password_->setText(FromValue(options.accessPassword));
  // With a value list the field shows its next line; the counter's value stays.
  ShowWriteValue(writer_.ListPosition() ? writer_.NextValueShown() : params.value);
  if (gs1Mode_) gs1Radio_->setChecked(true);
}

void CStampwiseDlg::ApplyControlStates() {
  const ParameterSet params = ApplyFormatRules(ParamsFromControls());
  const ControlStates states = ComputeControlStates(params, OptionsFromControls(), writer_.RunningCycle());
  for (const auto& [id, state] : states) {
    QWidget* control = controls_.at(id);
    control->setEnabled(state.enabled);
    control->setVisible(state.visible);
    auto* button = qobject_cast<QAbstractButton*>(control);
    if (button != nullptr && button->isCheckable()) button->setChecked(state.checked);
  }
  // The format rules may have cleared flags; the parameter set follows the boxes.
  Reconfigure([&](WriterConfig& config) {
    config.params.autoIncrementDec = params.autoIncrementDec;
    config.params.autoIncrementHex = params.autoIncrementHex;
    config.params.leadingZeros = params.leadingZeros;
    config.params.additionalText = params.additionalText;
  });
  UpdateValuesLeft();
  ApplyGs1States();
  ApplyTraceStates();
  // A taller value field (the data formats) makes room for itself where the screen has it.
  if (isVisible()) FitToContents();
}

void CStampwiseDlg::UpdateValuesLeft() {
  // A GS1 job counts its serial, and a value list gives its lines (the list's
  // panel shows how many are left), not the write value: no count for them here.
  ParameterSet counted = ApplyFormatRules(ParamsFromControls());
  if (gs1Mode_ || ValueListInUse()) counted.autoIncrementDec = counted.autoIncrementHex = false;
  statusBar_->ShowValuesLeft(counted);
}

void CStampwiseDlg::SwitchFormatTo(DataFormat format, bool msbFirst) {
  ParameterSet current = ParamsFromControls();
  // With a value list the field shows the list's next line: what the new
  // format takes over is the counter's own value, which the list leaves alone.
  const bool listInUse = ValueListInUse();
  if (listInUse) current.value = writer_.CounterValue();
  const FormatSwitchResult switched = SwitchFormat(current, current.value, format, msbFirst);
  for (const Message& message : switched.messages) writer_.Reporter().ShowMessage(message.id, message.text);
  Reconfigure([&](WriterConfig& config) { config.params = switched.params; });
  if (switched.valueReexpressed) {
    readSingle_->clear();
    readMulti_->clear();
  }
  ShowWriteValue(listInUse && writer_.ListPosition() ? writer_.NextValueShown() : switched.params.value);
  valueSingle_->SetTypingLimit(switched.textLimit);
  valueMulti_->SetTypingLimit(switched.textLimit);
  ApplyControlStates();
}

// ---- handlers ----------------------------------------------------------------

void CStampwiseDlg::OnFormatRadio(DataFormat format) { SwitchFormatTo(format, writer_.Config().params.msbFirst); }

void CStampwiseDlg::OnMsbToggled() { SwitchFormatTo(writer_.Config().params.format, msbFirst_->isChecked()); }

void CStampwiseDlg::OnLengthEdited() {
  SwitchFormatTo(writer_.Config().params.format, writer_.Config().params.msbFirst);
}

void CStampwiseDlg::OnBankChanged() {
  ReadControls(false);
  ApplyControlStates();
}

void CStampwiseDlg::OnIncrementClicked(QCheckBox* clicked, QCheckBox* other) {
  const bool nowChecked = clicked->isChecked();
  if (!ReadControls(false)) return;
  if (nowChecked) other->setChecked(false);
  Reconfigure([this](WriterConfig& config) {
    config.params.autoIncrementDec = autoIncDec_->isChecked();
    config.params.autoIncrementHex = autoIncHex_->isChecked();
  });
  WriteControls();
  ApplyControlStates();
}

void CStampwiseDlg::OnLeadingZerosOrText() {
  if (!ReadControls(false)) return;
  Reconfigure([](WriterConfig& config) { config.params.value = NormaliseLeadingZeros(config.params); });
  ShowWriteValue(writer_.Config().params.value);
  ApplyControlStates();
}

void CStampwiseDlg::OnSetPasswordClicked() {
  ReadControls(false);
  ApplyControlStates();
}

void CStampwiseDlg::OnWriteOnce() {
  Exclusive([this] {
    if (!ReadControls(false)) {
      AppendStatus(TagWriter::kUpdateDataFailed);
      return;
    }
    if (writer_.WriteOnce()) {
      WriteControls();
    } else if (writer_.HaltReason() == TagWriter::Halt::kBytesUsed && ConfirmReuse()) {
      // Once, for this tag: the next value the ledger holds as used asks again.
      Reconfigure([](WriterConfig& config) { config.allowReuse = true; });
      if (writer_.WriteOnce()) WriteControls();
      Reconfigure([](WriterConfig& config) { config.allowReuse = false; });
    }
  });
}

void CStampwiseDlg::OnCycleButton(Cycle cycle) {
  QPushButton* button = cycle == Cycle::Write ? writeCycle_ : readCycle_;
  if (writer_.RunningCycle() == cycle) {
    StopCycleWithSummary();
  } else if (!ReadControls(cycle == Cycle::Read)) {
    // Reading needs no write value: its check is skipped.
    button->setChecked(false);
    return;
  } else if (writer_.StartCycle(cycle)) {
    CycleBegan(cycle);
  } else {
    button->setChecked(false);
  }
  ApplyControlStates();
}

void CStampwiseDlg::CycleBegan(Cycle cycle) {
  shownCycle_ = cycle;
  cycleTally_ = {};
  cycleStart_ = std::chrono::steady_clock::now();
  production_->CycleStarted(cycle);
  statusBar_->ShowCycle(cycle);
  UpdateStationReady();
  if (productionView_ != nullptr) productionView_->Refresh();
}

void CStampwiseDlg::CycleEnded() {
  if (shownCycle_ == Cycle::None) return;
  const Cycle ended = std::exchange(shownCycle_, Cycle::None);
  AppendStatus(CycleSummaryText(ended, cycleTally_, writer_.ProgrammedCount(), writer_.ReadCount(),
                                writer_.NextValueShown(), std::chrono::steady_clock::now() - cycleStart_));
  production_->CycleEnded();
  statusBar_->ShowCycle(Cycle::None);
  UpdateStationReady();
  if (productionView_ != nullptr) productionView_->Refresh();
}

void CStampwiseDlg::StopCycleWithSummary() {
  writer_.StopCycle();
  Reconfigure([](WriterConfig& config) { config.allowReuse = false; });
  CycleEnded();
}

void CStampwiseDlg::OnReadOnce() {
  Exclusive([this] {
    if (ReadControls(true)) writer_.ReadOnce();
  });
}

void CStampwiseDlg::OnTakeOver() {
  valueSingle_->ShowWholeText(readSingle_->text());
  valueMulti_->setPlainText(readMulti_->toPlainText());
}

void CStampwiseDlg::OnChooseLog(bool writeLog) {
  const LogFileSettings& logs = writer_.Config().logs;
  std::string current = writeLog ? logs.writeLogFile : logs.readLogFile;
  QFileDialog dialog(this, TableText(writeLog ? msg::kChooseWriteLog : msg::kChooseReadLog));
  dialog.setObjectName(QStringLiteral("chooseLogFile"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(FileFilter("Log Files", "*.txt"));
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  dialog.setLabelText(QFileDialog::Accept, TableText(msg::kFileDialogOk));
  dialog.setLabelText(QFileDialog::Reject, TableText(msg::kFileDialogCancel));
  dialog.selectFile(FromUtf8(current));
  if (runDialog_(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  current = ToUtf8(dialog.selectedFiles().first());
  Reconfigure([&](WriterConfig& config) { (writeLog ? config.logs.writeLogFile : config.logs.readLogFile) = current; });
  if (writeLog) {
    settings_.WriteWriteLogFile(current);
    writeLogPath_->setText(FromUtf8(current));
  } else {
    settings_.WriteReadLogFile(current);
    readLogPath_->setText(FromUtf8(current));
  }
}

void CStampwiseDlg::OnLoadRecord() {
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("loadRecord"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(FileFilter("Data Files", "*.MKVDat"));
  dialog.setDefaultSuffix(QString::fromLatin1(kRecordExtension));
  if (runDialog_(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const Result<DataRecord> loaded = LoadRecord(ToUtf8(dialog.selectedFiles().first()));
  if (!loaded) {
    boxes_.Warning(this, FromUtf8(loaded.message().text));
    return;
  }
  const DataRecord& record = loaded.value();
  Reconfigure([&](WriterConfig& config) {
    config.params = record.params;
    config.options = record.options;
  });
  WriteControls();
  SwitchFormatTo(record.params.format, record.params.msbFirst);
}

void CStampwiseDlg::OnSaveRecord() {
  if (!ReadControls(false)) return;
  QFileDialog dialog(this);
  dialog.setObjectName(QStringLiteral("saveRecord"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(FileFilter("Data Files", "*.MKVDat"));
  dialog.setDefaultSuffix(QString::fromLatin1(kRecordExtension));
  if (runDialog_(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const DataRecord record{writer_.Config().params, writer_.Config().options};
  if (const Status saved = SaveRecord(ToUtf8(dialog.selectedFiles().first()), record); !saved) {
    boxes_.Warning(this, FromUtf8(saved.message().text));
  }
}

void CStampwiseDlg::OnResetStatus() {
  statusLog_.Clear();
  status_->clear();
}

void CStampwiseDlg::reject() { done(kClose); }

void CStampwiseDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    // A field's own Enter (the multi-line value) never comes here.
    case Qt::Key_Return:
    case Qt::Key_Enter: return;
    // A slip of the hand must not stop production.
    case Qt::Key_Escape:
      if (writer_.RunningCycle() == Cycle::None) reject();
      return;
    case Qt::Key_F1: OpenHelp(boxes_, this); return;
    default: QDialog::keyPressEvent(event);
  }
}

// ---- window menu -----------------------------------------------------------

void CStampwiseDlg::SysCommand(int command) {
  switch (command & 0xFFF0) {
    case kCmdAbout: RunAboutBox(); break;
    case kCmdGerman:
      settings_.WriteLanguage(0);
      done(kLanguageRestart);
      break;
    case kCmdEnglish:
      settings_.WriteLanguage(1);
      done(kLanguageRestart);
      break;
    case kCmdChooseInterface: ChooseInterface(); break;
    case kCmdSettings: RunSettingsDialog(); break;
    case kCmdTransmitPower: RunTransmitPowerDialog(); break;
    default: break;
  }
}

void CStampwiseDlg::RunSettingsDialog() {
  CBeepTimeDlg dialog(settings_, boxes_, this);
  runDialog_(dialog);
  // A running cycle keeps its period until it is restarted.
  const int beepTimeMs = settings_.ReadBeepTime();
  const int cycleTimeMs = settings_.ReadCycleTime();
  // The ledger and its lease size count from the next claim on.
  const std::string ledger = ChosenLedger(settings_, std::nullopt);
  const int leaseSize = settings_.ReadLeaseSize();
  Reconfigure([&](WriterConfig& config) {
    config.beepTimeMs = beepTimeMs;
    config.cycleTimeMs = cycleTimeMs;
    config.ledgerFile = ledger;
    config.leaseSize = leaseSize;
  });
}

void CStampwiseDlg::RunTransmitPowerDialog() {
  if (Handle() <= 0) {
    boxes_.Warning(this, TableText(msg::kNoDeviceOpen));
  } else if (txPowerAdjustable_) {
    CTXPowerDlg dialog(reader_, boxes_, this);
    runDialog_(dialog);
  } else {
    boxes_.Warning(this, TableText(msg::kPowerNotSupported));
  }
}

void CStampwiseDlg::RunAboutBox() {
  // Both checks may find something while a box is open: one box at a time.
  const NestedWait::Turn turn(aboutBox_);
  if (!turn.Entered()) return;
  CAboutDlg dialog(settings_, *checks_, boxes_, this);
  runDialog_(dialog);
  // An installer was started: the program makes way for it.
  if (dialog.ExitRequested()) done(kClose);
}

// ---- update check ------------------------------------------------------------

update::CUpdateCheck::Notify CStampwiseDlg::PostUpdateCommand(int command) {
  return [this, command] {
    QMetaObject::invokeMethod(
        this, [this, command] { UpdateChecked(command); }, Qt::QueuedConnection);
  };
}

void CStampwiseDlg::NoteDevice() {
  if (Handle() <= 0 || identity_.identification.size() <= 3) return;
  checks_->device.SetDevice(identity_.identification, identity_.modelName);
  // Told when the device's versions file is there (at once when it already is).
  if (settings_.ReadUpdateCheck()) checks_->device.StartCheck(this, PostUpdateCommand(kCmdDeviceChecked));
}

void CStampwiseDlg::UpdateChecked(int command) {
  const bool newer = command == kCmdSoftwareChecked
                         ? checks_->software.IsNewer()
                         : command == kCmdDeviceChecked && checks_->device.ResolveAlias() && checks_->device.IsNewer();
  if (newer) SysCommand(kCmdAbout);
}

// ---- FrontEnd ----------------------------------------------------------------

void CStampwiseDlg::AppendStatus(const std::string& line) {
  if (statusLog_.Append(line)) status_->clear();
  status_->moveCursor(QTextCursor::End);
  status_->insertPlainText(StatusText(line) + QLatin1Char('\n'));
  status_->moveCursor(QTextCursor::End);
  status_->ensureCursorVisible();
}

void CStampwiseDlg::ShowWriteValue(const std::string& value) {
  if (UsesMultiLineField(writer_.Config().params.format)) {
    valueMulti_->setPlainText(FromValue(value));
  } else {
    valueSingle_->ShowWholeText(FromValue(value));
  }
}

void CStampwiseDlg::ShowReadText(const std::string& text) {
  if (text.empty()) ShowReadTagUri("");
  if (UsesMultiLineField(writer_.Config().params.format)) {
    readMulti_->setPlainText(FromValue(text));
  } else {
    readSingle_->setText(FromValue(text));
  }
}

// The writer counts per cycle (for the cycle's summary); the window counts
// every tag written since it opened (see TagDone).
void CStampwiseDlg::ShowProgrammedCount(int /*count*/) {
  if (ValueListInUse()) UpdateValueListLeft();
}

void CStampwiseDlg::TagDone(const TagEvent& event) {
  stationPanel_->Note(event);
  if (shownCycle_ != Cycle::None) cycleTally_.Count(event);
  production_->Count(event);
  if (event.kind == TagEvent::Kind::kWrite && event.outcome == TagEvent::Outcome::kDone) {
    programmed_->setText(QString::number(++programmedShown_));
  }
  if (productionView_ != nullptr) productionView_->Refresh();
}

void CStampwiseDlg::LedgerWait(const std::string& text) {
  if (!text.empty()) AppendStatus(text);
  production_->SetLedgerWait(text);
  if (productionView_ != nullptr) productionView_->Refresh();
}

void CStampwiseDlg::FocusPasswordField() { password_->setFocus(); }

void CStampwiseDlg::WriteCycleStopped() {
  writeCycle_->setChecked(false);
  Reconfigure([](WriterConfig& config) { config.allowReuse = false; });
  CycleEnded();
  ApplyControlStates();
  // A used value stopped the cycle: the operator may go on writing it on
  // purpose (asked once the tick that stopped it has ended).
  if (writer_.HaltReason() == TagWriter::Halt::kBytesUsed) {
    QTimer::singleShot(0, this, [this] {
      if (finished_ || writer_.RunningCycle() != Cycle::None || !ConfirmReuse()) return;
      Reconfigure([](WriterConfig& config) { config.allowReuse = true; });
      writeCycle_->setChecked(true);
      OnCycleButton(Cycle::Write);
    });
  }
}

bool CStampwiseDlg::ConfirmReuse() {
  return boxes_.Question(this, FromUtf8(FormatString(msg::kLedgerReuseQuestion, {writer_.LastStatusLine()})));
}

void CStampwiseDlg::ReadCycleStopped() {
  readCycle_->setChecked(false);
  CycleEnded();
  ApplyControlStates();
}

void CStampwiseDlg::SetWaitCursor(bool on) {
  if (on) {
    waitCursors_.emplace_back();
  } else if (!waitCursors_.empty()) {
    waitCursors_.pop_back();
  }
}

// ---- end ---------------------------------------------------------------------

void CStampwiseDlg::StartMqtt() {
  const std::string uri = settings_.ReadString(keys::kMqttUri);
  if (uri.empty()) return;
  Result<events::MqttTarget> target = events::ParseMqttUri(uri);
  if (!target) {
    boxes_.Warning(this, FromUtf8(target.message().text));
    return;
  }
  events::MqttOptions options;
  options.target = std::move(target).value();
  options.station = writer_.Config().trace.station.empty() ? DefaultStationName() : writer_.Config().trace.station;
  Result<std::unique_ptr<events::MqttPublisher>> started = events::MqttPublisher::Start(options);
  if (!started) {
    boxes_.Warning(this, FromUtf8(started.message().text));
    return;
  }
  mqtt_ = std::move(started).value();
  mqtt_->State("started");
  writer_.SetAttemptSink(mqtt_.get());
}

void CStampwiseDlg::Finish() {
  if (finished_) return;
  finished_ = true;
  stationPanel_->SetOn(false);
  StopCycleWithSummary();
  if (mqtt_) {
    // A broker that is there gets what waits; an absent one does not hold the window.
    mqtt_->State("stopped");
    mqtt_->Finish(std::chrono::seconds(5), std::chrono::seconds(1));
  }
  ReadControls(true, false);
  AppSettings state = loaded_;
  state.params = writer_.Config().params;
  state.options = writer_.Config().options;
  state.logs.writeLogEnabled = writeLogOn_->isChecked();
  state.logs.readLogEnabled = readLogOn_->isChecked();
  state.beepTimeMs = writer_.Config().beepTimeMs;
  state.cycleTimeMs = writer_.Config().cycleTimeMs;
  const QRect g = geometry();
  state.window = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
  SaveWriteJob(settings_, state, writer_);
  SaveGs1State();
  CloseConnection();
}

}  // namespace stampwise::gui
