// GS1 write jobs of the tag writer against mkv-sim: a cycle over the
// simulated conveyor with consecutive serials, "NextUri" stored ahead of
// every write, the outcome rules of failed writes, and the tag URI of reads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/gs1/gs1_epc.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/app/cycle_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kFirst = "urn:epc:tag:sgtin-96:3.0614141.812345.6789";

class Gs1CycleTest : public CycleTest {
 protected:
  void Gs1Job(const std::string& uri, bool increment = true) {
    settings_->LoadGs1();
    Change([&](WriterConfig& config) {
      config.gs1.enabled = true;
      config.gs1.nextUri = uri;
      config.gs1.increment = increment;
      // What the six formats would do is not used by a GS1 job.
      config.params.bank = Bank::User;
      config.params.startWord = 7;
      config.params.lengthBytes = 3;
    });
  }
  std::string StoredNextUri() {
    Settings fresh(folder_.File("settings.ini"), folder_.Path() + "/");
    return fresh.ReadString("GS1", "NextUri", "<missing>");
  }
  // The tag URIs of the EPC bank writes (PC word and EPC from word 1), in order.
  std::vector<std::string> UrisWritten() const {
    std::vector<std::string> uris;
    for (const RecordedWrite& w : Writes()) {
      EXPECT_EQ(w.bank, 1);
      EXPECT_EQ(w.word, 1);
      const Result<gs1::Decoded> decoded = gs1::Decode(w.data.substr(4));
      uris.push_back(decoded ? decoded.value().tagUri : "<" + w.data + ">");
    }
    return uris;
  }
};

TEST_F(Gs1CycleTest, ACycleOnTheConveyorGivesConsecutiveSerials) {
  StartReader({"--tags", "0", "--conveyor", "1,0"});
  Gs1Job(kFirst);
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int tick = 0; tick < 300 && writer_->ProgrammedCount() < 5; ++tick) {
    const int before = writer_->ProgrammedCount();
    writer_->Tick(Cycle::Write);
    if (writer_->ProgrammedCount() != before) {
      // Stored before the write: after it, the store has the next tag's URI.
      EXPECT_EQ(StoredNextUri(), writer_->Config().gs1.nextUri);
    }
  }
  writer_->StopCycle();
  EXPECT_THAT(
      UrisWritten(),
      ElementsAre(kFirst, "urn:epc:tag:sgtin-96:3.0614141.812345.6790", "urn:epc:tag:sgtin-96:3.0614141.812345.6791",
                  "urn:epc:tag:sgtin-96:3.0614141.812345.6792", "urn:epc:tag:sgtin-96:3.0614141.812345.6793"));
  // The PC word announces six EPC words.
  for (const RecordedWrite& w : Writes()) EXPECT_EQ(w.data.substr(0, 4), "3000");
  EXPECT_EQ(StoredNextUri(), "urn:epc:tag:sgtin-96:3.0614141.812345.6794");
  EXPECT_EQ(frontEnd_.CountStatus(FormatString(msg::kValueWritten, {kFirst})), 1);
  // The six formats' value is not touched.
  EXPECT_EQ(StoredLastData(), "<missing>");
}

TEST_F(Gs1CycleTest, TheEpcLengthWordKeepsItsOtherBits) {
  StartReader();
  // A PC word with bit 0x04 set: written with the six formats, from word 1.
  Change([](WriterConfig& config) {
    ParameterSet& p = config.params;
    p.bank = Bank::Epc;
    p.startWord = 1;
    p.lengthBytes = 14;
    p.format = DataFormat::HexBinary;
    p.autoIncrementDec = p.autoIncrementHex = false;
    p.value = "34003074257BF7194E4000001A85";
  });
  ASSERT_TRUE(writer_->WriteOnce()) << ::testing::PrintToString(frontEnd_.statusLines);
  Gs1Job("urn:epc:tag:sgtin-198:3.0614141.812345.ABC", false);
  ASSERT_TRUE(writer_->WriteOnce()) << ::testing::PrintToString(frontEnd_.statusLines);
  ASSERT_EQ(Writes().size(), 2u);
  // 13 words (0x68) with bit 0x04 of the old word kept.
  EXPECT_EQ(Writes()[1].data.substr(0, 4), "6C00");
  EXPECT_EQ(UrisWritten()[1], "urn:epc:tag:sgtin-198:3.0614141.812345.ABC");
}

// A PC word whose numbering system toggle is set (an ISO AFI in its second
// byte) gets the toggle cleared: a GS1 EPC is an EPCglobal application.
TEST_F(Gs1CycleTest, TheNumberingSystemToggleIsCleared) {
  StartReader();
  Change([](WriterConfig& config) {
    ParameterSet& p = config.params;
    p.bank = Bank::Epc;
    p.startWord = 1;
    p.lengthBytes = 14;
    p.format = DataFormat::HexBinary;
    p.autoIncrementDec = p.autoIncrementHex = false;
    p.value = "35A93074257BF7194E4000001A85";
  });
  ASSERT_TRUE(writer_->WriteOnce()) << ::testing::PrintToString(frontEnd_.statusLines);
  Gs1Job(kFirst);
  ASSERT_TRUE(writer_->WriteOnce()) << ::testing::PrintToString(frontEnd_.statusLines);
  ASSERT_EQ(Writes().size(), 2u);
  EXPECT_EQ(Writes()[1].data, "34003074257BF7194E4000001A85");
}

// A write that certainly did not reach the tag gives its serial back; one
// whose outcome is unknown uses it up.
TEST_F(Gs1CycleTest, FailedWritesFollowTheOutcomeRules) {
  StartReader();
  Gs1Job(kFirst);
  // Inventory, select and the read of the PC word go through; the write is refused.
  ASSERT_THAT(Control("fault skip 3"), ::testing::StartsWith("OK"));
  ASSERT_THAT(Control("fault refuse 24 1"), ::testing::StartsWith("OK"));
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_THAT(Writes(), IsEmpty());
  EXPECT_EQ(writer_->Config().gs1.nextUri, kFirst);
  EXPECT_EQ(StoredNextUri(), kFirst);

  // The write's reply is lost: it may be on the tag.
  ASSERT_THAT(Control("fault skip 3"), ::testing::StartsWith("OK"));
  ASSERT_THAT(Control("fault drop 1"), ::testing::StartsWith("OK"));
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_THAT(frontEnd_.statusLines.back(), ::testing::HasSubstr(kFirst));
  EXPECT_EQ(writer_->Config().gs1.nextUri, "urn:epc:tag:sgtin-96:3.0614141.812345.6790");
  EXPECT_EQ(StoredNextUri(), "urn:epc:tag:sgtin-96:3.0614141.812345.6790");
}

TEST_F(Gs1CycleTest, TheRangeEndStopsTheCycle) {
  StartReader({"--tags", "0", "--conveyor", "1,0"});
  Gs1Job("urn:epc:tag:sgtin-96:3.0614141.812345.274877906942");
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int tick = 0; tick < 300 && writer_->RunningCycle() == Cycle::Write; ++tick) writer_->Tick(Cycle::Write);
  EXPECT_EQ(writer_->HaltReason(), TagWriter::Halt::kCounterExhausted);
  EXPECT_THAT(UrisWritten(), ElementsAre("urn:epc:tag:sgtin-96:3.0614141.812345.274877906942",
                                         "urn:epc:tag:sgtin-96:3.0614141.812345.274877906943"));
  EXPECT_EQ(StoredNextUri(), "urn:epc:tag:sgtin-96:3.0614141.812345.274877906944");
  EXPECT_FALSE(writer_->StartCycle(Cycle::Write));
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_EQ(Writes().size(), 2u);
}

TEST_F(Gs1CycleTest, ReadsShowTheTagUri) {
  StartReader();
  Gs1Job(kFirst);
  ASSERT_TRUE(writer_->WriteOnce());
  ASSERT_TRUE(writer_->ReadOnce());
  EXPECT_EQ(frontEnd_.readField, "3074257BF7194E4000001A85");
  EXPECT_EQ(frontEnd_.readTagUri, kFirst);

  // The six formats reading the EPC bank show it too; other banks do not.
  Change([](WriterConfig& config) {
    config.gs1.enabled = false;
    config.params.bank = Bank::Epc;
    config.params.startWord = 1;
    config.params.lengthBytes = 2;
  });
  frontEnd_.readTagUri = "<untouched>";
  ASSERT_TRUE(writer_->ReadOnce());
  EXPECT_EQ(frontEnd_.readField, "3000");
  EXPECT_EQ(frontEnd_.readTagUri, kFirst);
  Change([](WriterConfig& config) { config.params.bank = Bank::User; });
  frontEnd_.readTagUri = "<untouched>";
  ASSERT_TRUE(writer_->ReadOnce());
  EXPECT_EQ(frontEnd_.readTagUri, "<untouched>");
}

}  // namespace
}  // namespace stampwise::testing
