#include "app/values/epc_prediction.h"

#include <algorithm>

namespace stampwise {

std::optional<std::vector<std::uint8_t>> PredictEpcAfterWrite(const std::vector<std::uint8_t>& oldEpc, int startWord,
                                                              const std::vector<std::uint8_t>& data) {
  if (startWord < 0) return std::nullopt;
  // Byte offsets within the bank of the protocol-control word and of the EPC.
  constexpr long kPcAt = 2;
  constexpr long kEpcAt = 4;
  const long writeAt = static_cast<long>(startWord) * 2;
  const long writeEnd = writeAt + static_cast<long>(data.size());

  std::size_t epcLength = oldEpc.size();
  if (writeAt <= kPcAt && writeEnd >= kPcAt + 1) {
    // The protocol-control word was written: its top five bits give the EPC length in words.
    const std::uint8_t pcHigh = data[static_cast<std::size_t>(kPcAt - writeAt)];
    epcLength = static_cast<std::size_t>(pcHigh >> 3) * 2;
  }
  std::vector<std::uint8_t> epc(epcLength, 0);
  std::copy_n(oldEpc.begin(), std::min(oldEpc.size(), epcLength), epc.begin());
  // Bytes the write covered replace the old ones; bytes beyond the old EPC that
  // the write did not cover are unknown.
  for (std::size_t i = 0; i < epcLength; ++i) {
    const long at = kEpcAt + static_cast<long>(i);
    if (at >= writeAt && at < writeEnd) {
      epc[i] = data[static_cast<std::size_t>(at - writeAt)];
    } else if (i >= oldEpc.size()) {
      return std::nullopt;
    }
  }
  return epc;
}

}  // namespace stampwise
