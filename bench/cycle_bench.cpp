// Time per tag that a cyclic write spends outside the reader exchanges:
// conversion, the outcome settled in the ledger, the next tag's value claimed
// there at once (its flush to disk runs on the ledger's own thread while the
// next tag is looked for; the write waits for whatever of it is left), the
// tag recorded on its claim, the write log (already 10^5 lines long), and the
// status output; then the same with the read-back check, the TID read and the
// production journal (written from the settled claims, without a flush of its
// own). The stored "LastData" is written on a thread of its own while the tag
// is written: here it only takes CPU from the exchanges. A flush the cycle's
// own thread still makes (a first claim) is shown apart.
//
// The TagWriter runs against mkv-sim on a belt that brings a new tag at once.
// The SDK's exchange functions are wrapped here (forwarding to the library)
// so that the time inside them can be taken off each tick.
//
//   cycle_bench [TAGS] [WORK_FOLDER]    defaults: 1000, the current folder
#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/connection/open_reader.h"
#include "app/job/front_end.h"
#include "app/job/tag_writer.h"
#include "app/logs/status_log.h"
#include "app/logs/write_log.h"
#include "app/store/settings.h"
#include "reader/rdr.h"
#include "sim/sim_process.h"
#include "tests/app/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;
Clock::duration exchangeTime{};

// Times one call of the library function `name`.
template <typename Function, typename... Args>
int Timed(const char* name, Args... args) {
  static auto* real = reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
  if (real == nullptr) {
    std::fprintf(stderr, "cycle_bench: %s not found in the SDK\n", name);
    std::exit(2);
  }
  const auto start = Clock::now();
  const int result = real(args...);
  exchangeTime += Clock::now() - start;
  return result;
}

}  // namespace

// The ledger's flushes to disk on the cycle's own thread, timed. A claim made
// ahead of its tag is flushed on a thread of the ledger's own while the tag
// is looked for; only what the cycle still waits for counts outside.
Clock::duration flushTime{};
const std::thread::id cycleThread = std::this_thread::get_id();
extern "C" int fdatasync(int fd) {
  static auto* real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
  const auto start = Clock::now();
  const int result = real(fd);
  if (std::this_thread::get_id() == cycleThread) flushTime += Clock::now() - start;
  return result;
}

// The exchanges a write attempt makes, timed and handed on to the SDK.
extern "C" {
int RdrInventory(int handle, int param, unsigned char* buffer, int capacity) {
  return Timed<decltype(RdrInventory)>("RdrInventory", handle, param, buffer, capacity);
}
int RdrSelectTag(int handle, const unsigned char* epc, int epcLength) {
  return Timed<decltype(RdrSelectTag)>("RdrSelectTag", handle, epc, epcLength);
}
int RdrReadData(int handle, int bank, int startAddress, unsigned char* buffer, int count) {
  return Timed<decltype(RdrReadData)>("RdrReadData", handle, bank, startAddress, buffer, count);
}
int RdrWriteData(int handle, int bank, int startAddress, const unsigned char* data, int length) {
  return Timed<decltype(RdrWriteData)>("RdrWriteData", handle, bank, startAddress, data, length);
}
int RdrWriteDataPw(int handle, int bank, int startAddress, const unsigned char* password, const unsigned char* data,
                   int length) {
  return Timed<decltype(RdrWriteDataPw)>("RdrWriteDataPw", handle, bank, startAddress, password, data, length);
}
int RdrLock(int handle, int area, int action, const unsigned char* password) {
  return Timed<decltype(RdrLock)>("RdrLock", handle, area, action, password);
}
}

namespace {

// The status log of the window, as the front end would keep it.
class StatusFrontEnd : public stampwise::FrontEnd {
 public:
  void AppendStatus(const std::string& line) override { log_.Append(line); }

 private:
  stampwise::StatusLog log_;
};

class TickedTimer : public stampwise::CycleTimer {
 public:
  void Start(int) override { running_ = true; }
  void Stop() override { running_ = false; }
  bool IsRunning() const override { return running_; }

 private:
  bool running_ = false;
};

void FillLog(const std::string& path, int lines) {
  std::ofstream out(path, std::ios::binary);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  for (int i = 1; i <= lines; ++i) {
    char value[16];
    std::snprintf(value, sizeof value, "%08X", i);
    out << stampwise::FormatLogLine(i, local, stampwise::DataFormat::HexBinary, 0, 4, value);
  }
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return values[at];
}

struct Run {
  std::vector<double> outside;  // ms per tag outside the reader exchanges
  std::vector<double> inside;
  std::vector<double> flush;  // of the time outside: waiting for the disk
};

// One cycle of `tags` tags in `folder`; with `traced`, every write is read
// back, each tag's TID read and every attempt journaled.
bool RunCycle(int tags, const std::string& folder, bool traced, Run& run) {
  // The read-back needs the tag a little longer in the field.
  mkvsim::SimProcess sim({"--quiet", "--tags", "0", "--conveyor", traced ? "1,5" : "1,0"});
  const stampwise::ReaderIdentity id = stampwise::OpenReader(sim.PtyPath(), 19200, 1000);
  if (id.handle <= 0) {
    std::fprintf(stderr, "cycle_bench: cannot open mkv-sim\n");
    return false;
  }
  const std::string writeLog = folder + "/Protokoll_S.txt";
  FillLog(writeLog, 100000);

  stampwise::Settings settings(folder + "/settings.ini", folder + "/");
  StatusFrontEnd frontEnd;
  TickedTimer writeTimer;
  TickedTimer readTimer;
  stampwise::TagWriter writer(frontEnd, writeTimer, readTimer, &settings, nullptr);
  writer.SetLink(stampwise::TagLink(id.handle));
  stampwise::WriterConfig config;
  stampwise::ParameterSet& params = config.params;
  params.bank = stampwise::Bank::User;
  params.format = stampwise::DataFormat::HexBinary;
  params.lengthBytes = 4;
  params.autoIncrementDec = false;
  params.autoIncrementHex = true;
  params.value = "00000001";
  config.logs.writeLogFile = writeLog;
  config.logs.writeLogEnabled = true;
  if (traced) {
    config.trace.verify = true;
    config.trace.readTid = true;
    config.trace.journalPath = folder + "/journal.csv";
  }
  config.ledgerFile = folder + "/ledger.sqlite3";
  writer.Configure(config);

  writer.StartCycle(stampwise::Cycle::Write);
  for (long tick = 0; writer.ProgrammedCount() < tags && tick < 1000L * tags; ++tick) {
    const int before = writer.ProgrammedCount();
    exchangeTime = {};
    flushTime = {};
    const auto start = Clock::now();
    writer.Tick(stampwise::Cycle::Write);
    const auto total = Clock::now() - start;
    if (writer.ProgrammedCount() == before) continue;  // the belt was between tags
    run.outside.push_back(Ms(total - exchangeTime));
    run.inside.push_back(Ms(exchangeTime));
    run.flush.push_back(Ms(flushTime));
  }
  writer.StopCycle();
  RdrClose(id.handle);
  if (run.outside.size() < static_cast<std::size_t>(tags)) {
    std::fprintf(stderr, "cycle_bench: only %zu of %d tags written\n", run.outside.size(), tags);
    return false;
  }
  return true;
}

void Print(const char* what, const Run& run) {
  std::printf("%s\n", what);
  std::printf("  tags written:                   %zu\n", run.outside.size());
  std::printf("  outside exchanges, median:      %.3f ms\n", Percentile(run.outside, 0.5));
  std::printf("  outside exchanges, 90th pct:    %.3f ms\n", Percentile(run.outside, 0.9));
  std::printf("  outside exchanges, max:         %.3f ms\n", Percentile(run.outside, 1.0));
  std::printf("  of it flushing here, median:    %.3f ms\n", Percentile(run.flush, 0.5));
  std::printf("  inside exchanges, median:       %.3f ms\n", Percentile(run.inside, 0.5));
}

}  // namespace

int main(int argc, char** argv) {
  const int tags = argc > 1 ? std::atoi(argv[1]) : 1000;
  const std::string base = argc > 2 ? argv[2] : ".";
  const stampwise::testing::TempFolder plainWork("cycle_bench", base);
  const stampwise::testing::TempFolder tracedWork("cycle_bench", base);
  if (tags <= 0 || plainWork.Path().empty() || tracedWork.Path().empty()) {
    std::fprintf(stderr, "usage: cycle_bench [TAGS] [WORK_FOLDER]\n");
    return 2;
  }
  Run plain;
  Run traced;
  if (!RunCycle(tags, plainWork.Path(), false, plain) || !RunCycle(tags, tracedWork.Path(), true, traced)) return 1;
  Print("plain write cycle", plain);
  Print("with read-back check, TID and journal", traced);
  const double median = Percentile(plain.outside, 0.5);
  std::printf("journal and check add, median:    %.3f ms\n", Percentile(traced.outside, 0.5) - median);
  std::printf("journal and check add, 90th pct:  %.3f ms\n",
              Percentile(traced.outside, 0.9) - Percentile(plain.outside, 0.9));
  const double tracedMedian = Percentile(traced.outside, 0.5);
  std::printf("target: plain median under 1 ms: %s\n", median < 1.0 ? "met" : "MISSED");
  std::printf("target: traced median at most 0.5 ms: %s\n", tracedMedian <= 0.5 ? "met" : "MISSED");
  return median < 1.0 && tracedMedian <= 0.5 ? 0 : 1;
}
