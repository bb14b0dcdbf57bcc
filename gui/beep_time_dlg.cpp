#include "gui/beep_time_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/job/write_job.h"
#include "app/ledger/pg_ledger.h"
#include "app/store/settings_keys.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/values_validation.h"
#include "gui/texts.h"

namespace stampwise::gui {

CBeepTimeDlg::CBeepTimeDlg(Settings& settings, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), settings_(settings), boxes_(boxes) {
  setObjectName(QStringLiteral("CBeepTimeDlg"));
  setWindowTitle(Caption("Einstellungen"));
  beepTime_ = new QLineEdit(QString::number(settings_.ReadInt(section::kSettings, "BeepTime", 150)));
  beepTime_->setObjectName(QStringLiteral("id1002"));
  cycleTime_ = new QLineEdit(QString::number(settings_.ReadInt(section::kSettings, "ZyklusZeit", 250)));
  cycleTime_->setObjectName(QStringLiteral("id1003"));
  ledger_ = new QLineEdit(FromUtf8(LedgerShown(settings_.ReadString(keys::kLedgerFile))));
  ledger_->setObjectName(QStringLiteral("ledgerFile"));
  ledger_->setPlaceholderText(Caption("leer: das eigene dieses Benutzers"));
  ledger_->setMinimumWidth(ledger_->fontMetrics().averageCharWidth() * 60);
  leaseSize_ = new QLineEdit(QString::number(settings_.ReadLeaseSize()));
  leaseSize_->setObjectName(QStringLiteral("leaseSize"));

  auto* ok = new QPushButton(Caption("OK"));
  ok->setObjectName(QStringLiteral("id1"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(Caption("Abbrechen"));
  cancel->setObjectName(QStringLiteral("id2"));
  connect(ok, &QPushButton::clicked, this, &CBeepTimeDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CBeepTimeDlg::reject);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(Caption("Tondauer")), 0, 0);
  grid->addWidget(beepTime_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("ms")), 0, 2);
  grid->addWidget(new QLabel(Caption("( 0ms = Ton aus)")), 0, 3);
  grid->addWidget(new QLabel(Caption("Zykluszeit")), 1, 0);
  grid->addWidget(cycleTime_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("ms")), 1, 2);
  grid->addWidget(new QLabel(Caption("Vergabebuch")), 2, 0);
  grid->addWidget(ledger_, 2, 1, 1, 3);
  grid->addWidget(new QLabel(Caption("Blockgröße")), 3, 0);
  grid->addWidget(leaseSize_, 3, 1);
  grid->addWidget(new QLabel(Caption("Werte")), 3, 2);
  grid->addWidget(new QLabel(Caption("(je Block eines gemeinsamen Vergabebuchs)")), 3, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
}

bool CBeepTimeDlg::TakeField(QLineEdit* field, int id, int low, int high, int* value) {
  const std::optional<int> number = ParseIntegerField(ToUtf8(field->text()));
  if (!number || *number < low || *number > high) {
    const Message error = number ? RangeError(id, low, high) : NotAnIntegerError(id);
    boxes_.Warning(this, FromUtf8(error.text));
    field->setFocus();
    field->selectAll();
    return false;
  }
  *value = *number;
  return true;
}

void CBeepTimeDlg::accept() {
  int beepMs = 0;
  int cycleMs = 0;
  if (!TakeField(beepTime_, 1002, kMinBeepMs, kMaxBeepMs, &beepMs)) return;
  int leaseSize = 0;
  if (!TakeField(cycleTime_, 1003, kMinCycleTimeMs, kMaxCycleTimeMs, &cycleMs)) return;
  if (!TakeField(leaseSize_, 0, 1, ledger::kMaxLeaseSize, &leaseSize)) return;
  const std::string stored = settings_.ReadString(keys::kLedgerFile);
  const std::string ledger = LedgerAfterEdit(stored, ToUtf8(ledger_->text()));
  if (const std::optional<std::string> why =
          ledger::IsSharedLedgerUri(ledger) ? ledger::UnreadableUri(ledger) : std::nullopt) {
    boxes_.Warning(this, FromUtf8(FormatString(msg::kLedgerFailed, {ledger::WithoutPassword(ledger), *why})));
    ledger_->setFocus();
    return;
  }
  settings_.WriteTimings(beepMs, cycleMs);
  if (ledger != stored) settings_.WriteString(keys::kLedgerFile, ledger);
  settings_.WriteInt(keys::kLeaseSize, leaseSize);
  QDialog::accept();
}

}  // namespace stampwise::gui
