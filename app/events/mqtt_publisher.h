// A station's attempts and state on an MQTT broker: one JSON message per
// settled attempt (the journal's fields and the ledger's claim number) on
// TOPIC, QoS 1, and the station's state ("started", "halted", "stopped") on
// TOPIC/state, retained, with "stopped" as the last will.
//
// A broker that is away never slows the writer: Settled only queues. A
// thread of its own hands the queue to libmosquitto, whose network thread
// connects, reconnects and sends; at most kWindow messages wait for their
// acknowledgement at a time. A full queue drops the newest attempts (counted):
// the ledger stays the authority, and `ledger publish` sends them later.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "app/base/result.h"
#include "app/events/mqtt_target.h"
#include "app/job/attempt_recorder.h"

struct mosquitto;

namespace stampwise::events {

struct MqttOptions {
  MqttTarget target;
  std::string caFile;  // mqtts: the broker's CA certificates (empty: the system's)
  std::size_t queueLimit = 10000;
  std::string station;
};

// The JSON text of a settled attempt's message.
std::string AttemptMessage(const ledger::Claim& claim);

class MqttPublisher final : public AttemptSink {
 public:
  static constexpr std::size_t kDefaultQueue = 10000;
  static constexpr int kWindow = 100;  // messages waiting for their acknowledgement

  // Starts connecting (the broker need not be there yet). Fails only for
  // what no waiting can mend: TLS files that cannot be read, no memory.
  static Result<std::unique_ptr<MqttPublisher>> Start(const MqttOptions& options);
  ~MqttPublisher() override;
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Queues the attempt's message on TOPIC (also for `ledger publish`).
  void Settled(const ledger::Claim& claim) override;
  // "started", "halted", "stopped": retained on TOPIC/state; never dropped.
  void State(const std::string& state);

  struct Tally {
    std::int64_t acknowledged = 0;  // by the broker
    std::int64_t dropped = 0;       // attempts: the queue was full
    std::int64_t unsent = 0;        // attempts still queued or unacknowledged at the end
    std::string firstMissed;        // settled time of the first attempt dropped or unsent
    std::string lastError;          // why the last connection failed (a TLS refusal); empty once connected
  };
  // Waits until the broker has acknowledged everything queued, at most until
  // `deadline` while it is connected and `idle` while it is not (an absent
  // broker does not hold a station's end up), then disconnects.
  Tally Finish(std::chrono::milliseconds deadline, std::chrono::milliseconds idle);
  bool Connected() const;

 private:
  struct Outgoing {
    std::string topic;
    std::string payload;
    bool retain = false;
    std::string settled;  // an attempt's settled time; empty for a state
  };
  explicit MqttPublisher(MqttOptions options);
  void Enqueue(Outgoing message, bool droppable);
  void Send();
  void OnConnect(int rc);
  void OnDisconnect();
  void OnPublish(int mid);
  void OnError(const char* text);
  void NoteMissed(const std::string& settled);

  MqttOptions options_;
  mosquitto* client_ = nullptr;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Outgoing> queue_;
  std::map<int, Outgoing> inFlight_;  // by message id
  std::set<int> acknowledgedEarly_;   // before Send noted them
  bool connected_ = false;
  bool stopping_ = false;
  Tally tally_;
  std::thread sender_;
};

}  // namespace stampwise::events
