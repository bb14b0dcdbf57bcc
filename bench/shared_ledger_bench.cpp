// What a shared ledger costs a station: tags per second of stampwise-cli on a
// fast belt with the station's own ledger alone and with a shared ledger in a
// private PostgreSQL server (lease 100), and the time one lease takes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/job/value_source.h"
#include "app/ledger/pg_ledger.h"
#include "sim/sim_process.h"
#include "tests/app/pg_cluster.h"
#include "tests/app/temp_folder.h"
#include "tests/cli/child_process.h"

namespace {

using namespace stampwise;
using Clock = std::chrono::steady_clock;

constexpr int kTags = 500;

double TagsPerSecond(const testing::TempFolder& folder, const std::string& name, const std::string& ledger) {
  mkvsim::SimProcess sim({"--tags", "0", "--conveyor", "1,0", "--quiet"});
  std::vector<std::string> line{"/usr/bin/env",
                                "STAMPWISE_LEDGER=" + folder.File(name + ".sqlite3"),
                                STAMPWISE_CLI_PATH,
                                "--settings",
                                folder.File(name + ".ini"),
                                "--port",
                                sim.PtyPath()};
  if (!ledger.empty()) line.insert(line.end(), {"--ledger", ledger});
  line.insert(line.end(), {"write",
                           "--bank",
                           "user",
                           "--start",
                           "0",
                           "--length",
                           "4",
                           "--format",
                           "hex-bin",
                           "--inc",
                           "hex",
                           "--value",
                           "00000001",
                           "--station",
                           name,
                           "--journal",
                           folder.File(name + ".csv"),
                           "--cycle",
                           "--period",
                           "1",
                           "--count",
                           std::to_string(kTags),
                           "--lease",
                           "100"});
  const auto begun = Clock::now();
  const testing::RunResult result = testing::RunProgram(line, 300000);
  const double seconds = std::chrono::duration<double>(Clock::now() - begun).count();
  if (result.exitCode != 0)
    std::fprintf(stderr, "%s: exit %d\n%s\n", name.c_str(), result.exitCode, result.err.c_str());
  return kTags / seconds;
}

}  // namespace

int main() {
  if (const std::string why = testing::PgCluster::Unavailable(); !why.empty()) {
    std::printf("skipped: %s\n", why.c_str());
    return 0;
  }
  testing::PgCluster cluster;
  if (!cluster.Running()) {
    std::printf("the PostgreSQL server did not start\n");
    return 1;
  }
  testing::TempFolder folder("shared-bench");
  const double local = TagsPerSecond(folder, "local", "");
  const double shared = TagsPerSecond(folder, "shared", cluster.Uri());
  std::printf("tags per second, %d tags: local ledger %.1f, shared ledger (lease 100) %.1f\n", kTags, local, shared);

  // One lease of 100 counter values, taken again and again.
  ParameterSet params;
  params.bank = Bank::User;
  params.lengthBytes = 4;
  params.format = DataFormat::HexBinary;
  params.autoIncrementDec = false;
  params.autoIncrementHex = true;
  params.value = "00000001";
  auto source = MakeCounterSource(params, false);
  ledger::PgLedger ledger(cluster.Uri(), 100);
  std::vector<double> ms;
  std::optional<std::string> previous;
  for (int i = 0; i < 200; ++i) {
    const auto begun = Clock::now();
    Result<ledger::Lease> lease = ledger.TakeLease(
        "bench", source->Pool(), std::nullopt, previous,
        [&](const std::optional<std::string>& position) { return source->PlanFrom(position); }, source->PoolShown());
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begun).count());
    if (!lease) {
      std::printf("lease: %s\n", lease.message().text.c_str());
      return 1;
    }
    previous = lease.value().end;
  }
  std::sort(ms.begin(), ms.end());
  std::printf("one lease of 100 values: median %.2f ms, 95th percentile %.2f ms (%zu leases)\n", ms[ms.size() / 2],
              ms[ms.size() * 95 / 100], ms.size());
  return 0;
}
