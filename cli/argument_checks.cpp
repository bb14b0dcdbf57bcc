#include "cli/argument_checks.h"

#include <charconv>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/connection/open_reader.h"
#include "app/texts/strings.h"
#include "cli/commands.h"

namespace stampwise::cli {

CLI::Validator WholeNumberIn(long long low, long long high) {
  const std::string range = std::to_string(low) + ".." + std::to_string(high);
  return CLI::Validator(
      [low, high, range](std::string& text) -> std::string {
        long long value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (error != std::errc() || stop != end || value < low || value > high) {
          return range + ", got \"" + text + "\"";
        }
        return {};
      },
      range);
}

CLI::Validator BaudCodeValidator() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        int code = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, code);
        if (error != std::errc() || stop != end || !IsBaudCode(code)) {
          return "a baud rate plus a line-format digit 0..3 (19200, 9601), got \"" + text + "\"";
        }
        return {};
      },
      "CODE");
}

namespace {

const CLI::App* SubcommandNamed(const CLI::App& app, const std::string& name) {
  try {
    return app.get_subcommand(name);
  } catch (const CLI::OptionNotFound&) {
    return nullptr;
  }
}

}  // namespace

CommandLineScan ScanCommandLine(const CLI::App& app, const std::vector<std::string>& args) {
  CommandLineScan scan;
  const CLI::App* current = &app;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--") break;
    if (word.size() > 1 && word[0] == '-') {
      if (current == &app && word == "--json") scan.json = true;
      if (word.find('=') != std::string::npos) continue;
      const CLI::Option* option = current->get_option_no_throw(word);
      if (option != nullptr && option->get_expected_min() > 0) ++i;  // its value
      continue;
    }
    if (const CLI::App* command = SubcommandNamed(*current, word)) {
      current = command;
      continue;
    }
    // A word where a command is required names one, or it is wrong.
    if (current->get_require_subcommand_min() > 0) scan.unknownCommand = "unknown command '" + word + "'";
    break;
  }
  return scan;
}

int ReportArgumentError(const CLI::App& app, const CLI::ParseError& error, bool json) {
  if (!json) {
    app.exit(error);
  } else {
    std::cerr << nlohmann::json{{"type", "error"}, {"kind", "arguments"}, {"text", ToUtf8(error.what())}}.dump()
              << '\n';
  }
  return kBadArguments;
}

}  // namespace stampwise::cli
