// Hooks the reader library's reply waits into the Qt event loop: events keep
// flowing while a reply is awaited, and outside cycles the active window is
// disabled for the wait and its focus restored afterwards.
#pragma once

namespace stampwise::gui {

// Call once on the GUI thread after the QApplication exists.
void InstallWaitHooks();
// Removes them again (before the QApplication goes away).
void RemoveWaitHooks();

}  // namespace stampwise::gui
