// A library loaded at run time: opened by name or path, its entry points
// looked up by name, closed with its owner (or kept for the life of the
// process where the owner says so). Header only, so every folder may use it.
#pragma once

#if defined(_WIN32)
// The loader's functions alone, not all of windows.h. The loader's header
// names its string-resource function LoadString by a macro, which would
// rename the program's own LoadString wherever a library is loaded.
#include <windef.h>
// (after the types it uses)
#include <libloaderapi.h>
#undef LoadString
#else
#include <dlfcn.h>
#endif

#include <string>
#include <utility>

namespace common {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  // Loads `name` with its symbols kept to itself; not open when that fails.
  explicit SharedLibrary(const std::string& name) : handle_(Load(name)) {}
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
    return handle_ != nullptr ? reinterpret_cast<Fn>(Find(handle_, name)) : nullptr;
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
    if (handle_ != nullptr) Free(handle_);
    handle_ = nullptr;
  }

 private:
#if defined(_WIN32)
  // Only the named file or the system's folders: never the current folder.
  static void* Load(const std::string& name) {
    return reinterpret_cast<void*>(LoadLibraryExA(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
  }
  static void* Find(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
  }
  static void Free(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
  static void* Load(const std::string& name) { return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL); }
  static void* Find(void* handle, const char* name) { return dlsym(handle, name); }
  static void Free(void* handle) { dlclose(handle); }
#endif

  void* handle_ = nullptr;
};

}  // namespace common
