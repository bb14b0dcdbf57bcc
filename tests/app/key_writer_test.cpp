// The key writer's thread: writes in the order they were started, each after
// the one before, a failure told once, and nothing left unwritten at its end.
#include "app/job/key_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/app/temp_folder.h"

namespace stampwise::testing {
namespace {

class KeyWriterTest : public ::testing::Test {
 protected:
  std::string File() const { return folder_.File("settings.ini"); }
  int Stored() {
    Settings fresh(File(), folder_.Path() + "/");
    return fresh.ReadInt("Settings", "N", -1);
  }
  KeyUpdate Write(int value) {
    return [value](Settings& settings) { return settings.WriteInt("Settings", "N", value); };
  }

  TempFolder folder_{"key-writer"};
};

TEST_F(KeyWriterTest, WritesFollowEachOtherInOrder) {
  KeyWriter writer(File(), folder_.Path() + "/", std::chrono::milliseconds(1000));
  std::atomic<int> outOfOrder{0};
  for (int i = 1; i <= 40; ++i) {
    writer.Start([i, &outOfOrder](Settings& settings) {
      if (settings.ReadInt("Settings", "N", 0) != i - 1) ++outOfOrder;
      return settings.WriteInt("Settings", "N", i);
    });
  }
  EXPECT_TRUE(writer.Finish());
  EXPECT_EQ(outOfOrder, 0);
  EXPECT_EQ(Stored(), 40);
}

TEST_F(KeyWriterTest, AFailedWriteIsToldOnceWithItsReason) {
  KeyWriter writer(File(), folder_.Path() + "/", std::chrono::milliseconds(1000));
  writer.Start(Write(1));
  ASSERT_TRUE(writer.Finish());
  // No save can make its temporary file.
  ASSERT_TRUE(std::filesystem::create_directory(File() + ".tmp"));
  writer.Start(Write(2));
  const Status failed = writer.Finish();
  EXPECT_FALSE(failed);
  EXPECT_FALSE(failed.message().text.empty());
  EXPECT_TRUE(writer.Finish()) << "told once";
  EXPECT_EQ(Stored(), 1);

  std::filesystem::remove(File() + ".tmp");
  writer.Start(Write(3));
  EXPECT_TRUE(writer.Finish());
  EXPECT_EQ(Stored(), 3);
}

TEST_F(KeyWriterTest, ItsEndWaitsForTheWriteUnderWay) {
  {
    KeyWriter writer(File(), folder_.Path() + "/", std::chrono::milliseconds(1000));
    writer.Start([](Settings& settings) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return settings.WriteInt("Settings", "N", 7);
    });
  }
  EXPECT_EQ(Stored(), 7);
}

}  // namespace
}  // namespace stampwise::testing
