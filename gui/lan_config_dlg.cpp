#include "gui/lan_config_dlg.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>

#include "app/connection/lan_setup.h"
#include "app/connection/reader_client.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/values_validation.h"
#include "gui/dialog_support.h"
#include "gui/texts.h"
#include "gui/wait_cursor.h"

namespace stampwise::gui {
namespace {

// What the mask shows for a module that takes its address automatically.
constexpr const char* kAutomaticMask = "255.255.255.0";
constexpr int kMinPort = 1;
constexpr int kMaxPort = 65535;

QLineEdit* AddressEdit(int id) {
  auto* edit = Named(new QLineEdit, id);
  const QString part = QStringLiteral("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])");
  edit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^(%1\\.){3}%1$").arg(part)), edit));
  return edit;
}

void PauseWithEvents(std::chrono::milliseconds pause) {
  WaitWithEvents(static_cast<int>(pause.count()), QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

CLanConfig::CLanConfig(MessageBoxes& boxes, std::string moduleAddress, QWidget* parent)
    : QDialog(parent), boxes_(boxes), moduleAddress_(std::move(moduleAddress)) {
  setObjectName(QStringLiteral("CLanConfig"));
  setWindowTitle(Caption("LAN Einstellung"));
  BuildControls();
  Reload();
}

void CLanConfig::BuildControls() {
  progress_ = Named(new QProgressBar, 1253);
  progress_->setOrientation(Qt::Vertical);
  progress_->setTextVisible(false);
  progress_->hide();
  mask_ = AddressEdit(1244);
  address_ = AddressEdit(1243);
  gateway_ = AddressEdit(1245);
  port_ = Named(new QLineEdit, 1246);
  port_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), port_));
  port_->setMaxLength(5);
  dhcpName_ = Named(new QLineEdit, 1247);
  automatic_ = Named(new QRadioButton(Caption("IP Adresse automatisch beziehen")), 1251);
  fixed_ = Named(new QRadioButton(Caption("Folgende IP Adresse verwenden")), 1252);
  ok_ = Named(new QPushButton(Caption("OK")), 1);
  ok_->setDefault(true);
  cancel_ = Named(new QPushButton(Caption("Abbrechen")), 2);
  cancel_->setAutoDefault(false);

  // Wide enough for "255.255.255.255" and a five-digit port.
  const int addressWidth = address_->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 24;
  for (QLineEdit* edit : {mask_, address_, gateway_, dhcpName_}) edit->setMinimumWidth(addressWidth);
  port_->setFixedWidth(port_->fontMetrics().horizontalAdvance(QStringLiteral("65535")) + 24);

  auto* fields = new QGridLayout;
  int row = 0;
  fields->addWidget(automatic_, row++, 0, 1, 4);
  fields->addWidget(new QLabel(Caption("DHCP Name:")), row, 0);
  fields->addWidget(dhcpName_, row++, 1);
  fields->addWidget(fixed_, row++, 0, 1, 4);
  fields->addWidget(new QLabel(Caption("IP-Adresse:")), row, 0);
  fields->addWidget(address_, row, 1);
  fields->addWidget(new QLabel(QStringLiteral("-")), row, 2);
  fields->addWidget(port_, row++, 3);
  fields->addWidget(new QLabel(Caption("Subnetzmaske:")), row, 0);
  fields->addWidget(mask_, row++, 1);
  fields->addWidget(new QLabel(Caption("Gateway:")), row, 0);
  fields->addWidget(gateway_, row++, 1);
  fields->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* left = new QVBoxLayout;
  left->addLayout(fields);
  left->addStretch(1);
  left->addLayout(buttons);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addWidget(progress_);

  connect(automatic_, &QRadioButton::clicked, this, [this] {
    addressing_ = kAutomatic;
    ApplyControlState();
  });
  connect(fixed_, &QRadioButton::clicked, this, [this] {
    addressing_ = kFixed;
    ApplyControlState();
  });
  connect(ok_, &QPushButton::clicked, this, &CLanConfig::accept);
  connect(cancel_, &QPushButton::clicked, this, &CLanConfig::reject);
}

// The module's record as it stands; shown only when it is a whole setup record.
void CLanConfig::Reload() {
  const std::optional<LanSetup> setup = ReaderClient::ReadLanSetup(moduleAddress_);
  if (!setup) return;
  addressing_ = setup->Automatic() ? kAutomatic : kFixed;
  address_->setText(FromUtf8(setup->AddressText()));
  mask_->setText(setup->Automatic() ? QString::fromLatin1(kAutomaticMask) : FromUtf8(setup->MaskText()));
  gateway_->setText(FromUtf8(setup->GatewayText()));
  port_->setText(QString::number(setup->port));
  moduleName_ = setup->name;
  dhcpName_->setText(FromUtf8(setup->name));
  automatic_->setChecked(addressing_ == kAutomatic);
  fixed_->setChecked(addressing_ == kFixed);
  ApplyControlState();
}

void CLanConfig::ApplyControlState() {
  if (addressing_ == kUnknown) return;
  const bool automatic = addressing_ == kAutomatic;
  dhcpName_->setEnabled(automatic);
  for (QLineEdit* edit : {address_, mask_, gateway_, port_}) edit->setEnabled(!automatic);
}

std::optional<CLanConfig::Change> CLanConfig::CheckedChange() {
  const auto refuse = [this](QLineEdit* field, const QString& text) {
    boxes_.Warning(this, text);
    field->setFocus();
    return std::nullopt;
  };
  const std::string name = dhcpName_->text() == FromUtf8(moduleName_) ? moduleName_ : ToUtf8(dhcpName_->text());
  if (name.size() > kLanNameMax) {
    return refuse(dhcpName_, FromUtf8(TooLongError(1247, kLanNameMax).text));
  }
  const std::optional<int> port = ParseIntegerField(ToUtf8(port_->text()));
  if (!port) return refuse(port_, FromUtf8(NotAnIntegerError(1246).text));
  const QString invalidAddress = Caption("Geben Sie eine gültige IP-Adresse ein.");
  if (!gateway_->text().isEmpty() && !gateway_->hasAcceptableInput()) return refuse(gateway_, invalidAddress);

  Change change;
  change.gateway = ToUtf8(gateway_->text());
  if (addressing_ == kAutomatic) {
    change.address = "[" + name + "]";
    return change;
  }
  if (!address_->hasAcceptableInput()) return refuse(address_, invalidAddress);
  if (!mask_->hasAcceptableInput()) return refuse(mask_, invalidAddress);
  if (*port < kMinPort || *port > kMaxPort) return refuse(port_, FromUtf8(RangeError(1246, kMinPort, kMaxPort).text));
  change.address = LanAddressText(ToUtf8(address_->text()), *port);
  change.mask = ToUtf8(mask_->text());
  return change;
}

void CLanConfig::ShowApplying(bool applying) {
  for (QWidget* control : findChildren<QWidget*>()) {
    if (control != progress_) control->setEnabled(!applying);
  }
  if (!applying) ApplyControlState();
  ok_->setVisible(!applying);
  cancel_->setVisible(!applying);
  progress_->setRange(0, static_cast<int>(kLanAnswerLimit.count()));
  progress_->setValue(0);
  progress_->setVisible(applying);
}

void CLanConfig::accept() {
  if (applying_.Busy()) return;
  const std::optional<Change> change = CheckedChange();
  if (!change) return;
  const WaitCursor waitCursor;
  const NestedWait::Turn turn(applying_);
  ShowApplying(true);
  if (!ReaderClient::SetLanParams(moduleAddress_, change->address, change->mask, change->gateway)) {
    boxes_.Warning(this, TableText(msg::kLanConfigFailed));
    Reload();
    ShowApplying(false);
    return;
  }
  moduleAddress_ = change->address;
  // Whether the module ever answers is not reported: it may come up elsewhere.
  AwaitLanAnswer(moduleAddress_, PauseWithEvents,
                 [this](std::chrono::milliseconds elapsed) { progress_->setValue(static_cast<int>(elapsed.count())); });
  ShowApplying(false);
  QDialog::accept();
}

// Closing the window while a change is applied would leave the module half
// configured from the operator's view: the wait runs to its end.
void CLanConfig::reject() {
  if (!applying_.Busy()) QDialog::reject();
}

}  // namespace stampwise::gui
