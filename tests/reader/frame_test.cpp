#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <cstring>

using qlmkv::frame::Bytes;
namespace frame = qlmkv::frame;

TEST(Frame, CrcCheckValue) {
  const char* digits = "123456789";
  EXPECT_EQ(frame::Crc16Modbus(reinterpret_cast<const std::uint8_t*>(digits), std::strlen(digits)), 0x4B37);
}

TEST(Frame, VersionQueryInBothVariants) {
  EXPECT_EQ(frame::Build(0, 1, 0xF0, Bytes{}), (Bytes{0x02, 0x01, 0xF0, 0x00, 0xF1}));
  EXPECT_EQ(frame::Build(1, 1, 0xF0, Bytes{}), (Bytes{0x01, 0xF0, 0x00, 0x64, 0x00}));
}

TEST(Frame, CompleteLengthOfPlainAndBlockListReplies) {
  struct Case {
    int variant;
    Bytes buffer;
    std::size_t expected;
  };
  const Bytes blockList = {0x02, 0x01, 0x00, 0xFF, 0x02, 0xAA, 0xBB, 0x01, 0xCC, 0xFF};
  Bytes withBcc = blockList;
  withBcc.push_back(frame::Bcc(blockList.data() + 1, blockList.size() - 1));
  const Case cases[] = {
      {0, {0x02, 0x01, 0x00}, 0},                    // length byte not there yet
      {0, {0x02, 0x01, 0x00, 0x00}, 0},              // checksum missing
      {0, {0x02, 0x01, 0x00, 0x00, 0x03}, 5},        // status only
      {0, {0x02, 0x01, 0x00, 0x00, 0x03, 0x99}, 5},  // trailing byte not part of the frame
      {1, {0x01, 0x00, 0x01, 0x41, 0x00}, 0},
      {0, blockList, 0},  // BCC still missing
      {0, withBcc, withBcc.size()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(frame::CompleteLength(c.variant, c.buffer.data(), c.buffer.size()), c.expected);
  }
}

Bytes Plus(Bytes frame, const Bytes& tail) {
  frame.insert(frame.end(), tail.begin(), tail.end());
  return frame;
}

TEST(Frame, ValidateReplyUnpacksDataOrReportsTheError) {
  const Bytes ok0 = frame::Build(0, 1, 0x00, Bytes{'3', '1', '2', '5'});
  const Bytes ok1 = frame::Build(1, 1, 0x00, Bytes{'3', '1', '2', '5'});
  const Bytes status21 = frame::Build(0, 1, 21, Bytes{});
  const Bytes blocks = frame::BuildBlockList(1, 1, 0, {Bytes{0xAA, 0xBB}, Bytes{0xCC}});
  Bytes trailing = ok0;
  trailing.push_back(0x55);
  Bytes corrupt = ok1;
  corrupt[3] ^= 0x01;

  struct Case {
    int variant;
    Bytes reply;
    int error;
    Bytes data;
  };
  const Case cases[] = {
      {0, ok0, 0, {'3', '1', '2', '5'}},
      {1, ok1, 0, {'3', '1', '2', '5'}},
      {0, status21, 21, {}},
      {1, blocks, 0, {0x02, 0xAA, 0xBB, 0x01, 0xCC}},
      {0, trailing, 10, {}},
      {1, corrupt, 10, {}},
      {0, {}, 12, {}},
      {1, {0x01}, 10, {}},
      // Trailing bytes that leave the checksum right are still not one frame.
      {0, Plus(ok0, {0x00}), 10, {}},
      {0, Plus(ok0, {0x37, 0x37}), 10, {}},
      {1, Plus(ok1, {0x00, 0x00}), 10, {}},
      {1, Plus(blocks, {0x00, 0x00}), 10, {}},
      {0, Plus(status21, {0x00}), 10, {}},
  };
  for (const Case& c : cases) {
    Bytes data{0x55};
    EXPECT_EQ(frame::ValidateReply(c.variant, c.reply, data), c.error);
    EXPECT_EQ(data, c.data);
  }
}
