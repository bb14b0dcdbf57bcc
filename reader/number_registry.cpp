#include "reader/number_registry.h"

namespace qlmkv {

int NumberRegistry::Take() {
  std::lock_guard lock(mutex_);
  int number = base_;
  for (const int used : inUse_) {
    if (used != number) break;
    ++number;
  }
  inUse_.insert(number);
  return number;
}

void NumberRegistry::Release(int number) {
  std::lock_guard lock(mutex_);
  inUse_.erase(number);
}

}  // namespace qlmkv
