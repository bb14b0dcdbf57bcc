// The MQTT broker of a command: started from --mqtt and its files, ended
// with a word on what did not arrive.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "app/events/mqtt_publisher.h"
#include "cli/cli_output.h"

namespace stampwise::cli {

struct MqttLink {
  std::unique_ptr<events::MqttPublisher> publisher;
  std::string broker;  // as it may be shown: no credentials
};

// The broker's URI with its credentials and CA files, read and checked
// before anything is stored; nothing, with the reason printed, when one is wrong.
std::optional<events::MqttOptions> ReadMqttOptions(Output& out, const std::string& uri,
                                                   const std::optional<std::string>& credentials,
                                                   const std::optional<std::string>& ca);

// Nothing, with the reason printed, when the URI or a file is wrong.
std::optional<MqttLink> StartMqtt(Output& out, const std::string& uri, const std::optional<std::string>& credentials,
                                  const std::optional<std::string>& ca, const std::string& station,
                                  std::size_t queueLimit);

// Waits for the broker's acknowledgements (see MqttPublisher::Finish) and
// says how many messages did not arrive; true when all did.
bool FinishMqtt(Output& out, MqttLink& link, std::chrono::milliseconds deadline, std::chrono::milliseconds idle);

}  // namespace stampwise::cli
