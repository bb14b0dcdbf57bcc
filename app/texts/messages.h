// String ids of the messages the tag writer shows, and the mapping from a
// reader library error code to the message that explains it.
#pragma once

namespace stampwise::msg {

// Reader library errors (see ErrorMessageId).
inline constexpr int kPortOpenFailed = 180;  // "Fehler beim Port öffnen"
inline constexpr int kTimeout = 104;
inline constexpr int kBlockLength = 165;
inline constexpr int kWrongDataCount = 112;
inline constexpr int kNoSendData = 188;
inline constexpr int kNoReaderAtPort = 129;
inline constexpr int kReaderStatus19 = 177;  // no text of its own
inline constexpr int kWrongDataCountSent = 115;
inline constexpr int kNoValidTag = 230;
inline constexpr int kCollision = 118;
inline constexpr int kUnknownCommand = 176;
inline constexpr int kUnknownError = 117;

// Application messages.
inline constexpr int kAboutMenu = 101;
inline constexpr int kDriverDownloadPage = 102;
inline constexpr int kNoVcomDriver = 114;
inline constexpr int kInstallDriver = 116;
inline constexpr int kNoDeviceOpen = 119;
inline constexpr int kPowerNotSupported = 120;
inline constexpr int kPowerNotStored = 121;
inline constexpr int kFirmwareVersion = 139;  // "FW V%d.%02d"
inline constexpr int kMenuGerman = 171;
inline constexpr int kMenuEnglish = 172;
inline constexpr int kReaderOnlyDevice = 231;
inline constexpr int kPasswordLength = 232;
inline constexpr int kUpdateNewVersion = 600;
inline constexpr int kUpdateIsCurrent = 601;
inline constexpr int kUpdateNoInternet = 602;
inline constexpr int kUpdateNoFile = 603;
inline constexpr int kUpdateStarting = 604;
inline constexpr int kMenuChooseInterface = 1000;
inline constexpr int kMenuSettings = 1001;
inline constexpr int kMenuTransmitPower = 1002;
inline constexpr int kNoResources = 10000;
inline constexpr int kNoPdfViewer = 10001;
inline constexpr int kUnknownShellError = 10002;  // "Unbekannter Fehler %d"
inline constexpr int kIpListCaption = 10129;
inline constexpr int kLanConfigFailed = 10130;
inline constexpr int kNoLanDevices = 10131;
inline constexpr int kChooseWriteLog = 32844;
inline constexpr int kChooseReadLog = 32845;
inline constexpr int kFileDialogOk = 32846;
inline constexpr int kFileDialogCancel = 32847;

// Value messages.
inline constexpr int kValueWritten = 32850;  // "Wert <%s> erfolgreich geschrieben"
inline constexpr int kNoHexInput = 32851;
inline constexpr int kNoDecimalInput = 32852;
inline constexpr int kByteCountTooSmall = 32853;
inline constexpr int kDecimalOver8Bytes = 32854;
inline constexpr int kTagNotUnique = 32856;
inline constexpr int kNoData = 32857;
inline constexpr int kTooMuchData = 32859;
inline constexpr int kDataWritten = 32860;          // "<%04d> Daten erfolgreich geschrieben!"
inline constexpr int kLogWriteFailed = 32870;       // a log line could not be written ("%s": file)
inline constexpr int kSettingsStoreFailed = 32871;  // the next write value could not be stored
inline constexpr int kCounterExhausted = 32880;     // the increment ran out of digits ("%d": bytes)
inline constexpr int kOutcomeUnknown = 32881;       // a write may have reached the tag ("%s": error, "%s": value)
inline constexpr int kLinkLost = 32882;             // the reader's link is gone ("%s": connection)
inline constexpr int kReplyMisfit = 32888;          // a reply that cannot be the command's own
inline constexpr int kReaderBusy = 32889;           // a command started while another waits on the reader
inline constexpr int kNotADataRecord = 32890;       // a file without the keys of a data record
// GS1 EPC encodings ("%s": the text that is wrong).
inline constexpr int kEpcUnknownScheme = 32900;
inline constexpr int kEpcBadUri = 32901;
inline constexpr int kEpcNoPartition = 32902;  // a company prefix length that fits no partition
inline constexpr int kEpcBadCheckDigit = 32903;
inline constexpr int kEpcSerialOutOfRange = 32904;  // out of range, or a leading zero where numeric
inline constexpr int kEpcBadCharacters = 32905;
inline constexpr int kEpcBadHex = 32906;  // not hex, a wrong length, or not a valid encoding
inline constexpr int kEpcBadFilter = 32907;
inline constexpr int kEpcWrongDigits = 32908;
inline constexpr int kEpcFilterMissing = 32909;
// GS1 write jobs.
inline constexpr int kGs1CannotCount = 32910;      // increment on, a scheme without a numeric serial ("%s": scheme)
inline constexpr int kGs1NoStoredUri = 32911;      // write --gs1 without a stored "NextUri"
inline constexpr int kGs1OptionConflict = 32912;   // an option of the six formats with a GS1 job ("%s": option)
inline constexpr int kGs1FieldEmpty = 32913;       // a GS1 input left empty ("%s": the field)
inline constexpr int kGs1SerialExhausted = 32914;  // the serial reached the end of its range ("%s": tag URI)
inline constexpr int kGs1BadIncrement = 32915;     // --inc other than dec or off ("%s": the choice)
// Names of the GS1 inputs, for the panel's labels and the messages that name them.
inline constexpr int kGs1NameScheme = 32916;
inline constexpr int kGs1NameFilter = 32917;
inline constexpr int kGs1NameCompanyDigits = 32918;
inline constexpr int kGs1NameIdentifier = 32919;
inline constexpr int kGs1NameSerial = 32920;
// Production traceability: verify, journal, value lists.
inline constexpr int kVerifyMismatch = 32930;         // read back differs ("%s": written, "%s": read)
inline constexpr int kVerifyReadFailed = 32931;       // the read back failed ("%s": error)
inline constexpr int kJournalFailed = 32932;          // the journal cannot be written ("%s": reason)
inline constexpr int kValueListUnreadable = 32933;    // "%s": reason
inline constexpr int kValueListBadQuoting = 32934;    // "%s": file, "%d": line
inline constexpr int kValueListEmpty = 32935;         // "%s": file
inline constexpr int kValueListNoColumn = 32936;      // "%s": file, "%d": line, "%d": column
inline constexpr int kValueListEnd = 32937;           // the list is used up ("%s": file)
inline constexpr int kValueListChanged = 32938;       // the used part of the list changed ("%s": file)
inline constexpr int kValueListReserved = 32939;      // a line reserved before a crash, journaled as unknown
inline constexpr int kJournalPendingAttempt = 32940;  // an attempt a crash left without its record ("%s": value)
// The ledger and the write job.
inline constexpr int kLedgerFailed = 32960;         // "%s": the ledger, "%s": why
inline constexpr int kLedgerBytesUsed = 32961;      // "%s": bytes, "%s": when, "%s": station, "%s": outcome
inline constexpr int kLedgerAbandoned = 32962;      // a claim an ended program left open ("%s": value)
inline constexpr int kJournalRestarted = 32963;     // the journal was deleted or replaced ("%s": file)
inline constexpr int kValueListBadLine = 32964;     // "%s": file, "%d": line, "%s": why
inline constexpr int kValueListDuplicate = 32965;   // "%s": file, "%d": line, "%d": the line it repeats
inline constexpr int kCounterLastValue = 32966;     // "%s": the last value, "%s": why
inline constexpr int kSettingsDamaged = 32967;      // "%s": file, "%d": line
inline constexpr int kSettingsCreated = 32968;      // "%s": file
inline constexpr int kLedgerReuseQuestion = 32969;  // "%s": the refusal
inline constexpr int kLedgerNotUsed = 32977;        // a value taken for a tag that never came ("%s": value)
// The shared ledger (a database many stations share).
inline constexpr int kSharedLedgerAway = 32990;      // "%s": the ledger, "%s": why, "%s": the pool
inline constexpr int kSharedLedgerConflict = 32991;  // "%s": the ledger, "%s": value, "%s": station, "%s": claimed
inline constexpr int kSharedLeaseOutside = 32992;    // "%s": value, "%s": the pool
inline constexpr int kSharedLedgerWaiting = 32993;   // the job waits for it ("%s": the ledger)
inline constexpr int kSharedLedgerBack = 32994;      // it answers again, the job goes on ("%s": the ledger)
// A pool as the operator knows it, for the messages above.
inline constexpr int kPoolOfCounter = 32995;  // "%s": the bank, "%d": the start word
inline constexpr int kPoolOfGs1 = 32996;      // "%s": the scheme, company prefix and item or asset type
inline constexpr int kPoolOfList = 32997;     // "%s": the list's file
// Events for other systems: EPCIS, MQTT, the shift report.
inline constexpr int kEpcisUnknownLeftOut = 32970;  // "%d": how many
inline constexpr int kReadPointIgnored = 32971;     // "%s": the setting
inline constexpr int kMqttBadUri = 32972;           // "%s": what is missing or wrong
inline constexpr int kMqttCredentials = 32973;      // "%s": the credentials file
inline constexpr int kMqttNotDelivered = 32974;     // "%d": how many, "%s": broker, "%s": since when
inline constexpr int kMqttCannotStart = 32975;      // "%s": broker, "%s": why
// A feature this build was made without (the Windows build: no PostgreSQL,
// MQTT or Modbus client). "%s": the feature
inline constexpr int kNotInThisBuild = 32976;

// What a command did, and the state the window's status bar shows.
inline constexpr int kRecordSaved = 32950;      // "%s": file
inline constexpr int kRecordLoaded = 32951;     // "%s": file, "%s": the next value
inline constexpr int kWriteCycleEnded = 32952;  // written, failed, unknown, next value, seconds
inline constexpr int kReadCycleEnded = 32953;   // read, failed, seconds
inline constexpr int kNoReader = 32954;
inline constexpr int kValuesLeft = 32955;  // "%s": how many
// The station a PLC drives over Modbus TCP.
inline constexpr int kStationReady = 32941;         // serving ("%s": address:port)
inline constexpr int kStationListenFailed = 32942;  // "%s": address:port, "%s": the system's reason
inline constexpr int kStationBadAddress = 32943;    // "%s": the text given
inline constexpr int kPlcConnected = 32944;
inline constexpr int kPlcNotConnected = 32945;
inline constexpr int kStationLastTrigger = 32946;  // "%s": time, "%s": passed or rejected
inline constexpr int kStationPassed = 32947;
inline constexpr int kStationRejected = 32948;

// Messages of the dialog framework's field checks.
inline constexpr int kEnterInteger = 61712;         // "Geben Sie eine ganze Zahl ein."
inline constexpr int kEnterIntegerBetween = 61714;  // ... "%1 und %2" ...
inline constexpr int kEnterAtMostChars = 61716;     // ... "%1 Zeichen" ...
inline constexpr int kEnterPositiveInteger = 61719;

}  // namespace stampwise::msg

namespace stampwise {

// String id of the message for a reader library error code (117 for codes
// without a message of their own).
int ErrorMessageId(int errorCode);

}  // namespace stampwise
