// A library loaded at run time: opened by name or path, its entry points
// looked up by name, closed with its owner (or kept for the life of the
// process where the owner says so). Header only, so every folder may use it.
#pragma once

#include <dlfcn.h>

#include <string>
#include <utility>

namespace common {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  // Loads `name` with its symbols kept to itself; not open when that fails.
  explicit SharedLibrary(const std::string& name) : handle_(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~SharedLibrary() { Close(); }
  SharedLibrary(SharedLibrary&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  SharedLibrary& operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  // The entry point `name` as a `Fn`; null when the library (or it) is missing.
  template <typename Fn>
  Fn Entry(const char* name) const {
    return handle_ != nullptr ? reinterpret_cast<Fn>(dlsym(handle_, name)) : nullptr;
  }
  // Sets `fn` to the entry point `name`; false when it is missing.
  template <typename Fn>
  bool Resolve(const char* name, Fn& fn) const {
    fn = Entry<Fn>(name);
    return fn != nullptr;
  }
  // Leaves the library loaded for the rest of the process: for entry points
  // that may still be called while static objects are destroyed.
  void KeepLoaded() { handle_ = nullptr; }
  void Close() {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
  }

 private:
  void* handle_ = nullptr;
};

}  // namespace common
