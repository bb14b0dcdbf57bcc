// The update check's way to the server: HTTPS only, peer certificate and host
// name always verified, bounded connect, stall and total times, a size limit,
// and downloads that never leave a partial file behind. The trusted
// certificates are the system's, or those of the file that CURL_CA_BUNDLE
// names, as for the curl tool.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace stampwise::update {

struct TransferLimits {
  std::chrono::milliseconds connectTimeout{10'000};
  std::chrono::seconds stallTime{15};  // below 1 byte/s for this long: abandoned
  std::chrono::milliseconds totalTimeout{40'000};
  std::size_t maxBytes = 0;  // 0: no limit
};

// A versions file: small, and fetched within the 40 s a check may take.
inline constexpr TransferLimits kVersionsFileLimits{std::chrono::milliseconds(10'000), std::chrono::seconds(15),
                                                    std::chrono::milliseconds(40'000), 1024 * 1024};
// An installer: larger and slower, still bounded.
inline constexpr TransferLimits kInstallerLimits{std::chrono::milliseconds(10'000), std::chrono::seconds(15),
                                                 std::chrono::minutes(30), std::size_t{1} << 30};

struct TransferResult {
  bool ok = false;
  long httpStatus = 0;  // of the last answer, 0 when none came
  std::string error;    // why it failed, for diagnostics
};

// True for an https:// address with a host that may resolve (names under the
// reserved ".invalid" domain never do).
bool IsUsableHttpsAddress(const std::string& address, std::string* why = nullptr);

// Fetches `address` into `body`. Anything but a 2xx answer fails, and `body`
// is then empty. `cancel`, when given and set, abandons the transfer.
TransferResult FetchText(const std::string& address, const TransferLimits& limits, std::string* body,
                         const std::atomic<bool>* cancel = nullptr);

// Downloads `address` into `path`: written to a temporary file beside it and
// renamed over `path` only when complete, so a failed or cut transfer leaves
// neither a partial file nor a changed old one.
TransferResult DownloadToFile(const std::string& address, const std::string& path, const TransferLimits& limits,
                              const std::atomic<bool>* cancel = nullptr);

}  // namespace stampwise::update
