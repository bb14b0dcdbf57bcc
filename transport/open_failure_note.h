// Why the calling thread's last open of a serial line failed, kept for the
// caller of the open: the device and the system's reason, as the line itself
// found them. A caller that wants to tell the operator need not open again.
#pragma once

#include <optional>
#include <string>

namespace qlmkv {

struct OpenFailureNote {
  std::string device;  // the device file, or a D2XX serial number
  std::string reason;  // "No such file or directory", "not a terminal", ...
};

void NoteOpenFailure(OpenFailureNote note);
void ClearOpenFailure();
// The last note of this thread since ClearOpenFailure.
std::optional<OpenFailureNote> LastOpenFailure();

}  // namespace qlmkv
