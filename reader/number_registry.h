// Connection numbers of one kind of link: the lowest free number at or above
// the kind's base, given back when the link closes.
#pragma once

#include <mutex>
#include <set>

namespace qlmkv {

class NumberRegistry {
 public:
  explicit NumberRegistry(int base) : base_(base) {}
  int Take();
  void Release(int number);

 private:
  const int base_;
  std::mutex mutex_;
  std::set<int> inUse_;
};

}  // namespace qlmkv
