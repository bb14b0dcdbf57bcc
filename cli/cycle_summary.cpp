#include "cli/cycle_summary.h"

#include "app/production/cycle_summary.h"
#include "app/texts/strings.h"

namespace stampwise::cli {

void PrintCycleSummary(Output& output, Cycle cycle, const TagWriter& writer, std::chrono::steady_clock::duration took) {
  const double seconds = SummarySeconds(took);
  const Output::Tally& tally = output.Counts();
  const std::string& next = writer.NextValueShown();
  const std::string text = CycleSummaryText(cycle, tally, writer.ProgrammedCount(), writer.ReadCount(), next, took);
  if (cycle == Cycle::Read) {
    output.Print(text, {{"type", "summary"},
                        {"kind", "read"},
                        {"read", writer.ReadCount()},
                        {"failed", tally.readFailed},
                        {"seconds", seconds}});
    return;
  }
  output.Print(text, {{"type", "summary"},
                      {"kind", "write"},
                      {"written", writer.ProgrammedCount()},
                      {"failed", tally.writeFailed},
                      {"unknown", tally.writeUnknown},
                      {"next", ToUtf8(next)},
                      {"seconds", seconds}});
}

}  // namespace stampwise::cli
