// The write cycle through the real SDK against mkv-sim.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "app/base/atomic_file.h"
#include "app/job/value_source.h"
#include "app/ledger/sqlite_ledger.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/app/cycle_fixture.h"

namespace stampwise::testing {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

std::string Written(const std::string& value) { return FormatString(msg::kValueWritten, {value}); }

// Puts the only tag in the field under selection, as the writer's inventory step does.
std::vector<std::uint8_t> SelectOnlyTag(int handle) {
  unsigned char reply[100] = {};
  const int n = RdrInventory(handle, 1, reply, sizeof reply);
  if (n < 3 || reply[0] != 1) return {};
  std::vector<std::uint8_t> epc(reply + 3, reply + n);
  if (RdrSelectTag(handle, epc.data(), static_cast<int>(epc.size())) < 0) return {};
  return epc;
}

// ---------------------------------------------------------------------------
// Which tags a cycle writes: the same tag once, a returning tag again only
// after it was gone for more than a second; one-shot never skips.

struct ForgetCase {
  const char* name;
  bool oneShot;
  int awayMs;  // < 0: the tag never leaves
  std::vector<std::string> expected;
};

class ForgetRuleTest : public CycleTest, public ::testing::WithParamInterface<ForgetCase> {};

TEST_P(ForgetRuleTest, WritesEachTagAsOftenAsTheRulesSay) {
  const ForgetCase& c = GetParam();
  StartReader();
  UserHexJob();
  if (c.oneShot) {
    EXPECT_TRUE(writer_->WriteOnce());
    EXPECT_TRUE(writer_->WriteOnce());
  } else {
    ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
    writer_->Tick(Cycle::Write);
    writer_->Tick(Cycle::Write);
    if (c.awayMs >= 0) {
      const std::string epc = OnlyTagEpc();
      ASSERT_EQ(Control("remove all"), "OK");
      Advance(milliseconds(c.awayMs));
      writer_->Tick(Cycle::Write);  // the field is empty
      ASSERT_EQ(Control("add " + epc), "OK 0");
      writer_->Tick(Cycle::Write);
      writer_->Tick(Cycle::Write);
    }
    writer_->StopCycle();
  }
  EXPECT_THAT(DataWritten(3), ElementsAreArray(c.expected));
  EXPECT_EQ(writer_->ProgrammedCount(), static_cast<int>(c.expected.size()));
}

INSTANTIATE_TEST_SUITE_P(Cycles, ForgetRuleTest,
                         ::testing::Values(ForgetCase{"TagResting", false, -1, {"00000001"}},
                                           ForgetCase{"BackAfter1500ms", false, 1500, {"00000001", "00000002"}},
                                           ForgetCase{"BackAfter500ms", false, 500, {"00000001"}},
                                           ForgetCase{"BackAfterExactly1000ms", false, 1000, {"00000001"}},
                                           ForgetCase{"OneShotTwice", true, -1, {"00000001", "00000002"}}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// ---------------------------------------------------------------------------
// Two tags in the field: "not unique", once per run of the same error in a
// cycle, whether the reader counts two tags or reports a collision.

class TwoTagsTest : public CycleTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TwoTagsTest, ShowsNotUniqueOncePerRunOfErrors) {
  StartReader({"--tags", "2"});
  if (GetParam()) {
    ASSERT_THAT(Control("fault collide on"), ::testing::StartsWith("OK"));
  }
  UserHexJob();
  const std::string notUnique = LoadString(msg::kTagNotUnique);

  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int i = 0; i < 3; ++i) writer_->Tick(Cycle::Write);
  EXPECT_EQ(frontEnd_.CountStatus(notUnique), 1);
  EXPECT_THAT(Writes(), IsEmpty());

  ASSERT_EQ(Control("remove 1"), "OK");
  writer_->Tick(Cycle::Write);  // a success in between
  EXPECT_EQ(frontEnd_.CountStatus(Written("00000001")), 1);
  ASSERT_THAT(Control("add"), ::testing::StartsWith("OK"));
  writer_->Tick(Cycle::Write);
  writer_->Tick(Cycle::Write);
  EXPECT_EQ(frontEnd_.CountStatus(notUnique), 2);
  writer_->StopCycle();

  // Outside a cycle every attempt shows its message.
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_EQ(frontEnd_.CountStatus(notUnique), 4);
  EXPECT_EQ(DataWritten(3).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cycles, TwoTagsTest, ::testing::Values(false, true),
                         [](const auto& testCase) { return testCase.param ? "CollisionStatus" : "TwoTagsCounted"; });

// ---------------------------------------------------------------------------
// No tag in the field: a one-shot write or read says so (a status line and a
// tag event "none"); a cycle waits for the next tag without a word.

class EmptyFieldTest : public CycleTest, public ::testing::WithParamInterface<TagEvent::Kind> {};

TEST_P(EmptyFieldTest, OneShotSaysSoACycleStaysQuiet) {
  StartReader({"--tags", "0"});
  UserHexJob();
  const bool writing = GetParam() == TagEvent::Kind::kWrite;
  const Cycle cycle = writing ? Cycle::Write : Cycle::Read;
  const std::string noTag = LoadString(msg::kNoValidTag);

  ASSERT_TRUE(writer_->StartCycle(cycle));
  for (int i = 0; i < 3; ++i) writer_->Tick(cycle);
  writer_->StopCycle();
  EXPECT_THAT(frontEnd_.statusLines, IsEmpty());
  EXPECT_THAT(frontEnd_.tagEvents, IsEmpty());

  for (int i = 0; i < 2; ++i) EXPECT_FALSE(writing ? writer_->WriteOnce() : writer_->ReadOnce());
  EXPECT_EQ(frontEnd_.CountStatus(noTag), 2);
  ASSERT_EQ(frontEnd_.tagEvents.size(), 2u);
  const TagEvent& event = frontEnd_.tagEvents.back();
  EXPECT_EQ(event.kind, GetParam());
  EXPECT_EQ(event.outcome, TagEvent::Outcome::kNone);
  EXPECT_EQ(event.value, writing ? "00000001" : "");
  EXPECT_THAT(event.bytes, IsEmpty());
  EXPECT_THAT(event.epc, IsEmpty());
  EXPECT_EQ(event.messageId, msg::kNoValidTag);
  EXPECT_THAT(Writes(), IsEmpty());
  EXPECT_EQ(writer_->Config().params.value, "00000001");
}

INSTANTIATE_TEST_SUITE_P(Cycles, EmptyFieldTest, ::testing::Values(TagEvent::Kind::kWrite, TagEvent::Kind::kRead),
                         [](const auto& testCase) {
                           return testCase.param == TagEvent::Kind::kWrite ? "Write" : "Read";
                         });

// ---------------------------------------------------------------------------
// EPC length correction: the protocol-control word goes out with the EPC, its
// length bits set to the new length and its low bits kept.

struct EpcFixCase {
  const char* name;
  std::vector<std::uint8_t> pcBefore;  // empty: a blank tag (30 00)
  int lengthBytes;
  std::string expectedPrefix;
};

class EpcLengthFixTest : public CycleTest, public ::testing::WithParamInterface<EpcFixCase> {};

TEST_P(EpcLengthFixTest, WritesThePcWordInFrontOfTheEpc) {
  const EpcFixCase& c = GetParam();
  StartReader();
  if (!c.pcBefore.empty()) {
    ASSERT_FALSE(SelectOnlyTag(handle_).empty());
    ASSERT_EQ(RdrWriteData(handle_, 1, 1, c.pcBefore.data(), 2), 0);
  }
  const std::string value =
      std::string("A1B2C3D4E5F60718293A4B5C").substr(0, static_cast<std::size_t>(c.lengthBytes) * 2);
  Change([&](WriterConfig& config) {
    ParameterSet& p = config.params;
    p = ParameterSet{};
    p.bank = Bank::Epc;
    p.startWord = 2;
    p.lengthBytes = c.lengthBytes;
    p.autoIncrementDec = false;
    p.value = value;
    config.options.epcLengthFix = true;
  });

  ASSERT_TRUE(writer_->WriteOnce()) << ::testing::PrintToString(frontEnd_.statusLines);
  const std::vector<RecordedWrite> writes = Writes();
  ASSERT_FALSE(writes.empty());
  EXPECT_EQ(writes.back().bank, 1);
  EXPECT_EQ(writes.back().word, 1);
  EXPECT_EQ(writes.back().data, c.expectedPrefix + value);
  // The inventory after the write found the tag by its new EPC.
  EXPECT_EQ(Hex(writer_->Memory().lastTag), value);
  EXPECT_EQ(OnlyTagEpc(), value);
}

INSTANTIATE_TEST_SUITE_P(Cycles, EpcLengthFixTest,
                         ::testing::Values(EpcFixCase{"BlankTag12Bytes", {}, 12, "3000"},
                                           EpcFixCase{"Pc3400Keeps3LowBits", {0x34, 0x00}, 12, "3400"},
                                           EpcFixCase{"Pc3405KeepsSecondByte", {0x34, 0x05}, 12, "3405"},
                                           EpcFixCase{"ShrinkTo8Bytes", {}, 8, "2000"},
                                           EpcFixCase{"Pc3400ShrinkTo8Bytes", {0x34, 0x00}, 8, "2400"}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// ---------------------------------------------------------------------------
// Access password.

class PasswordLengthTest : public CycleTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PasswordLengthTest, APasswordOfOtherThanFourBytesWritesNothing) {
  StartReader();
  UserHexJob();
  Change([this](WriterConfig& config) {
    config.options.setPassword = true;
    config.options.accessPassword = GetParam();
  });
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_THAT(frontEnd_.statusLines, ElementsAre(LoadString(msg::kPasswordLength)));
  EXPECT_EQ(frontEnd_.passwordFocused, 1);
  EXPECT_THAT(Writes(), IsEmpty());
  EXPECT_EQ(writer_->Config().params.value, "00000001");
  EXPECT_EQ(StoredLastData(), "<missing>");
}

INSTANTIATE_TEST_SUITE_P(Cycles, PasswordLengthTest, ::testing::Values("3C5A9E", "3C5A9E71AA", "", "Error"));

TEST_F(CycleTest, TheDefaultPasswordGoesToReservedWord2BeforeTheData) {
  StartReader();
  UserHexJob();
  ASSERT_EQ(writer_->Config().options.accessPassword, "3C5A9E71");
  Change([](WriterConfig& config) { config.options.setPassword = true; });
  ASSERT_TRUE(writer_->WriteOnce());
  const std::vector<RecordedWrite> writes = Writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], (RecordedWrite{writes[0].tagId, 0, 2, "3C5A9E71"}));
  EXPECT_EQ(writes[1], (RecordedWrite{writes[0].tagId, 3, 0, "00000001"}));
}

// The whole job through a HID link: password, data, lock, and the next value.
TEST_F(CycleTest, AHidReaderIsWrittenAndLocked) {
  StartHidReader();
  EXPECT_EQ(RdrIsUsb(handle_), 1);
  UserHexJob("0000ABCD");
  Change([](WriterConfig& config) {
    config.options.setPassword = true;
    config.options.activatePassword = true;
  });
  ASSERT_TRUE(writer_->WriteOnce());
  const std::vector<RecordedWrite> writes = Writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], (RecordedWrite{writes[0].tagId, 0, 2, "3C5A9E71"}));
  EXPECT_EQ(writes[1], (RecordedWrite{writes[0].tagId, 3, 0, "0000ABCD"}));
  EXPECT_EQ(StoredLastData(), "0000ABCE");
  unsigned char buffer[4] = {};
  EXPECT_EQ(RdrWriteData(handle_, 3, 0, buffer, 4), -1) << "the user bank is locked";

  ASSERT_TRUE(writer_->StartCycle(Cycle::Read));
  writer_->Tick(Cycle::Read);
  writer_->StopCycle();
  EXPECT_EQ(frontEnd_.readField, "0000ABCD");
}

// Each bank locks its own area; the test looks at which areas refuse access
// without the password afterwards (TID cannot be written at all, so its lock
// shows only as no other area being closed).
struct LockCase {
  const char* name;
  Bank bank;
  int startWord;
  int lockedArea;  // 3: none of the observable areas
  bool writeSucceeds;
};

class LockAreaTest : public CycleTest, public ::testing::WithParamInterface<LockCase> {
 protected:
  bool AreaClosed(int area) {
    unsigned char buffer[16] = {};
    switch (area) {
      case 0: return RdrReadData(handle_, 0, 0, buffer, 4) < 0;
      case 1: return RdrReadData(handle_, 0, 2, buffer, 4) < 0;
      case 2:
        if (RdrReadData(handle_, 1, 2, buffer, 12) != 12) return true;
        return RdrWriteData(handle_, 1, 2, buffer, 12) < 0;
      case 4:
        if (RdrReadData(handle_, 3, 0, buffer, 4) != 4) return true;
        return RdrWriteData(handle_, 3, 0, buffer, 4) < 0;
      default: return false;
    }
  }
};

TEST_P(LockAreaTest, LocksTheAreaOfTheBank) {
  const LockCase& c = GetParam();
  StartReader();
  Change([&](WriterConfig& config) {
    ParameterSet& p = config.params;
    p = ParameterSet{};
    p.bank = c.bank;
    p.startWord = c.startWord;
    p.lengthBytes = c.bank == Bank::Epc ? 12 : 4;
    p.autoIncrementDec = false;
    p.value = c.bank == Bank::Epc ? "3000112233445566778899AA" : "3C5A9E71";
    config.options.setPassword = true;
    config.options.activatePassword = true;
  });
  EXPECT_EQ(writer_->WriteOnce(), c.writeSucceeds);
  for (int area : {0, 1, 2, 4}) EXPECT_EQ(AreaClosed(area), area == c.lockedArea) << "area " << area;
}

INSTANTIATE_TEST_SUITE_P(Cycles, LockAreaTest,
                         ::testing::Values(LockCase{"KillPassword", Bank::Reserved, 0, 0, true},
                                           LockCase{"AccessPassword", Bank::Reserved, 2, 1, true},
                                           LockCase{"Epc", Bank::Epc, 2, 2, true},
                                           LockCase{"Tid", Bank::Tid, 0, 3, false},
                                           LockCase{"User", Bank::User, 0, 4, true}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// ---------------------------------------------------------------------------
// The stored "LastData" runs ahead of the tags. After a success it holds the
// value that follows. After a failure that certainly left the tag untouched
// (the frame never went out, the reader refused the command) the value is
// given back; after any other failure of the data write the data may be on
// the tag: the value is used up, the outcome is reported as unknown, and
// nothing counts it as a success.

enum class Outcome { kWritten, kGivenBack, kUsedUp };

struct OutcomeCase {
  const char* name;
  std::vector<std::string> simArgs;  // empty: one tag that stays
  std::vector<std::string> faults;   // control commands before the write
  Bank bank;
  int startWord;
  int lengthBytes;
  DataFormat format;
  bool decimalIncrement;
  const char* value;
  Outcome outcome;
  const char* nextValue;  // the write value afterwards, also the stored one
  int error;              // the library's error of a failed write (for its message)
};

class WriteOutcomeTest : public CycleTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(WriteOutcomeTest, StoredValueFollowsTheOutcome) {
  const OutcomeCase& c = GetParam();
  if (c.simArgs.empty()) {
    StartReader();
  } else {
    StartReader(c.simArgs);
  }
  UserHexJob(c.value);
  Change([&](WriterConfig& config) {
    ParameterSet& p = config.params;
    p.bank = c.bank;
    p.startWord = c.startWord;
    p.lengthBytes = c.lengthBytes;
    p.format = c.format;
    p.autoIncrementDec = c.decimalIncrement;
    p.autoIncrementHex = !c.decimalIncrement;
    config.logs.writeLogEnabled = true;
  });
  for (const std::string& fault : c.faults) {
    ASSERT_THAT(Control(fault), ::testing::StartsWith("OK"));
  }

  EXPECT_EQ(writer_->WriteOnce(), c.outcome == Outcome::kWritten) << ::testing::PrintToString(frontEnd_.statusLines);
  EXPECT_EQ(writer_->Config().params.value, c.nextValue);
  EXPECT_EQ(frontEnd_.writeValue, c.nextValue);  // a value given back is shown again
  EXPECT_EQ(StoredLastData(), c.nextValue);
  EXPECT_EQ(writer_->ProgrammedCount(), c.outcome == Outcome::kWritten ? 1 : 0);
  EXPECT_EQ(ReadFile(folder_.File("write.txt")).empty(), c.outcome != Outcome::kWritten);
  // The same outcome as data: one event for the attempt on the tag.
  ASSERT_EQ(frontEnd_.tagEvents.size(), 1u);
  const TagEvent& event = frontEnd_.tagEvents[0];
  EXPECT_EQ(event.kind, TagEvent::Kind::kWrite);
  if (c.outcome == Outcome::kWritten) {
    EXPECT_THAT(frontEnd_.statusLines[0], ::testing::HasSubstr("<" + event.value + ">"));  // as shown
  } else {
    EXPECT_EQ(event.value, c.value);
  }
  EXPECT_EQ(event.status, c.outcome == Outcome::kWritten ? 0 : c.error);
  EXPECT_EQ(event.counter, writer_->ProgrammedCount());
  EXPECT_FALSE(event.epc.empty());
  switch (c.outcome) {
    case Outcome::kWritten: EXPECT_EQ(event.outcome, TagEvent::Outcome::kDone); break;
    case Outcome::kGivenBack:
      EXPECT_EQ(event.outcome, TagEvent::Outcome::kFailed);
      EXPECT_EQ(event.messageId, ErrorMessageId(c.error));
      break;
    case Outcome::kUsedUp:
      EXPECT_EQ(event.outcome, TagEvent::Outcome::kUnknown);
      EXPECT_EQ(event.messageId, msg::kOutcomeUnknown);
      EXPECT_FALSE(event.bytes.empty());
      break;
  }
  const std::string errorText = LoadString(ErrorMessageId(c.error));
  switch (c.outcome) {
    case Outcome::kWritten: EXPECT_EQ(frontEnd_.statusLines.size(), 1u); break;
    case Outcome::kGivenBack: EXPECT_THAT(frontEnd_.statusLines, ElementsAre(errorText)); break;
    case Outcome::kUsedUp:
      EXPECT_THAT(frontEnd_.statusLines, ElementsAre(FormatString(msg::kOutcomeUnknown, {errorText, c.value})));
      break;
  }
}

std::vector<std::string> AtTheWrite(const std::string& fault) { return {"fault skip 2", fault}; }
// A tag that leaves as soon as it has been written.
const std::vector<std::string> kLeavesAtOnce{"--tags", "1", "--conveyor", "600000,0"};

// One case a row: the formatter would stack every field on a line of its own.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cycles, WriteOutcomeTest,
    ::testing::Values(
        OutcomeCase{"Plain", {}, {}, Bank::User, 0, 4, DataFormat::HexBinary, false, "00000001", Outcome::kWritten,
                    "00000002", 0},
        OutcomeCase{"LowerCaseHex", {}, {}, Bank::User, 0, 4, DataFormat::HexBinary, false, "00ab00ff",
                    Outcome::kWritten, "00AB0100", 0},
        OutcomeCase{"DecimalZerosStripped", {}, {}, Bank::User, 0, 4, DataFormat::DecimalBinary, true, "000123",
                    Outcome::kWritten, "124", 0},
        OutcomeCase{"LostAckReadBackMatches", {}, {"fault lostack 1"}, Bank::User, 0, 4, DataFormat::HexBinary,
                    false, "00000001", Outcome::kWritten, "00000002", 0},
        // Certainly not on the tag.
        OutcomeCase{"ReaderRefusesCommand", {}, {"fault refuse 24 1"}, Bank::User, 0, 4, DataFormat::HexBinary,
                    false, "00000001", Outcome::kGivenBack, "00000001", 24},
        OutcomeCase{"ReaderRefusesDataCount", {}, {"fault refuse 6 1"}, Bank::User, 0, 4, DataFormat::HexBinary,
                    false, "00000001", Outcome::kGivenBack, "00000001", 6},
        OutcomeCase{"FrameTooLongToSend", {}, {}, Bank::User, 0, 300, DataFormat::HexBinary, false, "1",
                    Outcome::kGivenBack, "1", 5},
        // May be on the tag.
        OutcomeCase{"LostAckTagGone", kLeavesAtOnce, {"fault lostack 1"}, Bank::User, 0, 4, DataFormat::HexBinary,
                    false, "00000001", Outcome::kUsedUp, "00000002", 21},
        OutcomeCase{"NoReply", {}, AtTheWrite("fault drop 1"), Bank::User, 0, 4, DataFormat::HexBinary, false,
                    "00000001", Outcome::kUsedUp, "00000002", 4},
        OutcomeCase{"CutReply", {}, AtTheWrite("fault truncate 1"), Bank::User, 0, 4, DataFormat::HexBinary, false,
                    "00000001", Outcome::kUsedUp, "00000002", 4},
        OutcomeCase{"LateReply", {}, AtTheWrite("fault late 1500 1"), Bank::User, 0, 4, DataFormat::HexBinary,
                    false, "00000001", Outcome::kUsedUp, "00000002", 4},
        OutcomeCase{"UnreadableReply", {}, AtTheWrite("fault badcrc 1"), Bank::User, 0, 4, DataFormat::HexBinary,
                    false, "00000001", Outcome::kUsedUp, "00000002", 10},
        OutcomeCase{"OutOfRange", {}, {}, Bank::User, 31, 4, DataFormat::HexBinary, false, "00000001",
                    Outcome::kUsedUp, "00000002", 21},
        OutcomeCase{"ReadOnlyBank", {}, {}, Bank::Tid, 0, 4, DataFormat::HexBinary, false, "00000001",
                    Outcome::kUsedUp, "00000002", 22}),
    [](const auto& testCase) { return std::string(testCase.param.name); });
// clang-format on

// A used-up value is never written to the next tag: with every write's
// acknowledgement lost on a belt whose tags leave at once, each tag gets a
// value of its own.
TEST_F(CycleTest, LostAcknowledgementsNeverRepeatAValue) {
  StartReader({"--tags", "0", "--conveyor", "1,0"});
  ASSERT_THAT(Control("fault lostack"), ::testing::StartsWith("OK"));
  UserHexJob("00000001");
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int tick = 0; tick < 400 && Writes().size() < 10; ++tick) writer_->Tick(Cycle::Write);
  writer_->StopCycle();
  const std::vector<std::string> data = DataWritten(3);
  ASSERT_GE(data.size(), 10u);
  EXPECT_EQ(std::set<std::string>(data.begin(), data.end()).size(), data.size());
  EXPECT_EQ(writer_->ProgrammedCount(), 0);
}

// The password and the lock go before the data: when they fail, the data
// frame never went out and the value is given back.
TEST_F(CycleTest, AFailedPasswordWriteGivesTheValueBack) {
  StartReader();
  UserHexJob();
  Change([](WriterConfig& config) { config.options.setPassword = true; });
  ASSERT_THAT(Control("fault refuse 24 1"), ::testing::StartsWith("OK"));
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_THAT(DataWritten(3), IsEmpty());
  EXPECT_EQ(writer_->Config().params.value, "00000001");
  EXPECT_EQ(StoredLastData(), "00000001");
}

TEST_F(CycleTest, LastDataIsTheNextValueAfterEveryTagOfACycle) {
  StartReader({"--tags", "0", "--conveyor", "1,0"});
  UserHexJob("000000FE");
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int tick = 0; tick < 200 && writer_->ProgrammedCount() < 4; ++tick) {
    const int before = writer_->ProgrammedCount();
    writer_->Tick(Cycle::Write);
    if (writer_->ProgrammedCount() != before) {
      EXPECT_EQ(StoredLastData(), writer_->Config().params.value);
    }
  }
  writer_->StopCycle();
  EXPECT_THAT(DataWritten(3), ElementsAre("000000FE", "000000FF", "00000100", "00000101"));
  EXPECT_EQ(StoredLastData(), "00000102");
}

// The keys after the first tag are written while their tag is: a file that
// can no longer be written ends the cycle after the tag under way, said once.
// The stored value then lags behind the ledger, and a program started anew
// from it follows the ledger on instead of writing a value again.
TEST_F(CycleTest, KeysThatCannotBeStoredMidCycleEndItAfterTheTagUnderWay) {
  StartReader({"--tags", "0", "--conveyor", "1,0"});
  UserHexJob("00000001");
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int tick = 0; tick < 200 && writer_->ProgrammedCount() < 1; ++tick) writer_->Tick(Cycle::Write);
  ASSERT_EQ(StoredLastData(), "00000002");
  // No save can make its temporary file from here on.
  const std::string blocker = folder_.File("settings.ini.tmp");
  ASSERT_TRUE(std::filesystem::create_directory(blocker));
  for (int tick = 0; tick < 200 && writer_->RunningCycle() == Cycle::Write; ++tick) writer_->Tick(Cycle::Write);
  EXPECT_EQ(writer_->HaltReason(), TagWriter::Halt::kStoreFailed);
  EXPECT_THAT(DataWritten(3), ElementsAre("00000001", "00000002"));
  int failures = 0;
  for (const std::string& line : frontEnd_.statusLines) {
    failures += line.rfind(FormatString(msg::kSettingsStoreFailed, {""}), 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(StoredLastData(), "00000002");

  std::filesystem::remove(blocker);
  writer_ = std::make_unique<TagWriter>(frontEnd_, writeTimer_, readTimer_, settings_.get(), nullptr,
                                        [this] { return now_; });
  writer_->SetLink(TagLink(handle_));
  Change([this](WriterConfig& config) { config.logs.writeLogFile = folder_.File("write.txt"); });
  UserHexJob(StoredLastData());
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int tick = 0; tick < 200 && writer_->ProgrammedCount() < 1; ++tick) writer_->Tick(Cycle::Write);
  writer_->StopCycle();
  EXPECT_THAT(DataWritten(3), ElementsAre("00000001", "00000002", "00000003"));
  EXPECT_EQ(StoredLastData(), "00000004");
}

// A value that cannot be claimed in the ledger is not written, nor the
// access password before it; a cycle ends at once instead of failing on every
// tick. Once the ledger can be used again, the same value goes out.
TEST_F(CycleTest, NoWriteWhenTheLedgerCannotBeUsed) {
  StartReader();
  UserHexJob();
  Change([](WriterConfig& config) {
    config.options.setPassword = true;
    config.options.activatePassword = true;
  });
  std::ofstream(ledger_.Path()) << "this is no database\n";
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_EQ(writer_->HaltReason(), TagWriter::Halt::kLedger);
  EXPECT_THAT(Writes(), IsEmpty());
  EXPECT_EQ(Control("written"), "OK 0");
  ASSERT_FALSE(frontEnd_.statusLines.empty());
  EXPECT_THAT(frontEnd_.statusLines[0], ::testing::HasSubstr(ledger_.Path()));
  EXPECT_FALSE(writer_->StartCycle(Cycle::Write));
  EXPECT_EQ(writer_->HaltReason(), TagWriter::Halt::kLedger);

  std::filesystem::remove(ledger_.Path());
  EXPECT_TRUE(writer_->WriteOnce());
  EXPECT_THAT(DataWritten(3), ElementsAre("00000001"));
}

// ---------------------------------------------------------------------------
// The end of the counter: the last value that fits is written, then the
// cycle stops and nothing more is written until a new start value is set.

struct ExhaustionCase {
  const char* name;
  DataFormat format;
  int lengthBytes;
  bool hex;
  const char* value;
  std::vector<std::string> written;  // as the simulator records the data
  const char* after;                 // the value left in the field and the store
};

class CounterEndTest : public CycleTest, public ::testing::WithParamInterface<ExhaustionCase> {};

TEST_P(CounterEndTest, StopsAfterTheLastValueThatFits) {
  const ExhaustionCase& c = GetParam();
  StartReader({"--tags", "0", "--conveyor", "1,0"});
  UserHexJob(c.value);
  Change([&](WriterConfig& config) {
    ParameterSet& p = config.params;
    p.format = c.format;
    p.lengthBytes = c.lengthBytes;
    p.autoIncrementHex = c.hex;
    p.autoIncrementDec = !c.hex;
  });
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int tick = 0; tick < 300 && writer_->RunningCycle() == Cycle::Write; ++tick) writer_->Tick(Cycle::Write);
  EXPECT_EQ(writer_->RunningCycle(), Cycle::None);
  EXPECT_EQ(writer_->HaltReason(), TagWriter::Halt::kCounterExhausted);
  EXPECT_EQ(frontEnd_.cycleStopped, 1);
  EXPECT_EQ(DataWritten(3), c.written);
  EXPECT_EQ(writer_->Config().params.value, c.after);
  EXPECT_EQ(StoredLastData(), c.after);
  EXPECT_EQ(frontEnd_.CountStatus(FormatString(msg::kCounterExhausted, {c.lengthBytes})), 1);

  // Neither a new cycle nor a single write goes out until a new start value.
  EXPECT_FALSE(writer_->StartCycle(Cycle::Write));
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_EQ(DataWritten(3), c.written);
  Change([](WriterConfig& config) { config.params.value = "1"; });
  bool written = false;  // the belt brings the next tag within a few exchanges
  for (int attempt = 0; attempt < 100 && !written; ++attempt) written = writer_->WriteOnce();
  EXPECT_TRUE(written) << ::testing::PrintToString(frontEnd_.statusLines);
  EXPECT_EQ(DataWritten(3).size(), c.written.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cycles, CounterEndTest,
    ::testing::Values(
        ExhaustionCase{"HexBinary", DataFormat::HexBinary, 4, true, "FFFFFFFE", {"FFFFFFFE", "FFFFFFFF"}, "100000000"},
        ExhaustionCase{"DecimalAscii",
                       DataFormat::DecimalAscii,
                       8,
                       false,
                       "99999998",
                       {"3939393939393938", "3939393939393939"},
                       "100000000"},
        ExhaustionCase{"HexAscii", DataFormat::HexAscii, 2, true, "FE", {"4645", "4646"}, "100"},
        ExhaustionCase{"DecimalBinary", DataFormat::DecimalBinary, 1, false, "254", {"FE", "FF"}, "256"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// ---------------------------------------------------------------------------
// Two programs on one settings file share one number range: each value is
// taken under the store's lock, and a value the other program moved on wins
// over the one in memory. The window shows the value actually used.

TEST_F(CycleTest, TwoWritersOnOneStoreNeverShareAValue) {
  StartReader({"--tags", "0", "--conveyor", "1,0"});
  UserHexJob("00000001");
  mkvsim::SimProcess otherSim({"--tags", "0", "--conveyor", "1,0", "--quiet", "--record", folder_.File("other.txt")});
  const ReaderIdentity otherReader = OpenReader(otherSim.PtyPath(), 19200, 1000);
  ASSERT_GT(otherReader.handle, 0);
  Settings otherSettings(folder_.File("settings.ini"), folder_.Path() + "/");
  otherSettings.Load();
  RecordingFrontEnd otherFront;
  ManualTimer otherWriteTimer;
  ManualTimer otherReadTimer;
  TagWriter other(otherFront, otherWriteTimer, otherReadTimer, &otherSettings, nullptr);
  other.SetLink(TagLink(otherReader.handle));
  WriterConfig otherJob = writer_->Config();
  otherJob.params.value = "00000001";  // both windows show the same start value
  other.Configure(otherJob);

  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  ASSERT_TRUE(other.StartCycle(Cycle::Write));
  for (int tick = 0; tick < 400 && writer_->ProgrammedCount() + other.ProgrammedCount() < 20; ++tick) {
    // The other station runs twice as fast, so each sees several values
    // taken by the other between two of its own.
    writer_->Tick(Cycle::Write);
    other.Tick(Cycle::Write);
    other.Tick(Cycle::Write);
  }
  writer_->StopCycle();
  other.StopCycle();
  RdrClose(otherReader.handle);
  otherSim.Stop();

  std::vector<std::string> all = DataWritten(3);
  for (const RecordedWrite& w : ReadRecord(folder_.File("other.txt"))) all.push_back(w.data);
  ASSERT_GE(all.size(), 20u);
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size()) << ::testing::PrintToString(all);
  EXPECT_GT(other.ProgrammedCount(), 0);
  EXPECT_GT(writer_->ProgrammedCount(), 0);
  // What each window shows is the value it will write next, the stored one.
  const std::string stored = StoredLastData();
  EXPECT_TRUE(writer_->Config().params.value == stored || other.Config().params.value == stored);
  EXPECT_EQ(otherFront.writeValue, other.Config().params.value);
}

// Values another program took from the ledger are never written again: the
// next write goes on after them, and the window shows it before the tag is
// written.
TEST_F(CycleTest, AValueMovedOnByAnotherProgramWins) {
  StartReader();
  UserHexJob("00000001");
  {
    auto other = ledger::SqliteLedger::Open(ledger_.Path());
    ASSERT_TRUE(other) << other.message().text;
    ParameterSet params = writer_->Config().params;
    auto source = MakeCounterSource(params, false);
    for (int i = 0; i < 15; ++i) {
      ledger::ClaimRequest request;
      request.station = "other";
      request.bank = 3;
      request.pool = source->Pool();
      std::optional<ledger::Plan> planned;
      request.plan = [&](const std::optional<std::string>& position) {
        Result<ledger::Plan> plan = source->PlanFrom(position);
        if (plan) planned = plan.value();
        return plan;
      };
      ASSERT_TRUE(other.value()->Take(request));
      source->Claimed(*planned);
    }
  }
  EXPECT_TRUE(writer_->WriteOnce());
  EXPECT_THAT(DataWritten(3), ElementsAre("00000010"));
  EXPECT_EQ(frontEnd_.CountStatus(Written("00000010")), 1);
  EXPECT_THAT(frontEnd_.writeValues, ElementsAre("00000010", "00000011"));
  EXPECT_EQ(StoredLastData(), "00000011");
}

// A job whose value does not fit is refused before the first tag, nothing
// written; the operator's next value then goes out.
TEST_F(CycleTest, AValueThatDoesNotFitIsRefusedBeforeTheFirstTag) {
  StartReader();
  UserHexJob("XYZ");
  EXPECT_FALSE(writer_->WriteOnce());
  EXPECT_THAT(Writes(), IsEmpty());
  EXPECT_EQ(writer_->HaltReason(), TagWriter::Halt::kBadValues);
  Change([](WriterConfig& config) {
    config.params.value = "00000005";
    config.explicitValue = true;
  });
  EXPECT_TRUE(writer_->WriteOnce());
  EXPECT_THAT(DataWritten(3), ElementsAre("00000005"));
}

// A 12-byte EPC written from word 2, counting in hexadecimal.
ParameterSet EpcJob() {
  ParameterSet p;
  p.bank = Bank::Epc;
  p.startWord = 2;
  p.lengthBytes = 12;
  p.autoIncrementDec = false;
  p.autoIncrementHex = true;
  p.value = "E20000000000000000000001";
  return p;
}

// ---------------------------------------------------------------------------
// The inventory after an EPC write fails (the tag left the field at once):
// the value is used up all the same, and the tag is known by its new EPC.

TEST_F(CycleTest, EpcWriteWithoutAnswerAfterwardsStillUsesTheValue) {
  StartReader({"--tags", "1", "--conveyor", "600000,0"});
  Change([](WriterConfig& config) {
    config.params = EpcJob();
    config.logs.writeLogEnabled = true;
  });

  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  writer_->Tick(Cycle::Write);
  EXPECT_EQ(Control("list"), "OK 0");  // the conveyor took it away
  EXPECT_EQ(writer_->ProgrammedCount(), 1);
  EXPECT_EQ(writer_->Config().params.value, "E20000000000000000000002");
  EXPECT_EQ(frontEnd_.CountStatus(Written("E20000000000000000000001")), 1);
  EXPECT_EQ(Hex(writer_->Memory().lastTag), "E20000000000000000000001");
  EXPECT_THAT(ReadFile(folder_.File("write.txt")), ::testing::HasSubstr("E20000000000000000000001"));

  // The same tag seen again is not written a second time; a new one gets the next value.
  ASSERT_EQ(Control("add E20000000000000000000001"), "OK 0");
  writer_->Tick(Cycle::Write);
  EXPECT_EQ(DataWritten(1).size(), 1u);
  ASSERT_EQ(Control("remove all"), "OK");
  ASSERT_THAT(Control("add"), ::testing::StartsWith("OK"));
  writer_->Tick(Cycle::Write);
  EXPECT_THAT(DataWritten(1), ElementsAre("E20000000000000000000001", "E20000000000000000000002"));
  writer_->StopCycle();
}

// On a belt that brings the next tag at once, the inventory after an EPC
// write may already find the next tag. That tag is not the one written: it
// must be written in the next tick, not taken for the tag just programmed.
TEST_F(CycleTest, EpcCycleOnAFastBeltWritesEveryTag) {
  StartReader({"--tags", "0", "--conveyor", "1,0"});
  // Replies held back longer than the belt takes to bring the next tag.
  ASSERT_THAT(Control("fault delay 3"), ::testing::StartsWith("OK"));
  Change([](WriterConfig& config) { config.params = EpcJob(); });
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int tick = 0; tick < 300 && writer_->ProgrammedCount() < 5; ++tick) writer_->Tick(Cycle::Write);
  writer_->StopCycle();
  EXPECT_EQ(writer_->ProgrammedCount(), 5) << ::testing::PrintToString(frontEnd_.statusLines);
  const std::vector<std::string> data = DataWritten(1);
  EXPECT_EQ(std::set<std::string>(data.begin(), data.end()).size(), data.size());
  std::set<unsigned> tags;
  for (const RecordedWrite& w : Writes()) tags.insert(w.tagId);
  EXPECT_EQ(tags.size(), data.size());
}

// An EPC write whose new EPC nobody can predict (the protocol-control word
// grows the EPC past what was written) and that the inventory afterwards
// misses: the tag resting in the field is the one just written and is not
// written again.
TEST_F(CycleTest, AnUnpredictableEpcTagIsNotWrittenTwice) {
  StartReader({"--tags", "0"});
  ASSERT_EQ(Control("add 11223344"), "OK 0");
  ASSERT_THAT(Control("fault unseen 1"), ::testing::StartsWith("OK"));
  Change([](WriterConfig& config) {
    ParameterSet& p = config.params;
    p = ParameterSet{};
    p.bank = Bank::Epc;
    p.startWord = 1;
    p.lengthBytes = 2;
    p.autoIncrementDec = false;
    p.autoIncrementHex = true;
    p.value = "3000";  // six words of EPC where the tag had two
  });
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int tick = 0; tick < 5; ++tick) {
    writer_->Tick(Cycle::Write);
    Advance(milliseconds(250));
  }
  writer_->StopCycle();
  EXPECT_THAT(DataWritten(1), ElementsAre("3000"));
}

// ---------------------------------------------------------------------------
// Log lines.

struct LogCase {
  const char* name;
  DataFormat format;
  int lengthBytes;
  const char* value;
  const char* formatName;
  const char* logged;       // first line
  const char* loggedAgain;  // second line
};

class WriteLogTest : public CycleTest, public ::testing::WithParamInterface<LogCase> {};

TEST_P(WriteLogTest, LinesHaveTheLayoutOfTheLog) {
  const LogCase& c = GetParam();
  StartReader();
  Change([&](WriterConfig& config) {
    ParameterSet& p = config.params;
    p = ParameterSet{};
    p.bank = Bank::User;
    p.startWord = 1;
    p.format = c.format;
    p.lengthBytes = c.lengthBytes;
    p.autoIncrementDec = false;
    p.autoIncrementHex = false;
    p.value = c.value;
    config.logs.writeLogEnabled = true;
  });
  ASSERT_TRUE(writer_->WriteOnce());
  ASSERT_TRUE(writer_->WriteOnce());

  const std::string stamp = "[0-3][0-9]\\.[01][0-9]\\.20[0-9]{2} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]";
  const std::string fields = "\t" + std::string(c.formatName) + "\t   1\t" + (c.lengthBytes < 10 ? "   " : "  ") +
                             std::to_string(c.lengthBytes) + "\t";
  const std::regex layout("     1\t" + stamp + fields + c.logged + "\r\r\n" + "     2\t" + stamp + fields +
                          c.loggedAgain + "\r\r\n");
  const std::string log = ReadFile(folder_.File("write.txt"));
  EXPECT_TRUE(std::regex_match(log, layout)) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Cycles, WriteLogTest,
    ::testing::Values(
        LogCase{"HexBinaryAsTheTagGotIt", DataFormat::HexBinary, 2, "1a2b", "HEX BIN", "1A2B", "1A2B"},
        LogCase{"HexAscii", DataFormat::HexAscii, 4, "12AB", "HEX ASCII", "12AB", "12AB"},
        LogCase{"DecimalBinaryZerosStripped", DataFormat::DecimalBinary, 4, "000123", "DEZ ASCII", "123", "123"},
        LogCase{"DecimalAscii", DataFormat::DecimalAscii, 3, "123", "DEZ ASCII", "123", "123"},
        LogCase{"DataBinary", DataFormat::DataBinary, 3, "01 02 03", "DATEN BIN", "01 02 03", "01 02 03"},
        LogCase{"DataAscii", DataFormat::DataAscii, 10, "Charge 7/A", "DATEN ASCII", "Charge 7/A", "Charge 7/A"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(CycleTest, DataFormatsCountTheirWritesInTheMessage) {
  StartReader();
  Change([](WriterConfig& config) {
    ParameterSet& p = config.params;
    p = ParameterSet{};
    p.format = DataFormat::DataAscii;
    p.lengthBytes = 4;
    p.autoIncrementDec = false;
    p.value = "abcd";
  });
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  writer_->Tick(Cycle::Write);
  writer_->StopCycle();
  ASSERT_TRUE(writer_->WriteOnce());
  EXPECT_THAT(frontEnd_.statusLines,
              ElementsAre(FormatString(msg::kDataWritten, {1}), FormatString(msg::kDataWritten, {1})));
}

// A log line that cannot be written is reported; the write still counts.
TEST_F(CycleTest, AnUnwritableLogLineIsReported) {
  StartReader();
  UserHexJob();
  Change([this](WriterConfig& config) {
    config.logs.writeLogEnabled = true;
    config.logs.writeLogFile = folder_.Path();  // a folder, not a file
  });
  EXPECT_TRUE(writer_->WriteOnce());
  EXPECT_THAT(frontEnd_.statusLines,
              ElementsAre(FormatString(msg::kLogWriteFailed, {folder_.Path()}), Written("00000001")));
  EXPECT_EQ(writer_->ProgrammedCount(), 1);
  EXPECT_EQ(writer_->Config().params.value, "00000002");
}

// A write cycle claims the next tag's value as soon as a tag is done. The
// window shows that value; a stop gives it back without a record, so the next
// cycle (of a counter or a value list) starts with it. A value another program
// went on behind stays in the ledger as failed, said so in its record.
TEST_F(CycleTest, TheValueClaimedForTheNextTagGoesBackWhenTheCycleStops) {
  StartReader({"--tags", "0", "--conveyor", "1,0"});
  const std::string list = folder_.File("values.csv");
  const std::vector<std::string> lines{"0000A001", "0000A002", "0000A003", "0000A004"};
  std::ofstream(list) << lines[0] << "\n" << lines[1] << "\n" << lines[2] << "\n" << lines[3] << "\n";
  const auto runTags = [&](int tags) {
    EXPECT_TRUE(writer_->StartCycle(Cycle::Write));
    const int before = writer_->ProgrammedCount();
    for (int tick = 0; tick < 200 && writer_->ProgrammedCount() < before + tags; ++tick) {
      const int count = writer_->ProgrammedCount();
      writer_->Tick(Cycle::Write);
      if (writer_->ProgrammedCount() == count) continue;
      EXPECT_EQ(frontEnd_.writeValue, writer_->NextValueShown());
      // The lines left count the one held for the next tag.
      if (const auto position = writer_->ListPosition()) {
        EXPECT_EQ(lines.at(static_cast<std::size_t>(position->first) - 1), writer_->NextValueShown());
      }
    }
    writer_->StopCycle();
  };
  const auto claims = [this] { return ledger::SqliteLedger::Open(ledger_.Path()).value()->List({}).value(); };

  UserHexJob("00000001");
  runTags(2);
  EXPECT_EQ(writer_->NextValueShown(), "00000003");
  Change([&](WriterConfig& config) { config.trace.valueListPath = list; });
  runTags(2);
  EXPECT_EQ(writer_->ListPosition(), std::make_optional(std::make_pair(3, 4)));
  Change([&](WriterConfig& config) { config.trace.valueListPath.clear(); });
  runTags(1);
  Change([&](WriterConfig& config) { config.trace.valueListPath = list; });
  runTags(1);
  EXPECT_THAT(DataWritten(3), ElementsAre("00000001", "00000002", "0000A001", "0000A002", "00000003", "0000A003"));
  for (const ledger::Claim& claim : claims()) EXPECT_EQ(claim.outcome, ledger::Outcome::kWritten) << claim.value;
  EXPECT_EQ(claims().size(), 6u);

  // Another station takes the counter's next value while this one holds it ready.
  Change([&](WriterConfig& config) { config.trace.valueListPath.clear(); });
  ASSERT_TRUE(writer_->StartCycle(Cycle::Write));
  for (int tick = 0; tick < 50 && writer_->ProgrammedCount() < 1; ++tick) writer_->Tick(Cycle::Write);
  ASSERT_EQ(writer_->NextValueShown(), "00000005");
  auto other = ledger::SqliteLedger::Open(ledger_.Path()).value();
  ParameterSet params = writer_->Config().params;
  auto source = MakeCounterSource(params, false);
  ledger::ClaimRequest request;
  request.station = "S2";
  request.bank = 3;
  request.pool = source->Pool();
  request.plan = [&](const std::optional<std::string>& position) { return source->PlanFrom(position); };
  ASSERT_EQ(other->Take(request).value().value, "00000006");
  writer_->StopCycle();
  const std::vector<ledger::Claim> all = claims();
  ASSERT_EQ(all.size(), 9u);
  EXPECT_EQ(all[7].value, "00000005");
  EXPECT_EQ(all[7].outcome, ledger::Outcome::kFailed);
  EXPECT_EQ(all[7].message, FormatString(msg::kLedgerNotUsed, {"00000005"}));
}

}  // namespace
}  // namespace stampwise::testing
