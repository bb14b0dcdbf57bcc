// The serial programmer: writes the write value into the single tag in the
// field, once or cyclically, and reads the same area back. Drives the reader
// only through the SDK's C interface; the front end supplies the parameter
// set (validated), shows what this reports and runs the two timers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/base/params.h"
#include "app/connection/tag_link.h"
#include "app/gs1/gs1_job.h"
#include "app/job/attempt_recorder.h"
#include "app/job/beeper.h"
#include "app/job/front_end.h"
#include "app/job/inventory_step.h"
#include "app/job/traceability.h"
#include "app/job/value_source.h"
#include "app/ledger/lease_size.h"
#include "app/ledger/ledger.h"
#include "app/logs/status_log.h"
#include "app/logs/write_log.h"
#include "app/store/settings.h"
#include "app/values/enabling.h"
#include "app/values/values.h"

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
  // The write value (or GS1 URI) was given by the operator for this job:
  // it is used as it stands, not moved forward to the ledger's position.
  // Taken by the next write command, then cleared.
  bool explicitValue = false;
  // Bytes the ledger holds as used may go to a tag again (re-encoding a
  // damaged tag); recorded as such.
  bool allowReuse = false;
  // The ledger's file or a shared ledger's postgresql:// URI; empty: the
  // per-user default.
  std::string ledgerFile;
  // Values leased at a time from a shared ledger's pool.
  int leaseSize = ledger::kDefaultLeaseSize;
  // A shared ledger that does not answer once the lease is used up: a write
  // cycle or a station waits for it and goes on by itself (the window, a
  // station) instead of stopping (a command line job).
  bool waitForLedger = false;
};

class TagWriter {
 public:
  // Status line of a write command whose controls did not validate.
  static constexpr const char* kUpdateDataFailed = "OnSchreiben UpdateData Fehler";

  // `settings` gets the keys other programs read ("LastData", "NextUri", the
  // list's position) after each tag (may be null). `beeper` may be null
  // (silent). The ledger is the default one unless SetLedger names another.
  TagWriter(FrontEnd& frontEnd, CycleTimer& writeTimer, CycleTimer& readTimer, Settings* settings, Beeper* beeper,
            SteadyClock clock = std::chrono::steady_clock::now);
  // Gives back a value claimed for a tag that did not come.
  ~TagWriter();
  TagWriter(const TagWriter&) = delete;
  TagWriter& operator=(const TagWriter&) = delete;

  // The ledger every claim goes to; it must outlive the writer.
  void SetLedger(ledger::Ledger* ledger);
  // Told of every settled attempt from the next job on (null: nobody); it
  // must outlive the writer.
  void SetAttemptSink(AttemptSink* sink) { attemptSink_ = sink; }
  // The open connection's tag exchanges (ReaderClient::Tags); a link that is
  // not open when there is none.
  void SetLink(TagLink link) { link_ = link; }
  const TagLink& Link() const { return link_; }
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
  // Opens what the job needs (ledger, journal, value source) and checks
  // every value it can write; the messages say why not. Write commands do
  // this themselves; a front end may call it to show the value actually
  // next before anything is written.
  bool PrepareJob();
  // The front end shows the job's value as configured now: a value it
  // configures later that differs from what it was last shown is the
  // operator's own (taken as explicitValue).
  void MarkShown();
  // The last status line shown.
  const std::string& LastStatusLine() const { return lastStatusLine_; }
  const WriterConfig& Config() const { return config_; }

  // `waits`: a station's attempt, which waits for a shared ledger that does
  // not answer (see waitForLedger) as a cycle does; an operator's single
  // write stops instead.
  bool WriteOnce(bool waits = false);
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
  enum class Halt {
    kNone,
    kCounterExhausted,
    kStoreFailed,
    kJournalFailed,
    kValueList,
    kReaderLost,
    kLedger,     // the ledger cannot be used
    kBytesUsed,  // the next value's bytes were used before (see allowReuse)
    kBadValues,  // a value of the job does not pass the checks
  };
  Halt HaltReason() const { return halt_; }

  // The write side waits for its shared ledger (see waitForLedger): nothing
  // is tried on a tag until a lease is taken. A cycle's ticks ask again; a
  // station asks with RetryLedger. Stopping the cycle or a write command of
  // the operator's ends the wait.
  bool WaitingForLedger() const { return ledgerWait_; }
  // Asks the shared ledger for a lease again (at most as often as its own
  // back-off lets it); true once the job goes on, false while it waits or
  // when it halted (a conflict in what it sent then, see HaltReason).
  bool RetryLedger();

  // The job's value source, once a write command (or PrepareJob) made it.
  const ValueSource* Source() const { return source_.get(); }
  // A value list's next line (the one claimed ahead, see MayClaimAhead) and its
  // number of lines; nothing for other sources.
  std::optional<std::pair<int, int>> ListPosition() const;
  // The TID the last write attempt read of its tag (hex; empty when none).
  const std::string& AttemptTid() const { return place_.tid; }
  // The counter's write value as it stands (a list or GS1 job leaves it as configured).
  const std::string& CounterValue() const { return config_.params.value; }

  Cycle RunningCycle() const;
  int ProgrammedCount() const { return programmedCount_; }
  int ReadCount() const { return readCount_; }
  // The value for the next tag: the write value, a GS1 job's next tag URI or
  // the list's next line.
  std::string NextValueShown() const;
  const TagMemory& Memory() const { return memory_; }
  StatusReporter& Reporter() { return reporter_; }

 private:
  // What the source and the recorder were made for: a change makes them anew.
  struct JobKey {
    ParameterSet params;
    bool gs1 = false;
    bool gs1Increment = true;
    TraceConfig trace;
    bool operator==(const JobKey&) const = default;
  };
  JobKey KeyOf(const WriterConfig& config) const;
  bool OpenLedger();
  bool OpenRecorder();
  bool MakeSource();
  // Claims the next value; false (after the message, the write side
  // stopped where that is due) when none can be had.
  std::optional<ledger::Claim> ClaimValue(bool mayWait);
  // A write cycle claims the next tag's value as soon as a tag is done, in
  // the commit of its outcome, so that its flush to disk runs while the tag
  // is looked for. Taken by the next attempt (on disk and its tag recorded
  // first), or withdrawn when the cycle stops or the job changes.
  bool MayClaimAhead() const;
  Result<ledger::Claim> TakeAhead();
  // `report`: a failure is shown (not while the writer goes).
  void WithdrawAhead(bool report = true);
  void BeginLedgerWait();
  void EndLedgerWait();
  // Waits for the stored keys of the attempt under way; false when they
  // could not be written (shown, the job stops after this tag).
  bool FinishStoringKeys();
  // The source is used up, maybe by a claim a killed program left: the
  // stored keys follow the ledger there (never back), for other programs.
  void StoreEnd();
  // Records the outcome; false when the record failed (the job stops).
  // `claimNext`: a cycle's written tag, whose commit claims ahead.
  bool SettleClaim(ledger::Claim& claim, ledger::Outcome outcome, const Bytes& data, bool claimNext = false);
  // An attempt that took no value (its status line shown).
  void RecordFailedAttempt();
  // The read-back check of a write the reader reported done; false after a
  // mismatch (reported, its value used up).
  bool VerifyWrite(ledger::Claim& claim, const Bytes& data, int bank, int start);
  void ShowNextValue();
  Bank TargetBank() const { return config_.gs1.enabled ? Bank::Epc : config_.params.bank; }
  int TargetStart() const { return config_.gs1.enabled ? kGs1StartWord : config_.params.startWord; }
  // Writes the data, through the access password when one is set; false
  // when it failed (settled and reported).
  bool WriteTagData(const Bytes& data, int bank, int start, ledger::Claim& claim, const unsigned char* password);
  void UseUp(ledger::Claim& claim, const Bytes& epcBefore, int start, const Bytes& data, int error);
  void ShowReadTagUri(const Bytes& read);
  bool WriteAttempt(bool cyclic, bool mayWait);
  bool ReadAttempt(bool cyclic);
  // Shows the library's last error and reports the attempt on the tag as
  // failed; returns false for the caller to pass on.
  bool LibraryFailure(TagEvent::Kind kind, const Bytes& bytes = {});
  bool TagFailed(TagEvent::Kind kind, int status, int messageId, const Bytes& bytes = {});
  void ReportEmptyField(TagEvent::Kind kind, bool cyclic);
  void Report(TagEvent::Kind kind, TagEvent::Outcome outcome, std::string value, const Bytes& bytes, int counter,
              int status = 0, int messageId = 0);
  bool StopWith(Halt reason);
  bool StopWith(Halt reason, const Message& message);
  // After a failed attempt: stops both cycles when the reader is gone.
  void CheckLink();
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

  TagLink link_;
  std::function<bool()> linkLost_;
  std::string connection_;
  WriterConfig config_;
  LogFile writeLog_;
  LogFile readLog_;

  std::unique_ptr<ledger::Ledger> ownLedger_;  // opened from config_.ledgerFile
  std::string ownLedgerFile_;
  int ownLeaseSize_ = 0;
  ledger::Ledger* ledger_ = nullptr;
  std::unique_ptr<AttemptRecorder> recorder_;
  AttemptSink* attemptSink_ = nullptr;
  std::unique_ptr<ValueSource> source_;
  bool keysStored_ = false;               // the job's first stored keys are on disk
  std::unique_ptr<KeyWriter> keyWriter_;  // writes the later ones
  std::optional<JobKey> prepared_;
  std::optional<std::string> shownValue_;  // the counter's value or the GS1 URI the front end shows
  AttemptPlace place_;                     // of the attempt under way
  std::optional<ledger::Claim> ahead_;     // see MayClaimAhead
  std::string verify_ = "off";
  std::string lastStatusLine_;
  int statusLines_ = 0;  // shown so far, to tell a fresh line from a suppressed repeat

  Halt halt_ = Halt::kNone;
  bool ledgerWait_ = false;
  bool inTick_ = false;
  int dataWriteCounter_ = 1;
  int programmedCount_ = 0;
  int readCount_ = 0;
  std::string lastReadText_;
};

}  // namespace stampwise
