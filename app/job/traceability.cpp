#include "app/job/traceability.h"

#include <vector>

#include "app/gs1/gs1_epc.h"
#include "reader/rdr.h"

namespace stampwise {

namespace {

constexpr int kTidBank = 2;
// Words 0 to 5: class, maker and model, then the chip's serial where it has one.
constexpr int kTidWords[] = {6, 4, 2};

}  // namespace

std::string ReadTagTid(int handle) {
  for (const int words : kTidWords) {
    std::vector<std::uint8_t> tid(static_cast<std::size_t>(words) * 2);
    if (RdrReadData(handle, kTidBank, 0, tid.data(), static_cast<int>(tid.size())) == static_cast<int>(tid.size())) {
      return gs1::Hex(tid);
    }
  }
  return {};
}

}  // namespace stampwise
