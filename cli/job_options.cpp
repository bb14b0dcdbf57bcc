#include "cli/job_options.h"

#include <array>
#include <utility>

#include "app/values/values.h"

namespace stampwise::cli {
namespace {

constexpr std::array<std::pair<const char*, DataFormat>, 6> kFormats{{
    {"hex-bin", DataFormat::HexBinary},
    {"hex-ascii", DataFormat::HexAscii},
    {"dec-bin", DataFormat::DecimalBinary},
    {"dec-ascii", DataFormat::DecimalAscii},
    {"data-bin", DataFormat::DataBinary},
    {"data-ascii", DataFormat::DataAscii},
}};

template <typename T, std::size_t N>
std::optional<T> Lookup(const std::array<std::pair<const char*, T>, N>& table, const std::string& name) {
  for (const auto& [key, value] : table) {
    if (name == key) return value;
  }
  return std::nullopt;
}

// "on" / "off" into a flag; an error text for anything else.
std::optional<std::string> OnOff(const std::optional<std::string>& text, const char* option, bool& flag) {
  if (!text) return std::nullopt;
  if (*text == "on") {
    flag = true;
  } else if (*text == "off") {
    flag = false;
  } else {
    return std::string(option) + ": expected on or off, got \"" + *text + "\"";
  }
  return std::nullopt;
}

// FILE|on|off for a log: a file name also switches the log on.
void LogChoice(const std::optional<std::string>& text, std::string& file, bool& enabled) {
  if (!text) return;
  if (*text == "on") {
    enabled = true;
  } else if (*text == "off") {
    enabled = false;
  } else {
    file = *text;
    enabled = true;
  }
}

}  // namespace

std::optional<std::string> ApplyJobOptions(const JobOptions& job, AppSettings& settings, bool* keepLast) {
  ParameterSet& params = settings.params;
  if (job.bank) {
    const auto bank = BankOfKey(*job.bank);
    if (!bank) return "--bank: expected res, epc, tid or user, got \"" + *job.bank + "\"";
    params.bank = *bank;
  }
  if (job.startWord) params.startWord = *job.startWord;
  if (job.lengthBytes) params.lengthBytes = *job.lengthBytes;

  DataFormat format = params.format;
  if (job.format) {
    const auto chosen = Lookup(kFormats, *job.format);
    if (!chosen) return "--format: unknown format \"" + *job.format + "\"";
    format = *chosen;
  }
  const bool msbFirst = job.msb ? true : job.lsb ? false : params.msbFirst;
  if (format != params.format || msbFirst != params.msbFirst) {
    params = SwitchFormat(params, params.value, format, msbFirst).params;
  }
  if (job.value) params.value = *job.value;

  if (job.increment) {
    if (*job.increment == "dec") {
      params.autoIncrementDec = true;
      params.autoIncrementHex = false;
    } else if (*job.increment == "hex") {
      params.autoIncrementDec = false;
      params.autoIncrementHex = true;
    } else if (*job.increment == "off") {
      params.autoIncrementDec = false;
      params.autoIncrementHex = false;
    } else {
      return "--inc: expected dec, hex or off, got \"" + *job.increment + "\"";
    }
  }
  if (auto error = OnOff(job.leadingZeros, "--leading-zeros", params.leadingZeros)) return error;
  if (auto error = OnOff(job.extraText, "--extra-text", params.additionalText)) return error;
  // The same format rules as the window: flags a format does not allow are cleared.
  params = ApplyFormatRules(params);
  if (job.leadingZeros || job.extraText) params.value = NormaliseLeadingZeros(params);

  WriteOptions& options = settings.options;
  if (auto error = OnOff(job.epcLengthFix, "--epc-length-fix", options.epcLengthFix)) return error;
  if (job.password) {
    options.setPassword = true;
    options.accessPassword = *job.password;
  }
  if (job.noPassword) options.setPassword = false;
  if (auto error = OnOff(job.lock, "--lock", options.activatePassword)) return error;

  LogChoice(job.writeLog, settings.logs.writeLogFile, settings.logs.writeLogEnabled);
  LogChoice(job.readLog, settings.logs.readLogFile, settings.logs.readLogEnabled);
  if (keepLast != nullptr) {
    if (auto error = OnOff(job.keepLast, "--keep-last", *keepLast)) return error;
  }
  return std::nullopt;
}

}  // namespace stampwise::cli
