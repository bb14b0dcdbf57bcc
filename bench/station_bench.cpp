// What the station adds to a write: trigger-to-settled time of
// `stampwise-cli station` (a Modbus client of libmodbus writes coil 0, then
// reads it until the station has cleared it) against the same write attempt
// as `stampwise-cli write` makes it (TagWriter::WriteOnce on an open reader),
// each against its own mkv-sim with one tag in the field and on a ledger of
// its own (a full synchronous commit per claim on both sides). For scale, the
// whole `stampwise-cli write` process (start, opening the reader, the write).
//
//   station_bench [TRIGGERS] [WORK_FOLDER]    defaults: 500, the current folder
#include <modbus/modbus.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/front_end.h"
#include "app/reader_link.h"
#include "app/settings.h"
#include "app/tag_writer.h"
#include "reader/rdr.h"
#include "sim/sim_process.h"
#include "tests/app/temp_folder.h"
#include "tests/cli/child_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

const std::string kCli = STAMPWISE_CLI_PATH;

class QuietFrontEnd : public stampwise::FrontEnd {
 public:
  void AppendStatus(const std::string&) override {}
};

class IdleTimer : public stampwise::CycleTimer {
 public:
  void Start(int) override {}
  void Stop() override {}
  bool IsRunning() const override { return false; }
};

struct Figures {
  double median = 0;
  double p90 = 0;
};

Figures Summarise(std::vector<double> micros) {
  std::sort(micros.begin(), micros.end());
  return {micros[micros.size() / 2], micros[micros.size() * 9 / 10]};
}

// The write job of both sides: four bytes of hex with its increment, no logs.
const std::vector<std::string> kJob{"--bank",      "user",    "--start",    "0",   "--length", "4",
                                    "--format",    "hex-bin", "--inc",      "hex", "--value",  "00000001",
                                    "--write-log", "off",     "--read-log", "off"};

std::vector<double> WriteOnceTimes(int count, const stampwise::testing::TempFolder& folder) {
  mkvsim::SimProcess sim({"--tags", "1", "--quiet"});
  const stampwise::ReaderIdentity id = stampwise::OpenReader(sim.PtyPath(), 19200, 500);
  if (id.handle <= 0) throw std::runtime_error("the reader does not open");
  stampwise::Settings settings(folder.File("write.ini"), folder.Path() + "/");
  QuietFrontEnd frontEnd;
  IdleTimer writeTimer;
  IdleTimer readTimer;
  stampwise::TagWriter writer(frontEnd, writeTimer, readTimer, &settings, nullptr);
  writer.SetHandle(id.handle);
  stampwise::WriterConfig config = writer.Config();
  config.params.bank = stampwise::Bank::User;
  config.params.lengthBytes = 4;
  config.params.format = stampwise::DataFormat::HexBinary;
  config.params.autoIncrementDec = false;
  config.params.autoIncrementHex = true;
  config.params.value = "00000001";
  config.logs.writeLogEnabled = false;
  config.ledgerFile = folder.File("write.sqlite3");
  writer.Configure(config);
  std::vector<double> micros;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    if (!writer.WriteOnce()) throw std::runtime_error("a write failed");
    micros.push_back(Micros(Clock::now() - start).count());
  }
  RdrClose(id.handle);
  return micros;
}

std::vector<double> TriggerTimes(int count, const stampwise::testing::TempFolder& folder) {
  mkvsim::SimProcess sim({"--tags", "1", "--quiet"});
  std::vector<std::string> argv{kCli, "--settings", folder.File("station.ini"), "--ledger",
                                folder.File("station.sqlite3")};
  argv.insert(argv.end(), {"--port", sim.PtyPath(), "station", "--modbus", "127.0.0.1:0"});
  argv.insert(argv.end(), kJob.begin(), kJob.end());
  stampwise::testing::ChildProcess station(argv);
  if (!station.Pump(30000, "Modbus TCP 127.0.0.1:")) throw std::runtime_error("the station does not start");
  station.Pump(200, "\n");
  const std::string& out = station.Out();
  const int port = std::stoi(out.substr(out.rfind(':') + 1));
  modbus_t* plc = modbus_new_tcp("127.0.0.1", port);
  if (plc == nullptr || modbus_connect(plc) != 0) throw std::runtime_error("cannot connect to the station");
  std::vector<double> micros;
  for (int i = 0; i < count; ++i) {
    std::uint8_t coil = 1;
    const auto start = Clock::now();
    if (modbus_write_bit(plc, 0, 1) != 1) throw std::runtime_error("a trigger was refused");
    while (coil != 0) {
      if (modbus_read_bits(plc, 0, 1, &coil) != 1) throw std::runtime_error("coil 0 unreadable");
    }
    micros.push_back(Micros(Clock::now() - start).count());
    station.Pump(0);  // its status lines, so that it never waits on a full pipe
  }
  std::uint16_t written[2] = {};
  modbus_read_input_registers(plc, 0, 2, written);
  modbus_close(plc);
  modbus_free(plc);
  station.Signal(SIGTERM);
  station.Wait(10000);
  if ((written[0] << 16 | written[1]) != count) throw std::runtime_error("not every trigger wrote its tag");
  return micros;
}

std::vector<double> WriteProcessTimes(int count, const stampwise::testing::TempFolder& folder) {
  mkvsim::SimProcess sim({"--tags", "1", "--quiet"});
  std::vector<double> micros;
  for (int i = 0; i < count; ++i) {
    std::vector<std::string> argv{kCli, "--settings", folder.File("process.ini"), "--ledger",
                                  folder.File("process.sqlite3")};
    argv.insert(argv.end(), {"--port", sim.PtyPath(), "write"});
    argv.insert(argv.end(), kJob.begin(), kJob.end());
    if (i > 0) argv.erase(argv.end() - 6, argv.end() - 4);  // the stored value goes on
    const auto start = Clock::now();
    const stampwise::testing::RunResult run = stampwise::testing::RunProgram(argv);
    micros.push_back(Micros(Clock::now() - start).count());
    if (run.exitCode != 0) throw std::runtime_error("stampwise-cli write failed: " + run.err);
  }
  return micros;
}

}  // namespace

int main(int argc, char** argv) {
  const int triggers = argc > 1 ? std::max(10, std::atoi(argv[1])) : 500;
  if (argc > 2) std::filesystem::current_path(argv[2]);
  try {
    stampwise::testing::TempFolder folder;
    const Figures attempt = Summarise(WriteOnceTimes(triggers, folder));
    const Figures station = Summarise(TriggerTimes(triggers, folder));
    const Figures process = Summarise(WriteProcessTimes(std::max(10, triggers / 25), folder));
    std::printf("write attempt (WriteOnce, as stampwise-cli write): median %.0f us, 90th percentile %.0f us\n",
                attempt.median, attempt.p90);
    std::printf("station trigger to settled (Modbus TCP):           median %.0f us, 90th percentile %.0f us\n",
                station.median, station.p90);
    std::printf("the station adds (median):                         %.0f us\n", station.median - attempt.median);
    std::printf("whole stampwise-cli write process:                 median %.1f ms\n", process.median / 1000);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "station_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
