#include "app/logs/status_log.h"

#include "app/texts/strings.h"

namespace stampwise {

bool StatusLog::Append(const std::string& line) {
  const bool emptied = LineCount() > kMaxLines;
  if (emptied) Clear();
  text_ += line;
  text_ += "\r\n";
  // A message may carry line ends of its own; each one makes a line.
  for (char c : line) lineEnds_ += c == '\n' ? 1 : 0;
  ++lineEnds_;
  return emptied;
}

void StatusReporter::ShowId(int id) { ShowMessage(id, LoadString(id)); }

void StatusReporter::ShowMessage(int id, const std::string& text) {
  if (inTick_) {
    if (id == lastId_) return;
    lastId_ = id;
  }
  sink_(text);
}

}  // namespace stampwise
