#include "cli/trace_options.h"

#include <limits>

#include "app/job/write_job.h"
#include "app/ledger/lease_size.h"
#include "app/store/settings_keys.h"
#include "cli/argument_checks.h"

namespace stampwise::cli {

void AddTraceOptions(CLI::App& write, JobOptions& job) {
  write.add_flag("--verify", job.verify, "read each write back and compare");
  write.add_flag("--allow-reuse", job.allowReuse,
                 "write data the ledger holds as used on purpose (re-encoding a damaged tag); recorded as such");
  write.add_option("--journal", job.journal, "production journal: CSV, or JSON lines for *.jsonl");
  // Without a journal the name only counts for a shared ledger (see main).
  write.add_option("--station", job.station,
                   "station name in the journal and the shared ledger (default: stored, else the host name)");
  write.add_option("--lease", job.lease, "values a station leases at a time from a shared ledger (default 100)")
      ->check(WholeNumberIn(1, ledger::kMaxLeaseSize));
  write.add_option("--tid", job.tid, "read each tag's TID (default: on with --journal)")
      ->check(CLI::IsMember({"on", "off"}));
  auto* values = write.add_option("--values-file", job.valuesFile, "take the values from this CSV or text file");
  write.add_option("--column", job.column, "column of the values file, from 1")
      ->needs(values)
      ->check(CLI::Range(1, std::numeric_limits<int>::max()));
  // A GS1 job counts its serials; a list holds write values of the six formats.
  for (const char* gs1 : {"--epc-uri", "--gs1"}) {
    if (CLI::Option* option = write.get_option_no_throw(gs1)) values->excludes(option);
  }
}

TraceConfig TraceConfigOf(const JobOptions& job, Settings& settings, const std::string& writeLogFile) {
  TraceConfig trace = StoredTrace(settings, writeLogFile);
  trace.verify = trace.verify || job.verify;
  if (job.journal) trace.journalPath = *job.journal;
  if (job.station) trace.station = *job.station;
  if (job.tid) {
    trace.readTid = *job.tid == "on";
  } else if (job.journal) {
    trace.readTid = true;
  }
  trace.valueListPath = job.valuesFile.value_or("");
  trace.valueListColumn = job.column.value_or(1);
  return trace;
}

}  // namespace stampwise::cli
