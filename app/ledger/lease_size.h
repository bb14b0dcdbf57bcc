// How many values a station leases at a time from a shared ledger's pool.
#pragma once

namespace stampwise::ledger {

inline constexpr int kDefaultLeaseSize = 100;
// A larger block is planned and stored value by value under the pool's lock.
inline constexpr int kMaxLeaseSize = 100000;

}  // namespace stampwise::ledger
