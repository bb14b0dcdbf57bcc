// The reader's command set over a field of tags: one request in, one status
// and reply data out. Framing, addressing and faults are the caller's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sim/fault_plan.h"
#include "sim/request_assembler.h"
#include "sim/tag_field.h"
#include "sim/write_journal.h"

namespace mkvsim {

// Reader status bytes.
namespace status {
constexpr std::uint8_t kOk = 0;
constexpr std::uint8_t kBadLength = 6;      // payload too short or an argument out of range
constexpr std::uint8_t kNoTag = 21;         // no tag, no selected tag, or the tag did not do it
constexpr std::uint8_t kAccessDenied = 22;  // locked area, read-only bank or wrong access password
constexpr std::uint8_t kCollision = 23;     // more than one tag in the field
constexpr std::uint8_t kUnknownCommand = 24;
}  // namespace status

struct Response {
  std::uint8_t status = status::kOk;
  Bytes data;
  std::size_t chipBytes = 0;  // what the tag's chip wrote to its memory
};

class CommandSet {
 public:
  // Told about every write that reached a tag (tag id).
  using WriteListener = std::function<void(std::uint32_t)>;

  CommandSet(std::string modelCode, TagField& field, FaultPlan& faults, WriteJournal& journal);

  Response Execute(const Request& request);

  void SetWriteListener(WriteListener listener) { onWrite_ = std::move(listener); }
  int TxPower() const { return txPower_; }
  int Mode() const { return mode_; }
  // False when the last write could not be recorded in the record file.
  bool RecordOk() const { return recordOk_; }

 private:
  Response Inventory();
  Response Select(const Bytes& payload);
  Response Read(const Bytes& payload);
  Response Write(const Bytes& payload, bool withPassword);
  Response Lock(const Bytes& payload);
  // The selected tag if it may be talked to; otherwise the status that says why not.
  SimTag* Target(std::uint8_t& failure);

  std::string modelCode_;
  TagField& field_;
  FaultPlan& faults_;
  WriteJournal& journal_;
  WriteListener onWrite_;
  int txPower_ = 270;  // tenths of a dBm
  int mode_ = 0;
  bool recordOk_ = true;
  bool hideNextInventory_ = false;  // an "unseen" fault after the last write
};

}  // namespace mkvsim
