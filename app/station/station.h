// A station the line's PLC drives: each trigger runs one write attempt of the
// tag writer, and a register image tells the PLC how it ended. The PLC's side
// (plc/) fires triggers and reads the image from its own thread; the attempts
// run on the thread that owns the tag writer, which `dispatch` hands them to.
// The station never starts an attempt by itself.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "app/base/tag_event.h"
#include "app/job/tag_writer.h"

namespace stampwise {

// The register map, in Modbus numbering from 0.
namespace station {

inline constexpr int kTriggerCoil = 0;

enum Input { kReady, kBusy, kPassed, kRejected, kHalted, kInputCount };

enum Register {
  kWrittenCount = 0,   // 0-1, unsigned 32-bit, high word first
  kRejectedCount = 2,  // 2-3
  kUnknownCount = 4,   // 4-5
  kLastOutcome = 6,
  kLastStatus = 7,  // the reader library's error code
  kByteCount = 8,
  kBytes = 9,  // 9-40: two bytes per register, first byte high
  kTid = 41,   // 41-48: TID words
  kRegisterCount = 49,
};
inline constexpr int kByteRegisters = kTid - kBytes;
inline constexpr int kTidRegisters = kRegisterCount - kTid;
// Holding register 0 is kept for a later job selection; it reads 0.
inline constexpr int kHoldingCount = 1;

enum class Outcome : std::uint16_t { kNoneYet, kWritten, kFailed, kUnknown, kMismatch, kNoTag, kSeveralTags };

// What the last event of an attempt comes to. An attempt without one either
// stopped before any tag (`halted`: failed) or its inventory found nothing
// (an exchange that failed: no tag).
Outcome OutcomeOf(const std::optional<TagEvent>& last, bool halted);
bool Rejects(Outcome outcome);

}  // namespace station

// The registers as the PLC reads them.
struct StationImage {
  bool trigger = false;
  std::array<bool, station::kInputCount> inputs{};
  std::array<std::uint16_t, station::kRegisterCount> registers{};
};

class Station {
 public:
  enum class Trigger { kAccepted, kBusy, kNotReady };

  // `dispatch` must not block: it hands the accepted trigger to the writer's
  // thread, which then calls RunAttempt.
  Station(TagWriter& writer, std::function<void()> dispatch);
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // Ready needs an open reader and a job that passed its checks; a halted
  // writer (counter or list at its end, reader lost, ...) is never ready again
  // until it is set up anew. A writer waiting for its shared ledger is not
  // ready until Resume finds it answering.
  void SetReady(bool readerOpen, bool jobValid);

  // Any thread. A trigger while an attempt runs is refused, never queued.
  Trigger Fire();

  // The writer's thread: one write attempt, then the image is updated at
  // once and the trigger cleared. A station no longer ready settles the
  // trigger as failed without an attempt.
  void RunAttempt();
  // The writer's thread: every attempt's outcome (FrontEnd::TagDone).
  void Note(const TagEvent& event);
  // The writer's thread, while the station waits for its shared ledger:
  // asks it again; true while the station still waits.
  bool Resume();

  // Any thread.
  StationImage Image() const;
  // The outcome of the last attempt and how many have settled.
  station::Outcome LastOutcome() const;
  int Settled() const;
  // Whether the station halted (it takes no trigger until set up anew).
  bool Halted() const;
  // Whether it waits for its shared ledger (it takes no trigger meanwhile).
  bool Waiting() const;

 private:
  void UpdateInputs();

  TagWriter& writer_;
  std::function<void()> dispatch_;
  // The writer's thread only.
  bool inAttempt_ = false;
  std::optional<TagEvent> lastEvent_;

  mutable std::mutex mutex_;
  StationImage image_;
  bool readerOpen_ = false;
  bool jobValid_ = false;
  bool halted_ = false;
  bool waiting_ = false;
  std::uint32_t written_ = 0;
  std::uint32_t rejected_ = 0;
  std::uint32_t unknown_ = 0;
  int settled_ = 0;
};

}  // namespace stampwise
