#include "update/update_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "tests/update/update_fixture.h"
#include "update/https_client.h"
#include "update/status_lines.h"

namespace stampwise::testing {
namespace {

using update::CUpdateCheck;

struct FetchCase {
  const char* name;
  std::string address;  // full address
  bool trusted;         // CURL_CA_BUNDLE names the server's CA
  const char* line;     // the software status line
};

TEST_F(UpdateTest, SoftwareCheckShowsOnlyWhatAVerifiedSuccessfulAnswerSays) {
  Server().Serve("RFIDVersionsUHF.txt", kSoftwareVersions);
  Server().Serve("empty.txt", "");
  Server().Serve("other-section.txt", "[Something]\r\nVersion=1.10\r\nBuild=2026-01-01\r\n");
  Server().Serve("no-build.txt", "[QL_MKV_Stampwise]\r\nVersion=1.10\r\n");
  Server().Serve("garbage.txt", "<html><body>\x01\x02 no versions here</body></html>");
  const std::string base = Server().Base();
  const std::string noConnection = "Keine Internet Verbindung: Update Prüfung nicht möglich!";
  const std::string noFile = "Keine Datei gefunden: Update Prüfung nicht möglich!";
  const std::string newer = "Neue Version:QL-MKV Stampwise => V 1.10 (2026-01-01)";
  const FetchCase cases[] = {
      {"served", base + "RFIDVersionsUHF.txt", true, newer.c_str()},
      {"untrusted certificate", base + "RFIDVersionsUHF.txt", false, noConnection.c_str()},
      {"wrong host name", Server().BaseWrongHost() + "RFIDVersionsUHF.txt", true, noConnection.c_str()},
      {"closed port", "https://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/RFIDVersionsUHF.txt", true,
       noConnection.c_str()},
      {"404", base + "status/404", true, noConnection.c_str()},
      {"500", base + "status/500", true, noConnection.c_str()},
      {"redirect to http", base + "redirect-http/RFIDVersionsUHF.txt", true, noConnection.c_str()},
      {"plain http", "http://127.0.0.1:" + std::to_string(Server().Port()) + "/RFIDVersionsUHF.txt", true,
       noConnection.c_str()},
      {"empty file", base + "empty.txt", true, noConnection.c_str()},
      {"garbage", base + "garbage.txt", true, noConnection.c_str()},
      {"over 1 MiB", base + "big", true, noConnection.c_str()},
      {"missing section", base + "other-section.txt", true, noFile.c_str()},
      {"no build", base + "no-build.txt", true, noFile.c_str()},
  };
  for (const FetchCase& c : cases) {
    ScopedCaBundle trust(c.trusted ? Server().CaFile() : Server().OtherCaFile());
    const auto check = Fetched(c.address, update::kSoftwareSection);
    EXPECT_EQ(update::SoftwareLine(*check).text, c.line) << c.name;
  }
}

TEST_F(UpdateTest, SoftwareLineSaysUpToDateInTheActiveLanguage) {
  Server().Serve("RFIDVersionsUHF.txt", kSoftwareVersions);
  const auto check = Fetched(Server().Base() + "RFIDVersionsUHF.txt", update::kSoftwareSection, "1.10", "2026-01-01");
  EXPECT_FALSE(check->IsNewer());
  const update::StatusLine line = update::SoftwareLine(*check);
  EXPECT_EQ(line.text, "QL-MKV Stampwise ist aktuell");
  EXPECT_EQ(line.kind, update::LineKind::kCurrent);
  SetStringSource([](int id) -> const char* { return id == 601 ? " is up to date" : nullptr; });
  EXPECT_EQ(update::SoftwareLine(*check).text, "QL-MKV Stampwise is up to date");
}

TEST_F(UpdateTest, StalledServerEndsTheCheckWithoutContent) {
  Server().Serve("RFIDVersionsUHF.txt", kSoftwareVersions);
  const auto check = Fetched(Server().Base() + "stall/RFIDVersionsUHF.txt", update::kSoftwareSection, "1.07",
                             "2025-06-01", std::chrono::seconds(1));
  EXPECT_TRUE(check->HasResult());
  EXPECT_EQ(update::SoftwareLine(*check).kind, update::LineKind::kNoUpdate);
}

TEST_F(UpdateTest, DeviceCheckResolvesTheTypeCodeToItsFamily) {
  Server().Serve("RFIDDeviceVersions.txt",
                 "[Alias]\r\n312=MKV39\r\n322=MKV380\r\n[MKV39]\r\nVersion=1.12\r\n"
                 "Installer=https://127.0.0.1/mkv39.run\r\n[MKV380]\r\nVersion=1.11\r\n");
  struct DeviceCase {
    const char* identification;
    const char* line;
    bool newer;
  };
  const DeviceCase cases[] = {
      {"312B", "Update QL-MKV39 V1.11 => V1.12", true},  // 'B' is 1.11
      {"312C", "QL-MKV39 V1.12  ist aktuell", false},    // same version, no builds
      {"322B", "QL-MKV39 V1.11  ist aktuell", false},    // other family
      {"999B", "QL-MKV39 V1.11  ist aktuell", false},    // no alias
      {"312a", "QL-MKV39 V1.36  ist aktuell", false},    // lower case goes on past 'Z'
  };
  for (const DeviceCase& c : cases) {
    const auto check = Fetched(Server().Base() + "RFIDDeviceVersions.txt", "");
    EXPECT_FALSE(check->IsNewer()) << "no device yet";
    check->SetDevice(c.identification, "QL-MKV39");
    const update::StatusLine line = update::DeviceLine(*check);
    EXPECT_EQ(line.text, c.line) << c.identification;
    EXPECT_EQ(line.kind == update::LineKind::kNewer, c.newer) << c.identification;
  }
}

// Without a versions file nothing is known about the firmware: the line says
// the check was not possible, never that the reader is up to date.
TEST_F(UpdateTest, DeviceLineIsEmptyWithoutDeviceAndNotPossibleWithoutAFile) {
  Server().Serve("garbage-device.txt", "<html><body>no versions here</body></html>");
  for (const std::string& address : {"https://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/x",
                                     Server().Base() + "status/404", Server().Base() + "garbage-device.txt"}) {
    SCOPED_TRACE(address);
    const auto check = Fetched(address, "");
    EXPECT_EQ(update::DeviceLine(*check).text, "");
    check->SetDevice("3125", "QL-MKV39");
    const update::StatusLine line = update::DeviceLine(*check);
    EXPECT_EQ(line.text, "QL-MKV39 V1.05: Keine Internet Verbindung: Update Prüfung nicht möglich!");
    EXPECT_EQ(line.kind, update::LineKind::kNoUpdate);
    EXPECT_FALSE(line.possible);
  }
}

TEST_F(UpdateTest, NotifiesTheRegisteredWindowOnceAndAtOnceWhenAlreadyDone) {
  Server().Serve("RFIDVersionsUHF.txt", kSoftwareVersions);
  CUpdateCheck check(Server().Base() + "RFIDVersionsUHF.txt", update::kSoftwareSection, "1.07", "");
  std::atomic<int> first{0};
  int second = 0;
  const int windowA = 0;
  const int windowB = 0;
  ASSERT_TRUE(check.StartCheck(&windowA, [&] { ++first; }));
  ASSERT_TRUE(check.WaitForResult(std::chrono::seconds(90)));
  check.Withdraw(&windowB);  // not the registered one: no effect
  EXPECT_EQ(first.load(), 1);
  ASSERT_TRUE(check.StartCheck(&windowB, [&] { ++second; }));
  EXPECT_EQ(second, 1);
  EXPECT_EQ(first.load(), 1);
  EXPECT_TRUE(check.IsNewer());
}

TEST_F(UpdateTest, WithdrawnWindowIsNotNotifiedAndExitCancelsARunningFetch) {
  Server().Serve("RFIDVersionsUHF.txt", kSoftwareVersions);
  std::atomic<int> notified{0};
  const int window = 0;
  {
    CUpdateCheck check(Server().Base() + "stall/RFIDVersionsUHF.txt", update::kSoftwareSection);
    ASSERT_TRUE(check.StartCheck(&window, [&] { ++notified; }));
    check.Withdraw(&window);
    EXPECT_FALSE(check.HasResult());
  }  // cancels and joins the worker
  EXPECT_EQ(notified.load(), 0);
}

TEST(HttpsAddress, OnlyHttpsWithAResolvableHost) {
  EXPECT_TRUE(update::IsUsableHttpsAddress("https://127.0.0.1:8443/rfid/software/x.txt"));
  EXPECT_TRUE(update::IsUsableHttpsAddress("HTTPS://update.example.com/x"));
  for (const char* refused : {"http://127.0.0.1/x", "ftp://127.0.0.1/x", "file:///etc/passwd", "setup.run", "",
                              "https://update.stampwise.invalid/rfid/software/", "https://INVALID./x"}) {
    EXPECT_FALSE(update::IsUsableHttpsAddress(refused)) << refused;
  }
}

TEST(UpdateCheckAddress, BaseAddressEndsWithASlash) {
  EXPECT_EQ(update::BaseAddress("https://h/rfid/software"), "https://h/rfid/software/");
  EXPECT_EQ(update::BaseAddress("https://h/rfid/software/"), "https://h/rfid/software/");
}

}  // namespace
}  // namespace stampwise::testing
