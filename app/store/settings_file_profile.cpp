#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <system_error>

#include "app/base/atomic_file.h"
#include "app/base/paths.h"
#include "app/store/settings_profile.h"

namespace stampwise {

namespace {

class FileProfile final : public SettingsProfile {
 public:
  explicit FileProfile(std::string fileName) : fileName_(std::move(fileName)) {}

  bool Reload(CIniEx& ini, std::string& error) override {
    auto now = IdentityOfPath(fileName_);
    if (now == seen_) return false;
    seen_.reset();
    int fd = OpenRegularFile(fileName_, O_RDONLY);
    if (fd < 0) return true;  // missing or unreadable: every key gives its default
    const Result<std::string> content = ReadAllFromDescriptor(fd);
    if (content) {
      ini.LoadFromText(content.value());
      seen_ = IdentityOfDescriptor(fd);
    } else {
      error = content.message().text;
    }
    ::close(fd);
    return true;
  }

  bool Update(CIniEx& ini, const std::function<void(CIniEx&)>& change, bool synced,
              std::chrono::milliseconds lockTimeout, std::string& error) override {
    std::error_code ignored;
    auto folder = FilePath(fileName_).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ignored);

    const Result<FileLock> lock = FileLock::Acquire(fileName_, true, true, lockTimeout);
    if (!lock) {
      error = lock.message().text;
      return false;
    }
    // Another program may have saved since we last looked: start from its
    // file, always. Its identity is no proof of "unchanged": a file system
    // reuses a freed inode, and two saves within one clock tick of the same
    // size look alike, which would let a stale "LastData" hand out a value
    // twice.
    auto held = IdentityOfDescriptor(lock.value().Descriptor());
    const Result<std::string> content = ReadAllFromDescriptor(lock.value().Descriptor());
    if (!content) {
      error = content.message().text;
      seen_.reset();
      return false;  // never overwrite what we could not read
    }
    ini.LoadFromText(content.value());
    seen_ = held;
    change(ini);
    if (!ini.IsDirty()) return true;
    if (const Status saved = ReplaceFileAtomically(fileName_, ini.ToText(), synced); !saved) {
      error = saved.message().text;
      seen_.reset();  // reload on the next access; memory holds unsaved changes
      return false;
    }
    ini.MarkClean();
    seen_ = IdentityOfPath(fileName_);
    return true;
  }

 private:
  std::string fileName_;
  std::optional<FileIdentity> seen_;  // the file state last loaded or saved
};

}  // namespace

std::unique_ptr<SettingsProfile> OpenFileProfile(const std::string& fileName) {
  return std::make_unique<FileProfile>(fileName);
}

}  // namespace stampwise
