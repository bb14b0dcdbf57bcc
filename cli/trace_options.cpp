#include "cli/trace_options.h"

#include <limits>

#include "app/settings_keys.h"

namespace stampwise::cli {

void AddTraceOptions(CLI::App& write, JobOptions& job) {
  write.add_flag("--verify", job.verify, "read each write back and compare");
  auto* journal = write.add_option("--journal", job.journal, "production journal: CSV, or JSON lines for *.jsonl");
  write.add_option("--station", job.station, "station name in the journal (default: stored, else the host name)")
      ->needs(journal);
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

TraceConfig TraceConfigOf(const JobOptions& job, Settings& settings) {
  TraceConfig trace;
  trace.verify = job.verify;
  trace.journalPath = job.journal.value_or("");
  trace.station = job.station ? *job.station : settings.ReadString(keys::kJournalStation);
  trace.readTid = job.tid ? *job.tid == "on" : job.journal.has_value();
  trace.valueListPath = job.valuesFile.value_or("");
  trace.valueListColumn = job.column.value_or(1);
  return trace;
}

}  // namespace stampwise::cli
