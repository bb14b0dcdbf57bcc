// Where the settings are kept: the settings file, or on Windows the per-user
// registry profile. Settings reads and writes through one of these.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/store/ini.h"

namespace stampwise {

class SettingsProfile {
 public:
  virtual ~SettingsProfile() = default;

  // Fills `ini` (a fresh store) with what is kept now, unless nothing
  // changed since the last Reload or Update; true when it did fill it. A
  // profile that cannot be read leaves it empty (every key its default).
  virtual bool Reload(CIniEx& ini, std::string& error) = 0;
  // One locked read-modify-write: `ini` (a fresh store) gets what is kept
  // now, `change` works on it, and what it made dirty is saved before this
  // returns (flushed to the disk when `synced`). False with `error` when the
  // profile could not be read, locked or saved.
  virtual bool Update(CIniEx& ini, const std::function<void(CIniEx&)>& change, bool synced,
                      std::chrono::milliseconds lockTimeout, std::string& error) = 0;
};

// The settings file `fileName`, saved atomically under its lock.
std::unique_ptr<SettingsProfile> OpenFileProfile(const std::string& fileName);

// The per-user registry profile (kRegistryProfile); nothing where the
// platform has no registry.
std::unique_ptr<SettingsProfile> OpenRegistryProfile();

}  // namespace stampwise
