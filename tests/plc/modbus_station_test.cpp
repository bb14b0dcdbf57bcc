// The station's Modbus server in process, with the tag writer on mkv-sim and
// the attempts on their worker thread: triggers from several clients at once
// (under ThreadSanitizer too), clients that send garbage, and the listening
// address as typed.
#include "plc/modbus_station.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "app/connection/open_reader.h"
#include "app/station/station.h"
#include "app/station/station_front_end.h"
#include "app/station/station_worker.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "reader/rdr.h"
#include "tests/app/cycle_fixture.h"

namespace stampwise::testing {
namespace {

// A Modbus client of libmodbus on the station's port.
class Client {
 public:
  explicit Client(int port) : context_(modbus_new_tcp("127.0.0.1", port)) {
    if (context_ == nullptr || modbus_connect(context_) != 0) throw std::runtime_error("cannot connect");
  }
  ~Client() {
    modbus_close(context_);
    modbus_free(context_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  // 0 when the write was taken, else the Modbus exception code.
  int Trigger() { return modbus_write_bit(context_, 0, 1) == 1 ? 0 : errno - MODBUS_ENOBASE; }
  bool Busy() {
    std::uint8_t coil = 1;
    return modbus_read_bits(context_, 0, 1, &coil) != 1 || coil != 0;
  }
  std::uint32_t Written() {
    std::uint16_t words[2] = {};
    if (modbus_read_input_registers(context_, 0, 2, words) != 2) return 0;
    return static_cast<std::uint32_t>(words[0]) << 16 | words[1];
  }
  std::vector<int> Inputs() {
    std::uint8_t bits[station::kInputCount] = {};
    if (modbus_read_input_bits(context_, 0, station::kInputCount, bits) != station::kInputCount) return {};
    return {bits, bits + station::kInputCount};
  }
  std::uint16_t Register(int address) {
    std::uint16_t word = 0xFFFF;
    modbus_read_input_registers(context_, address, 1, &word);
    return word;
  }

 private:
  modbus_t* context_;
};

class ModbusStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<mkvsim::SimProcess>(std::vector<std::string>{"--tags", "1", "--quiet"});
    const ReaderIdentity id = OpenReader(sim_->PtyPath(), 19200, 1000);
    ASSERT_GT(id.handle, 0);
    handle_ = id.handle;
    settings_ = std::make_unique<Settings>(folder_.File("settings.ini"), folder_.Path() + "/");
    writer_ = std::make_unique<TagWriter>(frontEnd_, writeTimer_, readTimer_, settings_.get(), nullptr);
    writer_->SetLink(TagLink(handle_));
    WriterConfig config = writer_->Config();
    config.params.bank = Bank::User;
    config.params.lengthBytes = 4;
    config.params.format = DataFormat::HexBinary;
    config.params.autoIncrementHex = true;
    config.params.value = "00000001";
    config.logs.writeLogEnabled = false;
    writer_->Configure(config);
    station_ = std::make_unique<Station>(*writer_, [this] { worker_->Post(); });
    frontEnd_.Attach(station_.get());
    station_->SetReady(true, true);
    worker_ = std::make_unique<StationWorker>([this] { station_->RunAttempt(); });
    server_ = std::make_unique<plc::ModbusStation>(*station_);
    ASSERT_FALSE(server_->Listen({"127.0.0.1", 0}));
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    serving_ = std::thread([this] { server_->Serve(stop_); });
  }

  void TearDown() override {
    if (serving_.joinable()) {
      const std::uint64_t one = 1;
      EXPECT_EQ(::write(stop_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
      serving_.join();
      ::close(stop_);
    }
    worker_.reset();
    server_.reset();
    station_.reset();
    writer_.reset();
    if (handle_ > 0) RdrClose(handle_);
    if (sim_) sim_->Stop();
  }

  int Port() const { return server_->Bound().port; }

  TempFolder folder_;
  PrivateLedger ledger_{folder_};
  RecordingFrontEnd shown_;
  StationFrontEnd frontEnd_{shown_};
  ManualTimer writeTimer_;
  ManualTimer readTimer_;
  std::unique_ptr<mkvsim::SimProcess> sim_;
  int handle_ = 0;
  std::unique_ptr<Settings> settings_;
  std::unique_ptr<TagWriter> writer_;
  std::unique_ptr<Station> station_;
  std::unique_ptr<StationWorker> worker_;
  std::unique_ptr<plc::ModbusStation> server_;
  int stop_ = -1;
  std::thread serving_;
};

TEST_F(ModbusStationTest, TriggersFromSeveralClientsRunOneAttemptEach) {
  constexpr int kClients = 3;
  constexpr int kTriggersEach = 15;
  std::atomic<int> accepted = 0;
  std::atomic<int> refused = 0;
  std::vector<std::thread> plcs;
  for (int i = 0; i < kClients; ++i) {
    plcs.emplace_back([&] {
      Client client(Port());
      for (int n = 0; n < kTriggersEach; ++n) {
        const int code = client.Trigger();
        if (code == 0) ++accepted;
        if (code == MODBUS_EXCEPTION_SLAVE_OR_SERVER_BUSY) ++refused;
        while (client.Busy()) std::this_thread::yield();
      }
    });
  }
  for (std::thread& plc : plcs) plc.join();
  Client client(Port());
  while (client.Busy()) std::this_thread::yield();
  // Every trigger was taken or refused as busy; each one taken ran once.
  EXPECT_EQ(accepted + refused, kClients * kTriggersEach);
  EXPECT_GE(accepted, kTriggersEach);
  EXPECT_EQ(station_->Settled(), accepted.load());
  EXPECT_EQ(client.Written(), static_cast<std::uint32_t>(accepted.load()));
  EXPECT_EQ(sim_->Command("written"), "OK " + std::to_string(accepted.load()));
}

// The window's case: a trigger taken, then the fields stopped passing their
// checks before it ran. It settles as failed with nothing written; a hand-over
// without a trigger runs nothing.
TEST_F(ModbusStationTest, ATriggerRunsOnlyWhileReady) {
  station_->RunAttempt();
  EXPECT_EQ(station_->Settled(), 0);
  Client client(Port());
  // Held: the writer's thread is this test's while the worker has nothing.
  station_->SetReady(true, false);
  EXPECT_EQ(client.Trigger(), MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
  station_->SetReady(true, true);
  EXPECT_EQ(client.Trigger(), 0);
  while (client.Busy()) std::this_thread::yield();
  EXPECT_EQ(station_->LastOutcome(), station::Outcome::kWritten);
  EXPECT_EQ(sim_->Command("written"), "OK 1");
}

// The attempt that used the counter's last value halts the station at once,
// with the TID that attempt read of its tag.
TEST_F(ModbusStationTest, TheLastValueHaltsAtOnce) {
  // Set up before any trigger: the worker has not touched the writer yet.
  WriterConfig config = writer_->Config();
  config.params.value = "FFFFFFFF";
  config.trace.readTid = true;
  writer_->Configure(config);
  Client client(Port());
  ASSERT_EQ(client.Trigger(), 0);
  while (client.Busy()) std::this_thread::yield();
  EXPECT_EQ(client.Inputs(), (std::vector<int>{0, 0, 1, 0, 1}));  // passed and halted, not ready
  EXPECT_EQ(client.Register(station::kLastOutcome), static_cast<int>(station::Outcome::kWritten));
  EXPECT_NE(client.Register(station::kTid), 0);
  EXPECT_EQ(client.Trigger(), MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
  EXPECT_EQ(sim_->Command("written"), "OK 1");
  // After the station's lock: the worker said why before it settled.
  ASSERT_TRUE(station_->Halted());
  ASSERT_FALSE(shown_.statusLines.empty());
  EXPECT_EQ(shown_.statusLines.back(), FormatString(msg::kCounterExhausted, {4}));
}

TEST(StationOutcome, FromTheAttemptsLastEvent) {
  using O = TagEvent::Outcome;
  using S = station::Outcome;
  struct Case {
    std::optional<TagEvent> event;
    bool halted;
    S outcome;
  };
  auto event = [](O outcome, int messageId = 0) {
    TagEvent e;
    e.outcome = outcome;
    e.messageId = messageId;
    return std::optional<TagEvent>(e);
  };
  const Case cases[] = {
      {event(O::kDone), false, S::kWritten},
      {event(O::kFailed), false, S::kFailed},
      {event(O::kFailed, msg::kTagNotUnique), false, S::kSeveralTags},
      {event(O::kUnknown), false, S::kUnknown},
      {event(O::kMismatch), false, S::kMismatch},
      {event(O::kNone), false, S::kNoTag},
      {std::nullopt, false, S::kNoTag},  // the inventory's exchange failed
      {std::nullopt, true, S::kFailed},  // stopped before any tag
  };
  for (const Case& c : cases) {
    const S outcome = station::OutcomeOf(c.event, c.halted);
    EXPECT_EQ(outcome, c.outcome) << static_cast<int>(c.outcome);
    EXPECT_EQ(station::Rejects(outcome), c.outcome != S::kWritten);
  }
}

// A raw connection to the station's port.
int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

TEST_F(ModbusStationTest, GarbageEndsOnlyItsOwnConnection) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"a protocol other than Modbus", {0, 1, 0, 1, 0, 6, 1, 3, 0, 0, 0, 1}},
      {"a length of nothing", {0, 1, 0, 0, 0, 0, 1}},
      {"a length past any request", {0, 1, 0, 0, 0x01, 0x00, 1}},
      {"text", {'G', 'E', 'T', ' ', '/', '\r', '\n', '\r', '\n'}},
  };
  // Half a request header, never finished: waits beside the others.
  const int partial = Connect(Port());
  ASSERT_EQ(::send(partial, "\x00\x01\x00", 3, MSG_NOSIGNAL), 3);
  for (const Case& c : cases) {
    const int fd = Connect(Port());
    ASSERT_EQ(::send(fd, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(c.bytes.size()));
    char byte = 0;
    EXPECT_LE(::recv(fd, &byte, 1, 0), 0) << c.what;  // closed, nothing answered
    ::close(fd);
  }
  Client client(Port());
  EXPECT_EQ(client.Trigger(), 0);
  while (client.Busy()) std::this_thread::yield();
  EXPECT_EQ(client.Written(), 1u);
  ::close(partial);
}

TEST(ListenAddress, AsTyped) {
  struct Case {
    std::string text;
    bool valid;
    std::string host;
    int port;
  };
  const Case cases[] = {
      {"1502", true, "127.0.0.1", 1502},
      {":502", true, "127.0.0.1", 502},
      {"0.0.0.0:1502", true, "0.0.0.0", 1502},
      {"192.168.1.20:0", true, "192.168.1.20", 0},
      {"", false, "", 0},
      {"127.0.0.1:", false, "", 0},
      {"127.0.0.1:65536", false, "", 0},
      {"127.0.0.1:-1", false, "", 0},
      {"plc-gateway:1502", false, "", 0},
      {"127.0.0.1:15x", false, "", 0},
  };
  for (const Case& c : cases) {
    const std::optional<plc::ListenAddress> parsed = plc::ParseListenAddress(c.text);
    ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->host, c.host) << c.text;
    EXPECT_EQ(parsed->port, c.port) << c.text;
  }
}

}  // namespace
}  // namespace stampwise::testing
