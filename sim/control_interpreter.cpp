#include "sim/control_interpreter.h"

#include <cctype>
#include <charconv>
#include <sstream>

#include "common/ascii.h"
#include "sim/fault_plan.h"
#include "sim/write_journal.h"

namespace mkvsim {

namespace {

// Tags one step of the belt may bring: a field, not a warehouse.
constexpr int kMaxBeltTags = 100;

std::optional<int> ParseCount(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < 0) return std::nullopt;
  return value;
}

}  // namespace

std::optional<Bytes> ParseHex(const std::string& text) {
  std::string digits;
  for (char c : text)
    if (c != ' ') digits += c;
  if (digits.size() % 2 != 0) return std::nullopt;
  Bytes bytes;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int high = ascii::HexDigitValue(digits[i]);
    const int low = ascii::HexDigitValue(digits[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::string ControlInterpreter::Handle(const std::string& line) {
  std::istringstream in(line);
  std::string verb;
  std::string argument;
  std::string rest;
  in >> verb >> argument;
  std::getline(in, rest);
  rest.erase(0, rest.find_first_not_of(' '));

  if (verb == "add") {
    std::optional<Bytes> epc;
    if (!argument.empty()) {
      epc = ParseHex(argument + rest);
      if (!epc || epc->empty() || epc->size() > 62 || epc->size() % 2 != 0)
        return "ERR EPC must be 1 to 31 words of hex";
    }
    return "OK " + std::to_string(reader_.AddTag(epc));
  }
  if (verb == "remove") {
    if (argument == "all") {
      reader_.RemoveAllTags();
      return "OK";
    }
    const std::optional<int> index = ParseCount(argument);
    if (!index) return "ERR usage: remove all|<index>";
    return reader_.RemoveTag(static_cast<std::size_t>(*index)) ? "OK" : "ERR no tag " + argument;
  }
  if (verb == "list") {
    const std::vector<TagInfo> tags = reader_.Tags();
    std::string answer = "OK " + std::to_string(tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i)
      answer += ' ' + std::to_string(i) + ':' + std::to_string(tags[i].id) + ':' + ToHex(tags[i].epc) +
                (tags[i].selected ? "*" : "");
    return answer;
  }
  if (verb == "conveyor") {
    // "conveyor next [N]": the test moves the belt instead of the clock.
    const std::optional<int> count = rest.empty() ? std::optional<int>(1) : ParseCount(rest);
    if (argument != "next" || !count || *count > kMaxBeltTags) return "ERR usage: conveyor next [N]";
    reader_.NextOnBelt(*count);
    return "OK " + std::to_string(*count);
  }
  if (verb == "fault") return Fault(argument, rest);
  if (verb == "power") return "OK " + std::to_string(reader_.TxPower());
  if (verb == "written") return "OK " + std::to_string(reader_.WrittenCount());
  if (verb == "quit") {
    quit_ = true;
    return "OK bye";
  }
  return verb.empty() ? "ERR empty command" : "ERR unknown command " + verb;
}

std::string ControlInterpreter::Fault(const std::string& kind, const std::string& argument) {
  if (kind == "clear") {
    reader_.ChangeFaults([](FaultPlan& f) { f.Clear(); });
  } else if (kind == "delay") {
    const std::optional<int> ms = ParseCount(argument);
    if (!ms) return "ERR usage: fault delay MS";
    reader_.ChangeFaults([&](FaultPlan& f) { f.SetDelay(*ms); });
  } else if (kind == "stray") {
    const std::optional<Bytes> bytes = ParseHex(argument);
    if (!bytes) return "ERR usage: fault stray HEX";
    reader_.ChangeFaults([&](FaultPlan& f) { f.SetStray(*bytes); });
  } else if (kind == "skip") {
    const std::optional<int> count = ParseCount(argument);
    if (!count) return "ERR usage: fault skip N";
    reader_.ChangeFaults([&](FaultPlan& f) { f.SetSkip(*count); });
  } else if (kind == "late" || kind == "refuse") {
    // A value, then an optional count (until cleared without one).
    std::istringstream words(argument);
    std::string valueText;
    std::string countText;
    std::string extra;
    words >> valueText >> countText >> extra;
    const std::optional<int> value = ParseCount(valueText);
    std::optional<int> count = FaultPlan::kUntilCleared;
    if (!countText.empty()) count = ParseCount(countText);
    const bool late = kind == "late";
    if (!value || !count || !extra.empty() || (!late && (*value == 0 || *value > 255)))
      return late ? "ERR usage: fault late MS [N]" : "ERR usage: fault refuse STATUS [N]";
    reader_.ChangeFaults([&](FaultPlan& f) {
      if (late) {
        f.SetLate(*value, *count);
      } else {
        f.SetRefuse(*value, *count);
      }
    });
  } else if (kind == "collide") {
    if (argument != "on" && argument != "off" && !argument.empty()) return "ERR usage: fault collide [on|off]";
    reader_.ChangeFaults([&](FaultPlan& f) { f.SetCollision(argument != "off"); });
  } else {
    // Counted faults: without N they last until cleared.
    std::optional<int> count = FaultPlan::kUntilCleared;
    if (!argument.empty()) count = ParseCount(argument);
    if (!count) return "ERR usage: fault " + kind + " [N]";
    void (FaultPlan::*setter)(int) = nullptr;
    if (kind == "badcrc") setter = &FaultPlan::SetBadChecksum;
    if (kind == "truncate") setter = &FaultPlan::SetTruncate;
    if (kind == "drop") setter = &FaultPlan::SetDrop;
    if (kind == "lostack") setter = &FaultPlan::SetLostAck;
    if (kind == "unseen") setter = &FaultPlan::SetUnseen;
    if (kind == "corrupt") setter = &FaultPlan::SetCorrupt;
    if (setter == nullptr) return "ERR unknown fault " + kind;
    reader_.ChangeFaults([&](FaultPlan& f) { (f.*setter)(*count); });
  }
  return "OK " + reader_.DescribeFaults();
}

}  // namespace mkvsim
