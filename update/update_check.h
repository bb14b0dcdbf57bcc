// One background check of a versions file on the update server: fetched once
// per process on a worker thread, then asked for the server's version, build
// and installer, compared with the own pair, and the installer downloaded.
// The worker is cancelled and joined when the check goes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/store/settings.h"
#include "update/https_client.h"

namespace stampwise::update {

inline constexpr const char* kSoftwareFile = "RFIDVersionsUHF.txt";
inline constexpr const char* kSoftwareSection = "QL_MKV_Stampwise";
inline constexpr const char* kDeviceFile = "RFIDDeviceVersions.txt";
inline constexpr const char* kAliasSection = "Alias";

// The base address with a trailing "/".
std::string BaseAddress(std::string address);

// The stored base address ("Server" in "Version"); its default when the
// setting is missing or empty.
std::string StoredBaseAddress(Settings& settings);

// Where an installer address downloads to: `directory` (the temporary folder
// when empty) and the text after the address's last '/'; empty when that is
// no plain file name.
std::string InstallerPath(const std::string& address, const std::string& directory);

class CUpdateCheck {
 public:
  // Called on the worker thread when the fetch has finished; it must only
  // hand the news to its own thread (post an event), since it runs under the
  // registration lock.
  using Notify = std::function<void()>;

  // `ownVersion` and `ownBuild` are the software check's own pair; the device
  // check takes its own version from SetDevice and has no build.
  CUpdateCheck(std::string fileAddress, std::string section, std::string ownVersion = {}, std::string ownBuild = {});
  ~CUpdateCheck();
  CUpdateCheck(const CUpdateCheck&) = delete;
  CUpdateCheck& operator=(const CUpdateCheck&) = delete;

  // Registers `window` (any identity, or null for none) with `notify`. The
  // first call starts the fetch; later calls only re-register and, when the
  // result is already there, notify at once. False when no worker exists
  // (its thread could not start).
  bool StartCheck(const void* window = nullptr, Notify notify = {});
  // Withdraws the registration of `window`, if it is the registered one;
  // after return its notify is not called any more.
  void Withdraw(const void* window);

  // Ends a fetch or a download under way as soon as it can (no content, no
  // file); for a program that is asked to stop.
  void Cancel() { cancel_ = true; }
  // Other bounds for the fetch and the download than the defaults (a test
  // waits seconds, not the real stall time, for a stalled server); before
  // StartCheck.
  void SetLimits(const TransferLimits& versionsFile, const TransferLimits& installer) {
    versionsFileLimits_ = versionsFile;
    installerLimits_ = installer;
  }
  // A worker exists: the check was started.
  bool Started() const;
  // The fetch has finished (an empty content is how a failure shows).
  bool HasResult() const;
  // Waits at most `timeout` for the fetch to finish.
  bool WaitForResult(std::chrono::milliseconds timeout) const;

  // A versions file was fetched (a finished fetch whose content holds INI
  // data): without one nothing is known about the server's versions.
  bool HasVersionsFile() const;
  // False (both empty) without content or when it holds no INI data;
  // otherwise the section's "Version" and "Build" (empty when missing).
  bool GetVersionAndBuild(std::string* version, std::string* build) const;
  std::string GetVersion() const;
  std::string GetInstaller() const;
  // The key's value in section "Alias", after waiting at most 500 ms for the
  // fetch; empty when absent or not fetched yet.
  std::string GetAlias(const std::string& key) const;
  // The alias of the device key becomes the section; false when there is none.
  bool ResolveAlias();
  bool IsNewer() const;

  // Downloads the installer into `directory` (the temporary folder when
  // empty) under the text after its address's last '/'. Returns the local
  // path, or empty when there is no installer, its address is not a usable
  // https:// address or names no file, or the download failed.
  std::string DownloadInstaller(const std::string& directory = {}) const;

  // The connected reader: its identification text (type code in the first
  // three characters, firmware in the fourth) and display name.
  void SetDevice(const std::string& identification, const std::string& name);
  const std::string& DeviceName() const { return deviceName_; }
  const std::string& DeviceKey() const { return deviceKey_; }
  const std::string& DeviceVersionText() const { return deviceVersion_; }
  const std::string& FileAddress() const { return fileAddress_; }
  // The pair IsNewer compares with.
  const std::string& OwnVersion() const { return deviceVersion_.empty() ? ownVersion_ : deviceVersion_; }
  const std::string& OwnBuild() const { return deviceVersion_.empty() ? ownBuild_ : noBuild_; }

 private:
  void Fetch();
  std::string Content() const;
  std::string Value(const std::string& key) const;

  const std::string fileAddress_;
  std::string section_;
  const std::string ownVersion_;
  const std::string ownBuild_;
  const std::string noBuild_;
  const bool deviceCheck_;
  std::string deviceName_;
  std::string deviceKey_;
  std::string deviceVersion_;

  mutable std::mutex mutex_;
  mutable std::condition_variable finishedChanged_;
  bool started_ = false;
  bool finished_ = false;
  std::string content_;
  const void* window_ = nullptr;
  Notify notify_;
  std::atomic<bool> cancel_{false};
  TransferLimits versionsFileLimits_ = kVersionsFileLimits;
  TransferLimits installerLimits_ = kInstallerLimits;
  std::thread worker_;
};

// The two checks of a process, created at start-up and living until exit:
// the program's own versions file and the reader firmware's.
struct UpdateChecks {
  explicit UpdateChecks(const std::string& baseAddress);
  CUpdateCheck software;
  CUpdateCheck device;
};

}  // namespace stampwise::update
