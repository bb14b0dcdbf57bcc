// A fresh folder per test or benchmark run, removed with everything in it
// afterwards. The one temporary-folder helper of tests/ and bench/.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace stampwise::testing {

class TempFolder {
 public:
  // "<base>/<prefix>-XXXXXX"; Path() is empty when it could not be made.
  explicit TempFolder(const std::string& prefix = "stampwise",
                      const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Points the ledger of this test, and of the programs it starts, at a file
// of its own folder while it lives: tests never share the per-user ledger.
class PrivateLedger {
 public:
  explicit PrivateLedger(const TempFolder& folder) : path_(folder.File("ledger.sqlite3")) {
    if (const char* old = ::getenv(kVariable)) previous_ = old;
    ::setenv(kVariable, path_.c_str(), 1);
  }
  ~PrivateLedger() {
    if (previous_.empty()) {
      ::unsetenv(kVariable);
    } else {
      ::setenv(kVariable, previous_.c_str(), 1);
    }
  }
  PrivateLedger(const PrivateLedger&) = delete;
  PrivateLedger& operator=(const PrivateLedger&) = delete;
  const std::string& Path() const { return path_; }
  // A fresh line: the next program starts with an empty ledger.
  void Remove() const {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
  }

 private:
  static constexpr const char* kVariable = "STAMPWISE_LEDGER";
  std::string path_;
  std::string previous_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& content, std::ios::openmode mode = std::ios::trunc) {
  std::ofstream out(path, std::ios::binary | mode);
  out << content;
}

}  // namespace stampwise::testing
