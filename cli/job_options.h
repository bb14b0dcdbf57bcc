// The job options of "write" and "read": each one, when given, overrides the
// stored value of the parameter set, the write options or the log settings.
#pragma once

#include <optional>
#include <string>

#include "app/store/settings.h"

namespace stampwise::cli {

struct JobOptions {
  std::optional<std::string> bank;  // res|epc|tid|user
  std::optional<int> startWord;
  std::optional<int> lengthBytes;
  std::optional<std::string> format;  // hex-bin|hex-ascii|dec-bin|dec-ascii|data-bin|data-ascii
  bool msb = false;
  bool lsb = false;
  std::optional<std::string> value;
  std::optional<std::string> increment;     // dec|hex|off
  std::optional<std::string> leadingZeros;  // on|off
  std::optional<std::string> extraText;     // on|off
  std::optional<std::string> epcLengthFix;  // on|off
  std::optional<std::string> password;      // hex text
  bool noPassword = false;
  std::optional<std::string> lock;      // on|off
  std::optional<std::string> writeLog;  // FILE|on|off
  std::optional<std::string> readLog;   // FILE|on|off
  std::optional<std::string> keepLast;  // on|off
  // --cycle and its limits.
  bool cycle = false;
  std::optional<int> count;
  std::optional<int> periodMs;
  std::optional<double> maxTimeS;
  // A GS1 job (write only): from this tag URI on, or from the stored "NextUri".
  std::optional<std::string> epcUri;
  bool gs1 = false;
  // Traceability (write only): read-back check, journal, TIDs, value lists.
  bool verify = false;
  bool allowReuse = false;
  std::optional<std::string> journal;  // FILE (.jsonl: JSON lines)
  std::optional<std::string> station;
  std::optional<int> lease;        // values leased at a time from a shared ledger
  std::optional<std::string> tid;  // on|off; on with a journal when left out
  std::optional<std::string> valuesFile;
  std::optional<int> column;  // from 1
  // Each settled attempt to an MQTT broker (write and station).
  std::optional<std::string> mqtt;             // mqtt[s]://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC
  std::optional<std::string> mqttCredentials;  // FILE: user, then password
  std::optional<std::string> mqttCa;           // FILE: the broker's CA certificates (mqtts)
};

// Applies the options. A changed format or byte order re-expresses the stored
// value as the window does, unless --value gives a new one. Returns an error
// text for a value that is not one of the choices.
std::optional<std::string> ApplyJobOptions(const JobOptions& job, AppSettings& settings, bool* keepLast);

}  // namespace stampwise::cli
