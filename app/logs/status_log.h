// The status log of the main window as a text model, and the reporter that
// turns message ids into status lines with the repeat suppression of cycles.
#pragma once

#include <functional>
#include <string>

namespace stampwise {

// Lines end in CR LF. Like a multi-line edit, the text has one more line than
// it has line ends; past 1000 lines it is emptied before the next append.
class StatusLog {
 public:
  static constexpr int kMaxLines = 1000;

  // Returns true when the log was emptied before this line went in.
  bool Append(const std::string& line);
  void Clear() {
    text_.clear();
    lineEnds_ = 0;
  }
  const std::string& Text() const { return text_; }
  int LineCount() const { return lineEnds_ + 1; }

 private:
  std::string text_;
  int lineEnds_ = 0;
};

// Shows status messages given by string id or as text. During a timer tick an
// id equal to the last one shown is suppressed, so a cycle that keeps failing
// the same way shows its error once; a success resets the memory.
class StatusReporter {
 public:
  using Sink = std::function<void(const std::string&)>;
  explicit StatusReporter(Sink sink) : sink_(std::move(sink)) {}

  void ShowId(int id);
  void ShowText(const std::string& text) { sink_(text); }
  // A message whose text is already filled in, suppressed like ShowId.
  void ShowMessage(int id, const std::string& text);
  void SetInTick(bool inTick) { inTick_ = inTick; }
  bool InTick() const { return inTick_; }
  void ResetRepeat() { lastId_ = 0; }
  int LastId() const { return lastId_; }

 private:
  Sink sink_;
  bool inTick_ = false;
  int lastId_ = 0;
};

}  // namespace stampwise
