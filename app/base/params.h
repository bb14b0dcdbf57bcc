// The parameter set of the tag writer: what to write where and how. Owned by
// the front end, persisted in the settings and in data record files, and read
// by the value conversions and the write and read cycles.
#pragma once

#include <string>

namespace stampwise {

enum class Bank { Reserved = 0, Epc = 1, Tid = 2, User = 3 };

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
