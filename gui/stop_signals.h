// SIGTERM and SIGINT end the program as the close box does: every window and
// box closes, the main window saves the settings, and no dialog that would
// have come next (the interface dialog after a failed open, a restart of the
// main window) opens any more.
#pragma once

class QObject;

namespace stampwise::gui {

// Routes the two signals into the event loop of `owner`'s thread.
void CloseWindowsOnStopSignals(QObject* owner);

// True once a stop signal has been handled: the run loop and the dialogs
// that follow one another must end instead of going on.
bool StopRequested();

// What a handled stop signal does: mark the stop, close every window.
void RequestStop();
// The stopped run is over (a test process runs several).
void ClearStopRequest();

}  // namespace stampwise::gui
