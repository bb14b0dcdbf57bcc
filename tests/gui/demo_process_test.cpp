// "stampwise --demo" as a process: killed outright, it still takes its
// simulator and its temporary folders with it.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/app/temp_folder.h"
#include "tests/cli/child_process.h"

namespace stampwise::testing {
namespace {

namespace fs = std::filesystem;

// The processes whose command line mentions `text`.
std::vector<pid_t> ProcessesMentioning(const std::string& text) {
  std::vector<pid_t> found;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "cmdline");
    const std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (cmdline.find(text) != std::string::npos) found.push_back(static_cast<pid_t>(std::stoi(name)));
  }
  return found;
}

// Waits (without a time limit that the test asserts) until `done` holds or
// a generous bound has passed.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 300 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return done();
}

TEST(DemoProcess, AKilledProgramTakesItsSimulatorAndFoldersWithIt) {
  const TempFolder temp;     // where the demo makes its folders
  const TempFolder runtime;  // Qt's own, kept apart
  setenv("TMPDIR", temp.Path().c_str(), 1);
  setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ChildProcess program({STAMPWISE_PATH, "--demo"});
  unsetenv("TMPDIR");
  unsetenv("XDG_RUNTIME_DIR");

  auto demoSettings = [&] {
    for (const fs::directory_entry& entry : fs::directory_iterator(temp.Path())) {
      if (fs::exists(entry.path() / "QL-MKV Stampwise.ini")) return true;
    }
    return false;
  };
  ASSERT_TRUE(Eventually(demoSettings)) << program.Err();
  const std::vector<pid_t> simulators = ProcessesMentioning(temp.Path());
  ASSERT_EQ(simulators.size(), 1u) << "mkv-sim of the demo";

  program.Signal(SIGKILL);
  program.Wait(10000);
  EXPECT_TRUE(Eventually([&] { return ProcessesMentioning(temp.Path()).empty(); })) << "mkv-sim still runs";
  EXPECT_TRUE(Eventually([&] { return fs::is_empty(temp.Path()); })) << "folders left behind";
  for (const pid_t pid : ProcessesMentioning(temp.Path())) ::kill(pid, SIGKILL);  // never leave one behind
}

}  // namespace
}  // namespace stampwise::testing
