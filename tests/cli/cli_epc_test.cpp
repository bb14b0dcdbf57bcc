// stampwise-cli epc: encodings without a reader, their JSON, and bad input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST_F(CliTest, EpcEncodesAndDecodesWithoutAReader) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {{"epc", "encode", "urn:epc:tag:sgtin-96:3.0614141.812345.6789"}, {"3074257BF7194E4000001A85"}},
      {{"epc", "encode", "--scheme", "sgtin-96", "--gtin", "80614141123458", "--serial", "6789", "--company-digits",
        "7", "--filter", "3"},
       {"3074257BF7194E4000001A85"}},
      {{"epc", "encode", "--scheme", "sscc-96", "--sscc", "106141412345678908", "--company-digits", "7", "--filter",
        "3"},
       {"3174257BF4499602D2000000"}},
      {{"epc", "decode", "3074257bf7194e4000001a85"},
       {"urn:epc:tag:sgtin-96:3.0614141.812345.6789", "urn:epc:id:sgtin:0614141.812345.6789"}},
      {{"epc", "decode", "E2801160600002084A1B2C3D"}, {"urn:epc:raw:96.xE2801160600002084A1B2C3D"}},
      // As many asset reference digits as the partition allows (below 2^42).
      {{"epc", "encode", "urn:epc:tag:giai-96:1.061414112345.4398046511103"}, {"3420393243F167FFFFFFFFFF"}},
      // 198 bits as other programs print them: padded to whole bytes.
      {{"epc", "decode", "3634257BF7194E60C286000000000000000000000000000000"},
       {"urn:epc:tag:sgtin-198:1.0614141.812345.ABC", "urn:epc:id:sgtin:0614141.812345.ABC"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const RunResult run = RunProgram(CommandLine(c.args, false));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out), c.lines);
  }
  const RunResult json = RunProgram(CommandLine({"--json", "epc", "decode", "3074257BF7194E4000001A85"}, false));
  const nlohmann::json object = nlohmann::json::parse(json.out);
  EXPECT_EQ(object["tagUri"], "urn:epc:tag:sgtin-96:3.0614141.812345.6789");
  EXPECT_EQ(object["pureIdentityUri"], "urn:epc:id:sgtin:0614141.812345.6789");
  EXPECT_EQ(object["scheme"], "sgtin-96");
  EXPECT_EQ(object["filter"], 3);
  EXPECT_EQ(object["bits"], 96);
  const RunResult raw = RunProgram(CommandLine({"--json", "epc", "decode", "E2801160600002084A1B2C3D"}, false));
  EXPECT_TRUE(nlohmann::json::parse(raw.out)["pureIdentityUri"].is_null());
}

TEST_F(CliTest, EpcBadInputEndsWith2AndSaysWhat) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"epc", "encode", "urn:epc:tag:sgtin-99:3.1.2.3"}, "Unbekanntes EPC-Schema"},
      {{"epc", "encode", "--scheme", "sgtin-96", "--gtin", "80614141123458", "--serial", "1", "--company-digits", "7"},
       "Filterwert fehlt"},
      {{"epc", "encode", "--scheme", "sgtin-96", "--gtin", "80614141123457", "--serial", "1", "--company-digits", "7",
        "--filter", "3"},
       "Prüfziffer"},
      {{"epc", "encode", "urn:epc:tag:sgtin-96:3.0614141.812345.007"}, "führender Null"},
      {{"--lang", "en", "epc", "decode", "30742"}, "Not a valid EPC encoding"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const RunResult run = RunProgram(CommandLine(c.args, false));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_THAT(run.err, HasSubstr(c.message));
    EXPECT_TRUE(run.out.empty());
  }
}

}  // namespace
}  // namespace stampwise::testing
