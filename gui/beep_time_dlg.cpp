#include "gui/beep_time_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/values_validation.h"
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
  if (!TakeField(cycleTime_, 1003, kMinCycleTimeMs, kMaxCycleTimeMs, &cycleMs)) return;
  settings_.WriteTimings(beepMs, cycleMs);
  QDialog::accept();
}

}  // namespace stampwise::gui
