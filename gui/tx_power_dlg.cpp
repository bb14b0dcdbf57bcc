#include "gui/tx_power_dlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/texts/messages.h"
#include "gui/texts.h"

namespace stampwise::gui {
namespace {
// The reader keeps the power across power cycles only when told to.
constexpr bool kKeepPower = true;
}  // namespace

CTXPowerDlg::CTXPowerDlg(const ReaderClient& reader, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), reader_(reader), boxes_(boxes) {
  setObjectName(QStringLiteral("CTXPowerDlg"));
  setWindowTitle(Caption("Sendeleistung einstellen"));
  power_ = new QComboBox;
  power_->setObjectName(QStringLiteral("id1034"));
  for (int index = 0; index < kEntries; ++index) power_->addItem(QString::number(kMinTxPowerDbm + index));
  power_->setCurrentIndex(-1);

  auto* read = new QPushButton(Caption("Lesen"));
  read->setObjectName(QStringLiteral("id1016"));
  auto* write = new QPushButton(Caption("Schreiben"));
  write->setObjectName(QStringLiteral("id1014"));
  auto* close = new QPushButton(Caption("Schliessen"));
  close->setObjectName(QStringLiteral("id1"));
  for (QPushButton* button : {read, write, close}) button->setAutoDefault(false);
  connect(read, &QPushButton::clicked, this, &CTXPowerDlg::ReadPower);
  connect(write, &QPushButton::clicked, this, &CTXPowerDlg::WritePower);
  connect(close, &QPushButton::clicked, this, &CTXPowerDlg::accept);

  auto* powerRow = new QHBoxLayout;
  powerRow->addWidget(new QLabel(Caption("Sendeleistung: ")));
  powerRow->addWidget(power_);
  powerRow->addWidget(new QLabel(QStringLiteral("dBm")));
  powerRow->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(read);
  buttons->addWidget(write);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(powerRow);
  layout->addLayout(buttons);
  ReadPower();
}

void CTXPowerDlg::ReadPower() {
  int value = 0;
  if (!reader_.ReadTxPower(&value)) return;
  // A value outside 130..270 has no entry: nothing selected.
  const int index = PowerIndexFromValue(value);
  power_->setCurrentIndex(index >= 0 && index < kEntries && value >= TenthsOfDbm(kMinTxPowerDbm) ? index : -1);
}

void CTXPowerDlg::WritePower() {
  const int index = power_->currentIndex();
  if (index < 0) return;
  if (!reader_.WriteTxPower(PowerValueFromIndex(index), kKeepPower)) {
    boxes_.Warning(this, TableText(msg::kPowerNotStored));
  }
}

}  // namespace stampwise::gui
