#include "gui/wait_hooks.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "app/connection/reader_client.h"

namespace stampwise::gui {
namespace {

// Blocks until the next event, or for at most maxBlockMs: a single-shot timer
// bounds the wait so time-outs and HID polls still come on time.
void Dispatch(void* /*context*/, int maxBlockMs) {
  QTimer bound;
  bound.setSingleShot(true);
  bound.start(maxBlockMs > 0 ? maxBlockMs : 0);
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// Called from the thread that receives the reply bytes.
void Wake(void* context) {
  if (auto* dispatcher = QAbstractEventDispatcher::instance(static_cast<QThread*>(context))) dispatcher->wakeUp();
}

struct LockedWindow {
  QPointer<QWidget> window;
  QPointer<QWidget> focus;
};

void* LockWindow(void* /*context*/) {
  QWidget* window = QApplication::activeModalWidget();
  if (window == nullptr) window = QApplication::activeWindow();
  if (window == nullptr || !window->isEnabled()) return nullptr;
  auto* locked = new LockedWindow{window, QApplication::focusWidget()};
  window->setEnabled(false);
  return locked;
}

void UnlockWindow(void* /*context*/, void* saved) {
  auto* locked = static_cast<LockedWindow*>(saved);
  if (locked == nullptr) return;
  if (locked->window) locked->window->setEnabled(true);
  if (locked->focus) locked->focus->setFocus();
  delete locked;
}

}  // namespace

void InstallWaitHooks() {
  WaitHooks hooks;
  hooks.dispatch = Dispatch;
  hooks.wake = Wake;
  hooks.dispatchContext = QCoreApplication::instance()->thread();
  hooks.lockWindow = LockWindow;
  hooks.unlockWindow = UnlockWindow;
  ReaderClient::InstallWaitHooks(hooks);
}

void RemoveWaitHooks() { ReaderClient::RemoveWaitHooks(); }

}  // namespace stampwise::gui
