// A loopback port for a test's own server, or one to find closed.
#pragma once

namespace stampwise::testing {

// A loopback port that nothing listens on (bound, then closed): free for a
// server the test starts, refused for a client that tries it.
int ClosedLoopbackPort();

}  // namespace stampwise::testing
