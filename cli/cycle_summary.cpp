#include "cli/cycle_summary.h"

#include <cmath>
#include <cstdio>

#include "app/messages.h"
#include "app/strings.h"

namespace stampwise::cli {

void PrintCycleSummary(Output& output, Cycle cycle, const TagWriter& writer, std::chrono::steady_clock::duration took) {
  const double seconds = std::round(std::chrono::duration<double>(took).count() * 1000) / 1000;
  char secondsText[32];
  std::snprintf(secondsText, sizeof secondsText, "%.1f", seconds);
  const Output::Tally& tally = output.Counts();
  if (cycle == Cycle::Read) {
    output.Print(FormatString(msg::kReadCycleEnded, {writer.ReadCount(), tally.readFailed, secondsText}),
                 {{"type", "summary"},
                  {"kind", "read"},
                  {"read", writer.ReadCount()},
                  {"failed", tally.readFailed},
                  {"seconds", seconds}});
    return;
  }
  const std::string& next = writer.NextValueShown();
  output.Print(FormatString(msg::kWriteCycleEnded,
                            {writer.ProgrammedCount(), tally.writeFailed, tally.writeUnknown, next, secondsText}),
               {{"type", "summary"},
                {"kind", "write"},
                {"written", writer.ProgrammedCount()},
                {"failed", tally.writeFailed},
                {"unknown", tally.writeUnknown},
                {"next", ToUtf8(next)},
                {"seconds", seconds}});
}

}  // namespace stampwise::cli
