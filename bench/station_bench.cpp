// What the station adds to a write: trigger-to-settled time of
// `stampwise-cli station` (a Modbus client of libmodbus writes coil 0, then
// reads it until the station has cleared it, as a PLC polls) against the same
// write attempt as `stampwise-cli write` makes it (TagWriter::WriteOnce on an
// open reader). Each side has its own mkv-sim with one tag in the field and a
// ledger of its own (a full synchronous commit per claim on both); they take
// turns in blocks, so that the machine's other work falls on both alike. For
// scale, the whole `stampwise-cli write` process (start, opening the reader,
// the write).
//
//   station_bench [TRIGGERS] [WORK_FOLDER]    defaults: 500, the current folder
#include <modbus/modbus.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/connection/open_reader.h"
#include "app/job/front_end.h"
#include "app/job/tag_writer.h"
#include "app/store/settings.h"
#include "reader/rdr.h"
#include "sim/sim_process.h"
#include "tests/app/temp_folder.h"
#include "tests/cli/child_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

const std::string kCli = STAMPWISE_CLI_PATH;
constexpr int kBlock = 25;

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

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Percentile90(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() * 9 / 10];
}

// The write job of both sides: four bytes of hex with its increment, no logs.
const std::vector<std::string> kJob{"--bank",      "user",    "--start",    "0",   "--length", "4",
                                    "--format",    "hex-bin", "--inc",      "hex", "--value",  "00000001",
                                    "--write-log", "off",     "--read-log", "off"};

// TagWriter::WriteOnce on an open reader, as `stampwise-cli write` runs it.
class WriteSide {
 public:
  explicit WriteSide(const stampwise::testing::TempFolder& folder)
      : sim_({"--tags", "1", "--quiet"}),
        settings_(folder.File("write.ini"), folder.Path() + "/"),
        writer_(frontEnd_, writeTimer_, readTimer_, &settings_, nullptr) {
    const stampwise::ReaderIdentity id = stampwise::OpenReader(sim_.PtyPath(), 19200, 500);
    if (id.handle <= 0) throw std::runtime_error("the reader does not open");
    handle_ = id.handle;
    writer_.SetLink(stampwise::TagLink(handle_));
    stampwise::WriterConfig config = writer_.Config();
    config.params.bank = stampwise::Bank::User;
    config.params.lengthBytes = 4;
    config.params.format = stampwise::DataFormat::HexBinary;
    config.params.autoIncrementDec = false;
    config.params.autoIncrementHex = true;
    config.params.value = "00000001";
    config.logs.writeLogEnabled = false;
    config.ledgerFile = folder.File("write.sqlite3");
    writer_.Configure(config);
  }
  ~WriteSide() { RdrClose(handle_); }
  WriteSide(const WriteSide&) = delete;
  WriteSide& operator=(const WriteSide&) = delete;

  double Once() {
    const auto start = Clock::now();
    if (!writer_.WriteOnce()) throw std::runtime_error("a write failed");
    return Micros(Clock::now() - start).count();
  }

 private:
  mkvsim::SimProcess sim_;
  stampwise::Settings settings_;
  QuietFrontEnd frontEnd_;
  IdleTimer writeTimer_;
  IdleTimer readTimer_;
  stampwise::TagWriter writer_;
  int handle_ = 0;
};

// `stampwise-cli station` and its PLC.
class StationSide {
 public:
  explicit StationSide(const stampwise::testing::TempFolder& folder) : sim_({"--tags", "1", "--quiet"}) {
    std::vector<std::string> argv{kCli, "--settings", folder.File("station.ini"), "--ledger",
                                  folder.File("station.sqlite3")};
    argv.insert(argv.end(), {"--port", sim_.PtyPath(), "station", "--modbus", "127.0.0.1:0"});
    argv.insert(argv.end(), kJob.begin(), kJob.end());
    station_ = std::make_unique<stampwise::testing::ChildProcess>(argv);
    if (!station_->Pump(30000, "Modbus TCP 127.0.0.1:")) throw std::runtime_error("the station does not start");
    station_->Pump(200, "\n");
    const std::string& out = station_->Out();
    plc_ = modbus_new_tcp("127.0.0.1", std::stoi(out.substr(out.rfind(':') + 1)));
    if (plc_ == nullptr || modbus_connect(plc_) != 0) throw std::runtime_error("cannot connect to the station");
  }
  ~StationSide() {
    modbus_close(plc_);
    modbus_free(plc_);
    station_->Signal(SIGTERM);
    station_->Wait(10000);
  }
  StationSide(const StationSide&) = delete;
  StationSide& operator=(const StationSide&) = delete;

  double Once() {
    std::uint8_t coil = 1;
    const auto start = Clock::now();
    if (modbus_write_bit(plc_, 0, 1) != 1) throw std::runtime_error("a trigger was refused");
    while (coil != 0) {
      if (modbus_read_bits(plc_, 0, 1, &coil) != 1) throw std::runtime_error("coil 0 unreadable");
    }
    const double micros = Micros(Clock::now() - start).count();
    station_->Pump(0);  // its status lines, so that it never waits on a full pipe
    return micros;
  }

  std::uint32_t Written() {
    std::uint16_t words[2] = {};
    if (modbus_read_input_registers(plc_, 0, 2, words) != 2) throw std::runtime_error("registers unreadable");
    return static_cast<std::uint32_t>(words[0]) << 16 | words[1];
  }

 private:
  mkvsim::SimProcess sim_;
  std::unique_ptr<stampwise::testing::ChildProcess> station_;
  modbus_t* plc_ = nullptr;
};

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
  const int triggers = argc > 1 ? std::max(kBlock, std::atoi(argv[1]) / kBlock * kBlock) : 500;
  if (argc > 2) std::filesystem::current_path(argv[2]);
  try {
    stampwise::testing::TempFolder folder;
    std::vector<double> attempts;
    std::vector<double> stations;
    {
      WriteSide write(folder);
      StationSide station(folder);
      for (int block = 0; block < triggers / kBlock; ++block) {
        for (int i = 0; i < kBlock; ++i) attempts.push_back(write.Once());
        for (int i = 0; i < kBlock; ++i) stations.push_back(station.Once());
      }
      if (station.Written() != static_cast<std::uint32_t>(triggers)) {
        throw std::runtime_error("not every trigger wrote its tag");
      }
    }
    const std::vector<double> process = WriteProcessTimes(std::max(10, triggers / 25), folder);
    std::printf("write attempt (WriteOnce, as stampwise-cli write): median %.0f us, 90th percentile %.0f us\n",
                Median(attempts), Percentile90(attempts));
    std::printf("station trigger to settled (Modbus TCP):           median %.0f us, 90th percentile %.0f us\n",
                Median(stations), Percentile90(stations));
    std::printf("the station adds (median):                         %.0f us\n", Median(stations) - Median(attempts));
    std::printf("whole stampwise-cli write process:                 median %.1f ms\n", Median(process) / 1000);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "station_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
