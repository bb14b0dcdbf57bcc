// The wait cursor over the whole program for as long as a WaitCursor lives;
// they nest, and the last one gone brings the cursor back.
#pragma once

#include <QGuiApplication>

namespace stampwise::gui {

class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace stampwise::gui
