// Counts the flushes to disk (fdatasync, fsync) that this test program makes
// of each file, by standing in for the C library's functions and passing
// every call on to them.
#pragma once

#include <string>

namespace stampwise::testing {

// Flushes so far of files whose path ends in `suffix`.
int FlushesOf(const std::string& suffix);

}  // namespace stampwise::testing
