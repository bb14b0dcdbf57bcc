#include "app/values/epc_prediction.h"

#include <gtest/gtest.h>

#include "sim/sim_tag.h"

namespace stampwise {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kOldEpc = {0x30, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07};

struct PredictionCase {
  const char* name;
  int startWord;
  Bytes data;
  std::optional<Bytes> expected;
};

class EpcPredictionTest : public ::testing::TestWithParam<PredictionCase> {};

// The prediction must be what a tag reports after the write; the simulated
// tag serves as the reference wherever the new EPC is knowable.
TEST_P(EpcPredictionTest, PredictsTheEpcTheTagReports) {
  const PredictionCase& c = GetParam();
  const std::optional<Bytes> predicted = PredictEpcAfterWrite(kOldEpc, c.startWord, c.data);
  EXPECT_EQ(predicted, c.expected);
  if (c.startWord < 0 || !predicted) return;
  mkvsim::SimTag tag(1, kOldEpc);
  ASSERT_EQ(tag.Write(mkvsim::Bank::kEpc, static_cast<std::size_t>(c.startWord), c.data, false),
            mkvsim::AccessResult::kOk);
  EXPECT_EQ(tag.Epc(), *predicted);
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Bytes kNewEpc = {0xE2, 0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};
const Bytes kLongEpc = Concat(kNewEpc, {0xBB, 0xCC, 0xDD, 0xEE});

INSTANTIATE_TEST_SUITE_P(
    Writes, EpcPredictionTest,
    ::testing::Values(PredictionCase{"WholeEpcFromWord2", 2, kNewEpc, kNewEpc},
                      PredictionCase{"PcAndEpcFromWord1", 1, Concat({0x30, 0x00}, kNewEpc), kNewEpc},
                      PredictionCase{"CrcPcAndEpcFromWord0", 0, Concat({0x12, 0x34, 0x30, 0x00}, kNewEpc), kNewEpc},
                      PredictionCase{"ShrinksToFourWords", 1,
                                     Concat({0x20, 0x00}, Bytes(kNewEpc.begin(), kNewEpc.begin() + 8)),
                                     Bytes(kNewEpc.begin(), kNewEpc.begin() + 8)},
                      PredictionCase{"GrowsAndIsFullyWritten", 1, Concat({0x40, 0x00}, kLongEpc), kLongEpc},
                      PredictionCase{"GrowsBeyondWhatWasWritten", 1, Concat({0x40, 0x00}, kNewEpc), std::nullopt},
                      PredictionCase{"MiddleWordsOnly",
                                     3,
                                     {0xAB, 0xCD, 0xEF, 0x01},
                                     Bytes{0x30, 0x14, 0xAB, 0xCD, 0xEF, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07}},
                      PredictionCase{"TailRunsPastTheEpc",
                                     7,
                                     {0x0A, 0x0B, 0x0C, 0x0D},
                                     Bytes{0x30, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x0B}},
                      PredictionCase{"CrcWordOnly", 0, {0xFF, 0xFF}, kOldEpc},
                      PredictionCase{"BeyondTheEpc", 20, {0x01, 0x02}, kOldEpc},
                      PredictionCase{"PcSaysNoEpc", 1, {0x00, 0x00}, Bytes{}},
                      PredictionCase{"NegativeStart", -1, kNewEpc, std::nullopt}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace stampwise
