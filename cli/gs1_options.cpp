#include "cli/gs1_options.h"

#include <utility>
#include <vector>

#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::cli {
namespace {

Result<Gs1Job> Refuse(int id, const std::string& what) {
  return Result<Gs1Job>::Failure(Message{id, FormatString(id, {what}), 0});
}

// The first option of the six data formats that was given, if any.
std::optional<std::string> FormatOptionGiven(const JobOptions& job) {
  const std::vector<std::pair<bool, const char*>> given{
      {job.bank.has_value(), "--bank"},
      {job.startWord.has_value(), "--start"},
      {job.lengthBytes.has_value(), "--length"},
      {job.format.has_value(), "--format"},
      {job.msb, "--msb"},
      {job.lsb, "--lsb"},
      {job.value.has_value(), "--value"},
      {job.leadingZeros.has_value(), "--leading-zeros"},
      {job.extraText.has_value(), "--extra-text"},
      {job.epcLengthFix.has_value(), "--epc-length-fix"},
  };
  for (const auto& [isGiven, name] : given) {
    if (isGiven) return std::string(name);
  }
  return std::nullopt;
}

}  // namespace

void AddGs1Options(CLI::App& write, JobOptions& job) {
  auto* uri = write.add_option("--epc-uri", job.epcUri, "write GS1 EPCs, from this tag URI (urn:epc:tag:...) on");
  auto* stored = write.add_flag("--gs1", job.gs1, "write GS1 EPCs, from the stored next tag URI on");
  uri->excludes(stored);
}

Result<Gs1Job> PrepareGs1(const JobOptions& job, const Gs1Settings& stored) {
  if (const std::optional<std::string> option = FormatOptionGiven(job)) {
    return Refuse(msg::kGs1OptionConflict, *option);
  }
  Gs1Job gs1;
  gs1.enabled = true;
  gs1.increment = stored.increment;
  if (job.increment) {
    if (*job.increment == "dec") {
      gs1.increment = true;
    } else if (*job.increment == "off") {
      gs1.increment = false;
    } else {
      return Refuse(msg::kGs1BadIncrement, *job.increment);
    }
  }
  if (job.epcUri) {
    gs1.nextUri = *job.epcUri;
  } else {
    if (stored.nextUri.empty()) return Refuse(msg::kGs1NoStoredUri, "");
    gs1.nextUri = stored.nextUri;
  }
  // The first tag's URI must be one that can be written, with its successor.
  const Result<Gs1Step> first = PlanGs1Write(gs1.nextUri, gs1.increment);
  if (!first) return Result<Gs1Job>::Failure(first.message());
  return gs1;
}

}  // namespace stampwise::cli
