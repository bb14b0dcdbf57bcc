// Checks of the command line that the parser leaves to its user: the baud
// code's shape, a word that names no command where one must come, and
// argument errors as JSON when JSON output was asked for.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

namespace stampwise::cli {

// "--baud": a baud rate plus a line-format digit 0..3 ("19200", "9601").
CLI::Validator BaudCodeValidator();

// A whole number within limits, told in the numbers the operator types:
// "--timeout: 10..300000, got 0".
CLI::Validator WholeNumberIn(long long low, long long high);

// What the words on the command line say before the parser runs.
struct CommandLineScan {
  std::optional<std::string> unknownCommand;  // "unknown command 'bogus'"
  bool json = false;                          // the global --json is there
};
CommandLineScan ScanCommandLine(const CLI::App& app, const std::vector<std::string>& args);

// An argument error on stderr: CLI11's text, or one JSON "error" object.
// Returns the exit status for bad arguments.
int ReportArgumentError(const CLI::App& app, const CLI::ParseError& error, bool json);

}  // namespace stampwise::cli
