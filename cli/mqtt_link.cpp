#include "cli/mqtt_link.h"

#include <fstream>

#include "app/base/atomic_file.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::cli {

std::optional<events::MqttOptions> ReadMqttOptions(Output& out, const std::string& uri,
                                                   const std::optional<std::string>& credentials,
                                                   const std::optional<std::string>& ca) {
  Result<events::MqttTarget> target = events::ParseMqttUri(uri);
  if (!target) {
    out.Error(target.message().text, {}, {{"kind", "arguments"}});
    return std::nullopt;
  }
  events::MqttOptions options;
  options.target = std::move(target).value();
  if (credentials) {
    if (const Status read = events::ReadMqttCredentials(*credentials, options.target); !read) {
      out.Error(read.message().text, {}, {{"kind", "arguments"}});
      return std::nullopt;
    }
  }
  if (ca) {
    if (!std::ifstream(*ca)) {
      out.Error(FormatString(msg::kMqttCannotStart, {options.target.Describe(), ErrnoText(*ca)}), {},
                {{"kind", "arguments"}});
      return std::nullopt;
    }
    options.caFile = *ca;
  }
  return options;
}

std::optional<MqttLink> StartMqtt(Output& out, const std::string& uri, const std::optional<std::string>& credentials,
                                  const std::optional<std::string>& ca, const std::string& station,
                                  std::size_t queueLimit) {
  std::optional<events::MqttOptions> options = ReadMqttOptions(out, uri, credentials, ca);
  if (!options) return std::nullopt;
  options->station = station;
  options->queueLimit = queueLimit;
  Result<std::unique_ptr<events::MqttPublisher>> started = events::MqttPublisher::Start(*options);
  if (!started) {
    out.Error(started.message().text);
    return std::nullopt;
  }
  return MqttLink{std::move(started).value(), options->target.Describe()};
}

bool FinishMqtt(Output& out, MqttLink& link, std::chrono::milliseconds deadline, std::chrono::milliseconds idle) {
  const events::MqttPublisher::Tally tally = link.publisher->Finish(deadline, idle);
  const std::int64_t missed = tally.dropped + tally.unsent;
  if (missed == 0) return true;
  if (!tally.lastError.empty()) out.Note(FormatString(msg::kMqttCannotStart, {link.broker, tally.lastError}));
  out.Note(FormatString(msg::kMqttNotDelivered,
                        {static_cast<int>(missed), link.broker, tally.firstMissed.empty() ? "-" : tally.firstMissed}));
  return false;
}

}  // namespace stampwise::cli
