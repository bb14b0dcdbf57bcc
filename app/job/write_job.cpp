#include "app/job/write_job.h"

#include <filesystem>

#include "app/base/paths.h"
#include "app/job/value_source.h"
#include "app/ledger/pg_ledger.h"
#include "app/ledger/sqlite_ledger.h"
#include "app/store/settings_keys.h"
#include "app/values/formats.h"

namespace stampwise {

std::string StoredJournalPath(Settings& settings, const std::string& writeLogFile) {
  if (settings.ReadInt(keys::kJournalEnabled) == 0) return {};
  std::string folder = settings.ReadString(keys::kJournalFolder);
  if (folder.empty()) folder = FilePath(writeLogFile).parent_path().string();
  return (FilePath(folder) / kJournalFileName).string();
}

TraceConfig StoredTrace(Settings& settings, const std::string& writeLogFile) {
  TraceConfig trace;
  trace.verify = settings.ReadInt(keys::kVerifyWrites) != 0;
  trace.journalPath = StoredJournalPath(settings, writeLogFile);
  trace.station = settings.ReadString(keys::kJournalStation);
  // The TID goes with the journal unless "TIDLesen" says otherwise.
  const std::string readTid = settings.ReadString(keys::kJournalReadTid);
  trace.readTid = readTid.empty() ? !trace.journalPath.empty() : readTid != "0";
  return trace;
}

WriterConfig LoadWriteJob(Settings& settings) {
  const AppSettings app = settings.Load();
  const Gs1Settings gs1 = settings.LoadGs1();
  WriterConfig config;
  config.params = app.params;
  config.options = app.options;
  config.logs = app.logs;
  config.beepTimeMs = app.beepTimeMs;
  config.cycleTimeMs = app.cycleTimeMs;
  config.gs1 = Gs1Job{false, gs1.nextUri, gs1.increment};
  config.trace = StoredTrace(settings, app.logs.writeLogFile);
  return config;
}

Gs1Settings Gs1SettingsAfter(Gs1Settings stored, const Gs1Job& ran) {
  stored.nextUri = ran.nextUri;
  stored.increment = ran.increment;
  if (const Result<gs1::TagEpc> epc = gs1::ParseTagUri(ran.nextUri)) stored.inputs = InputsFromEpc(epc.value());
  return stored;
}

bool SaveWriteJob(Settings& settings, AppSettings app, const TagWriter& writer, std::optional<bool> gs1Enabled) {
  const WriterConfig& ran = writer.Config();
  app.params = ran.params;
  app.options = ran.options;
  const bool counterJob = !ran.gs1.enabled && ran.trace.valueListPath.empty();
  // A list's lines and a GS1 job's URIs are never the counter's write value.
  const std::string stored = settings.ReadString(keys::kLastData);
  if (!counterJob) app.params.value = stored;
  // A start value typed inside a range used before never moves the stored
  // one back (older programs continue from it).
  const bool counts = (ran.params.autoIncrementDec || ran.params.autoIncrementHex) && !IsDataFormat(ran.params.format);
  if (counterJob && counts && !stored.empty() && CounterAhead(ran.params, stored, ran.params.value)) {
    app.params.value = stored;
  }
  bool saved = settings.Save(app);
  if (ran.gs1.enabled || gs1Enabled) {
    Gs1Settings gs1 = settings.LoadGs1();
    if (ran.gs1.enabled) gs1 = Gs1SettingsAfter(gs1, ran.gs1);
    if (gs1Enabled) gs1.enabled = *gs1Enabled;
    saved = settings.SaveGs1(gs1) && saved;
  }
  return saved;
}

std::string ChosenLedger(Settings& settings, const std::optional<std::string>& given) {
  if (given && !given->empty()) return *given;
  const std::string stored = settings.ReadString(keys::kLedgerFile);
  return stored.empty() ? ledger::DefaultLedgerFile() : stored;
}

std::string LedgerShown(const std::string& stored) { return ledger::WithoutPassword(stored); }

std::string LedgerAfterEdit(const std::string& stored, const std::string& edited) {
  const std::size_t first = edited.find_first_not_of(" \t");
  const std::string trimmed =
      first == std::string::npos ? std::string() : edited.substr(first, edited.find_last_not_of(" \t") - first + 1);
  return trimmed == LedgerShown(stored) ? stored : trimmed;
}

}  // namespace stampwise
