// The IP search's merge of the reader listing with the listing of every
// module.
#include "app/connection/lan_setup.h"

#include <gtest/gtest.h>

namespace stampwise {
namespace {

using Found = std::vector<FoundModule>;
constexpr auto kReader = FoundModule::kReader;
constexpr auto kForeign = FoundModule::kForeign;

TEST(MergeFoundModules, ReadersKeepTheirPlaceAndTakeTheFullEntryOfTheModuleListing) {
  struct Case {
    const char* what;
    std::vector<std::string> readers, modules;
    Found expected;
  };
  const Case cases[] = {
      {"nothing answered", {}, {}, {}},
      {"a fixed-address reader is listed by both",
       {"10.0.0.2-10001"},
       {"10.0.0.2-10001"},
       {{"10.0.0.2-10001", kReader}}},
      {"a named reader shows name, address and port",
       {"10.0.0.2-10001", "[HALLE]"},
       {"10.0.0.2-10001", "10.0.0.4-10001", "[HALLE]10.0.0.3-10001"},
       {{"10.0.0.2-10001", kReader}, {"[HALLE]10.0.0.3-10001", kReader}, {"10.0.0.4-10001", kForeign}}},
      {"names compare without case", {"[Halle]"}, {"[HALLE]10.0.0.3-10001"}, {{"[HALLE]10.0.0.3-10001", kReader}}},
      {"a named foreign module stays foreign", {}, {"[XPORT]10.0.0.5-10001"}, {{"[XPORT]10.0.0.5-10001", kForeign}}},
      {"a reader gone from the second listing stays", {"10.0.0.2-10001"}, {}, {{"10.0.0.2-10001", kReader}}},
      {"an unclosed bracket is its own key", {}, {"[BROKEN10.0.0.6-10001"}, {{"[BROKEN10.0.0.6-10001", kForeign}}},
  };
  for (const Case& c : cases) EXPECT_EQ(MergeFoundModules(c.readers, c.modules), c.expected) << c.what;
}

}  // namespace
}  // namespace stampwise
