// Installer downloads: only complete answers of https:// addresses land in
// the folder, under the last part of the address; nothing else is left.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/update/update_fixture.h"
#include "update/https_client.h"
#include "update/installer.h"
#include "update/update_check.h"

namespace stampwise::testing {
namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  return names;
}

// A versions file whose installer is `installer`.
std::string VersionsWith(const std::string& installer) {
  return "[QL_MKV_Stampwise]\r\nVersion=1.10\r\nBuild=2026-01-01\r\nInstaller=" + installer + "\r\n";
}

class DownloadTest : public UpdateTest {
 protected:
  // Downloads through a check whose versions file names `installer`.
  std::string Download(const std::string& installer,
                       std::chrono::seconds stallTime = update::kInstallerLimits.stallTime) {
    Server().Serve("versions.txt", VersionsWith(installer));
    const auto check =
        Fetched(Server().Base() + "versions.txt", update::kSoftwareSection, "1.07", "2025-06-01", stallTime);
    return check->DownloadInstaller(target_.Path());
  }

  TempFolder target_{"stampwise-download"};
  const std::string installer_ = "#!/bin/sh\necho installed\n" + std::string(200000, '#') + "\n";
};

TEST_F(DownloadTest, CompleteInstallerLandsUnderItsName) {
  Server().Serve("setup-1.10.run", installer_);
  const std::string path = Download(Server().Base() + "setup-1.10.run");
  EXPECT_EQ(path, target_.File("setup-1.10.run"));
  EXPECT_EQ(ReadFile(path), installer_);
  EXPECT_EQ(FilesIn(target_.Path()), std::vector<std::string>{"setup-1.10.run"});
}

TEST_F(DownloadTest, FailedDownloadsLeaveNothingAndKeepAnOlderFile) {
  Server().Serve("setup.run", installer_);
  WriteFile(target_.File("setup.run"), "older installer");
  const std::string port = std::to_string(Server().Port());
  struct Case {
    const char* name;
    std::string address;
  };
  const Case cases[] = {
      {"cut", Server().Base() + "cut/setup.run"},
      {"404", Server().Base() + "status/404"},
      {"redirect to http", Server().Base() + "redirect-http/setup.run"},
      {"plain http", "http://127.0.0.1:" + port + "/setup.run"},
      {"no file name", Server().Base()},
      {"dot dot", Server().Base() + ".."},
      {"no address", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Download(c.address), "") << c.name;
    EXPECT_EQ(FilesIn(target_.Path()), std::vector<std::string>{"setup.run"}) << c.name;
    EXPECT_EQ(ReadFile(target_.File("setup.run")), "older installer") << c.name;
  }
}

TEST_F(DownloadTest, StalledDownloadIsAbandonedWithoutAFile) {
  Server().Serve("setup.run", installer_);
  EXPECT_EQ(Download(Server().Base() + "stall/setup.run", std::chrono::seconds(1)), "");
  EXPECT_TRUE(FilesIn(target_.Path()).empty());
}

TEST(StartInstaller, StartsAnExecutableFileAndNamesAMissingOne) {
  TempFolder folder("stampwise-installer");
  const update::InstallerStart missing = update::StartInstaller(folder.File("gone.run"));
  EXPECT_FALSE(missing.started);
  EXPECT_EQ(missing.message, "The File\n\"" + folder.File("gone.run") + "\"\ndoes not exist!");

  // Downloads are not executable; starting makes them so.
  const std::string installer = folder.File("setup.run");
  const std::string mark = folder.File("ran");
  WriteFile(installer, "#!/bin/sh\ntouch '" + mark + "'\n");
  ASSERT_EQ(::chmod(installer.c_str(), 0600), 0);
  EXPECT_TRUE(update::StartInstaller(installer).started);
  for (int i = 0; i < 600 && !std::filesystem::exists(mark); ++i) ::usleep(50000);  // bound against a hang
  EXPECT_TRUE(std::filesystem::exists(mark));
}

}  // namespace
}  // namespace stampwise::testing
