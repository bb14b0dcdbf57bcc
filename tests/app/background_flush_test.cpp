// The ledger's flush on a thread of its own: each flush after the one before,
// a failure told once, nothing under way when the caller goes on; and a
// ledger whose claims are made ahead of their tags, flushed while the caller
// uses the time for itself (run under the thread sanitizer).
#include "app/ledger/background_flush.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/job/value_source.h"
#include "app/ledger/sqlite_ledger.h"
#include "tests/app/temp_folder.h"

namespace stampwise::testing {
namespace {

using ledger::BackgroundFlush;

TEST(BackgroundFlush, FlushesInTurnAndTellsTheFirstFailureOnce) {
  BackgroundFlush flush;
  std::atomic<int> running{0};
  std::atomic<int> done{0};
  bool overlapped = false;
  for (int i = 0; i < 20; ++i) {
    flush.Start([&, i]() -> std::optional<std::string> {
      overlapped = overlapped || running.fetch_add(1) != 0;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      running.fetch_sub(1);
      ++done;
      if (i == 3 || i == 7) return "disk " + std::to_string(i);
      return std::nullopt;
    });
    if (i == 9) {
      EXPECT_EQ(flush.Wait(), std::optional<std::string>("disk 3"));
      EXPECT_EQ(done.load(), 10) << "Wait returns after the flush under way";
      EXPECT_EQ(flush.Wait(), std::nullopt) << "told once";
    }
  }
  EXPECT_EQ(flush.Wait(), std::nullopt);
  EXPECT_EQ(done.load(), 20);
  EXPECT_FALSE(overlapped);
}

TEST(BackgroundFlush, AFlushUnderWayIsDoneBeforeItGoes) {
  std::atomic<bool> done{false};
  {
    BackgroundFlush flush;
    flush.Start([&]() -> std::optional<std::string> {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      done = true;
      return std::nullopt;
    });
  }
  EXPECT_TRUE(done.load());
}

// A cycle's use of the ledger: each claim made ahead, its flush running while
// the caller looks for the tag; then on disk, placed, settled; the last one
// withdrawn. Every value once, the file whole.
TEST(BackgroundFlush, ClaimsMadeAheadKeepTheLedgerWhole) {
  TempFolder folder("background-flush");
  auto ledger = ledger::SqliteLedger::Open(folder.File("ledger.sqlite3")).value();
  ParameterSet params;
  params.bank = Bank::User;
  params.lengthBytes = 4;
  params.format = DataFormat::HexBinary;
  params.autoIncrementDec = false;
  params.autoIncrementHex = true;
  params.value = "00000001";
  auto source = MakeCounterSource(params, false);
  std::optional<ledger::Plan> planned;
  ledger::ClaimRequest request;
  request.station = "S1";
  request.bank = 3;
  request.pool = source->Pool();
  request.flushLater = true;
  request.plan = [&](const std::optional<std::string>& position) {
    Result<ledger::Plan> plan = source->PlanFrom(position);
    if (plan) planned = plan.value();
    return plan;
  };
  Result<ledger::Claim> first = ledger->Take(request);
  ASSERT_TRUE(first) << first.message().text;
  source->Claimed(*planned);
  ledger::Claim ahead = first.value();
  for (int tag = 0; tag < 100; ++tag) {
    ledger::Claim claim = ahead;
    ASSERT_TRUE(ledger->Durable());
    ASSERT_TRUE(ledger->Locate(claim, "E280", "3000"));
    ledger::Settlement written;
    written.outcome = ledger::Outcome::kWritten;
    std::optional<Result<ledger::Claim>> next;
    ASSERT_TRUE(ledger->SettleAndTake(claim, written, request, next));
    ASSERT_TRUE(next && *next);
    source->Claimed(*planned);
    ahead = next->value();
  }
  EXPECT_EQ(ledger->Withdraw(ahead).value(), true);
  const std::vector<ledger::Claim> claims = ledger->List({}).value();
  ASSERT_EQ(claims.size(), 100u);
  EXPECT_EQ(claims.back().value, "00000064");
  EXPECT_EQ(ledger->Position(source->Pool()).value(), std::optional<std::string>("00000065"));
  EXPECT_EQ(ledger->IntegrityCheck(), "ok");
}

}  // namespace
}  // namespace stampwise::testing
