// Every key the tool stores, named once: its section, type and default, and
// whether loading writes a missing key back. Where two readers of a key use
// different defaults (the main window and the interface dialog in "Port",
// the data record files) each has an entry of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/ledger/lease_size.h"
#include "app/store/ini.h"

namespace stampwise {

namespace section {
inline constexpr const char* kSettings = "Settings";
inline constexpr const char* kLog = "Protokoll";
inline constexpr const char* kMainWindow = "MainWnd";
inline constexpr const char* kPort = "Port";
inline constexpr const char* kVersion = "Version";
// GS1 write jobs, a section of their own: no other section's keys change.
inline constexpr const char* kGs1 = "GS1";
// Production traceability, sections of their own: read-back check, journal,
// value lists.
inline constexpr const char* kVerify = "Pruefung";
inline constexpr const char* kJournal = "Journal";
inline constexpr const char* kValueList = "Werteliste";
// The ledger of every value handed out: its file (empty: the per-user default).
inline constexpr const char* kLedger = "Ledger";
// The production view: the times of day at which shifts begin.
inline constexpr const char* kProduction = "Produktion";
// What a station tells other systems: its read point in supply-chain
// events, and the MQTT broker its attempts go to.
inline constexpr const char* kEvents = "Ereignisse";
}  // namespace section

enum class KeyType { kNumber, kFlag, kText };

struct SettingKey {
  const char* section;
  const char* name;
  KeyType type;
  int number = 0;            // default of a number or flag
  const char* text = "";     // default of a text (also for an empty one)
  bool writtenBack = false;  // a missing key is written back when loaded
};

// The type of a key of the settings (not of a data record) by its section
// and name, matched without regard to case; nothing for a key not in the table.
std::optional<KeyType> KeyTypeOf(std::string_view sectionName, std::string_view name);

// What the store holds for a key as it stands: "" when missing.
inline std::string StoredText(const CIniEx& ini, const SettingKey& key) {
  return ini.GetString(key.section, key.name, "");
}
inline void WriteKey(CIniEx& ini, const SettingKey& key, int value) { ini.WriteInt(key.section, key.name, value); }
inline void WriteKey(CIniEx& ini, const SettingKey& key, std::string_view value) {
  ini.WriteString(key.section, key.name, value);
}

// The same key read with another default, never written back.
constexpr SettingKey LoadedAs(SettingKey key, int number) {
  key.number = number;
  key.writtenBack = false;
  return key;
}
constexpr SettingKey LoadedAs(SettingKey key, const char* text) {
  key.text = text;
  key.writtenBack = false;
  return key;
}

namespace keys {
using enum KeyType;
// "Settings"
inline constexpr SettingKey kLanguage{section::kSettings, "Sprache", kNumber, 0};
inline constexpr SettingKey kBeepTime{section::kSettings, "BeepTime", kNumber, 300, "", true};
inline constexpr SettingKey kCycleTime{section::kSettings, "ZyklusZeit", kNumber, 250, "", true};
inline constexpr SettingKey kLastData{section::kSettings, "LastData", kText, 0, "0", true};
inline constexpr SettingKey kAutoIncrement{section::kSettings, "AutoIncrement", kFlag, 1, "", true};
inline constexpr SettingKey kAutoIncHex{section::kSettings, "AutoIncHex", kFlag, 1, "", true};
inline constexpr SettingKey kAutoNull{section::kSettings, "AutoNull", kFlag, 0, "", true};
inline constexpr SettingKey kPrefixZulassen{section::kSettings, "PrefixZulassen", kFlag, 0, "", true};
inline constexpr SettingKey kDatenformat{section::kSettings, "Datenformat", kNumber, 0, "", true};
inline constexpr SettingKey kMsbFirst{section::kSettings, "MSBFirst", kFlag, 1, "", true};
inline constexpr SettingKey kMemoryType{section::kSettings, "MemoryType", kText, 0, "User", true};
inline constexpr SettingKey kEpcLenKorrigieren{section::kSettings, "EPCLenKorrigieren", kFlag, 0};
inline constexpr SettingKey kStartblock{section::kSettings, "Startblock", kNumber, 0, "", true};
inline constexpr SettingKey kByteanzahl{section::kSettings, "Byteanzahl", kNumber, 4, "", true};
inline constexpr SettingKey kPasswortSetzen{section::kSettings, "PasswortSetzen", kFlag, 0, "", true};
inline constexpr SettingKey kPasswortAktivieren{section::kSettings, "PasswortAktivieren", kFlag, 0, "", true};
inline constexpr SettingKey kAccessPasswort{section::kSettings, "AccessPasswort", kText, 0, "3C5A9E71", true};
// "Protokoll": the file names' defaults lie in the log folder.
inline constexpr SettingKey kWriteLogFile{section::kLog, "LogFileNameSchreiben", kText, 0, "Protokoll_S.txt", true};
inline constexpr SettingKey kReadLogFile{section::kLog, "LogFileNameLesen", kText, 0, "Protokoll_L.txt", true};
inline constexpr SettingKey kWriteLogEnabled{section::kLog, "LogFileEnableSchreiben", kFlag, 0};
inline constexpr SettingKey kReadLogEnabled{section::kLog, "LogFileEnableLesen", kFlag, 0};
// "MainWnd"
inline constexpr SettingKey kWindowLeft{section::kMainWindow, "left", kNumber, 0};
inline constexpr SettingKey kWindowTop{section::kMainWindow, "top", kNumber, 0};
inline constexpr SettingKey kWindowRight{section::kMainWindow, "right", kNumber, 0};
inline constexpr SettingKey kWindowBottom{section::kMainWindow, "bottom", kNumber, 0};
// "Version"
inline constexpr SettingKey kUpdateCheck{section::kVersion, "Update", kFlag, 1};
// The update server's base address. The default names no real host: names under
// the reserved ".invalid" domain never resolve, so nothing leaves the machine
// until an operator sets a real server.
inline constexpr SettingKey kUpdateServer{section::kVersion, "Server", kText, 0,
                                          "https://update.stampwise.invalid/rfid/software/"};
// "Port" as the main window reads it when it opens a connection.
inline constexpr SettingKey kPortTimeout{section::kPort, "Timeout", kNumber, 500};
inline constexpr SettingKey kPortBaudrate{section::kPort, "Baudrate", kNumber, 19200};
// "Port" as the interface dialog reads and writes it.
inline constexpr SettingKey kPortName{section::kPort, "Name", kText, 0, "COM1", true};
inline constexpr SettingKey kPortDialogTimeout = LoadedAs(kPortTimeout, 1000);
inline constexpr SettingKey kPortEthernet{section::kPort, "EthernetAktiv", kFlag, 0};
inline constexpr SettingKey kPortAddress{section::kPort, "Adresse", kNumber, 1};
// "GS1": the desktop program's GS1 panel as typed, and the job's counter. None
// is written back: the section appears once a GS1 job is used.
inline constexpr SettingKey kGs1Enabled{section::kGs1, "Enabled", kFlag, 0};  // GS1 EPC chosen over the six formats
inline constexpr SettingKey kGs1Scheme{section::kGs1, "Scheme", kText, 0, "sgtin-96"};
inline constexpr SettingKey kGs1Filter{section::kGs1, "Filter", kText, 0, ""};  // no silent default
inline constexpr SettingKey kGs1CompanyDigits{section::kGs1, "CompanyDigits", kText, 0, ""};
inline constexpr SettingKey kGs1Identifier{section::kGs1, "Identifier", kText, 0, ""};
inline constexpr SettingKey kGs1NextSerial{section::kGs1, "NextSerial", kText, 0, ""};
inline constexpr SettingKey kGs1Increment{section::kGs1, "AutoIncrement", kFlag, 1};
// The tag URI for the next tag, stored durably before each write (the job's counter).
inline constexpr SettingKey kGs1NextUri{section::kGs1, "NextUri", kText, 0, ""};
// "Pruefung": read each write back and compare.
inline constexpr SettingKey kVerifyWrites{section::kVerify, "SchreibenPruefen", kFlag, 0};
// "Journal": the production journal's switch, folder (empty: the log folder)
// and station name (empty: the host name); the TID is read when "TIDLesen"
// is set, and when it is missing, whenever the journal is on.
inline constexpr SettingKey kJournalEnabled{section::kJournal, "Aktiv", kFlag, 0};
inline constexpr SettingKey kJournalFolder{section::kJournal, "Ordner", kText, 0, ""};
inline constexpr SettingKey kJournalStation{section::kJournal, "Station", kText, 0, ""};
inline constexpr SettingKey kJournalReadTid{section::kJournal, "TIDLesen", kText, 0, ""};
// "Werteliste": the list in use and the position in it, taken under the
// store's lock like "LastData": the next line (from 1), the fingerprint of
// the lines before it, and the line given out whose outcome is not journaled
// yet (0: none).
inline constexpr SettingKey kValueListFile{section::kValueList, "Datei", kText, 0, ""};
inline constexpr SettingKey kValueListColumn{section::kValueList, "Spalte", kNumber, 1};
inline constexpr SettingKey kValueListNext{section::kValueList, "Naechste", kNumber, 1};
inline constexpr SettingKey kValueListFingerprint{section::kValueList, "Fingerabdruck", kText, 0, ""};
inline constexpr SettingKey kValueListOpen{section::kValueList, "Offen", kNumber, 0};
inline constexpr SettingKey kLedgerFile{section::kLedger, "Datei", kText, 0, ""};
// Values the window leases at a time from a shared ledger (1..kMaxLeaseSize).
inline constexpr SettingKey kLeaseSize{section::kLedger, "Blockgroesse", kNumber, ledger::kDefaultLeaseSize};
// "Produktion": shift starts, "HH:MM" separated by commas, and whether the
// production view was open (it opens again with the window).
inline constexpr SettingKey kShiftStarts{section::kProduction, "Schichtbeginn", kText, 0, "06:00,14:00,22:00"};
inline constexpr SettingKey kProductionViewOpen{section::kProduction, "Ansicht", kFlag, 0};
// "Ereignisse": the station's read point (an SGLN or another URI; anything
// else is no read point) and the window's MQTT broker (empty: none).
inline constexpr SettingKey kReadPoint{section::kEvents, "Lesepunkt", kText, 0, ""};
inline constexpr SettingKey kMqttUri{section::kEvents, "MQTT", kText, 0, ""};
}  // namespace keys

// The keys of a data record file, in the file's order, with the defaults of
// loading a file that lacks them: flags off, texts empty.
namespace record_keys {
inline constexpr SettingKey kLastData = LoadedAs(keys::kLastData, "");
inline constexpr SettingKey kAutoIncrement = LoadedAs(keys::kAutoIncrement, 0);
inline constexpr SettingKey kAutoIncHex = LoadedAs(keys::kAutoIncHex, 0);
inline constexpr SettingKey kAutoNull = LoadedAs(keys::kAutoNull, 0);
inline constexpr SettingKey kPrefixZulassen = LoadedAs(keys::kPrefixZulassen, 0);
inline constexpr SettingKey kDatenformat = LoadedAs(keys::kDatenformat, 0);
inline constexpr SettingKey kMsbFirst = LoadedAs(keys::kMsbFirst, 0);
inline constexpr SettingKey kStartblock = LoadedAs(keys::kStartblock, 0);
inline constexpr SettingKey kByteanzahl = LoadedAs(keys::kByteanzahl, 4);
inline constexpr SettingKey kMemoryType = LoadedAs(keys::kMemoryType, "User");
inline constexpr SettingKey kEpcLenKorrigieren = LoadedAs(keys::kEpcLenKorrigieren, 0);
inline constexpr SettingKey kPasswortSetzen = LoadedAs(keys::kPasswortSetzen, 0);
inline constexpr SettingKey kPasswortAktivieren = LoadedAs(keys::kPasswortAktivieren, 0);
inline constexpr SettingKey kAccessPasswort = LoadedAs(keys::kAccessPasswort, "");
inline constexpr SettingKey kAll[] = {kLastData,           kAutoIncrement, kAutoIncHex,        kAutoNull,
                                      kPrefixZulassen,     kDatenformat,   kMsbFirst,          kStartblock,
                                      kByteanzahl,         kMemoryType,    kEpcLenKorrigieren, kPasswortSetzen,
                                      kPasswortAktivieren, kAccessPasswort};
}  // namespace record_keys

}  // namespace stampwise
