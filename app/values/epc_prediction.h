// Which EPC a tag reports after part of its EPC bank was overwritten. Used when
// the inventory right after an EPC write fails: the tool still knows which tag
// it has just programmed, so a cycle does not take it for a new one.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace stampwise {

// `oldEpc` is what the inventory reported before the write; `data` went to
// the EPC bank at `startWord` (word 0 CRC, word 1 protocol control, EPC from
// word 2). Nothing when the new EPC cannot be known (it grew past what we saw).
std::optional<std::vector<std::uint8_t>> PredictEpcAfterWrite(const std::vector<std::uint8_t>& oldEpc, int startWord,
                                                              const std::vector<std::uint8_t>& data);

}  // namespace stampwise
