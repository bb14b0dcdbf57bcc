#include "gui/demo_session.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "app/base/paths.h"
#include "app/store/settings.h"
#include "sim/sim_process.h"

namespace stampwise::gui {
namespace {
// A new tag every 800 ms once the field is empty, carried off 400 ms after its write.
const char* const kConveyor = "800,400";
}  // namespace

DemoSession::DemoSession() {
  std::string pattern = (std::filesystem::temp_directory_path() / "stampwise-demo-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a folder for the demo");
  folder_ = pattern;
  try {
    // The simulator and the demo's folder go with the program, even when it
    // is killed and never comes to its destructor.
    sim_ = std::make_unique<mkvsim::SimProcess>(
        std::vector<std::string>{"--conveyor", kConveyor, "--quiet", "--end-with-parent", std::to_string(getpid()),
                                 "--remove-on-exit", folder_},
        ProgramDirectory() + "mkv-sim");
  } catch (...) {
    std::filesystem::remove_all(folder_);
    throw;
  }
  settingsFile_ = folder_ + "/QL-MKV Stampwise.ini";
  Settings settings(settingsFile_, folder_ + "/");
  settings.WriteString(section::kPort, "Name", sim_->PtyPath());
  settings.WriteInt(section::kPort, "Timeout", 500);
  settings.WriteString(section::kLog, "LogFileNameSchreiben", folder_ + "/Protokoll_S.txt");
  settings.WriteString(section::kLog, "LogFileNameLesen", folder_ + "/Protokoll_L.txt");
  // Demo values never reach the operator's own ledger.
  settings.WriteString(keys::kLedgerFile, folder_ + "/Ledger.sqlite3");
}

DemoSession::~DemoSession() {
  sim_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

const std::string& DemoSession::PtyPath() const { return sim_->PtyPath(); }

}  // namespace stampwise::gui
