#include "gui/production_view.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "app/gs1/gs1_epc.h"
#include "app/store/settings_keys.h"
#include "gui/texts.h"

namespace stampwise::gui {
namespace {

constexpr int kRefreshMs = 1000;
// Ticks of the count axis: its top is a multiple, so every tick is a whole tag.
constexpr int kCountTicks = 4;
constexpr const char* kDefaultShiftStarts = keys::kShiftStarts.text;

QLabel* Large(QLabel* label, double scale, bool bold) {
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() * scale);
  font.setBold(bold);
  label->setFont(font);
  return label;
}

}  // namespace

std::unique_ptr<ProductionStats> MakeProductionStats(Settings& settings) {
  std::optional<std::vector<int>> starts = ParseShiftStarts(settings.ReadString(keys::kShiftStarts));
  if (!starts) starts = ParseShiftStarts(kDefaultShiftStarts);
  return std::make_unique<ProductionStats>(*starts);
}

ProductionView::ProductionView(ProductionStats& stats, QWidget* parent) : QWidget(parent, Qt::Window), stats_(stats) {
  setObjectName(QStringLiteral("productionView"));
  setWindowTitle(Caption("Produktionsansicht"));
  state_ = Large(new QLabel, 2.0, true);
  state_->setObjectName(QStringLiteral("productionState"));
  state_->setAlignment(Qt::AlignCenter);
  state_->setAutoFillBackground(true);
  state_->setMargin(6);
  shiftSince_ = new QLabel;
  shiftSince_->setObjectName(QStringLiteral("productionShiftSince"));
  // Why a job waits, under the state it explains.
  ledgerWait_ = new QLabel;
  ledgerWait_->setObjectName(QStringLiteral("productionLedgerWait"));
  ledgerWait_->setWordWrap(true);
  ledgerWait_->hide();

  auto* figures = new QGridLayout;
  shiftWritten_ = AddFigure(figures, 0, 0, "Diese Schicht", "productionShift");
  cycleWritten_ = AddFigure(figures, 0, 1, "Dieser Zyklus", "productionCycle");
  rate_ = AddFigure(figures, 0, 2, "Tags pro Minute", "productionRate");
  failed_ = AddFigure(figures, 2, 0, "Fehlgeschlagen", "productionFailed");
  unknown_ = AddFigure(figures, 2, 1, "Ergebnis unbekannt", "productionUnknown");
  yield_ = AddFigure(figures, 2, 2, "Ausbeute", "productionYield");

  lastValue_ = Large(new QLabel, 1.4, true);
  lastValue_->setObjectName(QStringLiteral("productionLastValue"));
  lastEpc_ = Large(new QLabel, 1.4, false);
  lastEpc_->setObjectName(QStringLiteral("productionLastEpc"));
  for (QLabel* label : {lastValue_, lastEpc_}) {
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  auto* last = new QGridLayout;
  last->addWidget(new QLabel(Caption("Letzter Wert:")), 0, 0);
  last->addWidget(lastValue_, 0, 1);
  last->addWidget(new QLabel(Caption("Letzte EPC:")), 1, 0);
  last->addWidget(lastEpc_, 1, 1);
  last->setColumnStretch(1, 1);

  rateSeries_ = new QLineSeries;
  rateSeries_->setName(Caption("Tags pro Minute"));
  failedSeries_ = new QLineSeries;
  failedSeries_->setName(Caption("Fehler pro Minute"));
  auto* chart = new QChart;
  chart->addSeries(rateSeries_);
  chart->addSeries(failedSeries_);
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->legend()->setAlignment(Qt::AlignBottom);
  auto* minutes = new QValueAxis;
  minutes->setRange(-ProductionStats::kHistoryMinutes, 0);
  minutes->setTickCount(7);
  minutes->setLabelFormat(QStringLiteral("%d"));
  minutes->setTitleText(Caption("Minuten"));
  countAxis_ = new QValueAxis;
  countAxis_->setLabelFormat(QStringLiteral("%d"));
  countAxis_->setTickCount(kCountTicks + 1);
  chart->addAxis(minutes, Qt::AlignBottom);
  chart->addAxis(countAxis_, Qt::AlignLeft);
  for (QLineSeries* series : {rateSeries_, failedSeries_}) {
    series->attachAxis(minutes);
    series->attachAxis(countAxis_);
  }
  chartView_ = new QChartView(chart);
  chartView_->setObjectName(QStringLiteral("productionChart"));
  chartView_->setRenderHint(QPainter::Antialiasing);
  chartView_->setMinimumSize(560, 240);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(state_);
  layout->addWidget(ledgerWait_);
  auto* report = new QPushButton(Caption("Schichtbericht speichern …"));
  report->setObjectName(QStringLiteral("productionReport"));
  connect(report, &QPushButton::clicked, this, &ProductionView::ReportRequested);
  auto* shiftRow = new QHBoxLayout;
  shiftRow->addWidget(shiftSince_, 1);
  shiftRow->addWidget(report);
  layout->addLayout(shiftRow);
  layout->addLayout(figures);
  layout->addLayout(last);
  layout->addWidget(chartView_, 1);

  resize(760, 620);
  clock_.setInterval(kRefreshMs);
  connect(&clock_, &QTimer::timeout, this, &ProductionView::Refresh);
  clock_.start();
}

QLabel* ProductionView::AddFigure(QGridLayout* grid, int row, int column, const char* caption, const char* name) {
  auto* title = new QLabel(Caption(caption));
  title->setAlignment(Qt::AlignCenter);
  auto* figure = Large(new QLabel, 3.0, true);
  figure->setObjectName(QString::fromLatin1(name));
  figure->setAlignment(Qt::AlignCenter);
  grid->addWidget(title, row, column);
  grid->addWidget(figure, row + 1, column);
  return figure;
}

void ProductionView::Refresh() {
  if (!isVisible()) return;  // drawn again when shown
  stats_.Update();
  QPalette palette = state_->palette();
  const bool waiting = !stats_.LedgerWait().empty();
  switch (stats_.Running()) {
    case Cycle::Write:
      state_->setText(Caption(waiting ? "Wartet auf das Vergabebuch" : "Schreibzyklus läuft"));
      palette.setColor(QPalette::Window, waiting ? QColor(0xb2, 0x6a, 0x00) : QColor(0x2e, 0x7d, 0x32));
      break;
    case Cycle::Read:
      state_->setText(Caption("Lesezyklus läuft"));
      palette.setColor(QPalette::Window, QColor(0x15, 0x65, 0xc0));
      break;
    case Cycle::None:
      state_->setText(Caption("Angehalten"));
      palette.setColor(QPalette::Window, QColor(0x61, 0x61, 0x61));
      break;
  }
  palette.setColor(QPalette::WindowText, Qt::white);
  state_->setPalette(palette);
  ledgerWait_->setText(FromUtf8(stats_.LedgerWait()));
  ledgerWait_->setVisible(waiting);
  const QDateTime since = QDateTime::fromSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::seconds>(stats_.ShiftCountedSince().time_since_epoch()).count());
  shiftSince_->setText(Caption("Schicht gezählt seit %1").arg(since.toString(QStringLiteral("HH:mm"))));

  const ProductionStats::Counts& shift = stats_.Shift();
  shiftWritten_->setText(QString::number(shift.written));
  cycleWritten_->setText(QString::number(stats_.CurrentCycle().written));
  failed_->setText(QString::number(shift.failed));
  unknown_->setText(QString::number(shift.unknown));
  rate_->setText(QString::number(stats_.RatePerMinute(), 'f', 1));
  const std::optional<double> yield = stats_.YieldPercent();
  yield_->setText(yield ? QStringLiteral("%1 %").arg(*yield, 0, 'f', 1) : QStringLiteral("-"));
  lastValue_->setText(FromValue(stats_.LastValue()));
  lastEpc_->setText(QString::fromStdString(gs1::Hex(stats_.LastEpc())));
  RefreshChart();
}

void ProductionView::RefreshChart() {
  const std::vector<ProductionStats::Minute> hour = stats_.LastHour();
  QList<QPointF> written;
  QList<QPointF> failed;
  int highest = 0;
  const int count = static_cast<int>(hour.size());
  for (int index = 0; index < count; ++index) {
    const qreal minute = index - (count - 1);
    written.append(QPointF(minute, hour[static_cast<std::size_t>(index)].written));
    failed.append(QPointF(minute, hour[static_cast<std::size_t>(index)].failed));
    highest = std::max(
        {highest, hour[static_cast<std::size_t>(index)].written, hour[static_cast<std::size_t>(index)].failed});
  }
  rateSeries_->replace(written);
  failedSeries_->replace(failed);
  // Whole tags at every tick, with room above the highest minute.
  const int top = (highest + highest / 5 + kCountTicks) / kCountTicks * kCountTicks;
  countAxis_->setRange(0, std::max(kCountTicks, top));
}

QString ProductionView::StateText() const { return state_->text(); }

QString ProductionView::Figure(const char* name) const {
  const auto* label = findChild<QLabel*>(QString::fromLatin1(name));
  return label != nullptr ? label->text() : QString();
}

void ProductionView::closeEvent(QCloseEvent* event) {
  emit Closed();
  QWidget::closeEvent(event);
}

}  // namespace stampwise::gui
