// stampwise-cli write --verify, --journal FILE [--station NAME] [--tid on|off]
// and --values-file FILE [--column N]: the production line's traceability.
#pragma once

#include <CLI/CLI.hpp>

#include "app/job/traceability.h"
#include "app/store/settings.h"
#include "cli/job_options.h"

namespace stampwise::cli {

// Adds the options to the write command.
void AddTraceOptions(CLI::App& write, JobOptions& job);

// The traceability of the job: the options, with the station name stored in
// section "Journal" (else the host name) when --station is left out, and the
// TID read whenever a journal is written unless --tid says otherwise.
// The stored traceability keys with the options over them.
TraceConfig TraceConfigOf(const JobOptions& job, Settings& settings, const std::string& writeLogFile);

}  // namespace stampwise::cli
