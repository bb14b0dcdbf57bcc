#include "cli/cli_output.h"

#include <cstdio>
#include <iostream>

#include "app/gs1/gs1_epc.h"

namespace stampwise::cli {

namespace {

// Status texts carry CR LF inside messages; one output line per status line.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    line += c == '\n' ? ' ' : c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

void Output::Print(const std::string& text, nlohmann::json object) {
  if (json_) {
    std::cout << object.dump() << '\n';
  } else {
    std::cout << text << '\n';
  }
  std::cout.flush();
}

void Output::AppendStatus(const std::string& line) {
  const std::string text = OneLine(line);
  Print(text, {{"type", "status"}, {"text", ToUtf8(text)}});
}

void Output::ShowReadText(const std::string& text) {
  if (text.empty()) return;  // a cleared read field prints nothing
  Print(text, {{"type", "read"}, {"text", ToUtf8(text)}});
}

void Output::ShowReadTagUri(const std::string& uri) {
  if (uri.empty()) return;
  Print(uri, {{"type", "tagUri"}, {"tagUri", ToUtf8(uri)}});
}

void Output::Error(const std::string& message, const std::string& detail, const nlohmann::json& fields) {
  const std::string text = OneLine(message);
  if (json_) {
    nlohmann::json object{{"type", "error"}, {"text", ToUtf8(text)}};
    object.update(fields);
    std::cerr << object.dump() << '\n';
  } else {
    std::cerr << text << '\n';
    if (!detail.empty()) std::cerr << OneLine(detail) << '\n';
  }
  std::cerr.flush();
}

void Output::Note(const std::string& message) {
  const std::string text = OneLine(message);
  if (json_) {
    std::cerr << nlohmann::json{{"type", "note"}, {"text", ToUtf8(text)}}.dump() << '\n';
  } else {
    std::cerr << text << '\n';
  }
  std::cerr.flush();
}

namespace {

const char* OutcomeName(const TagEvent& event) {
  switch (event.outcome) {
    case TagEvent::Outcome::kDone: return event.kind == TagEvent::Kind::kWrite ? "written" : "read";
    case TagEvent::Outcome::kFailed: return "failed";
    case TagEvent::Outcome::kUnknown: return "unknown";
    case TagEvent::Outcome::kMismatch: return "mismatch";
    case TagEvent::Outcome::kNone: return "none";
  }
  return "failed";
}

}  // namespace

void Output::TagDone(const TagEvent& event) {
  const bool writing = event.kind == TagEvent::Kind::kWrite;
  tally_.Count(event);
  if (!json_) return;  // the status line has said it
  nlohmann::json object{{"type", "tag"},
                        {"kind", writing ? "write" : "read"},
                        {"outcome", OutcomeName(event)},
                        {"value", ToUtf8(event.value)},
                        {"bytes", gs1::Hex(event.bytes)},
                        {"epc", gs1::Hex(event.epc)},
                        {"counter", event.counter}};
  if (event.outcome != TagEvent::Outcome::kDone) {
    object["status"] = event.status;
    object["messageId"] = event.messageId;
  }
  Print("", object);
}

}  // namespace stampwise::cli
