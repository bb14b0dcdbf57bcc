#include "gui/port_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QUrl>
#include <map>
#include <utility>

#include "app/connection/open_reader.h"
#include "app/connection/port_settings.h"
#include "app/connection/reader_client.h"
#include "app/connection/serial_names.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "gui/device_list_delegate.h"
#include "gui/dialog_support.h"
#include "gui/ip_search_dlg.h"
#include "gui/port_rules.h"
#include "gui/texts.h"
#include "gui/wait_cursor.h"

namespace stampwise::gui {
namespace {

using namespace portdlg;

constexpr int kDriverPageWaitMs = 2000;
constexpr int kModeSwitchWaitMs = 1000;
// The driver prompt's bit for a missing virtual-COM driver.
constexpr int kVirtualComDriverMissing = 2;

// Device-change passes never nest, whichever dialog runs them.
bool gRefreshPassRunning = false;

bool VirtualComDriverInstalled() { return ReaderClient::VirtualComDriverInstalled(); }

}  // namespace

CPortDlg::CPortDlg(Settings& settings, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), settings_(settings), boxes_(boxes) {
  setObjectName(QStringLiteral("CPortDlg"));
  setWindowTitle(Caption("Schnittstelle"));
  CheckStoredChoice();
  BuildControls();
  OpenDialog();
  refreshTimer_.setObjectName(QStringLiteral("refreshTimer1000"));
  connect(&refreshTimer_, &QTimer::timeout, this, &CPortDlg::OnRefreshTick);
  connect(&deviceWatch_, &DeviceWatch::DeviceChange, this, &CPortDlg::OnDeviceChange);
}

// Construction: the five settings, and a stored USB choice checked against
// what is attached now (a LAN choice stays: see LoadCheckedPortSettings).
void CPortDlg::CheckStoredChoice() {
  AttachedDevices attached;
  const PortSettings port = LoadCheckedPortSettings(settings_, &attached);
  portName_ = port.name;
  baudCode_ = port.baudCode;
  timeoutMs_ = port.timeoutMs;
  ethernet_ = port.ethernet;
  address_ = port.address;
  MergeList(usbDevices_, attached.usb);
}

void CPortDlg::BuildControls() {
  list_ = Named(new QListWidget, 1012);
  // Room for a port with its stable name beside it.
  list_->setMinimumWidth(list_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 72);
  ethernetBox_ = Named(new QCheckBox(Caption("Ethernet aktivieren")), 1250);
  ipSearch_ = Named(new QPushButton(Caption("IP ?")), 1256);
  hidMode_ = Named(new QPushButton(Caption("HID Mode")), 1035);
  virtualCom_ = Named(new QPushButton(Caption("Virtual Com")), 1036);
  for (QPushButton* button : {ipSearch_, hidMode_, virtualCom_}) button->setAutoDefault(false);
  hidMode_->setCheckable(true);
  virtualCom_->setCheckable(true);

  baudRate_ = Named(new QComboBox, 1011);
  for (int rate : kBaudRates) baudRate_->addItem(QString::number(rate));
  parity_ = Named(new QComboBox, 1013);
  parity_->addItems({Caption("keine"), Caption("gerade"), Caption("ungerade")});
  stopBits_ = Named(new QComboBox, 1014);
  stopBits_->addItems({QStringLiteral("1"), QStringLiteral("2")});
  const auto digitsOnly = QRegularExpression(QStringLiteral("[0-9]*"));
  timeout_ = Named(new QLineEdit(QString::number(timeoutMs_)), 1002);
  timeout_->setValidator(new QRegularExpressionValidator(digitsOnly, timeout_));
  addressEdit_ = Named(new QLineEdit(QString::number(address_)), 1003);
  addressEdit_->setValidator(new QRegularExpressionValidator(digitsOnly, addressEdit_));
  ethernetBox_->setChecked(ethernet_);
  list_->setItemDelegate(new DeviceListDelegate(list_));
  pathEdit_ = Named(new QLineEdit, 1261);
  pathEdit_->setClearButtonEnabled(true);
  stableName_ = Named(new QPushButton(Caption("Festen Namen verwenden")), 1262);
  stableName_->setAutoDefault(false);
  stableName_->setEnabled(false);

  auto* ok = Named(new QPushButton(Caption("OK")), 1);
  ok->setDefault(true);
  auto* cancel = Named(new QPushButton(Caption("Abbrechen")), 2);
  cancel->setAutoDefault(false);

  auto* choiceGroup = new QGroupBox(Caption("Schnittstelle auswählen"));
  choiceGroup->setObjectName(QStringLiteral("groupChooseInterface"));
  auto* choice = new QGridLayout(choiceGroup);
  choice->addWidget(list_, 0, 0, 1, 4);
  choice->addWidget(ethernetBox_, 1, 0);
  choice->addWidget(ipSearch_, 1, 1);
  choice->addWidget(hidMode_, 1, 2);
  choice->addWidget(virtualCom_, 1, 3);
  auto* path = new QHBoxLayout;
  path->addWidget(new QLabel(Caption("Gerätepfad:")));
  path->addWidget(pathEdit_, 1);
  path->addWidget(stableName_);
  choice->addLayout(path, 2, 0, 1, 4);

  auto* line = new QFormLayout;
  line->addRow(Caption("Baudrate"), baudRate_);
  line->addRow(Caption("Parität"), parity_);
  line->addRow(Caption("Stopbits:"), stopBits_);
  line->addRow(Caption("Timeout in [ms]"), timeout_);
  line->addRow(Caption("Geräteadresse [dez.]"), addressEdit_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(choiceGroup, 1);
  layout->addLayout(line);
  layout->addLayout(buttons);

  connect(list_, &QListWidget::itemSelectionChanged, this, &CPortDlg::OnSelectionChanged);
  connect(ethernetBox_, &QCheckBox::clicked, this, &CPortDlg::OnEthernetClicked);
  connect(ipSearch_, &QPushButton::clicked, this, &CPortDlg::OnIpSearch);
  connect(pathEdit_, &QLineEdit::textEdited, this, &CPortDlg::OnPathEdited);
  connect(stableName_, &QPushButton::clicked, this, &CPortDlg::OnUseStableName);
  connect(hidMode_, &QPushButton::clicked, this, [this] { SwitchSelectedReaderTo(UsbMode::Hid); });
  connect(virtualCom_, &QPushButton::clicked, this, [this] { SwitchSelectedReaderTo(UsbMode::VirtualCom); });
  connect(ok, &QPushButton::clicked, this, &CPortDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CPortDlg::reject);
}

void CPortDlg::OpenDialog() {
  const LineControls lineControls = LineControlsForCode(baudCode_);
  baudRate_->setCurrentIndex(lineControls.baudIndex);
  parity_->setCurrentIndex(lineControls.parityIndex);
  stopBits_->setCurrentIndex(lineControls.stopBitsIndex);

  if (!ethernet_) {
    lanReaders_.clear();
  } else if (lanReaders_.empty()) {
    RefreshLan();
  }
  if (usbDevices_.empty()) RefreshUsb();
  if (serialPorts_.empty()) RefreshSerial();
  FillList();
  // A stored name missing from the list (a pseudo-terminal, a socat link)
  // stays the choice: emptying it would leave nothing to open.
  SelectPortName();
  // A choice that no entry shows stands in the path field, greyed.
  if (SelectedRow() < 0) pathEdit_->setPlaceholderText(FromUtf8(portName_));
  EnableLineControls(portName_);
  SetModeButtons(portName_);
  ipSearch_->setVisible(ethernet_);
  PostConfigChanged();
}

// ---- lists -----------------------------------------------------------------

bool CPortDlg::RefreshSerial() { return MergeList(serialPorts_, ReaderClient::SerialPorts()); }

bool CPortDlg::RefreshUsb() { return MergeList(usbDevices_, ReaderClient::UsbDevices()); }

// A LAN search broadcasts: only ever called while Ethernet is enabled.
// Nor while another LAN search runs (a refresh tick during the IP search):
// the list stays as it is until the next pass.
bool CPortDlg::RefreshLan() {
  if (!ethernet_ || ReaderClient::LanBusy()) return false;
  return MergeList(lanReaders_, ReaderClient::LanReaders());
}

void CPortDlg::FillList() {
  entries_ = DeviceEntries(serialPorts_, usbDevices_, lanReaders_);
  const std::map<std::string, std::string> stableNames = StableSerialNames();
  const QSignalBlocker block(list_);
  list_->clear();
  for (const std::string& entry : entries_) {
    auto* item = new QListWidgetItem(FromUtf8(entry), list_);
    if (!UsesLineControls(entry)) continue;  // USB and LAN entries are no device paths
    const auto stable = stableNames.find(DeviceFileOfConnection(entry));
    if (stable != stableNames.end()) item->setData(DeviceListDelegate::kStableNameRole, FromUtf8(stable->second));
  }
}

void CPortDlg::SelectPortName() {
  // A path being typed is the operator's choice: a refresh leaves it alone.
  if (!pathEdit_->text().isEmpty()) return;
  const int row = portName_.empty() ? -1 : FindEntry(entries_, portName_);
  if (row >= 0) list_->setCurrentRow(row);
}

// The row the operator (or the dialog, for the stored name) selected. The
// list's current row is not a choice: Qt sets it when the list gets the focus.
int CPortDlg::SelectedRow() const {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? -1 : list_->row(selected.first());
}

std::string CPortDlg::SelectedEntry() const {
  const int row = SelectedRow();
  return row >= 0 && row < static_cast<int>(entries_.size()) ? entries_[static_cast<std::size_t>(row)] : std::string();
}

void CPortDlg::RefreshPass() {
  bool changed = false;
  if (ethernet_) {
    changed = RefreshLan();
  } else if (!lanReaders_.empty()) {
    lanReaders_.clear();
    changed = true;
  }
  changed = RefreshUsb() || changed;
  changed = RefreshSerial() || changed;
  if (changed) FillList();
  SelectPortName();
}

// ---- device changes ----------------------------------------------------------

void CPortDlg::PostConfigChanged() {
  QMetaObject::invokeMethod(
      this, [this] { OnDeviceChange(kConfigChanged); }, Qt::QueuedConnection);
}

void CPortDlg::OnDeviceChange(int eventCode) {
  if (gRefreshPassRunning) return;
  gRefreshPassRunning = true;
  const bool arrival = eventCode == DeviceWatch::kDeviceArrival || eventCode == DeviceWatch::kDeviceNodesChanged;
  if (arrival) {
    refreshTimer_.start(kRefreshPeriodMs);
    refreshTicks_ = 0;
  }
  if (arrival || eventCode == kConfigChanged) RefreshPass();
  if (DriverPrompt(ReaderClient::MissingDrivers())) RefreshPass();
  gRefreshPassRunning = false;
  SetModeButtons(portName_);
}

void CPortDlg::OnRefreshTick() {
  // The count before this tick above 15: this was the 17th tick, the last.
  if (refreshTicks_++ > kRefreshTicks - 2) refreshTimer_.stop();
  PostConfigChanged();
}

bool CPortDlg::DriverPrompt(int missingMask) {
  if (missingMask == 0) return false;
  if (boxes_.Question(this, FromUtf8(DriverPromptText(missingMask)))) {
    const QString page = TableText(msg::kDriverDownloadPage);
    if (!page.isEmpty()) QDesktopServices::openUrl(QUrl(page));
    WaitWithEvents(kDriverPageWaitMs);
  }
  return true;
}

// ---- controls ------------------------------------------------------------------

void CPortDlg::SetModeButtons(const std::string& name) {
  const UsbMode mode = ModeOf(name, VirtualComDriverInstalled());
  hidMode_->setEnabled(mode != UsbMode::None);
  virtualCom_->setEnabled(mode != UsbMode::None);
  hidMode_->setChecked(mode == UsbMode::Hid);
  virtualCom_->setChecked(mode == UsbMode::VirtualCom);
}

void CPortDlg::EnableLineControls(const std::string& name) {
  const bool serial = UsesLineControls(name);
  for (QComboBox* box : {baudRate_, parity_, stopBits_}) box->setEnabled(serial);
}

void CPortDlg::OnSelectionChanged() {
  const std::string selected = SelectedEntry();
  stableName_->setEnabled(!SelectedStableName().empty());
  if (SelectedRow() < 0) {
    SetModeButtons({});
    return;
  }
  // One choice at a time: an entry picked replaces a typed path.
  pathEdit_->clear();
  EnableLineControls(selected);
  SetModeButtons(selected);
}

// A typed path is a serial line: the entry picked before no longer counts.
void CPortDlg::OnPathEdited() {
  if (pathEdit_->text().isEmpty()) return;
  list_->clearSelection();
  EnableLineControls(ToUtf8(pathEdit_->text()));
}

void CPortDlg::OnUseStableName() {
  const std::string stable = SelectedStableName();
  if (stable.empty()) return;
  list_->clearSelection();
  pathEdit_->setText(FromUtf8(stable));
  EnableLineControls(stable);
}

std::string CPortDlg::SelectedStableName() const {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? std::string()
                            : ToUtf8(selected.first()->data(DeviceListDelegate::kStableNameRole).toString());
}

bool CPortDlg::TypedPathUsable(const std::string& path) {
  QString problem;
  switch (CheckTypedDevicePath(path)) {
    case TypedPathProblem::kNone: return true;
    case TypedPathProblem::kNotUnderDev: problem = Caption("Geben Sie einen Gerätepfad unter /dev/ ein."); break;
    case TypedPathProblem::kHasBlank: problem = Caption("Der Gerätepfad darf kein Leerzeichen enthalten."); break;
    case TypedPathProblem::kMissing: problem = Caption("Das Gerät %1 gibt es nicht.").arg(FromUtf8(path)); break;
    case TypedPathProblem::kNotADevice: problem = Caption("%1 ist kein Gerät.").arg(FromUtf8(path)); break;
  }
  boxes_.Warning(this, problem);
  pathEdit_->setFocus();
  return false;
}

void CPortDlg::OnEthernetClicked() {
  ethernet_ = ethernetBox_->isChecked();
  PostConfigChanged();
  ipSearch_->setVisible(ethernet_);
}

void CPortDlg::OnIpSearch() {
  if (!ethernet_) return;
  CIPAddrSuche search(boxes_, this);
  {
    // The search runs its own listings: device changes meanwhile wait for
    // the pass posted when it closes.
    const bool passRunning = std::exchange(gRefreshPassRunning, true);
    search.exec();
    gRefreshPassRunning = passRunning;
  }
  if (!search.Result().empty()) portName_ = std::string(kLanPrefix) + IpSearchEntry(search.Result());
  PostConfigChanged();
}

// "HID Mode" and "Virtual Com": the selected reader is told to come back in
// the other mode. It leaves the list meanwhile, so the choice is emptied.
void CPortDlg::SwitchSelectedReaderTo(UsbMode wanted) {
  if (SelectedRow() >= 0) {
    const WaitCursor waitCursor;
    portName_ = SelectedEntry();
    const UsbMode from = wanted == UsbMode::Hid ? UsbMode::VirtualCom : UsbMode::Hid;
    if (ModeOf(portName_, VirtualComDriverInstalled()) == from) {
      // An HID reader is opened by its device name, a virtual-COM one by its port.
      const std::string port = StartsWith(portName_, kUsbPrefix) ? portName_.substr(kUsbPrefix.size()) : portName_;
      if (wanted == UsbMode::VirtualCom && !VirtualComDriverInstalled()) {
        DriverPrompt(kVirtualComDriverMissing);
      } else if (ReaderClient::SwitchUsbMode(port, wanted)) {
        portName_.clear();
        WaitWithEvents(kModeSwitchWaitMs);
      }
    }
  }
  SetModeButtons(portName_);
}

void CPortDlg::accept() {
  const Result<int> timeout = CheckTimeout(ToUtf8(timeout_->text()));
  if (!timeout) {
    boxes_.Warning(this, FromUtf8(timeout.message().text));
    timeout_->setFocus();
    return;
  }
  const Result<int> address = CheckAddress(ToUtf8(addressEdit_->text()));
  if (!address) {
    boxes_.Warning(this, FromUtf8(address.message().text));
    addressEdit_->setFocus();
    return;
  }
  const std::string typedPath = ToUtf8(pathEdit_->text().trimmed());
  if (!typedPath.empty() && !TypedPathUsable(typedPath)) return;
  timeoutMs_ = timeout.value();
  address_ = address.value();
  ethernet_ = ethernetBox_->isChecked();
  PortChoice choice{std::nullopt, std::nullopt, timeoutMs_, ethernet_, address_};
  if (!typedPath.empty()) {
    portName_ = typedPath;
    choice.name = portName_;
  } else if (SelectedRow() >= 0) {
    portName_ = SelectedEntry();
    choice.name = portName_;
  }
  const LineControls lineControls{baudRate_->currentIndex(), parity_->currentIndex(), stopBits_->currentIndex()};
  if (const std::optional<int> code = CodeForLineControls(lineControls)) {
    baudCode_ = *code;
    choice.baudCode = baudCode_;
  }
  SavePortSettings(settings_, choice);
  QDialog::accept();
}

std::string CPortDlg::GetConnectString() const { return ConnectString(portName_, address_); }

}  // namespace stampwise::gui
