#include "app/store/settings_keys.h"

#include "common/ascii.h"

namespace stampwise {

namespace {

constexpr const SettingKey* kSettingsKeys[] = {
    &keys::kLanguage,
    &keys::kBeepTime,
    &keys::kCycleTime,
    &keys::kLastData,
    &keys::kAutoIncrement,
    &keys::kAutoIncHex,
    &keys::kAutoNull,
    &keys::kPrefixZulassen,
    &keys::kDatenformat,
    &keys::kMsbFirst,
    &keys::kMemoryType,
    &keys::kEpcLenKorrigieren,
    &keys::kStartblock,
    &keys::kByteanzahl,
    &keys::kPasswortSetzen,
    &keys::kPasswortAktivieren,
    &keys::kAccessPasswort,
    &keys::kWriteLogFile,
    &keys::kReadLogFile,
    &keys::kWriteLogEnabled,
    &keys::kReadLogEnabled,
    &keys::kWindowLeft,
    &keys::kWindowTop,
    &keys::kWindowRight,
    &keys::kWindowBottom,
    &keys::kUpdateCheck,
    &keys::kUpdateServer,
    &keys::kPortTimeout,
    &keys::kPortBaudrate,
    &keys::kPortName,
    &keys::kPortDialogTimeout,
    &keys::kPortEthernet,
    &keys::kPortAddress,
    &keys::kGs1Enabled,
    &keys::kGs1Scheme,
    &keys::kGs1Filter,
    &keys::kGs1CompanyDigits,
    &keys::kGs1Identifier,
    &keys::kGs1NextSerial,
    &keys::kGs1Increment,
    &keys::kGs1NextUri,
    &keys::kVerifyWrites,
    &keys::kJournalEnabled,
    &keys::kJournalFolder,
    &keys::kJournalStation,
    &keys::kJournalReadTid,
    &keys::kValueListFile,
    &keys::kValueListColumn,
    &keys::kValueListNext,
    &keys::kValueListFingerprint,
    &keys::kValueListOpen,
    &keys::kLedgerFile,
    &keys::kLeaseSize,
    &keys::kShiftStarts,
    &keys::kProductionViewOpen,
    &keys::kReadPoint,
    &keys::kMqttUri,
};

}  // namespace

std::optional<KeyType> KeyTypeOf(std::string_view sectionName, std::string_view name) {
  for (const SettingKey* key : kSettingsKeys) {
    if (ascii::EqualsNoCase(key->section, sectionName) && ascii::EqualsNoCase(key->name, name)) return key->type;
  }
  return std::nullopt;
}

}  // namespace stampwise
