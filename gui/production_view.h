// The production view: the line's figures large enough to read from a step
// away (running state, tags this shift and this cycle, failures, unknown
// outcomes, rate, yield, last value and EPC) and the last hour as a chart.
// A window of its own beside the main window; it draws what ProductionStats
// counted from the tag events and computes nothing itself.
#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/production/production_stats.h"
#include "app/store/settings.h"

class QCloseEvent;
class QGridLayout;
class QLabel;
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;

namespace stampwise::gui {

// Production figures with the stored shift starts (the default plan when
// the stored text is not one).
std::unique_ptr<ProductionStats> MakeProductionStats(Settings& settings);

class ProductionView : public QWidget {
  Q_OBJECT

 public:
  ProductionView(ProductionStats& stats, QWidget* parent = nullptr);

  // Shows the figures as they stand now.
  void Refresh();

  QString StateText() const;
  QString Figure(const char* name) const;  // the text of a figure by its object name

 signals:
  void Closed();
  // "Schichtbericht speichern …": the window saves the current shift's report.
  void ReportRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* AddFigure(QGridLayout* grid, int row, int column, const char* caption, const char* name);
  void RefreshChart();

  ProductionStats& stats_;
  QTimer clock_;  // figures age while no tag comes
  QLabel* state_ = nullptr;
  QLabel* ledgerWait_ = nullptr;
  QLabel* shiftSince_ = nullptr;
  QLabel* shiftWritten_ = nullptr;
  QLabel* cycleWritten_ = nullptr;
  QLabel* failed_ = nullptr;
  QLabel* unknown_ = nullptr;
  QLabel* rate_ = nullptr;
  QLabel* yield_ = nullptr;
  QLabel* lastValue_ = nullptr;
  QLabel* lastEpc_ = nullptr;
  QChartView* chartView_ = nullptr;
  QLineSeries* rateSeries_ = nullptr;
  QLineSeries* failedSeries_ = nullptr;
  QValueAxis* countAxis_ = nullptr;
};

}  // namespace stampwise::gui
