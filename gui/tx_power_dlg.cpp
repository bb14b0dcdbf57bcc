#include "gui/tx_power_dlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/messages.h"
#include "gui/texts.h"
#include "reader/rdr.h"

namespace stampwise::gui {
namespace {
// The reader keeps the power across power cycles only with this flag.
constexpr int kStorePower = 1;
}

CTXPowerDlg::CTXPowerDlg(int handle, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), handle_(handle), boxes_(boxes) {
  setObjectName(QStringLiteral("CTXPowerDlg"));
  setWindowTitle(Caption("Sendeleistung einstellen"));
  power_ = new QComboBox;
  power_->setObjectName(QStringLiteral("id1034"));
  for (int index = 0; index < kEntries; ++index) power_->addItem(QString::number(13 + index));
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
  if (RdrGetTxPower(handle_, &value) < 0) return;
  // A value outside 130..270 has no entry: nothing selected.
  const int index = PowerIndexFromValue(value);
  power_->setCurrentIndex(index >= 0 && index < kEntries && value >= 130 ? index : -1);
}

void CTXPowerDlg::WritePower() {
  const int index = power_->currentIndex();
  if (index < 0) return;
  if (RdrSetTxPower(handle_, PowerValueFromIndex(index), kStorePower) < 0) {
    boxes_.Warning(this, TableText(msg::kPowerNotStored));
  }
}

}  // namespace stampwise::gui
