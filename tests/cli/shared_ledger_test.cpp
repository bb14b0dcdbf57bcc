// Stations sharing one ledger in a PostgreSQL server the test starts: values
// come in leases of a shared pool, never overlap between stations, reach the
// shared ledger once each, and a station writes on from its lease while the
// server is away.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <thread>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/app/pg_cluster.h"
#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class SharedLedgerTest : public CliTest {
 protected:
  struct Station {
    std::string name;
    std::string local;  // its own ledger
    std::string settings;
    std::string record;
    std::unique_ptr<mkvsim::SimProcess> sim;
  };

  void SetUp() override {
    if (const std::string why = PgCluster::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    cluster_ = std::make_unique<PgCluster>();
    ASSERT_TRUE(cluster_->Running()) << "the test's PostgreSQL server did not start";
  }

  // A station on a belt of its own (a new tag every 5 ms unless `belt` says otherwise).
  Station& AddStation(const std::string& name, std::vector<std::string> belt = {"--conveyor", "5,5"}) {
    auto station = std::make_unique<Station>();
    station->name = name;
    station->local = folder_.File(name + ".sqlite3");
    station->settings = folder_.File(name + ".ini");
    station->record = folder_.File(name + "-record.txt");
    belt.insert(belt.end(), {"--tags", "0", "--quiet", "--record", station->record});
    station->sim = std::make_unique<mkvsim::SimProcess>(belt);
    stations_.push_back(std::move(station));
    return *stations_.back();
  }

  // A write job of `station` on the shared ledger: four bytes, hex counter.
  std::vector<std::string> Job(const Station& station, const std::string& value, std::vector<std::string> extra) const {
    std::vector<std::string> line{"/usr/bin/env",
                                  "STAMPWISE_LEDGER=" + station.local,
                                  kCliPath,
                                  "--settings",
                                  station.settings,
                                  "--port",
                                  station.sim->PtyPath(),
                                  "--ledger",
                                  cluster_->Uri()};
    extra.insert(extra.end(), {"--station", station.name});
    for (const std::string& arg : UserHexJob(extra, value)) line.push_back(arg);
    return line;
  }
  RunResult Count(const Station& station, const std::string& value, int count, int lease) const {
    return Checked(RunProgram(
        Job(station, value,
            {"--cycle", "--count", std::to_string(count), "--period", "2", "--lease", std::to_string(lease)}),
        90000));
  }
  // A `ledger` command on the shared ledger.
  RunResult Ledger(std::vector<std::string> args) const {
    std::vector<std::string> line{kCliPath,   "--json",        "--settings", SettingsFile(),
                                  "--ledger", cluster_->Uri(), "ledger"};
    line.insert(line.end(), args.begin(), args.end());
    return Checked(RunProgram(line));
  }
  // No output ever shows the password.
  static RunResult Checked(RunResult result) {
    EXPECT_THAT(result.out + result.err, Not(HasSubstr(PgCluster::kPassword)));
    return result;
  }

  static std::vector<unsigned long> Written(const Station& station) {
    std::vector<unsigned long> values;
    for (const RecordedWrite& w : ReadRecord(station.record)) {
      if (w.bank == 3) values.push_back(std::stoul(w.data, nullptr, 16));
    }
    return values;
  }
  // Every value on at most one tag of all stations' belts.
  void ExpectNoValueTwice() const {
    std::map<std::string, std::pair<std::string, unsigned>> tagOf;
    for (const auto& station : stations_) {
      for (const RecordedWrite& w : ReadRecord(station->record)) {
        const auto [at, fresh] = tagOf.emplace(w.data, std::make_pair(station->name, w.tagId));
        EXPECT_TRUE(fresh || at->second == std::make_pair(station->name, w.tagId))
            << w.data << " at " << at->second.first << " and " << station->name;
      }
    }
  }
  // Every write that reached a tag is in the shared ledger once, written
  // or unknown.
  void ExpectEveryWriteSharedOnce() const {
    const RunResult listed = Ledger({"list"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::map<std::string, int> tagged;
    for (const nlohmann::json& claim : OfType(JsonLines(listed.out), "claim")) {
      const std::string outcome = claim["outcome"];
      if (outcome == "written" || outcome == "unknown") ++tagged[claim["bytes"].get<std::string>()];
    }
    for (const auto& station : stations_) {
      for (const RecordedWrite& w : ReadRecord(station->record)) {
        // An EPC write carries its protocol-control word before the EPC.
        const std::string bytes = w.bank == 1 && tagged.count(w.data) == 0 ? w.data.substr(4) : w.data;
        EXPECT_EQ(tagged[bytes], 1) << w.data << " of " << station->name;
      }
    }
  }
  std::vector<nlohmann::json> Leases(const std::string& type) const {
    const RunResult leases = Ledger({"leases"});
    EXPECT_EQ(leases.exitCode, 0) << leases.err;
    return OfType(JsonLines(leases.out), type);
  }

  std::unique_ptr<PgCluster> cluster_;
  std::vector<std::unique_ptr<Station>> stations_;
};

TEST_F(SharedLedgerTest, TwoStationsFollowOnePoolAndNeverOverlap) {
  Station& one = AddStation("EINS");
  Station& two = AddStation("ZWEI");
  // The first station sets the pool's start.
  ASSERT_EQ(Count(one, "00000100", 5, 7).exitCode, 0);
  ChildProcess first(Job(one, "", {"--cycle", "--count", "60", "--period", "2", "--lease", "7"}));
  // The second has no stored value of its own: it follows the pool.
  ChildProcess second(Job(two, "", {"--cycle", "--count", "60", "--period", "2", "--lease", "7"}));
  // Its first line comes after the command line is read and the password
  // blanked; the cycle then runs on for many more tags.
  ASSERT_TRUE(second.Pump(90000, "\n")) << second.Out() << second.Err();
  std::ifstream cmdline("/proc/" + std::to_string(second.Pid()) + "/cmdline");
  const std::string shown((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
  EXPECT_THAT(shown, Not(HasSubstr(PgCluster::kPassword))) << "process listings show the password";
  EXPECT_EQ(first.Wait(90000), 0) << first.Out() << first.Err();
  EXPECT_EQ(second.Wait(90000), 0) << second.Out() << second.Err();
  EXPECT_THAT(first.Out() + first.Err() + second.Out() + second.Err(), Not(HasSubstr(PgCluster::kPassword)));

  ASSERT_EQ(Written(one).size(), 65u);
  ASSERT_EQ(Written(two).size(), 60u);
  for (const unsigned long value : Written(one)) EXPECT_GE(value, 0x100ul);
  for (const unsigned long value : Written(two)) EXPECT_GE(value, 0x105ul) << "the later station follows the pool";
  ExpectNoValueTwice();
  ExpectEveryWriteSharedOnce();
}

TEST_F(SharedLedgerTest, BytesAnotherStationUsedAreRefused) {
  Station& one = AddStation("EINS");
  Station& two = AddStation("ZWEI");
  ASSERT_EQ(Count(one, "00000300", 3, 5).exitCode, 0);
  const RunResult again = Count(two, "00000301", 1, 5);
  EXPECT_EQ(again.exitCode, 1) << again.out << again.err;
  EXPECT_THAT(again.out + again.err, HasSubstr("EINS"));
  EXPECT_THAT(again.out + again.err, HasSubstr("00000301"));
  EXPECT_TRUE(Written(two).empty());
  // With the choice made on purpose it is written, and recorded as a re-use.
  const RunResult reused = RunProgram(Job(two, "00000301", {"--allow-reuse"}));
  EXPECT_EQ(reused.exitCode, 0) << reused.out << reused.err;
  EXPECT_EQ(Written(two).size(), 1u);
}

TEST_F(SharedLedgerTest, CleanEndGivesTheRestBackAndAKilledStationTakesItsLeaseBack) {
  Station& one = AddStation("EINS");
  ASSERT_EQ(Count(one, "00000500", 3, 50).exitCode, 0);
  std::vector<nlohmann::json> pools = Leases("pool");
  ASSERT_EQ(pools.size(), 1u);
  EXPECT_EQ(pools[0]["next"], "00000503");
  EXPECT_TRUE(Leases("lease").empty());

  {
    ChildProcess killed(Job(one, "", {"--cycle", "--period", "2", "--max-time", "60", "--lease", "50"}));
    ASSERT_TRUE(killed.Pump(20000, "<00000504> erfolgreich")) << killed.Out() << killed.Err();
    killed.Signal(SIGKILL);
    killed.Wait(30000);
  }
  const std::vector<nlohmann::json> open = Leases("lease");
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0]["station"], "EINS");
  EXPECT_EQ(open[0]["first"], "00000503");
  EXPECT_EQ(open[0]["last"], "00000534");
  EXPECT_EQ(Leases("pool")[0]["next"], "00000535");

  const std::size_t before = Written(one).size();
  ASSERT_EQ(Count(one, "", 2, 50).exitCode, 0);
  const std::vector<unsigned long> after = Written(one);
  ASSERT_EQ(after.size(), before + 2);
  EXPECT_LT(after.back(), 0x535ul) << "the killed station's lease is taken back";
  EXPECT_TRUE(Leases("lease").empty());
  char next[9];
  std::snprintf(next, sizeof next, "%08lX", after.back() + 1);
  EXPECT_EQ(Leases("pool")[0]["next"], next) << "the rest went back to the pool";
  ExpectNoValueTwice();
  ExpectEveryWriteSharedOnce();
}

TEST_F(SharedLedgerTest, StationWritesOnFromItsLeaseWhileTheDatabaseIsAway) {
  Station& one = AddStation("EINS");
  ASSERT_EQ(Count(one, "00000700", 1, 10).exitCode, 0);
  {
    // Its lease: 00000701 to 0000070A.
    ChildProcess killed(Job(one, "", {"--cycle", "--period", "2", "--max-time", "60", "--lease", "10"}));
    ASSERT_TRUE(killed.Pump(20000, "<00000703> erfolgreich")) << killed.Out() << killed.Err();
    killed.Signal(SIGKILL);
    killed.Wait(30000);
  }
  const std::size_t before = Written(one).size();
  ASSERT_TRUE(cluster_->Stop());

  // The ledger's own commands fail with a message, never an empty answer.
  for (const std::vector<std::string>& command : {std::vector<std::string>{"list"}, {"leases"}}) {
    const RunResult away = Ledger(command);
    EXPECT_EQ(away.exitCode, 1) << command[0];
    EXPECT_TRUE(OfType(JsonLines(away.out), "claim").empty()) << command[0];
    EXPECT_FALSE(OfType(JsonLines(away.out + away.err), "error").empty()) << command[0] << away.out << away.err;
  }

  const RunResult offline = Count(one, "", 50, 10);
  EXPECT_EQ(offline.exitCode, 1) << offline.out << offline.err;
  EXPECT_THAT(offline.out + offline.err, HasSubstr("antwortet nicht"));
  // The whole lease, but the value a kill may have left on no tag.
  const std::vector<unsigned long> written = Written(one);
  EXPECT_GE(written.size(), 10u);
  EXPECT_LE(written.size(), 11u);
  EXPECT_GT(written.size(), before);
  for (const unsigned long value : written) EXPECT_LE(value, 0x70Aul) << "nothing beyond the lease";

  ASSERT_TRUE(cluster_->Start());
  const RunResult back = Count(one, "", 2, 10);
  EXPECT_EQ(back.exitCode, 0) << back.out << back.err;
  EXPECT_EQ(Written(one).size(), written.size() + 2);
  EXPECT_GT(Written(one).back(), 0x70Aul);
  ExpectNoValueTwice();
  ExpectEveryWriteSharedOnce();
}

// A station the PLC drives waits for the server once its lease is used up:
// it says so, takes no trigger meanwhile, and goes on by itself when the
// server answers again. The PLC moves the belt.
TEST_F(SharedLedgerTest, StationWaitsForTheServerAndGoesOnByItself) {
  Station& one = AddStation("EINS", {});
  std::vector<std::string> line = Job(one, "00000001", {"--lease", "3", "--modbus", "127.0.0.1:0"});
  *std::find(line.begin(), line.end(), "write") = "station";
  ChildProcess station(line);
  const std::string ready = LoadString(msg::kStationReady);
  const std::string prefix = ready.substr(0, ready.find("%s"));
  ASSERT_TRUE(station.Pump(30000, prefix)) << station.Out() << station.Err();
  const std::size_t colon = station.Out().find(':', station.Out().find(prefix) + prefix.size());
  const std::string port = std::to_string(std::stoi(station.Out().substr(colon + 1)));
  const auto plc = [&](const std::vector<std::string>& steps) {
    std::vector<std::string> argv{PLC_PYTHON, PLC_CLIENT, port, one.sim->ControlPath()};
    argv.insert(argv.end(), steps.begin(), steps.end());
    const RunResult run = RunProgram(argv, 600000);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    std::vector<nlohmann::json> results;
    for (const std::string& result : Lines(run.out)) results.push_back(nlohmann::json::parse(result, nullptr, false));
    results.resize(steps.size());
    return results;
  };
  constexpr int kReady = 0;
  constexpr int kHalted = 4;
  constexpr int kOutcome = 6;

  // The value given is a lease of its own; the next lease (2 to 4) is taken
  // with the server there, and its rest written while the server is away.
  plc({"loop:2"});
  ASSERT_TRUE(cluster_->Stop());
  plc({"loop:2"});
  station.Pump(500);
  ASSERT_EQ(Written(one).size(), 4u) << station.Out() << station.Err();
  std::vector<nlohmann::json> away = plc({"sim:conveyor next 1", "trigger", "refused"});
  EXPECT_EQ(away[1]["registers"][kOutcome], 2) << "the tag without a value failed";
  EXPECT_EQ(away[1]["inputs"][kReady], 0) << "no trigger while it waits";
  EXPECT_EQ(away[1]["inputs"][kHalted], 0) << "waiting is no halt";
  EXPECT_EQ(away[2]["code"], 4);
  const std::string waiting = LoadString(msg::kSharedLedgerWaiting).substr(0, 20);
  for (int i = 0; i < 300 && station.Err().find(waiting) == std::string::npos; ++i) station.Pump(100);
  EXPECT_THAT(station.Err(), HasSubstr(waiting)) << "said on stderr";
  EXPECT_THAT(station.Out() + station.Err(), HasSubstr("antwortet nicht"));
  EXPECT_EQ(Written(one).size(), 4u);

  ASSERT_TRUE(cluster_->Start());
  // The tag that waited on the belt takes the next lease's first value.
  std::vector<nlohmann::json> back = plc({"ready", "trigger", "loop:2"});
  EXPECT_EQ(back[1]["registers"][kOutcome], 1);
  station.Signal(SIGTERM);
  EXPECT_EQ(station.Wait(30000), 0) << station.Out() << station.Err();
  EXPECT_THAT(station.Out(), HasSubstr(LoadString(msg::kSharedLedgerBack).substr(0, 20)));
  EXPECT_THAT(station.Out() + station.Err(), Not(HasSubstr(PgCluster::kPassword)));
  EXPECT_EQ(Written(one), (std::vector<unsigned long>{1, 2, 3, 4, 5, 6, 7}));
  ExpectNoValueTwice();
  ExpectEveryWriteSharedOnce();
}

// Three stations on three belts share one pool of each kind of source. They are
// killed at random moments and started again, and the server is stopped for
// 10 s in the middle of the run (stations write on from their leases, and end
// when a lease is used up; they are started again at once). Afterwards every
// value is on at most one tag over all belts and every write that reached a
// tag is in the shared ledger once.
struct SharedSource {
  std::string name;
  int bank;
  std::function<std::vector<std::string>(bool first, const std::string& folder)> job;
};

class SharedSourceKillTest : public SharedLedgerTest, public ::testing::WithParamInterface<SharedSource> {};

// Half a minute (some 80 kills) with the server away for ten seconds in its
// middle. Under AddressSanitizer the stations start several times slower, so
// a shorter run there sees as many kills per start and the suite stays quick.
#ifdef __SANITIZE_ADDRESS__
constexpr std::chrono::seconds kKillRunTime{24};
#else
constexpr std::chrono::seconds kKillRunTime{30};
#endif
constexpr std::chrono::seconds kServerAwayTime{10};
constexpr std::chrono::seconds kServerStopsAt = (kKillRunTime - kServerAwayTime) / 2;

TEST_P(SharedSourceKillTest, StationsKilledAndTheServerAwayNeverShareAValue) {
  const SharedSource& source = GetParam();
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::string list;
  for (int i = 1; i <= 20000; ++i) {
    const std::string number = std::to_string(i);
    list += "L" + std::string(5 - number.size(), '0') + number + "\n";
  }
  WriteFile(folder_.File("list.txt"), list);

  struct Running {
    Station* station;
    std::unique_ptr<ChildProcess> cli;
  };
  std::vector<Running> running;
  for (const char* name : {"EINS", "ZWEI", "DREI"}) running.push_back({&AddStation(name), nullptr});
  bool first = true;
  const auto start = [&](Running& r) {
    // One settings file for all: the first start sets the job up.
    std::vector<std::string> line{"/usr/bin/env",
                                  "STAMPWISE_LEDGER=" + r.station->local,
                                  kCliPath,
                                  "--settings",
                                  SettingsFile(),
                                  "--port",
                                  r.station->sim->PtyPath(),
                                  "--timeout",
                                  "150",
                                  "--ledger",
                                  cluster_->Uri()};
    for (const std::string& arg : source.job(first, folder_.Path())) line.push_back(arg);
    first = false;
    line.insert(line.end(),
                {"--station", r.station->name, "--lease", "20", "--cycle", "--period", "2", "--max-time", "60"});
    r.cli = std::make_unique<ChildProcess>(line);
  };
  const auto pumpFor = [&](int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
      for (Running& r : running) r.cli->Pump(5);
    }
  };
  start(running[0]);
  for (int i = 0; i < 1000 && ReadRecord(running[0].station->record).empty(); ++i) running[0].cli->Pump(10);
  ASSERT_FALSE(ReadRecord(running[0].station->record).empty()) << running[0].cli->Out() << running[0].cli->Err();
  for (std::size_t i = 1; i < running.size(); ++i) start(running[i]);

  std::uniform_int_distribution<std::size_t> pick(0, running.size() - 1);
  std::uniform_int_distribution<int> pauseMs(100, 600);
  int kills = 0;
  const auto begun = std::chrono::steady_clock::now();
  bool stopped = false;
  bool restarted = false;
  while (std::chrono::steady_clock::now() < begun + kKillRunTime) {
    const auto elapsed = std::chrono::steady_clock::now() - begun;
    if (!stopped && elapsed > kServerStopsAt) {
      ASSERT_TRUE(cluster_->Stop());
      stopped = true;
    }
    if (stopped && !restarted && elapsed > kServerStopsAt + kServerAwayTime) {
      ASSERT_TRUE(cluster_->Start());
      restarted = true;
    }
    pumpFor(pauseMs(random));
    Running& victim = running[pick(random)];
    if (victim.cli->Running()) {
      victim.cli->Signal(SIGKILL);
      victim.cli->Wait(30000);
      ++kills;
    }
    for (Running& r : running) {
      if (r.cli->Ended()) start(r);
    }
  }
  ASSERT_TRUE(restarted);
  // The last ones run a while on the server and end on a stop signal.
  pumpFor(1500);
  for (Running& r : running) {
    if (r.cli->Running()) r.cli->Signal(SIGTERM);
  }
  for (Running& r : running) {
    const int status = r.cli->Wait(30000);
    EXPECT_TRUE(WIFEXITED(status)) << status << r.cli->Out() << r.cli->Err();
    EXPECT_THAT(r.cli->Out() + r.cli->Err(), Not(HasSubstr(PgCluster::kPassword)));
  }
  for (Running& r : running) r.station->sim->Stop();
  EXPECT_GT(kills, 10);

  std::size_t writes = 0;
  for (Running& r : running) {
    for (const RecordedWrite& w : ReadRecord(r.station->record)) {
      EXPECT_EQ(w.bank, source.bank);
      ++writes;
    }
  }
  EXPECT_GT(writes, 100u);
  ExpectNoValueTwice();
  ExpectEveryWriteSharedOnce();
}

INSTANTIATE_TEST_SUITE_P(
    Sources, SharedSourceKillTest,
    ::testing::Values(
        SharedSource{"Counter", 3,
                     [](bool first, const std::string&) { return UserHexJob({}, first ? "00000001" : ""); }},
        SharedSource{"Sgtin96", 1,
                     [](bool first, const std::string&) {
                       return first ? std::vector<std::string>{"write", "--epc-uri",
                                                               "urn:epc:tag:sgtin-96:3.0614141.812345.1000"}
                                    : std::vector<std::string>{"write", "--gs1"};
                     }},
        SharedSource{"ValueList", 3,
                     [](bool, const std::string& folder) {
                       return std::vector<std::string>{
                           "write",    "--bank",     "user",          "--start",           "0", "--length", "6",
                           "--format", "data-ascii", "--values-file", folder + "/list.txt"};
                     }}),
    [](const ::testing::TestParamInfo<SharedSource>& param) { return param.param.name; });

TEST_F(SharedLedgerTest, StationsStartingAtOnceMakeTheSchemaOnce) {
  std::vector<std::unique_ptr<ChildProcess>> starting;
  for (int i = 0; i < 4; ++i) {
    starting.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{
        kCliPath, "--settings", SettingsFile(), "--ledger", cluster_->Uri(), "ledger", "leases"}));
  }
  for (auto& process : starting) EXPECT_EQ(process->Wait(30000), 0) << process->Out() << process->Err();
}

}  // namespace
}  // namespace stampwise::testing
