#include "tests/update/https_test_server.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace stampwise::testing {
namespace {

void Run(const std::vector<std::string>& command) {
  const RunResult result = RunProgram(command, 60000);
  if (result.exitCode != 0) throw std::runtime_error(command[1] + " failed: " + result.err);
}

// An elliptic-curve CA, quick to make.
void MakeCa(const std::string& key, const std::string& cert, const std::string& name) {
  Run({"/usr/bin/env",
       "openssl",
       "req",
       "-x509",
       "-newkey",
       "ec",
       "-pkeyopt",
       "ec_paramgen_curve:prime256v1",
       "-nodes",
       "-keyout",
       key,
       "-out",
       cert,
       "-days",
       "2",
       "-subj",
       "/CN=" + name,
       "-addext",
       "basicConstraints=critical,CA:TRUE",
       "-addext",
       "keyUsage=critical,keyCertSign,cRLSign"});
}

}  // namespace

HttpsTestServer::HttpsTestServer() {
  // A proxy of the machine must not stand between the tests and loopback.
  setenv("no_proxy", "127.0.0.1,localhost", 1);
  setenv("NO_PROXY", "127.0.0.1,localhost", 1);
  const std::string dir = keys_.Path() + "/";
  caFile_ = dir + "ca.pem";
  otherCaFile_ = dir + "other-ca.pem";
  MakeCa(dir + "ca.key", caFile_, "Stampwise Test CA");
  MakeCa(dir + "other-ca.key", otherCaFile_, "Stampwise Other CA");
  Run({"/usr/bin/env", "openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
       "-keyout", dir + "server.key", "-out", dir + "server.csr", "-subj", "/CN=127.0.0.1"});
  WriteFile(dir + "server.ext", "subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n");
  Run({"/usr/bin/env", "openssl", "x509", "-req", "-in", dir + "server.csr", "-CA", caFile_, "-CAkey", dir + "ca.key",
       "-CAcreateserial", "-out", dir + "server.pem", "-days", "2", "-extfile", dir + "server.ext"});

  server_ = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/env", "python3", HTTPS_TEST_SERVER_SCRIPT,
                                                                    "--cert", dir + "server.pem", "--key",
                                                                    dir + "server.key", "--root", root_.Path()});
  if (!server_->Pump(30000, "\n")) throw std::runtime_error("test server did not start: " + server_->Err());
  const std::string& out = server_->Out();
  if (out.rfind("PORT ", 0) != 0) throw std::runtime_error("test server: " + out + server_->Err());
  port_ = std::stoi(out.substr(5));
}

HttpsTestServer::~HttpsTestServer() = default;

std::string HttpsTestServer::Base() const { return "https://127.0.0.1:" + std::to_string(port_) + "/"; }

std::string HttpsTestServer::BaseWrongHost() const { return "https://localhost:" + std::to_string(port_) + "/"; }

void HttpsTestServer::Serve(const std::string& name, const std::string& content) const {
  WriteFile(root_.File(name), content);
}

ScopedCaBundle::ScopedCaBundle(const std::string& file) {
  if (const char* old = getenv("CURL_CA_BUNDLE")) {
    had_ = true;
    old_ = old;
  }
  setenv("CURL_CA_BUNDLE", file.c_str(), 1);
}

ScopedCaBundle::~ScopedCaBundle() {
  if (had_) {
    setenv("CURL_CA_BUNDLE", old_.c_str(), 1);
  } else {
    unsetenv("CURL_CA_BUNDLE");
  }
}
}  // namespace stampwise::testing
