#include "sim/sim_tag.h"

#include <algorithm>

namespace mkvsim {

namespace {

constexpr std::size_t kPcOffset = 2;
constexpr std::size_t kEpcOffset = 4;
constexpr std::size_t kTidSerialOffset = 4;

// The CRC a Gen2 tag keeps in EPC word 0: CRC-16/CCITT over PC and EPC, inverted.
std::uint16_t Gen2Crc(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= static_cast<std::uint16_t>(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021) : static_cast<std::uint16_t>(crc << 1);
  }
  return static_cast<std::uint16_t>(~crc);
}

}  // namespace

SimTag::SimTag(std::uint32_t id, const Bytes& epc) : id_(id) {
  banks_[0].assign(kReservedBytes, 0);
  banks_[1].assign(kEpcBankBytes, 0);
  banks_[2].assign(kTidBytes, 0);
  banks_[3].assign(kUserBytes, 0);
  // TID: a fixed class/model prefix, then a serial number unique per tag.
  Bytes& tid = banks_[2];
  tid[0] = 0xE2;
  tid[1] = 0x00;
  tid[2] = 0x3F;
  tid[3] = 0x12;
  for (int i = 0; i < 4; ++i)
    tid[kTidSerialOffset + 7 - static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(id >> (8 * i));
  SetEpc(epc);
}

std::uint16_t SimTag::Pc() const {
  const Bytes& epcBank = banks_[1];
  return static_cast<std::uint16_t>((epcBank[kPcOffset] << 8) | epcBank[kPcOffset + 1]);
}

Bytes SimTag::Epc() const {
  const std::size_t words = Pc() >> 11;
  const Bytes& epcBank = banks_[1];
  return Bytes(epcBank.begin() + kEpcOffset, epcBank.begin() + static_cast<std::ptrdiff_t>(kEpcOffset + words * 2));
}

void SimTag::SetEpc(const Bytes& epc) {
  Bytes& epcBank = banks_[1];
  const std::size_t size = std::min(epc.size(), kEpcBankBytes - kEpcOffset);
  const std::size_t words = (size + 1) / 2;
  std::fill(epcBank.begin() + kEpcOffset, epcBank.end(), 0);
  std::copy_n(epc.begin(), size, epcBank.begin() + kEpcOffset);
  epcBank[kPcOffset] = static_cast<std::uint8_t>((epcBank[kPcOffset] & 0x07) | (words << 3));
  UpdateStoredCrc();
}

void SimTag::UpdateStoredCrc() {
  Bytes& epcBank = banks_[1];
  const std::size_t words = Pc() >> 11;
  const std::uint16_t crc = Gen2Crc(epcBank.data() + kPcOffset, 2 + words * 2);
  epcBank[0] = static_cast<std::uint8_t>(crc >> 8);
  epcBank[1] = static_cast<std::uint8_t>(crc & 0xFF);
}

Bytes& SimTag::BankBytes(Bank bank) { return banks_[static_cast<std::size_t>(bank)]; }
const Bytes& SimTag::BankBytes(Bank bank) const { return banks_[static_cast<std::size_t>(bank)]; }

SimTag::LockState SimTag::StateFor(Bank bank, std::size_t byteBegin, std::size_t byteEnd) const {
  auto strictest = [](LockState a, LockState b) {
    auto rank = [](LockState s) { return s == LockState::kPermaLocked ? 2 : s == LockState::kLocked ? 1 : 0; };
    return rank(a) >= rank(b) ? a : b;
  };
  switch (bank) {
    case Bank::kReserved: {
      LockState state = LockState::kOpen;
      if (byteBegin < 4) state = strictest(state, locks_[0]);
      if (byteEnd > 4) state = strictest(state, locks_[1]);
      return state;
    }
    case Bank::kEpc: return locks_[2];
    case Bank::kTid: return locks_[3];
    case Bank::kUser: return locks_[4];
  }
  return LockState::kOpen;
}

AccessResult SimTag::Read(Bank bank, std::size_t word, std::size_t count, Bytes& out) const {
  const Bytes& bytes = BankBytes(bank);
  const std::size_t begin = word * 2;
  if (begin > bytes.size() || count > bytes.size() - begin) return AccessResult::kOutOfRange;
  // Locked passwords are read-protected as well as write-protected.
  const LockState state = StateFor(bank, begin, begin + count);
  if (bank == Bank::kReserved && count > 0 && (state == LockState::kLocked || state == LockState::kPermaLocked))
    return AccessResult::kDenied;
  out.assign(bytes.begin() + static_cast<std::ptrdiff_t>(begin),
             bytes.begin() + static_cast<std::ptrdiff_t>(begin + count));
  return AccessResult::kOk;
}

AccessResult SimTag::Write(Bank bank, std::size_t word, const Bytes& data, bool withPassword) {
  Bytes& bytes = BankBytes(bank);
  const std::size_t begin = word * 2;
  if (begin > bytes.size() || data.size() > bytes.size() - begin) return AccessResult::kOutOfRange;
  if (bank == Bank::kTid) return AccessResult::kDenied;  // factory-programmed, read-only
  const LockState state = StateFor(bank, begin, begin + data.size());
  if (state == LockState::kPermaLocked) return AccessResult::kDenied;
  if (state == LockState::kLocked && !withPassword) return AccessResult::kDenied;
  std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(begin));
  if (bank == Bank::kEpc && begin + data.size() > 2) UpdateStoredCrc();
  return AccessResult::kOk;
}

bool SimTag::PasswordMatches(const std::uint8_t* password) const {
  return std::equal(password, password + 4, banks_[0].begin() + 4);
}

AccessResult SimTag::Lock(LockArea area, LockAction action) {
  LockState& state = locks_[static_cast<std::size_t>(area)];
  LockState wanted = LockState::kOpen;
  switch (action) {
    case LockAction::kUnlock: wanted = LockState::kOpen; break;
    case LockAction::kPermaUnlock: wanted = LockState::kPermaOpen; break;
    case LockAction::kLock: wanted = LockState::kLocked; break;
    case LockAction::kPermaLock: wanted = LockState::kPermaLocked; break;
  }
  // Permanent states can be repeated but never changed.
  const bool permanent = state == LockState::kPermaOpen || state == LockState::kPermaLocked;
  if (permanent && state != wanted) return AccessResult::kDenied;
  state = wanted;
  return AccessResult::kOk;
}

}  // namespace mkvsim
