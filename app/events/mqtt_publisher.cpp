#include "app/events/mqtt_publisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "app/ledger/production_journal.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::events {
namespace {

constexpr int kQos = 1;
constexpr int kKeepAliveS = 30;

std::string StateMessage(const std::string& station, const std::string& state, bool lost) {
  nlohmann::ordered_json object{
      {"station", ToUtf8(station)}, {"state", state}, {"time", IsoLocalTime(std::chrono::system_clock::now())}};
  if (lost) object["lost"] = true;
  return object.dump();
}

// libmosquitto is set up once per program and never torn down: another
// publisher may still be running.
void InitLibrary() {
  static const int initialised = mosquitto_lib_init();
  (void)initialised;
}

}  // namespace

std::string AttemptMessage(const ledger::Claim& claim) {
  std::string record = JournalRecordOf(JournalFormat::kJsonLines, claim);
  nlohmann::ordered_json object = nlohmann::ordered_json::parse(record);
  // The ledger's number tells a consumer a message it has from the same
  // message sent again (a reconnect, `ledger publish`).
  object["claim"] = claim.id;
  return object.dump();
}

Result<std::unique_ptr<MqttPublisher>> MqttPublisher::Start(const MqttOptions& options) {
  InitLibrary();
  std::unique_ptr<MqttPublisher> publisher(new MqttPublisher(options));
  const auto fail = [&options](const std::string& why) {
    return Result<std::unique_ptr<MqttPublisher>>::Failure(
        Message{msg::kMqttCannotStart, FormatString(msg::kMqttCannotStart, {options.target.Describe(), why}), 0});
  };
  mosquitto* client = mosquitto_new(nullptr, true, publisher.get());
  if (client == nullptr) return fail("mosquitto_new");
  publisher->client_ = client;
  const MqttTarget& target = options.target;
  mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  // Sent and retained by the broker when the station vanishes unannounced.
  const std::string will = StateMessage(options.station, "stopped", true);
  const std::string stateTopic = target.topic + "/state";
  if (mosquitto_will_set(client, stateTopic.c_str(), static_cast<int>(will.size()), will.data(), kQos, true) !=
      MOSQ_ERR_SUCCESS) {
    return fail("last will");
  }
  if (!target.user.empty() &&
      mosquitto_username_pw_set(client, target.user.c_str(), target.password.c_str()) != MOSQ_ERR_SUCCESS) {
    return fail("user");
  }
  if (target.tls) {
    const char* caFile = options.caFile.empty() ? nullptr : options.caFile.c_str();
    const char* caPath = options.caFile.empty() ? "/etc/ssl/certs" : nullptr;
    if (const int rc = mosquitto_tls_set(client, caFile, caPath, nullptr, nullptr, nullptr); rc != MOSQ_ERR_SUCCESS) {
      return fail(mosquitto_strerror(rc));
    }
    // The certificate and its host name are checked (SSL_VERIFY_PEER).
    mosquitto_tls_opts_set(client, 1, nullptr, nullptr);
    mosquitto_tls_insecure_set(client, false);
  }
  // A broker back after a restart is found within a second.
  mosquitto_reconnect_delay_set(client, 1, 1, false);
  mosquitto_connect_callback_set(
      client, [](mosquitto*, void* self, int rc) { static_cast<MqttPublisher*>(self)->OnConnect(rc); });
  mosquitto_disconnect_callback_set(
      client, [](mosquitto*, void* self, int) { static_cast<MqttPublisher*>(self)->OnDisconnect(); });
  mosquitto_publish_callback_set(
      client, [](mosquitto*, void* self, int mid) { static_cast<MqttPublisher*>(self)->OnPublish(mid); });
  // A broker refused for its certificate or host name shows only here.
  mosquitto_log_callback_set(client, [](mosquitto*, void* self, int level, const char* text) {
    if (level == MOSQ_LOG_ERR) static_cast<MqttPublisher*>(self)->OnError(text);
  });
  // An absent broker is no failure: the network thread goes on trying.
  mosquitto_connect_async(client, target.host.c_str(), target.port, kKeepAliveS);
  if (const int rc = mosquitto_loop_start(client); rc != MOSQ_ERR_SUCCESS) return fail(mosquitto_strerror(rc));
  publisher->sender_ = std::thread([p = publisher.get()] { p->Send(); });
  return publisher;
}

MqttPublisher::MqttPublisher(MqttOptions options) : options_(std::move(options)) {}

MqttPublisher::~MqttPublisher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (sender_.joinable()) sender_.join();
  if (client_ != nullptr) {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
    mosquitto_destroy(client_);
  }
}

void MqttPublisher::Settled(const ledger::Claim& claim) {
  Enqueue({options_.target.topic, AttemptMessage(claim), false, claim.settled}, true);
}

void MqttPublisher::State(const std::string& state) {
  Enqueue({options_.target.topic + "/state", StateMessage(options_.station, state, false), true, ""}, false);
}

void MqttPublisher::Enqueue(Outgoing message, bool droppable) {
  {
    std::lock_guard lock(mutex_);
    if (droppable && queue_.size() >= options_.queueLimit) {
      ++tally_.dropped;
      NoteMissed(message.settled);
      return;
    }
    queue_.push_back(std::move(message));
  }
  changed_.notify_all();
}

void MqttPublisher::NoteMissed(const std::string& settled) {
  if (tally_.firstMissed.empty()) tally_.firstMissed = settled;
}

void MqttPublisher::Send() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      return stopping_ || (connected_ && !queue_.empty() && inFlight_.size() < static_cast<std::size_t>(kWindow));
    });
    if (stopping_) return;
    Outgoing message = std::move(queue_.front());
    queue_.pop_front();
    // libmosquitto's locks are never taken under ours: its network thread
    // calls OnPublish, which takes ours.
    lock.unlock();
    int mid = 0;
    const int rc = mosquitto_publish(client_, &mid, message.topic.c_str(), static_cast<int>(message.payload.size()),
                                     message.payload.data(), kQos, message.retain);
    lock.lock();
    if (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN) {
      // Queued by libmosquitto (with no connection: sent after the next
      // one); its acknowledgement may have come already.
      if (acknowledgedEarly_.erase(mid) > 0) {
        ++tally_.acknowledged;
      } else {
        inFlight_.emplace(mid, std::move(message));
      }
    } else {
      // Refused outright (too large, out of memory): sending it again
      // would not help.
      ++tally_.dropped;
      NoteMissed(message.settled);
    }
  }
}

void MqttPublisher::OnConnect(int rc) {
  {
    std::lock_guard lock(mutex_);
    connected_ = rc == 0;
    tally_.lastError = connected_ ? "" : mosquitto_connack_string(rc);
  }
  changed_.notify_all();
}

void MqttPublisher::OnDisconnect() {
  {
    std::lock_guard lock(mutex_);
    connected_ = false;
  }
  changed_.notify_all();
}

void MqttPublisher::OnPublish(int mid) {
  {
    std::lock_guard lock(mutex_);
    if (inFlight_.erase(mid) > 0) {
      ++tally_.acknowledged;
    } else {
      acknowledgedEarly_.insert(mid);
    }
  }
  changed_.notify_all();
}

void MqttPublisher::OnError(const char* text) {
  std::lock_guard lock(mutex_);
  tally_.lastError = text != nullptr ? text : "";
}

bool MqttPublisher::Connected() const {
  std::lock_guard lock(mutex_);
  return connected_;
}

MqttPublisher::Tally MqttPublisher::Finish(std::chrono::milliseconds deadline, std::chrono::milliseconds idle) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Clock::time_point lastSeen = start;
  std::unique_lock lock(mutex_);
  while (!(queue_.empty() && inFlight_.empty())) {
    const Clock::time_point now = Clock::now();
    if (connected_) lastSeen = now;
    if (now - start >= deadline || now - lastSeen >= idle) break;
    changed_.wait_for(lock, std::chrono::milliseconds(100));
  }
  Tally tally = tally_;
  const auto isAttempt = [](const Outgoing& message) { return !message.settled.empty(); };
  tally.unsent = std::count_if(queue_.begin(), queue_.end(), isAttempt);
  for (const auto& [mid, message] : inFlight_) tally.unsent += isAttempt(message) ? 1 : 0;
  // The first attempt that did not arrive, in the order they were settled.
  std::string first = tally.firstMissed;
  const auto earlier = [&first](const Outgoing& message) {
    if (message.settled.empty()) return;
    if (first.empty() || message.settled < first) first = message.settled;
  };
  for (const auto& [mid, message] : inFlight_) earlier(message);
  for (const Outgoing& message : queue_) earlier(message);
  tally.firstMissed = first;
  stopping_ = true;
  lock.unlock();
  changed_.notify_all();
  if (sender_.joinable()) sender_.join();
  mosquitto_disconnect(client_);
  mosquitto_loop_stop(client_, false);
  return tally;
}

}  // namespace stampwise::events
