// The serial programmer: writes the write value into the single tag in the
// field, once or cyclically, and reads the same area back. Drives the reader
// only through the SDK's C interface; the front end supplies the parameter
// set (validated), shows what this reports and runs the two timers.
#pragma once

#include <memory>
#include <string>

#include "app/beeper.h"
#include "app/enabling.h"
#include "app/front_end.h"
#include "app/inventory_step.h"
#include "app/log.h"
#include "app/params.h"
#include "app/settings.h"
#include "app/values.h"
#include "app/status_log.h"

namespace stampwise {

class TagWriter {
 public:
  // Status line of a write command whose controls did not validate.
  static constexpr const char* kUpdateDataFailed = "OnSchreiben UpdateData Fehler";

  // `settings` keeps the write value durable ahead of each write (may be null:
  // then nothing is stored). `beeper` may be null (silent).
  TagWriter(FrontEnd& frontEnd, CycleTimer& writeTimer, CycleTimer& readTimer, Settings* settings,
            Beeper* beeper, SteadyClock clock = std::chrono::steady_clock::now);

  // The open connection (0 or negative: none).
  void SetHandle(int handle) { handle_ = handle; }
  int Handle() const { return handle_; }

  // The working state, read from the controls by the front end before each
  // command and shown back after it.
  ParameterSet& Params() { return params_; }
  WriteOptions& Options() { return options_; }
  LogFileSettings& Logs() { return logs_; }
  int& BeepTimeMs() { return beepTimeMs_; }
  int& CycleTimeMs() { return cycleTimeMs_; }
  bool& KeepLastValue() { return keepLastValue_; }

  // Write side.
  bool WriteOnce();
  bool StartWriteCycle();
  void StopWriteCycle();
  void WriteTick();
  bool WriteAttempt(bool cyclic);

  // Read side.
  bool ReadOnce();
  bool StartReadCycle();
  void StopReadCycle();
  void ReadTick();
  bool ReadAttempt(bool cyclic);
  const std::string& LastReadText() const { return lastReadText_; }

  // Why the write side stopped by itself: the counter ran out, or the next
  // value could not be stored. A cycle ends at once in both cases; the reason
  // stays until the next write command.
  enum class Halt { kNone, kCounterExhausted, kStoreFailed };
  Halt HaltReason() const { return halt_; }

  Cycle RunningCycle() const;
  int ProgrammedCount() const { return programmedCount_; }
  int ReadCount() const { return readCount_; }
  const TagMemory& Memory() const { return memory_; }
  StatusReporter& Reporter() { return reporter_; }

 private:
  // The value for this tag and its bytes, with the value after it stored
  // ahead when the value counts.
  struct Claim {
    bool ok = false;
    Bytes bytes;
    std::string next;      // the write value after a success
    bool stored = false;   // `next` is in the settings store
  };
  Claim ClaimValue();
  bool WriteTagData(const Bytes& data, int bank, int start, const Claim& claim, const unsigned char* password);
  void GiveBack(const Claim& claim);
  void UseUp(const Claim& claim, const Bytes& epcBefore, int start, const Bytes& data, int error);
  bool ShowLibraryError();
  bool StopWith(Halt reason);
  void ShowExhausted();
  void AppendLogLine(LogFile& log, bool enabled, const std::string& value);
  void StartCycle(CycleTimer& timer);
  void StopCycle(CycleTimer& timer);

  FrontEnd& frontEnd_;
  CycleTimer& writeTimer_;
  CycleTimer& readTimer_;
  Settings* settings_;
  Beeper* beeper_;
  StatusReporter reporter_;
  TagMemory memory_;
  InventoryStep inventory_;

  int handle_ = 0;
  ParameterSet params_;
  WriteOptions options_;
  LogFileSettings logs_;
  LogFile writeLog_;
  LogFile readLog_;
  int beepTimeMs_ = 300;
  int cycleTimeMs_ = 250;
  bool keepLastValue_ = false;

  Halt halt_ = Halt::kNone;
  bool inWriteTick_ = false;
  bool inReadTick_ = false;
  int dataWriteCounter_ = 1;
  int programmedCount_ = 0;
  int readCount_ = 0;
  std::string lastReadText_;
};

}  // namespace stampwise
