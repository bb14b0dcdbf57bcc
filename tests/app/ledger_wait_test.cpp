// A write cycle on a shared ledger whose server goes away while the lease
// runs out, as the window runs it: the cycle waits and says so, touches no
// tag meanwhile, and writes on by itself once the server answers again; the
// stop button ends the wait at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "app/ledger/pg_ledger.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/app/cycle_fixture.h"
#include "tests/app/pg_cluster.h"

namespace stampwise::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class LedgerWaitTest : public CycleTest {
 protected:
  void SetUp() override {
    if (const std::string why = PgCluster::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    cluster_ = std::make_unique<PgCluster>();
    ASSERT_TRUE(cluster_->Running()) << "the test's PostgreSQL server did not start";
    StartReader({"--tags", "0"});
    UserHexJob("00000001");
    Change([this](WriterConfig& config) {
      config.ledgerFile = cluster_->Uri();
      config.leaseSize = 2;
      config.waitForLedger = true;
    });
    ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  }

  // The belt brings the next tag and the cycle's timer fires.
  void NextTag() {
    Control("conveyor next 1");
    writer_->Tick(Cycle::Write);
  }

  // Writes the lease of two (the server answering), then lets the server go
  // and meets the used-up lease with the next tag.
  void RunOutOfLeaseWithTheServerAway() {
    NextTag();
    ASSERT_TRUE(cluster_->Stop());
    NextTag();
    ASSERT_THAT(DataWritten(3), ElementsAre("00000001", "00000002"));
    NextTag();
    ASSERT_TRUE(writer_->WaitingForLedger());
  }

  bool StatusSays(int id) const {
    const std::string start = LoadString(id).substr(0, 20);
    for (const std::string& line : frontEnd_.statusLines) {
      if (line.rfind(start, 0) == 0) return true;
    }
    return false;
  }

  std::unique_ptr<PgCluster> cluster_;
};

TEST_F(LedgerWaitTest, CycleWaitsForTheServerAndWritesOnByItself) {
  RunOutOfLeaseWithTheServerAway();
  EXPECT_EQ(writer_->RunningCycle(), Cycle::Write) << "the cycle goes on waiting";
  EXPECT_EQ(frontEnd_.cycleStopped, 0);
  EXPECT_EQ(writer_->HaltReason(), TagWriter::Halt::kNone);
  EXPECT_TRUE(StatusSays(msg::kSharedLedgerAway));
  ASSERT_EQ(frontEnd_.ledgerWaits.size(), 1u);
  EXPECT_EQ(frontEnd_.ledgerWaits[0],
            FormatString(msg::kSharedLedgerWaiting, {ledger::WithoutPassword(cluster_->Uri())}));
  EXPECT_THAT(frontEnd_.ledgerWaits[0], Not(HasSubstr(PgCluster::kPassword)));

  // Its ticks touch no tag while it waits.
  for (int i = 0; i < 3; ++i) writer_->Tick(Cycle::Write);
  EXPECT_EQ(DataWritten(3).size(), 2u);

  ASSERT_TRUE(cluster_->Start());
  // The server is asked again on the ledger's own back-off; the deadline only
  // guards against a cycle that never goes on.
  const auto guard = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (writer_->WaitingForLedger() && std::chrono::steady_clock::now() < guard) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    writer_->Tick(Cycle::Write);
  }
  ASSERT_FALSE(writer_->WaitingForLedger());
  EXPECT_TRUE(StatusSays(msg::kSharedLedgerBack));
  EXPECT_EQ(frontEnd_.ledgerWaits.back(), "");
  // The tag that waited in the field takes the first value of the new lease.
  EXPECT_THAT(DataWritten(3), ElementsAre("00000001", "00000002", "00000003"));
  NextTag();
  EXPECT_THAT(DataWritten(3), ElementsAre("00000001", "00000002", "00000003", "00000004"));
  writer_->StopCycle();

  // Every value written is in the shared ledger once, the one written while
  // the server was away too.
  ledger::PgLedger shared(cluster_->Uri(), 1);
  const Result<std::vector<ledger::Claim>> claims = shared.List({});
  ASSERT_TRUE(claims) << claims.message().text;
  std::map<std::string, int> written;
  for (const ledger::Claim& claim : claims.value()) {
    if (claim.outcome == ledger::Outcome::kWritten) ++written[claim.value];
  }
  EXPECT_EQ(written, (std::map<std::string, int>{{"00000001", 1}, {"00000002", 1}, {"00000003", 1}, {"00000004", 1}}));
}

TEST_F(LedgerWaitTest, StoppingTheCycleEndsTheWait) {
  RunOutOfLeaseWithTheServerAway();
  writer_->StopCycle();
  EXPECT_FALSE(writer_->WaitingForLedger());
  EXPECT_EQ(writer_->RunningCycle(), Cycle::None);
  EXPECT_THAT(frontEnd_.ledgerWaits, ElementsAre(Not(""), ""));
  // The operator's single write asks the server anew and stops, as a
  // command line job does: nothing goes on by itself after it.
  const std::size_t lines = frontEnd_.statusLines.size();
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_EQ(writer_->HaltReason(), TagWriter::Halt::kLedger);
  EXPECT_FALSE(writer_->WaitingForLedger());
  EXPECT_EQ(frontEnd_.ledgerWaits.size(), 2u);
  EXPECT_GT(frontEnd_.statusLines.size(), lines);
  EXPECT_EQ(DataWritten(3).size(), 2u);
}

}  // namespace
}  // namespace stampwise::testing
