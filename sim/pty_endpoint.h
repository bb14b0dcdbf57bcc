// The pseudo-terminal mkv-sim serves: the master side is ours, the slave path
// is what a host opens as its serial port. We keep a slave descriptor open
// ourselves, so a host closing and reopening the slave never hangs up the master.
#pragma once

#include <string>

namespace mkvsim {

class PtyEndpoint {
 public:
  // Creates the terminal in raw mode and, when linkPath is not empty, a
  // symbolic link to its slave. Throws std::runtime_error on failure.
  explicit PtyEndpoint(const std::string& linkPath = "");
  ~PtyEndpoint();
  PtyEndpoint(const PtyEndpoint&) = delete;
  PtyEndpoint& operator=(const PtyEndpoint&) = delete;

  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }

 private:
  int master_ = -1;
  int slaveKeeper_ = -1;
  std::string slavePath_;
  std::string linkPath_;
};

}  // namespace mkvsim
