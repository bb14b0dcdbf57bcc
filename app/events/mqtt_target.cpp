#include "app/events/mqtt_target.h"

#include <cctype>
#include <charconv>
#include <fstream>

#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::events {
namespace {

Message BadUri(const std::string& why) { return Message{msg::kMqttBadUri, FormatString(msg::kMqttBadUri, {why}), 0}; }

// %XX decoded; nothing for a broken escape.
std::optional<std::string> Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    int value = 0;
    if (i + 2 >= text.size()) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
    if (error != std::errc() || end != text.data() + i + 3) return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

}  // namespace

std::string MqttTarget::Describe() const {
  // An IPv6 address in brackets, as in the URI: its colons are not the port's.
  const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return std::string(tls ? "mqtts://" : "mqtt://") + shownHost + ":" + std::to_string(port) + "/" + topic;
}

Result<MqttTarget> ParseMqttUri(const std::string& uri) {
  MqttTarget target;
  std::string rest;
  if (uri.rfind("mqtt://", 0) == 0) {
    rest = uri.substr(7);
  } else if (uri.rfind("mqtts://", 0) == 0) {
    target.tls = true;
    target.port = 8883;
    rest = uri.substr(8);
  } else {
    return Result<MqttTarget>::Failure(BadUri("mqtt:// or mqtts://"));
  }
  const std::size_t slash = rest.find('/');
  if (slash == std::string::npos || slash + 1 == rest.size()) return Result<MqttTarget>::Failure(BadUri("/TOPIC"));
  target.topic = rest.substr(slash + 1);
  if (target.topic.find_first_of("+#") != std::string::npos) {
    return Result<MqttTarget>::Failure(BadUri("TOPIC without + and #"));
  }
  std::string authority = rest.substr(0, slash);
  if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
    const std::string credentials = authority.substr(0, at);
    authority = authority.substr(at + 1);
    const std::size_t colon = credentials.find(':');
    const std::optional<std::string> user = Unescape(credentials.substr(0, colon));
    const std::optional<std::string> password =
        colon == std::string::npos ? std::optional<std::string>("") : Unescape(credentials.substr(colon + 1));
    if (!user || !password || user->empty()) return Result<MqttTarget>::Failure(BadUri("USER[:PASSWORD]@"));
    target.user = *user;
    target.password = *password;
  }
  std::string port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string::npos) return Result<MqttTarget>::Failure(BadUri("HOST"));
    target.host = authority.substr(1, close - 1);
    const std::string after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':') return Result<MqttTarget>::Failure(BadUri("HOST"));
    if (!after.empty()) port = after.substr(1);
    if (after == ":") port = "-";
  } else {
    const std::size_t colon = authority.rfind(':');
    target.host = authority.substr(0, colon);
    if (colon != std::string::npos) port = colon + 1 == authority.size() ? "-" : authority.substr(colon + 1);
  }
  if (target.host.empty()) return Result<MqttTarget>::Failure(BadUri("HOST"));
  if (!port.empty()) {
    int number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (error != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535) {
      return Result<MqttTarget>::Failure(BadUri("PORT 1..65535"));
    }
    target.port = number;
  }
  return target;
}

Status ReadMqttCredentials(const std::string& file, MqttTarget& target) {
  std::ifstream in(file);
  std::string user;
  std::string password;
  if (!in || !std::getline(in, user)) {
    return Status::Failure(Message{msg::kMqttCredentials, FormatString(msg::kMqttCredentials, {file}), 0});
  }
  std::getline(in, password);
  for (std::string* line : {&user, &password}) {
    if (!line->empty() && line->back() == '\r') line->pop_back();
  }
  if (user.empty()) {
    return Status::Failure(Message{msg::kMqttCredentials, FormatString(msg::kMqttCredentials, {file}), 0});
  }
  target.user = user;
  target.password = password;
  return Done{};
}

}  // namespace stampwise::events
