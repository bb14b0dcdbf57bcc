// Everything the command line tool prints: status lines, the read field,
// results and errors, as plain lines or as one JSON object per line.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "app/job/front_end.h"
#include "app/production/cycle_summary.h"
#include "app/texts/strings.h"

namespace stampwise::cli {

class Output : public FrontEnd {
 public:
  explicit Output(bool json) : json_(json) {}

  void AppendStatus(const std::string& line) override;
  void ShowReadText(const std::string& text) override;
  // In JSON mode one "tag" object per attempt on a tag; counted either way.
  void TagDone(const TagEvent& event) override;
  void ShowReadTagUri(const std::string& uri) override;
  // A wait for the shared ledger is said on stderr (its end by a status line).
  void LedgerWait(const std::string& text) override {
    if (!text.empty()) Note(text);
  }

  // A line of plain output, or an object in JSON mode.
  void Print(const std::string& text, nlohmann::json object);
  // On stderr: the message, then `detail` on a line of its own; in JSON mode
  // one "error" object with the message as "text" and `fields` beside it.
  void Error(const std::string& message, const std::string& detail = {},
             const nlohmann::json& fields = nlohmann::json::object());
  // On stderr, something the operator should know that is no error; in
  // JSON mode one "note" object with it as "text".
  void Note(const std::string& message);
  bool Json() const { return json_; }

  // Attempts on tags since this output was made, by outcome.
  using Tally = TagTally;
  const Tally& Counts() const { return tally_; }

 private:
  bool json_;
  Tally tally_;
};

}  // namespace stampwise::cli
