// Small pieces every dialog uses: controls named by their numeric id (tests
// and the layout find them as "id<number>"), and a wait that keeps the
// window's events running.
#pragma once

#include <QEventLoop>
#include <QString>
#include <QTimer>

namespace stampwise::gui {

template <typename Widget>
Widget* Named(Widget* widget, int id) {
  widget->setObjectName(QStringLiteral("id%1").arg(id));
  return widget;
}

// Waits `ms` with the events running; user input is held back when asked.
inline void WaitWithEvents(int ms, QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec(flags);
}

}  // namespace stampwise::gui
