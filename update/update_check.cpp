#include "update/update_check.h"

#include <filesystem>
#include <system_error>

#include "app/store/ini.h"
#include "update/https_client.h"
#include "update/version_rules.h"

namespace stampwise::update {
namespace {

// The versions file as INI data; false when it holds no section at all (an
// error page, garbage), which counts as no file.
bool Parse(const std::string& content, CIniEx* ini) {
  if (content.empty()) return false;
  ini->LoadFromText(content);
  for (const CIniEx::Section& section : ini->Sections()) {
    if (!section.name.empty()) return true;
  }
  return false;
}

std::string TemporaryDirectory() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  return error ? std::string("/tmp") : folder.string();
}

}  // namespace

std::string BaseAddress(std::string address) {
  if (address.empty() || address.back() != '/') address += '/';
  return address;
}

std::string StoredBaseAddress(Settings& settings) {
  const std::string stored = settings.ReadString(keys::kUpdateServer);
  return BaseAddress(stored.empty() ? keys::kUpdateServer.text : stored);
}

CUpdateCheck::CUpdateCheck(std::string fileAddress, std::string section, std::string ownVersion, std::string ownBuild)
    : fileAddress_(std::move(fileAddress)),
      section_(std::move(section)),
      ownVersion_(std::move(ownVersion)),
      ownBuild_(std::move(ownBuild)),
      deviceCheck_(section_.empty()) {}

CUpdateCheck::~CUpdateCheck() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

bool CUpdateCheck::StartCheck(const void* window, Notify notify) {
  std::unique_lock lock(mutex_);
  window_ = window;
  notify_ = std::move(notify);
  if (!started_) {
    try {
      worker_ = std::thread([this] { Fetch(); });
      started_ = true;
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }
  if (finished_ && window_ != nullptr && notify_) notify_();
  return true;
}

void CUpdateCheck::Withdraw(const void* window) {
  std::lock_guard lock(mutex_);
  if (window_ != window) return;
  window_ = nullptr;
  notify_ = nullptr;
}

void CUpdateCheck::Fetch() {
  std::string body;
  // A failed fetch leaves the content empty: that is how failure shows.
  FetchText(fileAddress_, versionsFileLimits_, &body, &cancel_);
  // Text ends at a zero byte, wherever in the body it came.
  body.resize(body.find('\0') == std::string::npos ? body.size() : body.find('\0'));
  std::lock_guard lock(mutex_);
  content_ = std::move(body);
  finished_ = true;
  finishedChanged_.notify_all();
  if (window_ != nullptr && notify_) notify_();
}

bool CUpdateCheck::Started() const {
  std::lock_guard lock(mutex_);
  return started_;
}

bool CUpdateCheck::HasResult() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

bool CUpdateCheck::WaitForResult(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  if (!started_) return false;
  return finishedChanged_.wait_for(lock, timeout, [this] { return finished_; });
}

std::string CUpdateCheck::Content() const {
  std::lock_guard lock(mutex_);
  return finished_ ? content_ : std::string();
}

std::string CUpdateCheck::Value(const std::string& key) const {
  CIniEx ini;
  if (!Parse(Content(), &ini)) return {};
  return ini.GetString(section_, key, "");
}

bool CUpdateCheck::HasVersionsFile() const {
  CIniEx ini;
  return Parse(Content(), &ini);
}

bool CUpdateCheck::GetVersionAndBuild(std::string* version, std::string* build) const {
  version->clear();
  build->clear();
  CIniEx ini;
  if (!Parse(Content(), &ini)) return false;
  *version = ini.GetString(section_, "Version", "");
  *build = ini.GetString(section_, "Build", "");
  return true;
}

std::string CUpdateCheck::GetVersion() const { return Value("Version"); }

std::string CUpdateCheck::GetInstaller() const { return Value("Installer"); }

std::string CUpdateCheck::GetAlias(const std::string& key) const {
  if (!WaitForResult(std::chrono::milliseconds(500))) return {};
  CIniEx ini;
  if (!Parse(Content(), &ini)) return {};
  return ini.GetString(kAliasSection, key, "");
}

bool CUpdateCheck::ResolveAlias() {
  const std::string alias = GetAlias(deviceKey_);
  if (alias.empty()) return false;
  section_ = alias;
  return true;
}

bool CUpdateCheck::IsNewer() const {
  // A device check knows no own version before a reader was identified.
  if (deviceCheck_ && deviceVersion_.empty()) return false;
  std::string version;
  std::string build;
  if (!GetVersionAndBuild(&version, &build)) return false;
  return IsNewerVersion(OwnVersion(), OwnBuild(), version, build);
}

std::string InstallerPath(const std::string& address, const std::string& directory) {
  if (address.empty()) return {};
  const std::size_t slash = address.rfind('/');
  const std::string name = slash == std::string::npos ? address : address.substr(slash + 1);
  // The name comes from the server: it must stay a plain file name in the folder.
  if (name.empty() || name == "." || name == "..") return {};
  std::string path = directory.empty() ? TemporaryDirectory() : directory;
  if (path.back() != '/') path += '/';
  return path + name;
}

std::string CUpdateCheck::DownloadInstaller(const std::string& directory) const {
  const std::string address = GetInstaller();
  const std::string path = InstallerPath(address, directory);
  if (path.empty()) return {};
  return DownloadToFile(address, path, installerLimits_, &cancel_).ok ? path : std::string();
}

void CUpdateCheck::SetDevice(const std::string& identification, const std::string& name) {
  deviceName_ = name;
  deviceKey_ = identification.substr(0, 3);
  deviceVersion_ = DeviceVersion(identification.size() > 3 ? identification[3] : '\0');
}

UpdateChecks::UpdateChecks(const std::string& baseAddress)
    : software(BaseAddress(baseAddress) + kSoftwareFile, kSoftwareSection, GetOwnVersion(), GetOwnBuildDate()),
      device(BaseAddress(baseAddress) + kDeviceFile, "") {}

}  // namespace stampwise::update
