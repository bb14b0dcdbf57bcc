#include "app/record.h"

#include <algorithm>
#include <array>
#include <climits>

#include "app/messages.h"
#include "app/settings.h"
#include "app/strings.h"
#include "app/values_decimal.h"

namespace stampwise {

namespace {

constexpr const char* kSection = "Settings";

constexpr std::array<const char*, 14> kRecordKeys{
    "LastData",  "AutoIncrement", "AutoIncHex", "AutoNull",          "PrefixZulassen",
    "Datenformat", "MSBFirst",    "Startblock", "Byteanzahl",        "MemoryType",
    "EPCLenKorrigieren", "PasswortSetzen", "PasswortAktivieren", "AccessPasswort"};

// A number of a record as the file store reads it: missing or empty gives the
// default, anything else its leading decimal digits (none: 0). So a damaged
// "Byteanzahl=abc" reads as 0 and the checks report it, instead of the
// default slipping in unnoticed.
int RecordInt(const CIniEx& ini, const char* key, int defaultValue) {
  const std::string text = ini.GetString(kSection, key, "");
  if (text.empty()) return defaultValue;
  const long long value = ParseDecimalPrefix(text).value;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// A data record has its keys in section "Settings"; anything else (another
// INI file, random bytes) would load as an empty job.
bool LooksLikeRecord(const CIniEx& ini) {
  return std::any_of(kRecordKeys.begin(), kRecordKeys.end(),
                     [&](const char* key) { return ini.HasKey(kSection, key); });
}

}  // namespace

DataRecord RecordFrom(const CIniEx& ini) {
  DataRecord record;
  ParameterSet& params = record.params;
  WriteOptions& options = record.options;
  auto flag = [&](const char* key) { return RecordInt(ini, key, 0) != 0; };

  params.value = ini.GetString(kSection, "LastData", "");
  params.autoIncrementDec = flag("AutoIncrement");
  params.autoIncrementHex = flag("AutoIncHex");
  params.leadingZeros = flag("AutoNull");
  params.additionalText = flag("PrefixZulassen");
  int format = RecordInt(ini, "Datenformat", 0);
  params.format = format >= 0 && format <= 5 ? static_cast<DataFormat>(format) : DataFormat::HexBinary;
  params.msbFirst = flag("MSBFirst");
  params.startWord = RecordInt(ini, "Startblock", 0);
  params.lengthBytes = RecordInt(ini, "Byteanzahl", 4);
  params.bank = BankFromMemoryType(ini.GetString(kSection, "MemoryType", "")).value_or(Bank::User);
  options.epcLengthFix = flag("EPCLenKorrigieren");
  options.setPassword = flag("PasswortSetzen");
  options.activatePassword = flag("PasswortAktivieren");
  options.accessPassword = ini.GetString(kSection, "AccessPasswort", "");
  return record;
}

void RecordTo(CIniEx& ini, const DataRecord& record) {
  const ParameterSet& params = record.params;
  const WriteOptions& options = record.options;
  ini.WriteString(kSection, "LastData", params.value);
  ini.WriteInt(kSection, "AutoIncrement", params.autoIncrementDec ? 1 : 0);
  ini.WriteInt(kSection, "AutoIncHex", params.autoIncrementHex ? 1 : 0);
  ini.WriteInt(kSection, "AutoNull", params.leadingZeros ? 1 : 0);
  ini.WriteInt(kSection, "PrefixZulassen", params.additionalText ? 1 : 0);
  ini.WriteInt(kSection, "Datenformat", static_cast<int>(params.format));
  ini.WriteInt(kSection, "MSBFirst", params.msbFirst ? 1 : 0);
  ini.WriteInt(kSection, "Startblock", params.startWord);
  ini.WriteInt(kSection, "Byteanzahl", params.lengthBytes);
  ini.WriteString(kSection, "MemoryType", MemoryTypeText(params.bank));
  ini.WriteInt(kSection, "EPCLenKorrigieren", options.epcLengthFix ? 1 : 0);
  ini.WriteInt(kSection, "PasswortSetzen", options.setPassword ? 1 : 0);
  ini.WriteInt(kSection, "PasswortAktivieren", options.activatePassword ? 1 : 0);
  ini.WriteString(kSection, "AccessPasswort", options.accessPassword);
}

bool LoadRecord(const std::string& path, DataRecord* record, std::string* error) {
  // Read-only and never created: loading must not leave an empty file behind.
  CPrivateProfile store;
  if (!store.Open(path, false, false, true, false) || store.ReadFailed()) {
    if (error) *error = store.LastError();
    return false;
  }
  if (!LooksLikeRecord(store)) {
    if (error) *error = LoadString(msg::kNotADataRecord);
    return false;
  }
  *record = RecordFrom(store);
  return true;
}

bool SaveRecord(const std::string& path, const DataRecord& record, std::string* error) {
  CPrivateProfile store;
  if (!store.Open(path, true, true, true, false)) {
    if (error) *error = store.LastError();
    return false;
  }
  RecordTo(store, record);
  if (store.Close()) return true;
  if (error) *error = store.LastError();
  return false;
}

}  // namespace stampwise
