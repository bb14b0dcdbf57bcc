// stampwise: the desktop tag writer.
//   --settings FILE  use FILE instead of the per-user settings file
//   --demo           run against a simulated reader with a tag conveyor
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "app/paths.h"
#include "gui/demo_session.h"
#include "gui/message_boxes.h"
#include "gui/stampwise_app.h"
#include "gui/wait_hooks.h"

namespace {

int gSignalPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = write(gSignalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT close the windows like the close box does, so the
// settings are saved and the demo's simulator is ended on the way out.
void CloseWindowsOnStopSignals(QObject* owner) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
    char byte = 0;
    [[maybe_unused]] const ssize_t ignored = read(gSignalPipe[0], &byte, 1);
    QApplication::closeAllWindows();
  });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

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

  CloseWindowsOnStopSignals(&application);
  stampwise::gui::InstallWaitHooks();
  stampwise::gui::QtMessageBoxes boxes;
  stampwise::gui::CStampwiseApp(boxes).Run();
  stampwise::gui::RemoveWaitHooks();
  return 0;
}
