// The paced line's arithmetic: characters, rates, chip writes and the
// schedule of requests and replies, with times passed in.
#include "sim/paced_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace mkvsim {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using ::testing::HasSubstr;

TEST(WireTime, BaudCodesGiveRateAndCharacterFormat) {
  struct Case {
    const char* code;
    bool valid;
    long rate;
    int bits;  // per character
    const char* shown;
  };
  const Case cases[] = {
      {"19200", true, 19200, 10, "19200 8N1"},
      {"19201", true, 19200, 11, "19200 8E1"},
      {"19202", true, 19200, 11, "19200 8O1"},
      {"19203", true, 19200, 11, "19200 8N2"},
      {"9601", true, 9600, 11, "9600 8E1"},
      {"115200", true, 115200, 10, "115200 8N1"},
      {"57603", true, 57600, 11, "57600 8N2"},
      {"19204", false, 0, 0, ""},
      {"19299", false, 0, 0, ""},
      {"3", false, 0, 0, ""},
      {"", false, 0, 0, ""},
      {"19200x", false, 0, 0, ""},
      {"-19200", false, 0, 0, ""},
      {"off", false, 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const std::optional<LineFormat> format = ParseBaudCode(c.code);
    ASSERT_EQ(format.has_value(), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(format->baudRate, c.rate);
    EXPECT_EQ(BitsPerCharacter(*format), c.bits);
    EXPECT_EQ(Describe(*format), c.shown);
  }
}

TEST(WireTime, BytesTakeTheirBitsAtTheRate) {
  struct Case {
    LineFormat format;
    std::size_t bytes;
    nanoseconds time;
  };
  const Case cases[] = {
      {{19200, 'N', 1}, 1, nanoseconds(520833)},     // 10 bits: 0.52 ms
      {{19200, 'N', 1}, 80, nanoseconds(41666667)},  // a tag's exchanges: about 42 ms
      {{19200, 'E', 1}, 3, nanoseconds(1718750)},    // 33 bits
      {{115200, 'N', 1}, 9, nanoseconds(781250)},
      {{115200, 'N', 2}, 9, nanoseconds(859375)},
      {{100000, 'O', 1}, 7, nanoseconds(770000)},
      {{57600, 'N', 1}, 0, nanoseconds(0)},
      {{9600, 'N', 1}, 96'000'000, std::chrono::seconds(100'000)},  // long runs do not overflow
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << Describe(c.format) << ' ' << c.bytes);
    EXPECT_EQ(WireTime(c.format, c.bytes), c.time);
  }
}

TEST(WireTime, ChipsWriteWholeWords) {
  struct Case {
    std::size_t bytes;
    microseconds per32Bits;
    nanoseconds time;
  };
  const Case cases[] = {
      {4, microseconds(4000), milliseconds(4)},    {2, microseconds(4000), milliseconds(2)},
      {3, microseconds(4000), milliseconds(4)},    {12, microseconds(3000), milliseconds(9)},
      {1, microseconds(5000), microseconds(2500)}, {0, microseconds(4000), nanoseconds(0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(ChipWriteTime(c.bytes, c.per32Bits), c.time);
  }
}

class PacedLineTest : public ::testing::Test {
 protected:
  using TimePoint = PacedLine::Clock::time_point;
  static TimePoint At(microseconds t) { return TimePoint{} + t; }
  // 100000 8N1: every character takes 100 us.
  PacedLine line_{microseconds(4000)};
  LineFormat format_{100000, 'N', 1};
};

TEST_F(PacedLineTest, UnpacedBytesMoveAtOnceAndAreCounted) {
  EXPECT_EQ(line_.Receive(6, At(microseconds(10))), At(microseconds(10)));
  // A held-back reply is late by its hold alone; a chip write costs nothing.
  EXPECT_EQ(line_.Reply(9, 4, At(microseconds(10)), milliseconds(3)), At(microseconds(3010)));
  EXPECT_EQ(line_.Reply(0, 0, At(microseconds(20)), milliseconds(0)), At(microseconds(20)));
  const PacedLine::Totals& totals = line_.Account();
  EXPECT_EQ(totals.rxBytes, 6u);
  EXPECT_EQ(totals.txBytes, 9u);
  EXPECT_EQ(totals.replies, 1u);
  EXPECT_EQ(totals.wire, nanoseconds(0));
  EXPECT_EQ(totals.chip, nanoseconds(0));
}

TEST_F(PacedLineTest, RequestsRepliesAndChipWritesTakeTheirTime) {
  line_.Pace(format_);
  struct Step {
    bool reply;  // else a request's bytes
    std::size_t bytes;
    std::size_t chipBytes;
    int atUs;  // read at (request) or request complete at (reply)
    int holdMs;
    int dueUs;
  };
  const Step steps[] = {
      {false, 5, 0, 0, 0, 500},        // 5 characters
      {true, 9, 0, 500, 0, 1400},      // 9 back
      {false, 3, 0, 2000, 0, 2300},    // a request in two reads: the second part
      {false, 3, 0, 2100, 0, 2600},    // queues behind the first
      {true, 5, 4, 2600, 0, 7100},     // a 4-byte write: 4 ms of chip, then 5 characters
      {false, 2, 0, 10000, 0, 10200},  //
      {true, 4, 0, 10200, 5, 15600},   // late on top of its characters' time
      {true, 4, 0, 10300, 0, 16000},   // a reply waits for the line to be free
      {true, 0, 2, 20000, 0, 22000},   // a dropped reply: only the chip's time
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << (s.reply ? "reply " : "request ") << s.bytes << " at " << s.atUs);
    const TimePoint due = s.reply ? line_.Reply(s.bytes, s.chipBytes, At(microseconds(s.atUs)), milliseconds(s.holdMs))
                                  : line_.Receive(s.bytes, At(microseconds(s.atUs)));
    EXPECT_EQ(due, At(microseconds(s.dueUs)));
  }
  const PacedLine::Totals& totals = line_.Account();
  EXPECT_EQ(totals.rxBytes, 13u);
  EXPECT_EQ(totals.txBytes, 22u);
  EXPECT_EQ(totals.replies, 4u);
  EXPECT_EQ(totals.wire, microseconds(3500));
  EXPECT_EQ(totals.chip, microseconds(6000));
  EXPECT_EQ(totals.firstRx, At(microseconds(0)));
  EXPECT_EQ(totals.lastTx, At(microseconds(16000)));
}

TEST_F(PacedLineTest, ControlPacesReportsAndResets) {
  struct Exchange {
    const char* verb;
    const char* argument;
    const char* answer;  // the start of it
  };
  const Exchange exchanges[] = {
      {"pace", "", "OK off"},
      {"pace", "115203", "OK 115200 8N2"},
      {"pace", "", "OK 115200 8N2"},
      {"pace", "fast", "ERR usage: pace BAUD|off"},
      {"pace", "19205", "ERR usage: pace BAUD|off"},
      {"pace", "100000", "OK 100000 8N1"},
      {"wire", "", "OK rx=0 tx=0 replies=0 wire_us=0 chip_us=0 first_rx_ns=0 last_tx_ns=0 pace=100000/8N1"},
      {"wire", "now", "ERR usage: wire [reset]"},
      {"pace", "off", "OK off"},
  };
  for (const Exchange& e : exchanges) {
    SCOPED_TRACE(testing::Message() << e.verb << ' ' << e.argument);
    EXPECT_EQ(line_.Control(e.verb, e.argument).rfind(e.answer, 0), 0u) << line_.Control(e.verb, "");
  }
  line_.Pace(format_);
  line_.Receive(4, At(microseconds(1000)));
  line_.Reply(6, 2, At(microseconds(1400)), milliseconds(0));
  EXPECT_THAT(line_.Control("wire", ""), HasSubstr("rx=4 tx=6 replies=1 wire_us=1000 chip_us=2000"));
  EXPECT_EQ(line_.Control("wire", "reset"), "OK");
  EXPECT_THAT(line_.Control("wire", ""), HasSubstr("rx=0 tx=0 replies=0 wire_us=0 chip_us=0 first_rx_ns=0"));
}

}  // namespace
}  // namespace mkvsim
