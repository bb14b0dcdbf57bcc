// "stampwise --demo": a simulated reader with a conveyor of blank tags on a
// pseudo-terminal, and a private settings file that points at it, so the
// operator's own settings stay untouched. The simulator ends with the session.
#pragma once

#include <memory>
#include <string>

namespace mkvsim {
class SimProcess;
}

namespace stampwise::gui {

class DemoSession {
 public:
  // Starts mkv-sim from the program directory; throws std::runtime_error
  // when it cannot be started.
  DemoSession();
  ~DemoSession();
  DemoSession(const DemoSession&) = delete;
  DemoSession& operator=(const DemoSession&) = delete;

  const std::string& SettingsFile() const { return settingsFile_; }
  const std::string& PtyPath() const;

 private:
  std::string folder_;
  std::string settingsFile_;
  std::unique_ptr<mkvsim::SimProcess> sim_;
};

}  // namespace stampwise::gui
