// The serial programmer: writes the write value into the single tag in the
// field, once or cyclically, and reads the same area back. Drives the reader
// only through the SDK's C interface; the front end supplies the parameter
// set (validated), shows what this reports and runs the two timers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/beeper.h"
#include "app/enabling.h"
#include "app/front_end.h"
#include "app/gs1_job.h"
#include "app/inventory_step.h"
#include "app/log.h"
#include "app/params.h"
#include "app/settings.h"
#include "app/status_log.h"
#include "app/values.h"
#include "app/write_trace.h"

namespace stampwise {

// A job as the front end sets it up: read from the controls (validated)
// before each command, from the options on the command line.
struct WriterConfig {
  ParameterSet params;
  WriteOptions options;
  LogFileSettings logs;
  int beepTimeMs = 300;
  int cycleTimeMs = 250;  // taken when a cycle starts
  bool keepLastValue = false;
  // A GS1 job instead of the write value: when enabled, writes go to the EPC
  // bank from word 2 with the EPC length word set, whatever `params` say.
  Gs1Job gs1 = {};
  // Read-back check, TIDs, the journal and value lists.
  TraceConfig trace = {};
};

class TagWriter {
 public:
  // Status line of a write command whose controls did not validate.
  static constexpr const char* kUpdateDataFailed = "OnSchreiben UpdateData Fehler";

  // `settings` keeps the write value durable ahead of each write (may be null:
  // then nothing is stored). `beeper` may be null (silent).
  TagWriter(FrontEnd& frontEnd, CycleTimer& writeTimer, CycleTimer& readTimer, Settings* settings, Beeper* beeper,
            SteadyClock clock = std::chrono::steady_clock::now);

  // The open connection (0 or negative: none).
  void SetHandle(int handle) { handle_ = handle; }
  int Handle() const { return handle_; }
  // Asked after every failed attempt: true when the reader is gone (see
  // ReaderClient::LinkLost). Then the cycles stop with the message naming
  // `connection`, and HaltReason says kReaderLost.
  void WatchLink(std::function<bool()> lost, std::string connection) {
    linkLost_ = std::move(lost);
    connection_ = std::move(connection);
  }

  // The job. The write value moves on as tags are written: the snapshot
  // always has the value for the next tag, for the front end to show back.
  void Configure(const WriterConfig& config) { config_ = config; }
  const WriterConfig& Config() const { return config_; }

  bool WriteOnce();
  bool ReadOnce();
  const std::string& LastReadText() const { return lastReadText_; }

  // One cycle at a time: a start while one runs is refused. A tick is one
  // period of the cycle's timer; a tick that comes while one runs is dropped.
  bool StartCycle(Cycle cycle);
  void StopCycle();
  void Tick(Cycle cycle);

  // Why the write side stopped by itself: the counter ran out, the next
  // value could not be stored, the journal could not be written, or the
  // value list ended, changed or held a value that cannot be written. A cycle
  // ends at once; the reason stays until the next write command.
  enum class Halt { kNone, kCounterExhausted, kStoreFailed, kJournalFailed, kValueList, kReaderLost };
  Halt HaltReason() const { return halt_; }

  // The value list of the job, once a write command has opened it.
  const ValueListCursor* ValueList() const { return trace_.List(); }

  Cycle RunningCycle() const;
  int ProgrammedCount() const { return programmedCount_; }
  int ReadCount() const { return readCount_; }
  // The value for the next tag: the write value, or a GS1 job's next tag URI.
  const std::string& NextValueShown() const { return config_.gs1.enabled ? config_.gs1.nextUri : config_.params.value; }
  const TagMemory& Memory() const { return memory_; }
  StatusReporter& Reporter() { return reporter_; }

 private:
  // The value for this tag and its bytes, with the value after it stored
  // ahead when the value counts.
  struct Claim {
    bool ok = false;
    Bytes bytes;
    std::string next;     // the write value after a success
    bool stored = false;  // `next` is in the settings store
    int messageId = 0;    // why the value could not be claimed
    int listLine = 0;     // the value list's line taken (0: none)
  };
  // What the journal line of the attempt under way needs beyond its event.
  struct Attempt {
    bool active = false;
    std::string tid;
    Bytes epcBefore;
    std::string verify = "off";
    int listLine = 0;
    int start = 0;   // word
    int length = 0;  // bytes
  };
  Claim ClaimValue();
  Claim ClaimListValue();
  Claim StoreFailed(Claim& claim, const std::string& error);
  // Opens the job's journal and value list; false (after the message, the
  // write side stopped) when one cannot be used.
  bool PrepareTrace();
  void JournalOpenListLine();
  void JournalPendingAttempt();
  JournalEntry EntryOf(const TagEvent& event) const;
  bool IntendAttempt(const Claim& claim, const Bytes& data);
  void Journal(const TagEvent& event);
  // The read-back check of a write the reader reported done; false after a
  // mismatch (reported, its value used up).
  bool VerifyWrite(const Claim& claim, const Bytes& data, int bank, int start);
  void BeginAttempt();
  Claim ClaimGs1();
  // The value for the next tag: the write value, or a GS1 job's next tag URI.
  std::string& NextValue() { return config_.gs1.enabled ? config_.gs1.nextUri : config_.params.value; }
  void ShowNextValue();
  Bank TargetBank() const { return config_.gs1.enabled ? Bank::Epc : config_.params.bank; }
  bool WriteTagData(const Bytes& data, int bank, int start, const Claim& claim, const unsigned char* password);
  void GiveBack(const Claim& claim);
  void UseUp(const Claim& claim, const Bytes& epcBefore, int start, const Bytes& data, int error);
  void ShowReadTagUri(const Bytes& read);
  bool WriteAttempt(bool cyclic);
  bool ReadAttempt(bool cyclic);
  // Shows the library's last error and reports the attempt on the tag as
  // failed; returns false for the caller to pass on.
  bool LibraryFailure(TagEvent::Kind kind, const Bytes& bytes = {});
  bool TagFailed(TagEvent::Kind kind, int status, int messageId, const Bytes& bytes = {});
  void ReportEmptyField(TagEvent::Kind kind, bool cyclic);
  void Report(TagEvent::Kind kind, TagEvent::Outcome outcome, std::string value, const Bytes& bytes, int counter,
              int status = 0, int messageId = 0);
  bool StopWith(Halt reason);
  // After a failed attempt: stops both cycles when the reader is gone.
  void CheckLink();
  void ShowExhausted();
  void AppendLogLine(LogFile& log, bool enabled, const std::string& value);
  void AppendLogLine(LogFile& log, bool enabled, DataFormat format, int startWord, int lengthBytes,
                     const std::string& value);
  CycleTimer& TimerOf(Cycle cycle);
  void StopTimer(CycleTimer& timer);

  FrontEnd& frontEnd_;
  CycleTimer& writeTimer_;
  CycleTimer& readTimer_;
  Settings* settings_;
  Beeper* beeper_;
  StatusReporter reporter_;
  TagMemory memory_;
  InventoryStep inventory_;

  int handle_ = 0;
  std::function<bool()> linkLost_;
  std::string connection_;
  WriterConfig config_;
  LogFile writeLog_;
  LogFile readLog_;

  WriteTrace trace_;
  Attempt attempt_;
  std::string lastStatusLine_;
  int statusLines_ = 0;  // shown so far, to tell a fresh line from a suppressed repeat

  Halt halt_ = Halt::kNone;
  bool inTick_ = false;
  int dataWriteCounter_ = 1;
  int programmedCount_ = 0;
  int readCount_ = 0;
  std::string lastReadText_;
};

}  // namespace stampwise
