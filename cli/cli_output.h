// Everything the command line tool prints: status lines, the read field,
// results and errors, as plain lines or as one JSON object per line.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "app/front_end.h"

namespace stampwise::cli {

class Output : public FrontEnd {
 public:
  explicit Output(bool json) : json_(json) {}

  void AppendStatus(const std::string& line) override;
  void ShowReadText(const std::string& text) override;
  void ShowReadTagUri(const std::string& uri) override;

  // A line of plain output, or an object in JSON mode.
  void Print(const std::string& text, nlohmann::json object);
  void Error(const std::string& message);
  bool Json() const { return json_; }

 private:
  bool json_;
};

// Texts of the tool are kept byte for byte; JSON needs valid UTF-8, so bytes
// that are not (tag data shown as characters) are taken as Latin-1.
std::string ToUtf8(const std::string& bytes);

}  // namespace stampwise::cli
