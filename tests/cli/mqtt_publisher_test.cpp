// The MQTT publisher's three threads at work together: the writer's that
// queues, the publisher's own that hands messages to libmosquitto, and
// libmosquitto's network thread that connects and acknowledges. Built into
// the ThreadSanitizer run.
#include "app/events/mqtt_publisher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/cli/mqtt_broker.h"

namespace stampwise::testing {
namespace {

// The broker goes away while attempts come and is back before they end:
// each attempt and the state are acknowledged, none is dropped or left.
TEST(MqttPublisherThreads, EveryMessageIsAcknowledgedAcrossABrokerRestart) {
  constexpr int kAttempts = 600;
  TempFolder folder;
  Broker broker(folder);
  broker.Start();
  events::MqttOptions options;
  options.target = events::ParseMqttUri(broker.Uri("line/3")).value();
  options.station = "A";
  auto started = events::MqttPublisher::Start(options);
  ASSERT_TRUE(started) << started.message().text;
  events::MqttPublisher& publisher = *started.value();
  publisher.State("started");
  for (int i = 1; i <= kAttempts; ++i) {
    if (i == kAttempts / 3) broker.Stop();
    if (i == 2 * kAttempts / 3) broker.Start();
    ledger::Claim claim;
    claim.id = i;
    claim.station = "A";
    claim.bank = 3;
    claim.value = std::to_string(i);
    claim.outcome = ledger::Outcome::kWritten;
    claim.settled = "2026-12-09T14:03:07.125+01:00";
    publisher.Settled(claim);
    (void)publisher.Connected();  // asked from the writer's thread too, as a station does
  }
  const events::MqttPublisher::Tally tally = publisher.Finish(std::chrono::seconds(60), std::chrono::seconds(30));
  EXPECT_EQ(tally.acknowledged, kAttempts + 1);
  EXPECT_EQ(tally.dropped, 0);
  EXPECT_EQ(tally.unsent, 0);
  EXPECT_EQ(tally.firstMissed, "");
  EXPECT_EQ(tally.lastError, "");
}

}  // namespace
}  // namespace stampwise::testing
