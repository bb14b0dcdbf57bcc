#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sim/control_interpreter.h"
#include "sim/sim_reader.h"
#include "sim_test_util.h"

namespace mkvsim::test {
namespace {

using std::chrono::milliseconds;
using ::testing::StartsWith;

class ConveyorTest : public ::testing::Test {
 protected:
  ConveyorTest() {
    options_.initialTags = 0;
    options_.conveyorIntervalMs = 100;
    options_.conveyorHoldMs = 50;
    options_.clock = [this] { return now_; };
  }
  std::size_t TagsAt(int ms) {
    now_ = std::chrono::steady_clock::time_point{} + milliseconds(ms);
    return reader_->Tags().size();
  }
  void WriteAt(int ms) {
    now_ = std::chrono::steady_clock::time_point{} + milliseconds(ms);
    ASSERT_FALSE(SelectOnlyTag(*reader_, 0).empty());
    ASSERT_EQ(Exchange(*reader_, 0, 0xC4, MemoryPayload(3, 0, {1, 2})), 0);
  }
  void Start() { reader_ = std::make_unique<SimReader>(options_); }

  SimOptions options_;
  std::chrono::steady_clock::time_point now_{};
  std::unique_ptr<SimReader> reader_;
};

TEST_F(ConveyorTest, BringsTagAfterTagAsEachIsWritten) {
  Start();
  struct Step {
    int at;
    bool write;
    std::size_t tags;
  };
  const Step steps[] = {
      {0, false, 0},    {99, false, 0},  {100, false, 1}, {500, false, 1},  // unwritten tags stay
      {510, true, 1},   {559, false, 1}, {560, false, 0},                   // leaves a hold after the write
      {659, false, 0},  {660, false, 1},                                    // next one an interval later
      {700, true, 1},   {740, true, 1},  {789, false, 1}, {790, false, 0},  // hold counts from the last write
      {2000, false, 1},
  };
  for (const Step& s : steps) {
    if (s.write) WriteAt(s.at);
    EXPECT_EQ(TagsAt(s.at), s.tags) << "at " << s.at;
  }
}

TEST_F(ConveyorTest, EachDeliveredTagIsNew) {
  Start();
  ASSERT_EQ(TagsAt(100), 1u);
  const Bytes first = reader_->Tags()[0].epc;
  WriteAt(100);
  ASSERT_EQ(TagsAt(250), 1u);
  EXPECT_NE(reader_->Tags()[0].epc, first);
}

TEST(ControlInterpreter, CommandsAndAnswers) {
  SimOptions options;
  options.initialTags = 0;
  SimReader reader(options);
  ControlInterpreter control(reader);
  struct Case {
    std::string line;
    std::string answer;
  };
  const Case cases[] = {
      {"list", "OK 0"},
      {"add", "OK 0"},
      {"add 1122 3344", "OK 1"},
      {"add 112", "ERR EPC must be 1 to 31 words of hex"},
      {"add zz", "ERR EPC must be 1 to 31 words of hex"},
      {"list", "OK 2 0:1:000000000000000000000001 1:2:11223344"},
      {"remove 5", "ERR no tag 5"},
      {"remove x", "ERR usage: remove all|<index>"},
      {"remove 0", "OK"},
      {"list", "OK 1 0:2:11223344"},
      {"remove all", "OK"},
      {"list", "OK 0"},
      // The belt moved by the test: the field's tags leave, new blank ones come.
      {"conveyor next", "OK 1"},
      {"list", "OK 1 0:3:000000000000000000000003"},
      {"conveyor next 2", "OK 2"},
      {"list", "OK 2 0:4:000000000000000000000004 1:5:000000000000000000000005"},
      {"conveyor next 0", "OK 0"},
      {"list", "OK 0"},
      {"conveyor next 101", "ERR usage: conveyor next [N]"},
      {"conveyor next x", "ERR usage: conveyor next [N]"},
      {"conveyor", "ERR usage: conveyor next [N]"},
      {"fault delay 40", "OK delay=40"},
      {"fault stray 0A0B", "OK delay=40 stray=2"},
      {"fault badcrc", "OK delay=40 stray=2 badcrc=on"},
      {"fault clear", "OK none"},
      {"fault drop 3", "OK drop=3"},
      {"fault lostack 1", "OK drop=3 lostack=1"},
      {"fault truncate -2", "ERR usage: fault truncate [N]"},
      {"fault collide", "OK drop=3 lostack=1 collide=on"},
      {"fault melt", "ERR unknown fault melt"},
      {"fault delay", "ERR usage: fault delay MS"},
      {"fault stray 0", "ERR usage: fault stray HEX"},
      {"fault clear", "OK none"},
      {"fault skip 2", "OK skip=2"},
      {"fault skip", "ERR usage: fault skip N"},
      {"fault late 700 1", "OK skip=2 late=700/1"},
      {"fault refuse 24", "OK skip=2 late=700/1 refuse=24/on"},
      {"fault refuse 0", "ERR usage: fault refuse STATUS [N]"},
      {"fault late x", "ERR usage: fault late MS [N]"},
      {"fault unseen 3", "OK skip=2 late=700/1 refuse=24/on unseen=3"},
      {"fault corrupt 1", "OK skip=2 late=700/1 refuse=24/on unseen=3 corrupt=1"},
      {"fault clear", "OK none"},
      {"power", "OK 270"},
      {"written", "OK 0"},
      {"", "ERR empty command"},
      {"dance", "ERR unknown command dance"},
  };
  for (const Case& c : cases) EXPECT_EQ(control.Handle(c.line), c.answer) << c.line;
  EXPECT_FALSE(control.QuitRequested());
  EXPECT_THAT(control.Handle("quit"), StartsWith("OK"));
  EXPECT_TRUE(control.QuitRequested());
}

TEST(ControlInterpreter, ListMarksTheSelectedTag) {
  SimReader reader(SimOptions{});
  ControlInterpreter control(reader);
  ASSERT_FALSE(SelectOnlyTag(reader, 1).empty());
  EXPECT_EQ(control.Handle("list"), "OK 1 0:1:000000000000000000000001*");
  ASSERT_EQ(Exchange(reader, 1, 0xC4, MemoryPayload(3, 0, {1, 2})), 0);
  EXPECT_EQ(control.Handle("written"), "OK 1");
}

}  // namespace
}  // namespace mkvsim::test
