// The cycle timers of the main window (timer 1 writes, timer 2 reads) as
// QTimers on the window's thread.
#pragma once

#include <QTimer>

#include "app/job/front_end.h"

namespace stampwise::gui {

class QtCycleTimer : public CycleTimer {
 public:
  QTimer& Timer() { return timer_; }
  void Start(int periodMs) override { timer_.start(periodMs); }
  void Stop() override { timer_.stop(); }
  bool IsRunning() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

}  // namespace stampwise::gui
