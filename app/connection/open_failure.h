// Why a serial link could not be opened, in the system's words: the reader
// library reports only that opening failed; the operator needs the file and
// the reason to mend it (permissions, a wrong name, another program).
#pragma once

#include <optional>
#include <string>

namespace stampwise {

struct OpenFailure {
  std::string path;    // the device file, or the name as given
  std::string reason;  // "No such file or directory", "not a terminal", ...
};

// Says what stood in the way of the calling thread's last failed open of
// `connection` (ReaderClient::Open). A device file: the system's reason as
// the library's open found it (missing, not a terminal, held by another
// program). A name outside /dev/ that names a file is told that it is taken
// as a D2XX serial number; a LAN address gets the TCP connection's reason, a
// USB serial number whether such a reader is attached. Nothing when no
// reason can be found (a module name, a line that opened but no reader).
std::optional<OpenFailure> FindOpenFailure(const std::string& connection);

}  // namespace stampwise
