// HID readers are not reached on Windows yet: none are listed, and a HID
// name does not open.
#include "transport/open_failure_note.h"
#include "transport/transports.h"

namespace qlmkv {

std::vector<std::string> EnumHidDevices() { return {}; }

std::unique_ptr<Transport> OpenHidTransport(const std::string& name, ByteSink& /*sink*/) {
  NoteOpenFailure({name, "HID readers are not supported on this system"});
  return nullptr;
}

}  // namespace qlmkv
