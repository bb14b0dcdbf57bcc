// The line a write or read cycle ends with: what it did to how many tags,
// where the numbering stands, and how long it took.
#pragma once

#include <chrono>

#include "app/job/tag_writer.h"
#include "cli/cli_output.h"

namespace stampwise::cli {

void PrintCycleSummary(Output& output, Cycle cycle, const TagWriter& writer, std::chrono::steady_clock::duration took);

}  // namespace stampwise::cli
