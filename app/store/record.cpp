#include "app/store/record.h"

#include <algorithm>
#include <climits>
#include <iterator>

#include "app/store/settings.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/values_decimal.h"

namespace stampwise {

namespace {

// A number of a record as the file store reads it: missing or empty gives the
// default, anything else its leading decimal digits (none: 0). So a damaged
// "Byteanzahl=abc" reads as 0 and the checks report it, instead of the
// default slipping in unnoticed.
int RecordInt(const CIniEx& ini, const SettingKey& key) {
  const std::string text = StoredText(ini, key);
  if (text.empty()) return key.number;
  const long long value = ParseDecimalPrefix(text).value;
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// A data record has its keys in section "Settings"; anything else (another
// INI file, random bytes) would load as an empty job.
bool LooksLikeRecord(const CIniEx& ini) {
  using namespace record_keys;
  return std::any_of(std::begin(kAll), std::end(kAll),
                     [&](const SettingKey& key) { return ini.HasKey(key.section, key.name); });
}

std::string RecordText(const CIniEx& ini, const SettingKey& key) {
  return ini.GetString(key.section, key.name, key.text);
}

}  // namespace

DataRecord RecordFrom(const CIniEx& ini) {
  using namespace record_keys;
  DataRecord record;
  ParameterSet& params = record.params;
  WriteOptions& options = record.options;
  auto flag = [&](const SettingKey& key) { return RecordInt(ini, key) != 0; };

  params.value = RecordText(ini, kLastData);
  params.autoIncrementDec = flag(kAutoIncrement);
  params.autoIncrementHex = flag(kAutoIncHex);
  params.leadingZeros = flag(kAutoNull);
  params.additionalText = flag(kPrefixZulassen);
  int format = RecordInt(ini, kDatenformat);
  params.format = format >= 0 && format <= 5 ? static_cast<DataFormat>(format) : DataFormat::HexBinary;
  params.msbFirst = flag(kMsbFirst);
  params.startWord = RecordInt(ini, kStartblock);
  params.lengthBytes = RecordInt(ini, kByteanzahl);
  params.bank = BankFromMemoryType(StoredText(ini, kMemoryType)).value_or(*BankFromMemoryType(kMemoryType.text));
  options.epcLengthFix = flag(kEpcLenKorrigieren);
  options.setPassword = flag(kPasswortSetzen);
  options.activatePassword = flag(kPasswortAktivieren);
  options.accessPassword = RecordText(ini, kAccessPasswort);
  return record;
}

void RecordTo(CIniEx& ini, const DataRecord& record) {
  using namespace record_keys;
  const ParameterSet& params = record.params;
  const WriteOptions& options = record.options;
  // In the order of kAll.
  WriteKey(ini, kLastData, params.value);
  WriteKey(ini, kAutoIncrement, params.autoIncrementDec ? 1 : 0);
  WriteKey(ini, kAutoIncHex, params.autoIncrementHex ? 1 : 0);
  WriteKey(ini, kAutoNull, params.leadingZeros ? 1 : 0);
  WriteKey(ini, kPrefixZulassen, params.additionalText ? 1 : 0);
  WriteKey(ini, kDatenformat, static_cast<int>(params.format));
  WriteKey(ini, kMsbFirst, params.msbFirst ? 1 : 0);
  WriteKey(ini, kStartblock, params.startWord);
  WriteKey(ini, kByteanzahl, params.lengthBytes);
  WriteKey(ini, kMemoryType, MemoryTypeText(params.bank));
  WriteKey(ini, kEpcLenKorrigieren, options.epcLengthFix ? 1 : 0);
  WriteKey(ini, kPasswortSetzen, options.setPassword ? 1 : 0);
  WriteKey(ini, kPasswortAktivieren, options.activatePassword ? 1 : 0);
  WriteKey(ini, kAccessPasswort, options.accessPassword);
}

Result<DataRecord> LoadRecord(const std::string& path) {
  // Read-only and never created: loading must not leave an empty file behind.
  CPrivateProfile store;
  if (!store.Open(path, false, false, true, false) || store.ReadFailed()) {
    return Result<DataRecord>::Failure({0, store.LastError()});
  }
  if (!LooksLikeRecord(store)) {
    return Result<DataRecord>::Failure({msg::kNotADataRecord, LoadString(msg::kNotADataRecord)});
  }
  return RecordFrom(store);
}

Status SaveRecord(const std::string& path, const DataRecord& record) {
  CPrivateProfile store;
  if (!store.Open(path, true, true, true, false)) return Status::Failure({0, store.LastError()});
  RecordTo(store, record);
  if (!store.Close()) return Status::Failure({0, store.LastError()});
  return Done{};
}

}  // namespace stampwise
