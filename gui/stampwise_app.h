// The application object: chooses the interface language and runs the main
// window again and again while it ends with restart or language restart.
#pragma once

#include <functional>
#include <memory>

#include "gui/message_boxes.h"
#include "gui/qt_translations.h"
#include "gui/stampwise_dlg.h"

namespace stampwise::gui {

class CStampwiseApp {
 public:
  // Runs one main window until it ends and returns its end value; tests
  // replace it to drive the window.
  using WindowRunner = std::function<int(CStampwiseDlg&)>;

  explicit CStampwiseApp(MessageBoxes& boxes);
  void SetWindowRunner(WindowRunner runner) { runWindow_ = std::move(runner); }

  // The run loop; returns when a window ended with close (or anything that is
  // neither restart nor language restart).
  void Run();

 private:
  MessageBoxes& boxes_;
  WindowRunner runWindow_;
  // Once per process: every window of the run loop shares them.
  std::unique_ptr<update::UpdateChecks> checks_;
  // The production figures: a restart of the window keeps the shift's.
  std::unique_ptr<ProductionStats> production_;
  QtTranslations qtTexts_;
};

}  // namespace stampwise::gui
