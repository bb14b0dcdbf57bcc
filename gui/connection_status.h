// The main window's status bar: the reader it talks to (model, link and
// firmware, as in the title) or "no reader", whether a cycle runs, and how
// many values the counter has left.
#pragma once

#include <QStatusBar>

#include "app/base/params.h"
#include "app/connection/open_reader.h"
#include "app/values/enabling.h"

class QLabel;

namespace stampwise::gui {

class ConnectionStatusBar : public QStatusBar {
  Q_OBJECT

 public:
  explicit ConnectionStatusBar(QWidget* parent = nullptr);

  // The open reader, or none (null, or an identity without a handle).
  void ShowReader(const ReaderIdentity* identity);
  // The values left before the counter ends; empty when the value does not count.
  void ShowValuesLeft(const ParameterSet& params);
  // The running cycle, marked so it is seen at a glance; hidden for none.
  void ShowCycle(Cycle cycle);
  // The station: whether a PLC is connected, the last trigger; hidden for "".
  void ShowStation(const QString& text);

  QString ReaderText() const;
  QString ValuesLeftText() const;
  QString CycleText() const;
  QString StationText() const;

 private:
  QLabel* reader_;
  QLabel* cycle_;
  QLabel* valuesLeft_;
  QLabel* station_;
};

}  // namespace stampwise::gui
