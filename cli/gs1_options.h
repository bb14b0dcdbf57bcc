// stampwise-cli write --epc-uri TAG-URI | --gs1: a GS1 job from the command
// line. The options of the six data formats do not apply to it.
#pragma once

#include <CLI/CLI.hpp>

#include "app/base/result.h"
#include "app/gs1/gs1_job.h"
#include "app/store/settings.h"
#include "cli/job_options.h"

namespace stampwise::cli {

// Adds --epc-uri and --gs1 to the write command.
void AddGs1Options(CLI::App& write, JobOptions& job);

inline bool IsGs1Job(const JobOptions& job) { return job.epcUri.has_value() || job.gs1; }

// The GS1 job of the options: --epc-uri, or the stored "NextUri" for --gs1,
// with --inc dec|off (else the stored choice). Refuses, with the message
// naming what is wrong, an option of the six data formats, --inc hex, a
// missing stored URI and a URI that cannot be written.
Result<Gs1Job> PrepareGs1(const JobOptions& job, const Gs1Settings& stored);

// What a GS1 job leaves in section "GS1" at its end: the next tag URI and
// the panel's inputs that give it, so the desktop program continues there.
}  // namespace stampwise::cli
