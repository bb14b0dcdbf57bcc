#include "sim/sim_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "sim/fault_plan.h"
#include "sim/write_journal.h"
#include "sim_test_util.h"

namespace mkvsim::test {
namespace {

using ::testing::ElementsAre;

class BothVariants : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(Sim, BothVariants, ::testing::Values(0, 1));

struct SimpleCommandCase {
  const char* name;
  std::uint8_t command;
  Bytes payload;
  int status;
  Bytes data;  // expected data when status is 0 (empty: not checked beyond status)
};

TEST_P(BothVariants, SimpleCommandsAnswerInTheRequestsVariant) {
  const SimpleCommandCase cases[] = {
      {"version", 0xF0, {}, 0, {'3', '1', '2', '5'}},
      {"power default", 0x07, {}, 0, {0x0E, 0x01}},
      {"mode 0", 0xF4, {0}, 0, {}},
      {"mode with high bit", 0xF4, {0x83}, 0, {}},
      {"mode 4 refused", 0xF4, {4}, 6, {}},
      {"mode without byte", 0xF4, {}, 6, {}},
      {"usb mode to HID", 0xFF, {1}, 0, {}},
      {"usb mode to COM", 0xFF, {2}, 0, {}},
      {"usb mode 3", 0xFF, {3}, 6, {}},
      {"power too short", 0x08, {0x82}, 6, {}},
      {"unknown command", 0x55, {}, 24, {}},
  };
  SimReader reader(SimOptions{});
  for (const auto& c : cases) {
    Bytes data;
    EXPECT_EQ(Exchange(reader, GetParam(), c.command, c.payload, data), c.status) << c.name;
    if (c.status == 0 && !c.data.empty()) {
      EXPECT_EQ(data, c.data) << c.name;
    }
  }
}

TEST_P(BothVariants, TransmitPowerIsStored) {
  SimReader reader(SimOptions{});
  ASSERT_EQ(Exchange(reader, GetParam(), 0x08, {0xDC, 0x00, 1}), 0);  // 22.0 dBm
  Bytes data;
  ASSERT_EQ(Exchange(reader, GetParam(), 0x07, {}, data), 0);
  EXPECT_THAT(data, ElementsAre(0xDC, 0x00));
  EXPECT_EQ(reader.TxPower(), 220);
}

TEST_P(BothVariants, InventoryReportsCountPcAndEpc) {
  struct Case {
    int tags;
    bool collide;
    int status;
    std::uint8_t count;
    std::size_t size;
  };
  const Case cases[] = {
      {0, false, 0, 0, 3}, {1, false, 0, 1, 3 + 12}, {2, false, 0, 2, 3},
      {3, false, 0, 3, 3}, {2, true, 23, 0, 0},      {1, true, 0, 1, 3 + 12},  // a lone tag cannot collide
  };
  for (const Case& c : cases) {
    SimOptions options;
    options.initialTags = c.tags;
    SimReader reader(options);
    if (c.collide) reader.ChangeFaults([](FaultPlan& f) { f.SetCollision(true); });
    Bytes data;
    ASSERT_EQ(Exchange(reader, GetParam(), 0xC0, {1}, data), c.status) << c.tags;
    if (c.status != 0) continue;
    ASSERT_EQ(data.size(), c.size) << c.tags;
    EXPECT_EQ(data[0], c.count);
    if (c.count == 1) {
      EXPECT_THAT(Bytes(data.begin() + 1, data.begin() + 3), ElementsAre(0x30, 0x00));
    }
  }
}

TEST(SimReader, BlankTagsHaveDistinctEpcsAndTids) {
  SimOptions options;
  options.initialTags = 2;
  SimReader reader(options);
  const std::vector<TagInfo> tags = reader.Tags();
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_NE(tags[0].epc, tags[1].epc);
  Bytes tid[2];
  for (int i = 0; i < 2; ++i) {
    reader.RemoveAllTags();
    reader.AddTag(tags[static_cast<std::size_t>(i)].epc);
    // Added with the same EPC, but a tag of its own: the TID differs anyway.
    ASSERT_FALSE(SelectOnlyTag(reader, 0).empty());
    ASSERT_EQ(Exchange(reader, 0, 0xC3, MemoryPayload(2, 0, {12}), tid[i]), 0);
  }
  EXPECT_NE(tid[0], tid[1]);
}

TEST_P(BothVariants, TagAccessStatuses) {
  struct Case {
    const char* name;
    int tags;
    bool select;
    std::uint8_t command;
    Bytes payload;
    int status;
  };
  const Bytes pw{0, 0, 0, 0};
  const Case cases[] = {
      {"select with no tag", 0, false, 0xC2, {1, 2}, 21},
      {"select with two tags", 2, false, 0xC2, {1, 2}, 23},
      {"select unknown EPC", 1, false, 0xC2, {1, 2, 3, 4}, 21},
      {"read unselected", 1, false, 0xC3, MemoryPayload(3, 0, {4}), 21},
      {"write unselected", 1, false, 0xC4, MemoryPayload(3, 0, {1, 2}), 21},
      {"read with two tags", 2, false, 0xC3, MemoryPayload(3, 0, {4}), 23},
      {"read user", 1, true, 0xC3, MemoryPayload(3, 0, {4}), 0},
      {"read past bank end", 1, true, 0xC3, MemoryPayload(3, 31, {4}), 21},
      {"read start far out", 1, true, 0xC3, MemoryPayload(3, 0x10000, {2}), 21},
      {"read bad bank", 1, true, 0xC3, MemoryPayload(4, 0, {2}), 6},
      {"read short payload", 1, true, 0xC3, {3, 0, 0}, 6},
      {"write user", 1, true, 0xC4, MemoryPayload(3, 0, {1, 2}), 0},
      {"write past bank end", 1, true, 0xC4, MemoryPayload(3, 31, {1, 2, 3, 4}), 21},
      {"write without data", 1, true, 0xC4, MemoryPayload(3, 0, {}), 6},
      {"write TID", 1, true, 0xC4, MemoryPayload(2, 0, {1, 2}), 22},
      {"password write, right password", 1, true, 0xC5, MemoryPayload(3, 0, {0, 0, 0, 0, 7, 7}), 0},
      {"password write, wrong password", 1, true, 0xC5, MemoryPayload(3, 0, {1, 0, 0, 0, 7, 7}), 22},
      {"lock bad area", 1, true, 0xC6, {0, 0, 0, 0, 2, 5}, 6},
      {"lock bad action", 1, true, 0xC6, {0, 0, 0, 0, 4, 2}, 6},
      {"lock wrong password", 1, true, 0xC6, {9, 9, 9, 9, 2, 2}, 22},
      {"lock unselected", 1, false, 0xC6, {0, 0, 0, 0, 2, 2}, 21},
  };
  for (const Case& c : cases) {
    SimOptions options;
    options.initialTags = c.tags;
    SimReader reader(options);
    if (c.select) {
      ASSERT_FALSE(SelectOnlyTag(reader, GetParam()).empty()) << c.name;
    }
    Bytes data;
    EXPECT_EQ(Exchange(reader, GetParam(), c.command, c.payload, data), c.status) << c.name;
  }
}

TEST(SimReader, WrittenDataReadsBack) {
  SimReader reader(SimOptions{});
  ASSERT_FALSE(SelectOnlyTag(reader, 1).empty());
  ASSERT_EQ(Exchange(reader, 1, 0xC4, MemoryPayload(3, 5, {0xDE, 0xAD, 0xBE})), 0);
  Bytes data;
  ASSERT_EQ(Exchange(reader, 1, 0xC3, MemoryPayload(3, 5, {3}), data), 0);
  EXPECT_THAT(data, ElementsAre(0xDE, 0xAD, 0xBE));
}

TEST(SimReader, PcWordDecidesTheReportedEpcLength) {
  struct Case {
    Bytes pcAndEpc;  // written at EPC word 1
    Bytes expectedInventory;
  };
  const Case cases[] = {
      {{0x20, 0x00, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8},
       {1, 0x20, 0x00, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8}},
      {{0x08, 0x00, 0x12, 0x34}, {1, 0x08, 0x00, 0x12, 0x34}},
      {{0x34, 0x00}, {1, 0x34, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},  // low bits kept, EPC unchanged
      {{0x00, 0x00}, {1, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    SimReader reader(SimOptions{});
    const Bytes epc = SelectOnlyTag(reader, 0);
    ASSERT_FALSE(epc.empty());
    ASSERT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(1, 1, c.pcAndEpc)), 0);
    Bytes data;
    ASSERT_EQ(Exchange(reader, 0, 0xC0, {1}, data), 0);
    EXPECT_EQ(data, c.expectedInventory);
    // The new EPC selects the tag; the old one no longer does (unless unchanged).
    const Bytes newEpc(data.begin() + 3, data.end());
    if (newEpc != epc) {
      EXPECT_EQ(Exchange(reader, 0, 0xC2, epc), 21);
    }
    EXPECT_EQ(Exchange(reader, 0, 0xC2, newEpc), 0);
  }
}

TEST(SimReader, LockedAreaNeedsThePassword) {
  SimReader reader(SimOptions{});
  ASSERT_FALSE(SelectOnlyTag(reader, 0).empty());
  const Bytes pw{0x3C, 0x5A, 0x9E, 0x71};
  ASSERT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(0, 2, pw)), 0);
  Bytes lock = pw;
  lock.insert(lock.end(), {2, 2});  // lock the EPC bank
  ASSERT_EQ(Exchange(reader, 0, 0xC6, lock), 0);

  const Bytes data{0x30, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(1, 1, data)), 22);
  Bytes withWrongPw{1, 2, 3, 4};
  withWrongPw.insert(withWrongPw.end(), data.begin(), data.end());
  EXPECT_EQ(Exchange(reader, 0, 0xC5, MemoryPayload(1, 1, withWrongPw)), 22);
  Bytes withPw = pw;
  withPw.insert(withPw.end(), data.begin(), data.end());
  EXPECT_EQ(Exchange(reader, 0, 0xC5, MemoryPayload(1, 1, withPw)), 0);
  // Other banks stay open.
  EXPECT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(3, 0, {1, 2})), 0);

  // Locking the access password also hides it from plain reads.
  lock.back() = 1;
  ASSERT_EQ(Exchange(reader, 0, 0xC6, lock), 0);
  Bytes read;
  EXPECT_EQ(Exchange(reader, 0, 0xC3, MemoryPayload(0, 2, {4}), read), 22);
  EXPECT_EQ(Exchange(reader, 0, 0xC3, MemoryPayload(0, 0, {4}), read), 0);  // kill password area still open
}

TEST(SimReader, PermanentLocksCannotBeUndone) {
  SimReader reader(SimOptions{});
  ASSERT_FALSE(SelectOnlyTag(reader, 0).empty());
  ASSERT_EQ(Exchange(reader, 0, 0xC6, {0, 0, 0, 0, 3, 4}), 0);  // permalock User
  EXPECT_EQ(Exchange(reader, 0, 0xC5, MemoryPayload(3, 0, {0, 0, 0, 0, 1, 2})), 22);
  EXPECT_EQ(Exchange(reader, 0, 0xC6, {0, 0, 0, 0, 0, 4}), 22);
  EXPECT_EQ(Exchange(reader, 0, 0xC6, {0, 0, 0, 0, 3, 4}), 0);  // repeating it is fine
}

TEST(SimReader, SelectionLeavesWithTheTag) {
  SimReader reader(SimOptions{});
  const Bytes epc = SelectOnlyTag(reader, 0);
  ASSERT_FALSE(epc.empty());
  reader.RemoveAllTags();
  reader.AddTag(epc);  // another tag with the same EPC is not the selected one
  EXPECT_EQ(Exchange(reader, 0, 0xC3, MemoryPayload(3, 0, {2})), 21);
}

TEST(SimReader, AnswersOnlyItsAddressAndEnabledVariants) {
  struct Case {
    int enabled;
    int variant;
    std::uint8_t address;
    bool answered;
  };
  const Case cases[] = {
      {2, 0, 1, true}, {2, 1, 1, true},  {0, 0, 1, true},  {0, 1, 1, false},
      {1, 1, 1, true}, {1, 0, 1, false}, {2, 0, 5, false}, {2, 1, 5, false},
  };
  for (const Case& c : cases) {
    SimOptions options;
    options.variants = c.enabled;
    SimReader reader(options);
    const Bytes request = frame::Build(c.variant, c.address, 0xF0, Bytes{});
    EXPECT_EQ(!reader.Feed(request.data(), request.size()).empty(), c.answered)
        << c.enabled << '/' << c.variant << '/' << int(c.address);
    // An ignored frame must not block the next one in the reader's own variant.
    const int own = c.enabled == 1 ? 1 : 0;
    const Bytes next = frame::Build(own, 1, 0xF0, Bytes{});
    EXPECT_FALSE(reader.Feed(next.data(), next.size()).empty());
  }
}

TEST(SimReader, RequestsSurviveSplittingAndNoise) {
  SimReader reader(SimOptions{});
  for (int variant : {0, 1}) {
    Bytes stream{0x00, 0xFF, 0x13};  // line noise before the request
    const Bytes request = frame::Build(variant, 1, 0xF0, Bytes{});
    stream.insert(stream.end(), request.begin(), request.end());
    Bytes reply;
    for (std::uint8_t byte : stream) {
      const Bytes part = reader.Feed(&byte, 1);
      reply.insert(reply.end(), part.begin(), part.end());
    }
    Bytes data;
    EXPECT_EQ(frame::ValidateReply(variant, reply, data), 0) << variant;
    EXPECT_EQ(data.size(), 4u);
  }
}

TEST(SimReader, AbandonedPartialRequestIsDropped) {
  auto now = std::chrono::steady_clock::time_point{};
  SimOptions options;
  options.clock = [&now] { return now; };
  SimReader reader(options);
  const Bytes head{0x01, 0xC4, 0x40};  // variant 1 write announcing 64 payload bytes that never come
  EXPECT_TRUE(reader.Feed(head.data(), head.size()).empty());
  now += std::chrono::seconds(1);
  const Bytes request = frame::Build(1, 1, 0xF0, Bytes{});
  Bytes data;
  EXPECT_EQ(frame::ValidateReply(1, reader.Feed(request.data(), request.size()), data), 0);
}

TEST(SimReader, FaultsBendReplies) {
  struct Case {
    const char* name;
    std::function<void(FaultPlan&)> set;
    int firstStatus;   // validated status of the first reply (-1: nothing at all)
    int secondStatus;  // and of the second
  };
  const Case cases[] = {
      {"bad checksum once", [](FaultPlan& f) { f.SetBadChecksum(1); }, 10, 0},
      {"bad checksum until cleared", [](FaultPlan& f) { f.SetBadChecksum(FaultPlan::kUntilCleared); }, 10, 10},
      {"drop twice", [](FaultPlan& f) { f.SetDrop(2); }, -1, -1},
      {"drop once", [](FaultPlan& f) { f.SetDrop(1); }, -1, 0},
      {"truncate once", [](FaultPlan& f) { f.SetTruncate(1); }, 10, 0},
      {"variant 1 stray bytes", [](FaultPlan& f) { f.SetStray({0xAA}); }, 10, 10},
      {"cleared",
       [](FaultPlan& f) {
         f.SetDrop(-1);
         f.Clear();
       },
       0, 0},
  };
  for (const Case& c : cases) {
    SimReader reader(SimOptions{});
    reader.ChangeFaults(c.set);
    for (int expected : {c.firstStatus, c.secondStatus}) {
      const Bytes request = frame::Build(1, 1, 0xF0, Bytes{});
      const Bytes reply = reader.Feed(request.data(), request.size());
      if (expected < 0) {
        EXPECT_TRUE(reply.empty()) << c.name;
        continue;
      }
      Bytes data;
      EXPECT_EQ(frame::ValidateReply(1, reply, data), expected) << c.name;
    }
  }
}

TEST(SimReader, TruncatedReplyNeverCompletes) {
  SimReader reader(SimOptions{});
  reader.ChangeFaults([](FaultPlan& f) { f.SetTruncate(1); });
  const Bytes request = frame::Build(0, 1, 0xF0, Bytes{});
  const Bytes reply = reader.Feed(request.data(), request.size());
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(frame::CompleteLength(0, reply.data(), reply.size()), 0u);
}

TEST(SimReader, StrayBytesPrecedeAWholeVariant0Reply) {
  SimReader reader(SimOptions{});
  reader.ChangeFaults([](FaultPlan& f) { f.SetStray({0x55, 0x66}); });
  const Bytes request = frame::Build(0, 1, 0xF0, Bytes{});
  const Bytes reply = reader.Feed(request.data(), request.size());
  ASSERT_GT(reply.size(), 2u);
  EXPECT_THAT(Bytes(reply.begin(), reply.begin() + 2), ElementsAre(0x55, 0x66));
  Bytes data;
  EXPECT_EQ(frame::ValidateReply(0, Bytes(reply.begin() + 2, reply.end()), data), 0);
}

TEST(SimReader, LostAckStillWritesAndRecords) {
  char path[] = "/tmp/mkvsim-record-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  {
    SimOptions options;
    options.recordPath = path;
    SimReader reader(options);
    ASSERT_FALSE(SelectOnlyTag(reader, 0).empty());
    reader.ChangeFaults([](FaultPlan& f) { f.SetLostAck(1); });
    EXPECT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(3, 2, {0xAB, 0xCD})), 21);
    EXPECT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(3, 4, {0x01, 0x02})), 0);
    Bytes data;
    ASSERT_EQ(Exchange(reader, 0, 0xC3, MemoryPayload(3, 2, {2}), data), 0);
    EXPECT_THAT(data, ElementsAre(0xAB, 0xCD));
    EXPECT_EQ(reader.WrittenCount(), 2u);
    // A refused write is not a write.
    EXPECT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(2, 0, {1, 2})), 22);
    EXPECT_EQ(reader.WrittenCount(), 2u);
    EXPECT_TRUE(reader.RecordOk());
  }
  std::ifstream in(path);
  std::string first, second, extra;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_EQ(first, "tag=1 bank=3 word=2 data=ABCD");
  EXPECT_EQ(second, "tag=1 bank=3 word=4 data=0102");
  EXPECT_FALSE(std::getline(in, extra));
  ::unlink(path);
}

// Faults aimed past the replies before a write, and faults of the write itself.
TEST(SimReader, WriteFaultsHitTheWriteOnly) {
  SimReader reader(SimOptions{});
  ASSERT_FALSE(SelectOnlyTag(reader, 0).empty());
  // Skip the inventory and the select, then drop: the write's reply is gone,
  // the write itself happened.
  reader.ChangeFaults([](FaultPlan& f) {
    f.SetSkip(2);
    f.SetDrop(1);
  });
  EXPECT_EQ(Exchange(reader, 0, 0xC0, {1}), 0);
  EXPECT_EQ(Exchange(reader, 0, 0xC2, reader.Tags().front().epc), 0);
  const Bytes write = frame::Build(0, 1, 0xC4, MemoryPayload(3, 0, {0x11, 0x22}));
  EXPECT_TRUE(reader.Feed(write.data(), write.size()).empty());
  EXPECT_EQ(reader.WrittenCount(), 1u);

  // A late reply keeps its contents and says how long to hold it.
  reader.ChangeFaults([](FaultPlan& f) { f.SetLate(700, 1); });
  const TimedReply late = reader.FeedTimed(write.data(), write.size());
  EXPECT_EQ(late.delay, std::chrono::milliseconds(700));
  Bytes data;
  EXPECT_EQ(frame::ValidateReply(0, late.bytes, data), 0);
  EXPECT_EQ(reader.FeedTimed(write.data(), write.size()).delay, std::chrono::milliseconds(0));

  // A refused write does not reach the tag.
  reader.ChangeFaults([](FaultPlan& f) { f.SetRefuse(24, 1); });
  EXPECT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(3, 0, {0x33, 0x44})), 24);
  EXPECT_EQ(reader.WrittenCount(), 3u);
  ASSERT_EQ(Exchange(reader, 0, 0xC3, MemoryPayload(3, 0, {2}), data), 0);
  EXPECT_THAT(data, ElementsAre(0x11, 0x22));

  // The inventory right after an "unseen" write finds nothing, the next one the tag.
  reader.ChangeFaults([](FaultPlan& f) { f.SetUnseen(1); });
  EXPECT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(3, 0, {0x55, 0x66})), 0);
  ASSERT_EQ(Exchange(reader, 0, 0xC0, {1}, data), 0);
  EXPECT_EQ(data.at(0), 0);
  ASSERT_EQ(Exchange(reader, 0, 0xC0, {1}, data), 0);
  EXPECT_EQ(data.at(0), 1);

  // A corrupt write is acknowledged, but the tag keeps its last byte inverted.
  reader.ChangeFaults([](FaultPlan& f) { f.SetCorrupt(1); });
  EXPECT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(3, 0, {0x77, 0x88})), 0);
  ASSERT_EQ(Exchange(reader, 0, 0xC3, MemoryPayload(3, 0, {2}), data), 0);
  EXPECT_THAT(data, ElementsAre(0x77, 0x77));
  EXPECT_EQ(Exchange(reader, 0, 0xC4, MemoryPayload(3, 0, {0x77, 0x88})), 0);
  ASSERT_EQ(Exchange(reader, 0, 0xC3, MemoryPayload(3, 0, {2}), data), 0);
  EXPECT_THAT(data, ElementsAre(0x77, 0x88));
}

TEST(SimReader, UnwritableRecordFileIsRefused) {
  SimOptions options;
  options.recordPath = "/nonexistent-dir/record.txt";
  EXPECT_THROW(SimReader reader(options), std::runtime_error);
}

}  // namespace
}  // namespace mkvsim::test
