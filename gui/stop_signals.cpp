#include "gui/stop_signals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

namespace stampwise::gui {
namespace {

int gSignalPipe[2] = {-1, -1};
bool gStopRequested = false;

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = write(gSignalPipe[1], &byte, 1);
}

}  // namespace

bool StopRequested() { return gStopRequested; }

void ClearStopRequest() { gStopRequested = false; }

void RequestStop() {
  gStopRequested = true;
  QApplication::closeAllWindows();
}

void CloseWindowsOnStopSignals(QObject* owner) {
  if (gSignalPipe[0] < 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
    char byte = 0;
    [[maybe_unused]] const ssize_t ignored = read(gSignalPipe[0], &byte, 1);
    RequestStop();
  });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace stampwise::gui
