// The simulated reader: a protocol responder over a field of simulated tags.
// Bytes from the host go in through Feed; reply frames come out. Used by the
// mkv-sim program and, in process, by the test fake of the D2XX library.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mkvsim {

using Bytes = std::vector<std::uint8_t>;
class FaultPlan;
struct WriteEntry;

struct SimOptions {
  std::string modelCode = "3125";  // version reply: three hex digits of the type code + firmware char
  int variants = 2;                // framing variants answered: 0, 1, or 2 for both
  std::uint8_t address = 1;        // device address (requests to other addresses are ignored)
  int initialTags = 1;             // blank tags placed in the field at start
  std::string recordPath;          // every write that reaches a tag is appended here (empty: none)
  int conveyorIntervalMs = 0;      // conveyor mode when > 0: a new tag after this long with an empty field
  int conveyorHoldMs = 300;        // a written tag leaves the field this long after its last write
  // Time source for the conveyor and for dropping abandoned partial requests (tests step it).
  std::function<std::chrono::steady_clock::time_point()> clock;
};

struct TagInfo {
  std::uint32_t id = 0;
  Bytes epc;
  bool selected = false;
};

struct TimedReply {
  Bytes bytes;
  std::chrono::milliseconds delay{0};  // how long a delay fault wants the reply held back
  std::size_t chipBytes = 0;           // what the tags' chips wrote for these requests
};

class SimReader {
 public:
  // Throws std::runtime_error when the record file cannot be opened.
  explicit SimReader(const SimOptions& options);
  ~SimReader();
  SimReader(const SimReader&) = delete;
  SimReader& operator=(const SimReader&) = delete;

  // Takes bytes received from the host and returns the bytes to send back
  // (empty while no complete request has arrived). Thread-safe. A delay fault
  // is served by sleeping (without holding the lock) before returning.
  Bytes Feed(const std::uint8_t* data, std::size_t size);
  // As Feed, but hands the delay to the caller instead of sleeping.
  TimedReply FeedTimed(const std::uint8_t* data, std::size_t size);

  // Forgets a partial request, e.g. when another host connection starts talking.
  void ResetInput();

  // Control of the field, the faults and the record; all thread-safe.
  std::size_t AddTag(const std::optional<Bytes>& epc = std::nullopt);
  void RemoveAllTags();
  bool RemoveTag(std::size_t index);
  // The belt moves one place on the test's word: every tag in the field
  // leaves and `count` new blank tags come in.
  void NextOnBelt(int count);
  std::vector<TagInfo> Tags();
  void ChangeFaults(const std::function<void(FaultPlan&)>& change);
  std::string DescribeFaults();
  int TxPower();
  std::size_t WrittenCount();
  std::vector<WriteEntry> Writes();
  // False once a write could not be appended to the record file.
  bool RecordOk();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mkvsim
