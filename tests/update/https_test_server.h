// A throwaway certificate authority and an HTTPS server on loopback for the
// update check tests: the CA signs a certificate for 127.0.0.1 only, the
// server (https_test_server.py) serves a folder of files and misbehaves on
// request. Everything it starts ends with the object.
#pragma once

#include <memory>
#include <string>

#include "tests/app/temp_folder.h"
#include "tests/cli/child_process.h"
#include "tests/cli/loopback_port.h"

namespace stampwise::testing {

class HttpsTestServer {
 public:
  // Makes the CA and the server certificate and starts the server; throws
  // std::runtime_error when that fails.
  HttpsTestServer();
  ~HttpsTestServer();

  // "https://127.0.0.1:<port>/" (its certificate's name) and the same port
  // under a name the certificate does not carry.
  std::string Base() const;
  std::string BaseWrongHost() const;
  int Port() const { return port_; }

  // The CA file to trust, and the file of another CA that signed nothing here.
  const std::string& CaFile() const { return caFile_; }
  const std::string& OtherCaFile() const { return otherCaFile_; }

  // A file the server serves under "/<name>".
  void Serve(const std::string& name, const std::string& content) const;
  std::string Root() const { return root_.Path(); }

 private:
  TempFolder keys_{"stampwise-keys"};
  TempFolder root_{"stampwise-www"};
  std::string caFile_;
  std::string otherCaFile_;
  std::unique_ptr<ChildProcess> server_;
  int port_ = 0;
};

// Sets CURL_CA_BUNDLE for its lifetime (and restores what was there).
class ScopedCaBundle {
 public:
  explicit ScopedCaBundle(const std::string& file);
  ~ScopedCaBundle();
  ScopedCaBundle(const ScopedCaBundle&) = delete;
  ScopedCaBundle& operator=(const ScopedCaBundle&) = delete;

 private:
  bool had_ = false;
  std::string old_;
};

}  // namespace stampwise::testing
