// The update check's HTTPS client on Linux: libcurl.
#include <curl/curl.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>

#include "update/https_address.h"
#include "update/https_client.h"

namespace stampwise::update {
namespace {

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
template <typename T>
using CurlPtr = std::unique_ptr<T, CurlDeleter>;

std::string UrlPart(CURLU* url, CURLUPart part) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) return {};
  std::string result(text);
  curl_free(text);
  return result;
}

// Receives the body in blocks; returns false to abandon the transfer.
using Sink = std::function<bool(const char* data, std::size_t size)>;

struct TransferState {
  Sink sink;
  std::size_t received = 0;
  std::size_t maxBytes = 0;
  bool tooLarge = false;
  const std::atomic<bool>* cancel = nullptr;
};

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto* state = static_cast<TransferState*>(context);
  const std::size_t bytes = size * count;
  if (state->maxBytes != 0 && bytes > state->maxBytes - state->received) {
    state->tooLarge = true;
    return 0;  // makes curl abandon the transfer
  }
  state->received += bytes;
  return state->sink(data, bytes) ? bytes : 0;
}

int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* state = static_cast<TransferState*>(context);
  return state->cancel != nullptr && state->cancel->load() ? 1 : 0;
}

TransferResult Transfer(const std::string& address, const TransferLimits& limits, TransferState& state) {
  TransferResult result;
  if (!IsUsableHttpsAddress(address, &result.error)) return result;
  InitCurlOnce();
  CurlPtr<CURL> curl(curl_easy_init());
  if (!curl) {
    result.error = "curl_easy_init failed";
    return result;
  }
  char errorText[CURL_ERROR_SIZE] = {};
  // Always a fresh copy: a cache between us and the server must not answer.
  CurlPtr<curl_slist> headers(curl_slist_append(nullptr, "Cache-Control: no-cache"));
  headers.reset(curl_slist_append(headers.release(), "Pragma: no-cache"));

  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, address.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (const char* bundle = getenv("CURL_CA_BUNDLE"); bundle != nullptr && *bundle != '\0') {
    curl_easy_setopt(h, CURLOPT_CAINFO, bundle);
  }
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // the check runs on a worker thread
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.stallTime.count()));
  if (limits.maxBytes != 0) {
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
  }
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);

  const CURLcode code = curl_easy_perform(h);
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.httpStatus);
  if (code != CURLE_OK) {
    result.error = state.tooLarge || code == CURLE_FILESIZE_EXCEEDED ? std::string("answer too large")
                   : errorText[0] != '\0'                            ? std::string(errorText)
                                                                     : std::string(curl_easy_strerror(code));
    return result;
  }
  if (result.httpStatus < 200 || result.httpStatus > 299) {
    result.error = "HTTP status " + std::to_string(result.httpStatus);
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace

std::optional<AddressParts> SplitAddress(const std::string& address) {
  CurlPtr<CURLU> url(curl_url());
  if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) return std::nullopt;
  return AddressParts{UrlPart(url.get(), CURLUPART_SCHEME), UrlPart(url.get(), CURLUPART_HOST)};
}

TransferResult FetchText(const std::string& address, const TransferLimits& limits, std::string* body,
                         const std::atomic<bool>* cancel) {
  body->clear();
  TransferState state;
  state.maxBytes = limits.maxBytes;
  state.cancel = cancel;
  state.sink = [body](const char* data, std::size_t size) {
    body->append(data, size);
    return true;
  };
  TransferResult result = Transfer(address, limits, state);
  if (!result.ok) body->clear();
  return result;
}

TransferResult DownloadToFile(const std::string& address, const std::string& path, const TransferLimits& limits,
                              const std::atomic<bool>* cancel) {
  TransferResult result;
  if (!IsUsableHttpsAddress(address, &result.error)) return result;
  const std::size_t slash = path.rfind('/');
  std::string temporary = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".download-" +
                          (slash == std::string::npos ? path : path.substr(slash + 1)) + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    result.error = "cannot create " + temporary + ": " + std::strerror(errno);
    return result;
  }
  bool writeFailed = false;
  TransferState state;
  state.maxBytes = limits.maxBytes;
  state.cancel = cancel;
  state.sink = [fd, &writeFailed](const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        writeFailed = true;
        return false;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  };
  result = Transfer(address, limits, state);
  if (result.ok && (writeFailed || ::fsync(fd) != 0)) {
    result.ok = false;
    result.error = std::string("cannot write ") + temporary + ": " + std::strerror(errno);
  }
  if (::close(fd) != 0 && result.ok) {
    result.ok = false;
    result.error = std::string("cannot write ") + temporary + ": " + std::strerror(errno);
  }
  if (result.ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
    result.ok = false;
    result.error = "cannot rename to " + path + ": " + std::strerror(errno);
  }
  if (!result.ok) ::unlink(temporary.c_str());
  return result;
}

}  // namespace stampwise::update
