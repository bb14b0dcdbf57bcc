// The time-out argument of poll() for a wait that ends at a point in time.
#pragma once

#include <chrono>
#include <climits>

namespace qlmkv {

// Milliseconds left until `deadline`, rounded up: -1 for no deadline (the
// time point's maximum), 0 once it has passed.
inline int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  if (deadline == std::chrono::steady_clock::time_point::max()) return -1;
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace qlmkv
