// The broker client of a build made without an MQTT library (Windows): it
// never starts, and says why.
#include "app/events/mqtt_publisher.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::events {

Result<std::unique_ptr<MqttPublisher>> MqttPublisher::Start(const MqttOptions&) {
  return Failed{{msg::kNotInThisBuild, FormatString(msg::kNotInThisBuild, {"MQTT"}), 0}};
}

// Never made, so never called.
MqttPublisher::~MqttPublisher() = default;
void MqttPublisher::Settled(const ledger::Claim&) {}
void MqttPublisher::State(const std::string&) {}
MqttPublisher::Tally MqttPublisher::Finish(std::chrono::milliseconds, std::chrono::milliseconds) { return {}; }
bool MqttPublisher::Connected() const { return false; }

}  // namespace stampwise::events
