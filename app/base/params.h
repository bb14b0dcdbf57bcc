// The parameter set of the tag writer: what to write where and how. Owned by
// the front end, persisted in the settings and in data record files, and read
// by the value conversions and the write and read cycles.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace stampwise {

enum class Bank { Reserved = 0, Epc = 1, Tid = 2, User = 3 };

// A bank's names: as "MemoryType" stores it, and as the journal, the ledger
// and the command line write it.
struct BankName {
  Bank bank;
  const char* stored;
  const char* key;
};
inline constexpr std::array<BankName, 4> kBankNames{{
    {Bank::Reserved, "Res", "res"},
    {Bank::Epc, "EPC", "epc"},
    {Bank::Tid, "TID", "tid"},
    {Bank::User, "User", "user"},
}};
// The names of `bank`; those of User for a number that is no bank.
inline const BankName& NamesOf(Bank bank) {
  const auto index = static_cast<std::size_t>(bank);
  return kBankNames[index < kBankNames.size() ? index : kBankNames.size() - 1];
}
inline std::optional<Bank> BankOfKey(std::string_view key) {
  for (const BankName& name : kBankNames) {
    if (key == name.key) return name.bank;
  }
  return std::nullopt;
}

// Data formats, in the order of the radio group.
enum class DataFormat {
  HexBinary = 0,
  HexAscii = 1,
  DecimalBinary = 2,
  DecimalAscii = 3,
  DataBinary = 4,
  DataAscii = 5,
};

struct ParameterSet {
  DataFormat format = DataFormat::HexBinary;  // "Datenformat"
  int lengthBytes = 4;                        // "Byteanzahl"
  int startWord = 0;                          // "Startblock"
  Bank bank = Bank::User;                     // "MemoryType"
  bool msbFirst = true;                       // "MSBFirst"
  bool autoIncrementDec = true;               // "AutoIncrement"
  bool autoIncrementHex = true;               // "AutoIncHex"
  bool leadingZeros = false;                  // "AutoNull"
  bool additionalText = false;                // "PrefixZulassen"
  std::string value = "0";                    // "LastData", the write value
  bool operator==(const ParameterSet&) const = default;
};

// Access password and EPC options of the "Schreiben" side.
struct WriteOptions {
  bool epcLengthFix = false;                // "EPCLenKorrigieren"
  bool setPassword = false;                 // "PasswortSetzen"
  bool activatePassword = false;            // "PasswortAktivieren" (lock)
  std::string accessPassword = "3C5A9E71";  // "AccessPasswort"
};

}  // namespace stampwise
