// stampwise-cli.exe under Wine against the Linux mkv-sim, which with_sim.sh
// starts: a write cycle of 200 tags over the COM port Wine maps to the
// simulator's pseudo-terminal and over TCP on loopback, every value once,
// and a read of what was written.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/windows_text.h"
#include "tests/common/sim_record.h"

namespace stampwise::testing {
namespace {

constexpr int kTags = 200;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::filesystem::path ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(std::wstring(path, length)).parent_path();
}

std::wstring Quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

struct RunResult {
  DWORD exitCode = 0;
  std::string out;
};

// Runs stampwise-cli.exe (beside this program) with `args` (UTF-8, handed
// over as the wide command line a shell would give); its output goes to a
// file that is read back once it has ended.
RunResult RunCli(const std::filesystem::path& folder, const std::vector<std::string>& args) {
  std::wstring line = Quoted((ProgramFolder() / "stampwise-cli.exe").wstring());
  for (const std::string& argument : args) line += L" " + Quoted(common::WideText(argument));
  const std::filesystem::path outFile = folder / "out.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = ::CreateFileW(outFile.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION process{};
  RunResult result;
  result.exitCode = 255;
  if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &result.exitCode);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
  }
  ::CloseHandle(out);
  ::CloseHandle(in);
  std::ifstream text(outFile, std::ios::binary);
  result.out.assign(std::istreambuf_iterator<char>(text), {});
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

struct Link {
  const char* name;
  const char* variable;  // names the connection string
};

class CliUnderWine : public ::testing::TestWithParam<Link> {
 protected:
  void SetUp() override {
    port_ = Environment(GetParam().variable);
    if (port_.empty()) GTEST_SKIP() << GetParam().variable << " is not set: run through with_sim.sh";
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() / ("stampwise-cli-" + std::to_string(random()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  // The tool with a settings file and a ledger of this test's own.
  RunResult Cli(std::vector<std::string> args) {
    const std::vector<std::string> global{"--settings", (folder_ / "settings.ini").string(),
                                          "--ledger",   (folder_ / "ledger.sqlite3").string(),
                                          "--port",     port_};
    args.insert(args.begin(), global.begin(), global.end());
    return RunCli(folder_, args);
  }

  std::string port_;
  std::filesystem::path folder_;
};

// Run with QLMKV_SIM_TAGS="--tags 0 --conveyor 5,10": a new blank tag
// whenever the field is empty.
TEST_P(CliUnderWine, WriteCycleWritesEveryValueOnce) {
  const RunResult run =
      Cli({"--json", "write", "--bank", "user", "--start", "0", "--length", "4", "--format", "hex-bin", "--inc", "hex",
           "--value", "00000001", "--cycle", "--count", std::to_string(kTags), "--period", "5"});
  ASSERT_EQ(run.exitCode, 0u) << run.out;
  int written = 0;
  std::string summary;
  for (const std::string& line : Lines(run.out)) {
    if (line.find("\"type\":\"status\"") != std::string::npos) ++written;
    if (line.find("\"type\":\"summary\"") != std::string::npos) summary = line;
  }
  EXPECT_EQ(written, kTags) << summary;
  EXPECT_NE(summary.find("\"written\":" + std::to_string(kTags) + "}"), std::string::npos) << summary;

  // What reached the tags: each tag once, each value once, in order.
  std::map<unsigned, std::vector<std::string>> byTag;
  std::vector<std::string> values;
  for (const RecordedWrite& write : ReadRecord(Environment("QLMKV_SIM_RECORD"))) {
    if (write.bank != 3) continue;
    byTag[write.tagId].push_back(write.data);
    values.push_back(write.data);
  }
  EXPECT_EQ(byTag.size(), static_cast<std::size_t>(kTags));
  for (const auto& [tag, data] : byTag) EXPECT_EQ(data.size(), 1u) << "tag " << tag;
  std::vector<std::string> expected;
  for (int value = 1; value <= kTags; ++value) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", value);
    expected.push_back(hex);
  }
  EXPECT_EQ(values, expected);
}

// Run with one tag (with_sim.sh's default): a value written, then read back.
TEST_P(CliUnderWine, ReadsWhatWasWritten) {
  const RunResult write =
      Cli({"write", "--bank", "user", "--start", "0", "--length", "4", "--format", "hex-bin", "--value", "0000ABCD"});
  ASSERT_EQ(write.exitCode, 0u) << write.out;
  const RunResult read =
      Cli({"--json", "read", "--bank", "user", "--start", "0", "--length", "4", "--format", "hex-bin"});
  ASSERT_EQ(read.exitCode, 0u) << read.out;
  EXPECT_NE(read.out.find("\"text\":\"0000ABCD\""), std::string::npos) << read.out;
}

// Names outside ASCII on the command line reach the files as given, and the
// German texts leave the tool in UTF-8: no reader needed.
TEST(CliText, NamesAndTextsOutsideAsciiStayUtf8) {
  std::random_device random;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / (L"stampwise-cli-Prüfung-" + std::to_wstring(random()));
  std::filesystem::create_directories(folder);
  const std::filesystem::path ledgerPath = folder / L"Übergabe-Straße.sqlite3";
  const std::u8string utf8 = ledgerPath.u8string();
  const std::string ledger(utf8.begin(), utf8.end());
  std::ofstream(ledgerPath).close();  // an empty file is an empty database
  const RunResult list = RunCli(folder, {"--ledger", ledger, "ledger", "list"});
  EXPECT_EQ(list.exitCode, 0u) << list.out;
  EXPECT_TRUE(std::filesystem::exists(ledgerPath)) << list.out;

  // The Modbus station is not part of this build: its German refusal.
  const RunResult station = RunCli(folder, {"--lang", "de", "--ledger", ledger, "station"});
  EXPECT_NE(station.exitCode, 0u);
  EXPECT_NE(station.out.find("nicht verf\xC3\xBCgbar"), std::string::npos) << station.out;

  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

INSTANTIATE_TEST_SUITE_P(Link, CliUnderWine,
                         ::testing::Values(Link{"Com", "QLMKV_SIM_COM"}, Link{"Tcp", "QLMKV_SIM_TCP"}),
                         [](const ::testing::TestParamInfo<Link>& link) { return std::string(link.param.name); });

}  // namespace
}  // namespace stampwise::testing
