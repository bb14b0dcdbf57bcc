// A saver killed at any moment must leave the old or the new file, whole.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <thread>

#include "app/store/record.h"
#include "app/store/settings.h"
#include "tests/app/temp_folder.h"

namespace stampwise {
namespace {

using testing::ReadFile;
using testing::TempFolder;

constexpr int kKills = 200;

// Forks a child that runs save(i) for i = 0, 1, 2, ... until it is killed
// with SIGKILL after a random pause, kKills times. Returns how often the file
// held each image; anything else fails the test.
std::pair<int, int> KillWhileSaving(const std::string& path, const std::function<void(int)>& save,
                                    const std::string& first, const std::string& second) {
  std::mt19937 random(20240305);
  std::pair<int, int> seen{0, 0};
  for (int round = 0; round < kKills; ++round) {
    int started[2];
    if (::pipe(started) != 0) {
      ADD_FAILURE() << "pipe";
      break;
    }
    pid_t child = ::fork();
    if (child == 0) {
      ::close(started[0]);
      // Tell the parent once the first save is through, so that the kill
      // falls into the saves that follow, however slow this build runs.
      save(0);
      const char ready = 1;
      (void)!::write(started[1], &ready, 1);
      for (int i = 1;; ++i) save(i);
    }
    ::close(started[1]);
    EXPECT_GT(child, 0);
    if (child <= 0) break;
    pollfd wait{started[0], POLLIN, 0};
    ::poll(&wait, 1, 10000);
    ::close(started[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    std::string content = ReadFile(path);
    if (content == first) {
      ++seen.first;
    } else if (content == second) {
      ++seen.second;
    } else {
      ADD_FAILURE() << "after kill " << round << " the file holds:\n" << content;
      break;
    }
  }
  return seen;
}

DataRecord JobWithValue(std::string value, Bank bank) {
  DataRecord record;
  record.params.value = std::move(value);
  record.params.bank = bank;
  record.options.accessPassword = "0badcafe";
  return record;
}

TEST(CrashSafety, DataRecordSurvivesAKilledSave) {
  TempFolder folder;
  const std::string path = folder.File("job.MKVDat");
  const DataRecord first = JobWithValue("00000001", Bank::User);
  const DataRecord second = JobWithValue("99999999", Bank::Epc);
  ASSERT_TRUE(SaveRecord(folder.File("second.MKVDat"), second));
  ASSERT_TRUE(SaveRecord(path, first));
  const std::string secondImage = ReadFile(folder.File("second.MKVDat"));

  auto [old, changed] = KillWhileSaving(
      path, [&](int i) { SaveRecord(path, i % 2 == 0 ? second : first); }, ReadFile(path), secondImage);
  EXPECT_EQ(old + changed, kKills);
  EXPECT_GT(changed, 0) << "no save ever completed; the test proved nothing";
}

TEST(CrashSafety, SettingsSurviveAKilledLastDataStore) {
  TempFolder folder;
  const std::string path = folder.File("QL-MKV Stampwise.ini");
  Settings settings(path, folder.Path() + "/");
  settings.Load();
  ASSERT_TRUE(settings.WriteString(keys::kLastData, "AAAAAAAA"));
  const std::string first = ReadFile(path);
  std::string second = first;
  second.replace(second.find("AAAAAAAA"), 8, "BBBBBBBB");

  auto [old, changed] = KillWhileSaving(
      path,
      [&](int i) {
        static Settings child(path, folder.Path() + "/");
        child.WriteString(keys::kLastData, i % 2 == 0 ? "BBBBBBBB" : "AAAAAAAA");
      },
      first, second);
  EXPECT_EQ(old + changed, kKills);
  EXPECT_GT(changed, 0) << "no save ever completed; the test proved nothing";
}

}  // namespace
}  // namespace stampwise
