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

// Looks at the device file behind `connection` as opening a serial line
// does (open, terminal check, the exclusive lock) and says what stands in
// the way. A name outside /dev/ that names a file is told that it is taken
// as a D2XX serial number; a LAN address gets the TCP connection's reason,
// a USB serial number whether such a reader is attached. Nothing when no
// reason can be found (a module name, a link that opens now).
std::optional<OpenFailure> FindOpenFailure(const std::string& connection);

}  // namespace stampwise
