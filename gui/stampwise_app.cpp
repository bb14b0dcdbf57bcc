#include "gui/stampwise_app.h"

#include <QApplication>
#include <memory>

#include "app/base/paths.h"
#include "app/store/settings.h"
#include "app/texts/language.h"
#include "gui/production_view.h"
#include "gui/stop_signals.h"

namespace stampwise::gui {

CStampwiseApp::CStampwiseApp(MessageBoxes& boxes)
    : boxes_(boxes), runWindow_([](CStampwiseDlg& window) { return window.exec(); }) {}

void CStampwiseApp::Run() {
  if (!checks_) {
    Settings settings;
    checks_ = std::make_unique<update::UpdateChecks>(update::StoredBaseAddress(settings));
    production_ = MakeProductionStats(settings);
  }
  int result = CStampwiseDlg::kLanguageRestart;
  for (;;) {
    if (result == CStampwiseDlg::kLanguageRestart) {
      Settings settings;
      // A library that cannot be loaded leaves the language as it was.
      ApplyLanguage(settings.ReadLanguage(), ResourceDirectoryOf(kEnglishLibraryName));
      qtTexts_.Follow(EnglishActive());
      result = CStampwiseDlg::kRestart;
    }
    if (result != CStampwiseDlg::kRestart || StopRequested()) break;
    {
      // The window reads every setting when it is made and saves them when it
      // goes, so a restart keeps the operator's state.
      Settings settings;
      CStampwiseDlg window(settings, boxes_, checks_.get());
      window.UseProductionStats(production_.get());
      window.Start();
      // A stop signal while the start-up asked something: the window goes
      // (saving the settings) without being shown.
      result = StopRequested() ? CStampwiseDlg::kClose : runWindow_(window);
    }
    // Let what the old window left behind go before the next one comes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
  }
}

}  // namespace stampwise::gui
