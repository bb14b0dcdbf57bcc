#include "tests/app/flush_counter.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

namespace {

std::mutex flushLock;
std::map<std::string, int> flushesByPath;

void CountFlush(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char path[4096];
  const ssize_t length = ::readlink(link, path, sizeof path - 1);
  if (length <= 0) return;
  const std::lock_guard lock(flushLock);
  ++flushesByPath[std::string(path, static_cast<std::size_t>(length))];
}

template <typename Function>
Function* LibraryFunction(const char* name) {
  auto* real = reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
  if (real == nullptr) std::abort();
  return real;
}

}  // namespace

extern "C" int fdatasync(int fd) {
  static auto* real = LibraryFunction<int(int)>("fdatasync");
  CountFlush(fd);
  return real(fd);
}

extern "C" int fsync(int fd) {
  static auto* real = LibraryFunction<int(int)>("fsync");
  CountFlush(fd);
  return real(fd);
}

namespace stampwise::testing {

int FlushesOf(const std::string& suffix) {
  const std::lock_guard lock(flushLock);
  int count = 0;
  for (const auto& [path, flushes] : flushesByPath) {
    if (path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
      count += flushes;
    }
  }
  return count;
}

}  // namespace stampwise::testing
