// The update check's HTTPS client on Windows: WinHTTP, which checks the
// server's certificate against the Windows certificate store. Redirects are
// followed to https:// addresses only; a stall of stallTime or the total time
// abandons the transfer.
#include <windows.h>
// after windows.h
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/base/windows_text.h"
#include "update/https_address.h"
#include "update/https_client.h"

namespace stampwise::update {
namespace {

class Handle {
 public:
  explicit Handle(HINTERNET handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr) ::WinHttpCloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

struct CrackedUrl {
  std::wstring scheme;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // with the query
};

std::optional<CrackedUrl> Crack(const std::string& address) {
  const std::wstring wide = WideText(address);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (wide.empty() || !::WinHttpCrackUrl(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) {
    return std::nullopt;
  }
  CrackedUrl url;
  url.scheme.assign(parts.lpszScheme, parts.dwSchemeLength);
  url.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  url.port = parts.nPort;
  url.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  url.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (url.path.empty()) url.path = L"/";
  return url;
}

// Receives the body in blocks; returns false to abandon the transfer.
using Sink = std::function<bool(const char* data, std::size_t size)>;

TransferResult Transfer(const std::string& address, const TransferLimits& limits, const Sink& sink,
                        const std::atomic<bool>* cancel) {
  TransferResult result;
  if (!IsUsableHttpsAddress(address, &result.error)) return result;
  const std::optional<CrackedUrl> url = Crack(address);
  if (!url) {
    result.error = "not an address";
    return result;
  }
  const auto failed = [&result](const char* what) {
    result.error = SystemErrorText(what, ::GetLastError());
    return result;
  };
  Handle session(::WinHttpOpen(L"QL-MKV Stampwise", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return failed("WinHttpOpen");
  const int connectMs = static_cast<int>(limits.connectTimeout.count());
  const int stallMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(limits.stallTime).count());
  ::WinHttpSetTimeouts(session.get(), connectMs, connectMs, stallMs, stallMs);
  Handle connection(::WinHttpConnect(session.get(), url->host.c_str(), url->port, 0));
  if (!connection) return failed("WinHttpConnect");
  Handle request(::WinHttpOpenRequest(connection.get(), L"GET", url->path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH));
  if (!request) return failed("WinHttpOpenRequest");
  // Redirects stay on https://, and end after five.
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  ::WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
  DWORD redirects = 5;
  ::WinHttpSetOption(request.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);
  // Always a fresh copy: a cache between us and the server must not answer.
  const wchar_t* headers = L"Cache-Control: no-cache\r\nPragma: no-cache\r\n";
  if (!::WinHttpSendRequest(request.get(), headers, static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr)) {
    return failed("HTTPS request");
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  result.httpStatus = static_cast<long>(status);
  if (status < 200 || status > 299) {
    result.error = "HTTP status " + std::to_string(status);
    return result;
  }
  const auto deadline = std::chrono::steady_clock::now() + limits.totalTimeout;
  std::vector<char> buffer(64 * 1024);
  std::size_t received = 0;
  for (;;) {
    if (cancel != nullptr && cancel->load()) {
      result.error = "cancelled";
      return result;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      result.error = "took too long";
      return result;
    }
    DWORD got = 0;
    if (!::WinHttpReadData(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
      return failed("HTTPS read");
    }
    if (got == 0) break;
    if (limits.maxBytes != 0 && got > limits.maxBytes - received) {
      result.error = "answer too large";
      return result;
    }
    received += got;
    if (!sink(buffer.data(), got)) {
      result.error = "cannot keep the answer";
      return result;
    }
  }
  result.ok = true;
  return result;
}

}  // namespace

std::optional<AddressParts> SplitAddress(const std::string& address) {
  const std::optional<CrackedUrl> url = Crack(address);
  if (!url) return std::nullopt;
  return AddressParts{NarrowText(url->scheme), NarrowText(url->host)};
}

TransferResult FetchText(const std::string& address, const TransferLimits& limits, std::string* body,
                         const std::atomic<bool>* cancel) {
  body->clear();
  TransferResult result = Transfer(
      address, limits,
      [body](const char* data, std::size_t size) {
        body->append(data, size);
        return true;
      },
      cancel);
  if (!result.ok) body->clear();
  return result;
}

TransferResult DownloadToFile(const std::string& address, const std::string& path, const TransferLimits& limits,
                              const std::atomic<bool>* cancel) {
  TransferResult result;
  if (!IsUsableHttpsAddress(address, &result.error)) return result;
  const std::size_t slash = path.find_last_of("/\\");
  const std::string temporary = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                                ".download-" + (slash == std::string::npos ? path : path.substr(slash + 1)) + "." +
                                std::to_string(::GetCurrentProcessId());
  const std::wstring wideTemporary = WideText(temporary);
  // CREATE_NEW: never through a file or link someone put there.
  HANDLE file =
      ::CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    result.error = SystemErrorText("cannot create " + temporary, ::GetLastError());
    return result;
  }
  bool writeFailed = false;
  result = Transfer(
      address, limits,
      [file, &writeFailed](const char* data, std::size_t size) {
        DWORD written = 0;
        writeFailed = !::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) || written != size;
        return !writeFailed;
      },
      cancel);
  if (result.ok && (writeFailed || !::FlushFileBuffers(file))) {
    result.ok = false;
    result.error = SystemErrorText("cannot write " + temporary, ::GetLastError());
  }
  ::CloseHandle(file);
  if (result.ok && !::MoveFileExW(wideTemporary.c_str(), WideText(path).c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    result.ok = false;
    result.error = SystemErrorText("cannot rename to " + path, ::GetLastError());
  }
  if (!result.ok) ::DeleteFileW(wideTemporary.c_str());
  return result;
}

}  // namespace stampwise::update
