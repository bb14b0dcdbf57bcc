// One HTTPS test server per suite, trusted through CURL_CA_BUNDLE, and the
// versions files the tests serve.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "app/texts/strings.h"
#include "tests/update/https_test_server.h"
#include "update/update_check.h"

namespace stampwise::testing {

inline const std::string kSoftwareVersions =
    "[QL_MKV_Stampwise]\r\nVersion=1.10\r\nBuild=2026-01-01\r\nInstaller=https://127.0.0.1/setup.run\r\n";

class UpdateTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = std::make_unique<HttpsTestServer>(); }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override { SetStringSource(nullptr); }

  static HttpsTestServer& Server() { return *server_; }

  // A check of `path` on the server, started and waited for. `stallTime`
  // replaces the real one of the fetch and the download (a stalled server is
  // given up on just as it would be, only sooner).
  static std::unique_ptr<update::CUpdateCheck> Fetched(
      const std::string& address, const std::string& section, const std::string& ownVersion = "1.07",
      const std::string& ownBuild = "2025-06-01",
      std::chrono::seconds stallTime = update::kVersionsFileLimits.stallTime) {
    auto check = std::make_unique<update::CUpdateCheck>(address, section, ownVersion, ownBuild);
    update::TransferLimits versionsFile = update::kVersionsFileLimits;
    update::TransferLimits installer = update::kInstallerLimits;
    versionsFile.stallTime = installer.stallTime = stallTime;
    check->SetLimits(versionsFile, installer);
    EXPECT_TRUE(check->StartCheck());
    // Far above the 40 s a check may take: only a guard against a hang.
    EXPECT_TRUE(check->WaitForResult(std::chrono::seconds(90)));
    return check;
  }

  ScopedCaBundle trust_{Server().CaFile()};

 private:
  static inline std::unique_ptr<HttpsTestServer> server_;
};

}  // namespace stampwise::testing
