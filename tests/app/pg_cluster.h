// A private PostgreSQL server for the shared ledger's tests: a cluster made
// in a temporary folder, reached only over a Unix socket in that folder, and
// stopped when the object goes (also when the test failed). As root the
// server runs as "nobody", in a folder that user owns.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/app/temp_folder.h"

namespace stampwise::testing {

class PgCluster {
 public:
  static constexpr const char* kBin = "/usr/lib/postgresql/15/bin";

  // Empty when the cluster can be made here; else why not (the test skips).
  static std::string Unavailable() {
    if (!std::filesystem::exists(std::string(kBin) + "/initdb")) return "no PostgreSQL 15 server programs";
    if (::geteuid() == 0 && (::getpwnam("nobody") == nullptr || std::system("command -v runuser >/dev/null") != 0)) {
      return "as root the server needs the user nobody and runuser";
    }
    return {};
  }

  // A short folder name: a socket's path has room for 107 characters.
  PgCluster() : folder_("swpg", "/tmp") {
    if (::geteuid() == 0) {
      const struct passwd* nobody = ::getpwnam("nobody");
      if (nobody == nullptr || ::chown(folder_.Path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0) return;
      as_ = "runuser -u nobody -- ";
    }
    made_ = Run(std::string(kBin) + "/initdb -D " + Data() + " -A trust -U stampwise -E UTF8 --no-sync >" +
                folder_.File("initdb.log") + " 2>&1");
    if (made_) Start();
  }
  ~PgCluster() {
    if (running_) Run(std::string(kBin) + "/pg_ctl -D " + Data() + " -m immediate -w stop >/dev/null 2>&1");
  }
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  bool Running() const { return running_; }
  bool Start() {
    running_ = Run(std::string(kBin) + "/pg_ctl -D " + Data() + " -l " + folder_.File("server.log") +
                   " -o \"-c listen_addresses='' -k " + folder_.Path() + " -c fsync=off\" -w start >/dev/null 2>&1");
    return running_;
  }
  bool Stop() {
    running_ = !Run(std::string(kBin) + "/pg_ctl -D " + Data() + " -m fast -w stop >/dev/null 2>&1");
    return !running_;
  }
  // With a password, as a plant's URI would have one: the server does not
  // ask for it (trust), and no output may show it.
  std::string Uri() const {
    return "postgresql://stampwise:" + std::string(kPassword) + "@/postgres?host=" + folder_.Path();
  }
  static constexpr const char* kPassword = "Geheim-7731";

 private:
  std::string Data() const { return folder_.File("data"); }
  bool Run(const std::string& command) const { return std::system((as_ + command).c_str()) == 0; }

  TempFolder folder_;
  std::string as_;
  bool made_ = false;
  bool running_ = false;
};

}  // namespace stampwise::testing
