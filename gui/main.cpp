// stampwise: the desktop tag writer.
//   --settings FILE  use FILE instead of the per-user settings file
//   --demo           run against a simulated reader with a tag conveyor
#include <stdlib.h>

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "app/base/paths.h"
#include "gui/demo_session.h"
#include "gui/message_boxes.h"
#include "gui/stampwise_app.h"
#include "gui/stop_signals.h"
#include "gui/wait_hooks.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("QL-MKV Stampwise"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("QL-MKV Stampwise tag writer"));
  parser.addHelpOption();
  const QCommandLineOption settingsOption(QStringLiteral("settings"), QStringLiteral("Settings file to use."),
                                          QStringLiteral("FILE"));
  const QCommandLineOption demoOption(QStringLiteral("demo"),
                                      QStringLiteral("Run against a simulated reader with a tag conveyor."));
  parser.addOption(settingsOption);
  parser.addOption(demoOption);
  parser.process(application);

  std::unique_ptr<stampwise::gui::DemoSession> demo;
  if (parser.isSet(demoOption)) {
    try {
      demo = std::make_unique<stampwise::gui::DemoSession>();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "stampwise: the demo cannot start: %s\n", error.what());
      return 1;
    }
    setenv(stampwise::kSettingsFileVariable, demo->SettingsFile().c_str(), 1);
  } else if (parser.isSet(settingsOption)) {
    setenv(stampwise::kSettingsFileVariable, parser.value(settingsOption).toLocal8Bit().constData(), 1);
  }

  stampwise::gui::CloseWindowsOnStopSignals(&application);
  stampwise::gui::InstallWaitHooks();
  stampwise::gui::QtMessageBoxes boxes;
  stampwise::gui::CStampwiseApp(boxes).Run();
  stampwise::gui::RemoveWaitHooks();
  return 0;
}
