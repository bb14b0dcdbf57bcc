// One simulated Gen2 tag: four memory banks and the lock state of its five
// lockable areas. Knows nothing about frames or the field it sits in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mkvsim {

using Bytes = std::vector<std::uint8_t>;

enum class Bank : std::uint8_t { kReserved = 0, kEpc = 1, kTid = 2, kUser = 3 };

// Lockable areas in the numbering the lock command uses.
enum class LockArea : std::uint8_t { kKillPassword = 0, kAccessPassword = 1, kEpc = 2, kTid = 3, kUser = 4 };

// Lock actions: writable, permanently writable, password-protected, permanently locked.
enum class LockAction : std::uint8_t { kUnlock = 0, kPermaUnlock = 1, kLock = 2, kPermaLock = 3 };

// Why a memory access was refused.
enum class AccessResult { kOk, kOutOfRange, kDenied };

class SimTag {
 public:
  static constexpr std::size_t kReservedBytes = 8;
  static constexpr std::size_t kEpcBankBytes = 4 + 62;  // CRC, PC and up to 31 EPC words
  static constexpr std::size_t kTidBytes = 12;
  static constexpr std::size_t kUserBytes = 64;
  static constexpr std::uint16_t kBlankPc = 0x3000;  // 6 EPC words

  // A blank tag: zero passwords, PC 0x3000, the given 12-byte EPC and TID serial.
  SimTag(std::uint32_t id, const Bytes& epc);

  std::uint32_t Id() const { return id_; }

  // The EPC as an inventory reports it: as many words as the PC word announces.
  Bytes Epc() const;
  std::uint16_t Pc() const;
  // Replaces the EPC and sets the PC word's length bits to match.
  void SetEpc(const Bytes& epc);

  AccessResult Read(Bank bank, std::size_t word, std::size_t count, Bytes& out) const;
  // withPassword: the caller has proven the access password (password-locked areas open up).
  AccessResult Write(Bank bank, std::size_t word, const Bytes& data, bool withPassword);
  bool PasswordMatches(const std::uint8_t* password) const;
  AccessResult Lock(LockArea area, LockAction action);

 private:
  enum class LockState { kOpen, kPermaOpen, kLocked, kPermaLocked };

  std::vector<std::uint8_t>& BankBytes(Bank bank);
  const std::vector<std::uint8_t>& BankBytes(Bank bank) const;
  // The lock state that governs a byte range of a bank (the strictest one it touches).
  LockState StateFor(Bank bank, std::size_t byteBegin, std::size_t byteEnd) const;
  void UpdateStoredCrc();

  std::uint32_t id_;
  std::array<Bytes, 4> banks_;
  std::array<LockState, 5> locks_{};
};

}  // namespace mkvsim
