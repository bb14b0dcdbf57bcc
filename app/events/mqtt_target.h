// Where a station's events go: an MQTT broker and a topic, from
// "mqtt://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC" or "mqtts://..." (TLS with the
// broker's certificate checked). The password is never shown: Describe
// leaves the credentials out.
#pragma once

#include <string>

#include "app/base/result.h"

namespace stampwise::events {

struct MqttTarget {
  bool tls = false;
  std::string host;
  int port = 1883;
  std::string topic;  // attempts go here, the station's state to TOPIC/state
  std::string user;   // empty: none
  std::string password;
  // "mqtt://HOST:PORT/TOPIC", without credentials.
  std::string Describe() const;
};

// Percent escapes are decoded in the user and the password. The topic must
// not be empty nor hold a wildcard ("+", "#").
Result<MqttTarget> ParseMqttUri(const std::string& uri);

// A credentials file: the user on its first line, the password on its second
// (so neither appears on a command line). Replaces what the URI named.
Status ReadMqttCredentials(const std::string& file, MqttTarget& target);

}  // namespace stampwise::events
