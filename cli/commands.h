// The commands of stampwise-cli. Each returns the tool's exit status.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/connection/reader_client.h"
#include "app/job/tag_writer.h"
#include "app/store/settings.h"
#include "cli/cli_output.h"
#include "cli/job_options.h"
#include "cli/stop_signals.h"

namespace stampwise::cli {

enum ExitStatus {
  kSuccess = 0,
  kTagFailed = 1,
  kBadArguments = 2,
  kNoReader = 3,
  kNewerFound = 4,        // update: something newer is on the server
  kCheckNotPossible = 5,  // update: a check could not be made, or a download failed
};

struct GlobalOptions {
  std::optional<std::string> port;
  std::optional<int> baudCode;
  std::optional<int> timeoutMs;
  std::optional<std::string> settingsFile;
  std::optional<std::string> ledger;    // the ledger's file
  std::optional<std::string> language;  // de|en
  bool json = false;
};

// What every command works with: the settings store, the output and the
// link parameters after the stored defaults were applied.
class Context {
 public:
  Context(const GlobalOptions& options, Settings& settings, Output& output, StopSignals& stop);

  Settings& Store() { return settings_; }
  Output& Out() { return output_; }
  StopSignals& Stop() { return stop_; }
  const std::string& Connection() const { return connection_; }
  // The ledger every write job claims its values in (see ChosenLedger).
  const std::string& Ledger() const { return ledger_; }

  // Opens and identifies the reader on `reader`; prints the reason when
  // that fails (the reader is then not open).
  ReaderIdentity OpenReader(ReaderClient& reader);

 private:
  Settings& settings_;
  Output& output_;
  StopSignals& stop_;
  std::string connection_;
  std::string ledger_;
  int baudCode_;
  int timeoutMs_;
};

int ListPorts(Context& context);
int ShowInfo(Context& context);
int Write(Context& context, const JobOptions& job);
int Read(Context& context, const JobOptions& job);
// A write job that `run` drives once the reader is open, instead of one write
// or a cycle (the station): the same checks, reader and storing of what the
// job reached. The writer reports to `frontEnd`.
struct JobRunner {
  FrontEnd& frontEnd;
  // `halted` tells the job's listeners (MQTT) that it halted.
  std::function<int(TagWriter& writer, ReaderClient& reader, const std::function<void()>& halted)> run;
  // The job waits for its shared ledger instead of stopping (a station).
  bool waitForLedger = false;
};
int WriteWith(Context& context, const JobOptions& job, const JobRunner& runner);
int Power(Context& context, std::optional<int> setDbm);
int RecordLoad(Context& context, const std::string& file);
int RecordSave(Context& context, const std::string& file);

struct LedgerListOptions {
  std::optional<std::string> station;
};
// The claims of the ledger, one per line.
int LedgerList(Context& context, const LedgerListOptions& options);
// A shared ledger's pools with their next values and the open leases.
int LedgerLeases(Context& context);

// The part of the ledger an export covers: claims settled in [since, until)
// (ISO 8601, see ParseIsoTime), of one station or all.
struct LedgerWindowOptions {
  std::optional<std::string> since;
  std::optional<std::string> until;
  std::optional<std::string> station;
};
// The written GS1 EPCs as one EPCIS 2.0 JSON-LD document on stdout.
int LedgerEpcis(Context& context, const LedgerWindowOptions& options);

// The attempts in the window as one self-contained HTML page: `html`.
int LedgerReport(Context& context, const LedgerWindowOptions& window, const std::string& html);

struct LedgerPublishOptions {
  std::optional<std::string> mqtt;  // default: the stored "Ereignisse"/"MQTT"
  std::optional<std::string> credentials;
  std::optional<std::string> ca;
};
// The settled attempts in the window to the broker, as a station sent them.
int LedgerPublish(Context& context, const LedgerWindowOptions& window, const LedgerPublishOptions& options);

struct UpdateOptions {
  bool reader = false;
  std::optional<std::string> server;
  std::optional<std::string> downloadDir;
};
int CheckForUpdates(Context& context, const UpdateOptions& options);

}  // namespace stampwise::cli
