#include "gui/connection_status.h"

#include <QLabel>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/increment.h"
#include "gui/texts.h"

namespace stampwise::gui {
namespace {

constexpr std::size_t kWholeDigits = 12;

// A count too long for the bar as its leading digits and power of ten
// ("1.84e19"); the tool tip has it whole.
std::string ShortCount(const std::string& digits) {
  if (digits.size() <= kWholeDigits) return digits;
  return digits.substr(0, 1) + "." + digits.substr(1, 2) + "e" + std::to_string(digits.size() - 1);
}

}  // namespace

ConnectionStatusBar::ConnectionStatusBar(QWidget* parent)
    : QStatusBar(parent),
      reader_(new QLabel(this)),
      cycle_(new QLabel(this)),
      valuesLeft_(new QLabel(this)),
      station_(new QLabel(this)) {
  setObjectName(QStringLiteral("statusBar"));
  setSizeGripEnabled(false);  // the dialog has its own
  reader_->setObjectName(QStringLiteral("statusReader"));
  cycle_->setObjectName(QStringLiteral("statusCycle"));
  valuesLeft_->setObjectName(QStringLiteral("statusValuesLeft"));
  // Long texts are cut here (the tool tip has them whole), never widen the window.
  reader_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  reader_->setMinimumWidth(80);
  cycle_->setAutoFillBackground(true);
  cycle_->setMargin(2);
  QFont bold = cycle_->font();
  bold.setBold(true);
  cycle_->setFont(bold);
  cycle_->hide();
  station_->setObjectName(QStringLiteral("statusStation"));
  station_->hide();
  addWidget(reader_, 1);
  addPermanentWidget(station_);
  addPermanentWidget(cycle_);
  addPermanentWidget(valuesLeft_);
  ShowReader(nullptr);
}

void ConnectionStatusBar::ShowCycle(Cycle cycle) {
  cycle_->setVisible(cycle != Cycle::None);
  if (cycle == Cycle::None) {
    cycle_->clear();
    return;
  }
  cycle_->setText(Caption(cycle == Cycle::Write ? "Schreibzyklus läuft" : "Lesezyklus läuft"));
  QPalette palette = cycle_->palette();
  palette.setColor(QPalette::Window, cycle == Cycle::Write ? QColor(0x2e, 0x7d, 0x32) : QColor(0x15, 0x65, 0xc0));
  palette.setColor(QPalette::WindowText, Qt::white);
  cycle_->setPalette(palette);
}

QString ConnectionStatusBar::CycleText() const { return cycle_->text(); }

void ConnectionStatusBar::ShowStation(const QString& text) {
  station_->setText(text);
  station_->setVisible(!text.isEmpty());
}

QString ConnectionStatusBar::StationText() const { return station_->text(); }

void ConnectionStatusBar::ShowReader(const ReaderIdentity* identity) {
  const bool open = identity != nullptr && identity->handle > 0;
  reader_->setText(open ? FromUtf8(identity->linkText) : TableText(msg::kNoReader));
  reader_->setToolTip(reader_->text());  // whole, where the bar is too narrow
}

void ConnectionStatusBar::ShowValuesLeft(const ParameterSet& params) {
  const std::optional<std::string> left = ValuesLeft(params);
  valuesLeft_->setText(left ? FromUtf8(FormatString(msg::kValuesLeft, {ShortCount(*left)})) : QString());
  valuesLeft_->setToolTip(left ? FromUtf8(FormatString(msg::kValuesLeft, {*left})) : QString());
}

QString ConnectionStatusBar::ReaderText() const { return reader_->text(); }

QString ConnectionStatusBar::ValuesLeftText() const { return valuesLeft_->text(); }

}  // namespace stampwise::gui
