#include "sim/command_set.h"

#include <utility>

#include "protocol/command_codes.h"

namespace mkvsim {

namespace command = qlmkv::command;

namespace {

constexpr std::size_t kMemoryHeader = 4;  // bank, 3-byte start word
constexpr std::size_t kPasswordSize = 4;
constexpr std::size_t kLockBitsSize = 2;
const char kDeviceText[] = "QL-MKV simulated reader";

std::size_t StartWord(const Bytes& payload) {
  return static_cast<std::size_t>(payload[1]) | static_cast<std::size_t>(payload[2]) << 8 |
         static_cast<std::size_t>(payload[3]) << 16;
}

std::uint8_t StatusFor(AccessResult result) {
  switch (result) {
    case AccessResult::kOk: return status::kOk;
    case AccessResult::kOutOfRange: return status::kNoTag;
    case AccessResult::kDenied: return status::kAccessDenied;
  }
  return status::kNoTag;
}

}  // namespace

CommandSet::CommandSet(std::string modelCode, TagField& field, FaultPlan& faults, WriteJournal& journal)
    : modelCode_(std::move(modelCode)), field_(field), faults_(faults), journal_(journal) {}

Response CommandSet::Execute(const Request& request) {
  const Bytes& payload = request.payload;
  switch (request.command) {
    case command::kVersion: return {status::kOk, Bytes(modelCode_.begin(), modelCode_.end())};
    case command::kSetMode:
      if (payload.empty() || (payload[0] & 0x7F) > 3) return {status::kBadLength, {}};
      mode_ = payload[0];
      return {};
    case command::kInventory: return Inventory();
    case command::kSelectTag: return Select(payload);
    case command::kRead: return Read(payload);
    case command::kWrite: return Write(payload, false);
    case command::kWritePw: return Write(payload, true);
    case command::kLock: return Lock(payload);
    case command::kGetTxPower:
      return {status::kOk, {static_cast<std::uint8_t>(txPower_ & 0xFF), static_cast<std::uint8_t>(txPower_ >> 8)}};
    case command::kSetTxPower:
      if (payload.size() < 2) return {status::kBadLength, {}};
      txPower_ = payload[0] | payload[1] << 8;
      return {};
    case command::kDeviceText: return {status::kOk, Bytes(std::begin(kDeviceText), std::end(kDeviceText) - 1)};
    case command::kSwitchUsbMode:
      if (payload.size() != 1 || (payload[0] != 1 && payload[0] != 2)) return {status::kBadLength, {}};
      return {};
    default: return {status::kUnknownCommand, {}};
  }
}

Response CommandSet::Inventory() {
  if (hideNextInventory_) {
    hideNextInventory_ = false;
    return {status::kOk, {0, 0, 0}};
  }
  const std::size_t count = field_.Count();
  if (count > 1 && faults_.Collision()) return {status::kCollision, {}};
  Response response;
  response.data = {static_cast<std::uint8_t>(count > 255 ? 255 : count), 0, 0};
  if (count == 1) {
    const SimTag& tag = field_.Tags().front();
    const std::uint16_t pc = tag.Pc();
    response.data[1] = static_cast<std::uint8_t>(pc >> 8);
    response.data[2] = static_cast<std::uint8_t>(pc & 0xFF);
    const Bytes epc = tag.Epc();
    response.data.insert(response.data.end(), epc.begin(), epc.end());
  }
  return response;
}

Response CommandSet::Select(const Bytes& payload) {
  if (field_.Count() == 0) return {status::kNoTag, {}};
  if (field_.Count() > 1) return {status::kCollision, {}};
  return {field_.Select(payload) ? status::kOk : status::kNoTag, {}};
}

SimTag* CommandSet::Target(std::uint8_t& failure) {
  if (field_.Count() > 1) {
    failure = status::kCollision;
    return nullptr;
  }
  SimTag* tag = field_.Selected();
  if (tag == nullptr) failure = status::kNoTag;
  return tag;
}

Response CommandSet::Read(const Bytes& payload) {
  if (payload.size() < kMemoryHeader + 1 || payload[0] > 3) return {status::kBadLength, {}};
  std::uint8_t failure = status::kOk;
  const SimTag* tag = Target(failure);
  if (tag == nullptr) return {failure, {}};
  Response response;
  response.status = StatusFor(tag->Read(static_cast<Bank>(payload[0]), StartWord(payload), payload[4], response.data));
  return response;
}

Response CommandSet::Write(const Bytes& payload, bool withPassword) {
  const std::size_t dataAt = kMemoryHeader + (withPassword ? kPasswordSize : 0);
  if (payload.size() <= dataAt || payload[0] > 3) return {status::kBadLength, {}};
  std::uint8_t failure = status::kOk;
  SimTag* tag = Target(failure);
  if (tag == nullptr) return {failure, {}};
  if (withPassword && !tag->PasswordMatches(payload.data() + kMemoryHeader)) return {status::kAccessDenied, {}};
  if (const int refusal = faults_.TakeRefusal(); refusal != 0) return {static_cast<std::uint8_t>(refusal), {}};

  WriteEntry entry{tag->Id(), payload[0], StartWord(payload),
                   Bytes(payload.begin() + static_cast<std::ptrdiff_t>(dataAt), payload.end())};
  // The record keeps what the tag holds afterwards.
  if (faults_.TakeCorrupt()) entry.data.back() = static_cast<std::uint8_t>(~entry.data.back());
  const AccessResult result = tag->Write(static_cast<Bank>(entry.bank), entry.word, entry.data, withPassword);
  if (result != AccessResult::kOk) return {StatusFor(result), {}};
  recordOk_ = journal_.Add(entry);
  if (onWrite_) onWrite_(entry.tagId);
  if (faults_.TakeUnseen()) hideNextInventory_ = true;
  // The tag took the data, but the reader may still report that it did not.
  const std::uint8_t reported = faults_.TakeLostAck() ? status::kNoTag : status::kOk;
  return {reported, {}, entry.data.size()};
}

Response CommandSet::Lock(const Bytes& payload) {
  if (payload.size() < kPasswordSize + 2) return {status::kBadLength, {}};
  const std::uint8_t action = payload[kPasswordSize];
  const std::uint8_t area = payload[kPasswordSize + 1];
  if (action > 3 || area > 4) return {status::kBadLength, {}};
  std::uint8_t failure = status::kOk;
  SimTag* tag = Target(failure);
  if (tag == nullptr) return {failure, {}};
  if (!tag->PasswordMatches(payload.data())) return {status::kAccessDenied, {}};
  const std::uint8_t result = StatusFor(tag->Lock(static_cast<LockArea>(area), static_cast<LockAction>(action)));
  // A lock writes the tag's lock bits: one word.
  return {result, {}, result == status::kOk ? kLockBitsSize : 0};
}

}  // namespace mkvsim
