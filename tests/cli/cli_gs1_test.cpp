// stampwise-cli write --epc-uri / --gs1: GS1 EPCs on the simulated conveyor,
// the stored next tag URI, the tag URI of a read, and bad input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/cli/cli_fixture.h"

namespace stampwise::testing {
namespace {

using ::testing::AnyOf;
using ::testing::HasSubstr;

constexpr const char* kUri6789 = "urn:epc:tag:sgtin-96:3.0614141.812345.6789";

class CliGs1Test : public CliTest {
 protected:
  // The EPC bank writes (protocol-control word and EPC from word 1), in order.
  std::vector<std::string> EpcWrites() const {
    std::vector<std::string> data;
    for (const RecordedWrite& w : ReadRecord(RecordFile())) {
      EXPECT_EQ(w.bank, 1) << w.data;
      EXPECT_EQ(w.word, 1) << w.data;
      data.push_back(w.data);
    }
    return data;
  }
  void StoreNextUri(const std::string& uri) const { std::ofstream(SettingsFile()) << "[GS1]\nNextUri=" << uri << "\n"; }
};

struct WriteCase {
  const char* name;
  const char* storedUri;          // "GS1"/"NextUri" before the run; "" for none
  std::vector<std::string> args;  // after --settings and --port
  std::vector<std::string> data;  // PC word and EPC of each tag, in order
  const char* nextUri;            // "GS1"/"NextUri" after the run
};

class CliGs1WriteTest : public CliGs1Test, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(CliGs1WriteTest, WritesTheEncodingsAndStoresTheNextUri) {
  const WriteCase& c = GetParam();
  StartSim({"--tags", "0", "--conveyor", "5,0"});
  if (*c.storedUri != '\0') StoreNextUri(c.storedUri);
  const RunResult run = Cli(c.args);
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(EpcWrites(), c.data);
  EXPECT_EQ(Stored("NextUri", "GS1"), c.nextUri);
  // The six formats' write value and increment are not touched by a GS1 job.
  EXPECT_THAT(Stored("LastData"), AnyOf("<missing>", "0"));
  EXPECT_THAT(Stored("AutoIncHex"), AnyOf("<missing>", "1"));
  EXPECT_THAT(Stored("AutoIncrement"), AnyOf("<missing>", "1"));
}

INSTANTIATE_TEST_SUITE_P(
    Gs1, CliGs1WriteTest,
    ::testing::Values(
        WriteCase{"FromTheStandardsExampleOn",
                  "",
                  {"write", "--epc-uri", kUri6789, "--cycle", "--count", "3", "--period", "5"},
                  {"30003074257BF7194E4000001A85", "30003074257BF7194E4000001A86", "30003074257BF7194E4000001A87"},
                  "urn:epc:tag:sgtin-96:3.0614141.812345.6792"},
        WriteCase{"OnceCountsOnToo",
                  "",
                  {"write", "--epc-uri", kUri6789, "--inc", "dec"},
                  {"30003074257BF7194E4000001A85"},
                  "urn:epc:tag:sgtin-96:3.0614141.812345.6790"},
        WriteCase{"ContinuesFromTheStoredUri",
                  "urn:epc:tag:sgtin-96:3.0614141.812345.6790",
                  {"write", "--gs1", "--cycle", "--count", "2", "--period", "5"},
                  {"30003074257BF7194E4000001A86", "30003074257BF7194E4000001A87"},
                  "urn:epc:tag:sgtin-96:3.0614141.812345.6792"},
        WriteCase{"IncrementOffWritesTheSameEpc",
                  "",
                  {"write", "--epc-uri", kUri6789, "--inc", "off", "--cycle", "--count", "2", "--period", "5"},
                  {"30003074257BF7194E4000001A85", "30003074257BF7194E4000001A85"},
                  kUri6789},
        // 198 bits padded to 13 words: the PC word announces 13 (0x68).
        WriteCase{"Sgtin198PaddedToWholeWords",
                  "",
                  {"write", "--epc-uri", "urn:epc:tag:sgtin-198:3.0614141.812345.a%2Fb", "--inc", "off"},
                  {"68003674257BF7194E70AFC400000000000000000000000000000000"},
                  "urn:epc:tag:sgtin-198:3.0614141.812345.a%2Fb"},
        WriteCase{"SsccWithoutCounting",
                  "",
                  {"write", "--epc-uri", "urn:epc:tag:sscc-96:3.0614141.1234567890", "--inc", "off"},
                  {"30003174257BF4499602D2000000"},
                  "urn:epc:tag:sscc-96:3.0614141.1234567890"},
        WriteCase{"Gid96Counts",
                  "",
                  {"write", "--epc-uri", "urn:epc:tag:gid-96:268435455.16777215.9", "--cycle", "--count", "2",
                   "--period", "5"},
                  {"300035FFFFFFFFFFFFF000000009", "300035FFFFFFFFFFFFF00000000A"},
                  "urn:epc:tag:gid-96:268435455.16777215.11"},
        // The last serial of the range is written; what is stored marks the end.
        WriteCase{"LastSerialOfTheRange",
                  "",
                  {"write", "--epc-uri", "urn:epc:tag:sgtin-96:3.0614141.812345.274877906943"},
                  {"30003074257BF7194E7FFFFFFFFF"},
                  "urn:epc:tag:sgtin-96:3.0614141.812345.274877906944"}),
    [](const auto& test) { return std::string(test.param.name); });

struct Gs1RefusedCase {
  const char* name;
  const char* storedUri;
  std::vector<std::string> args;
  const char* message;
};

class CliGs1RefusesTest : public CliGs1Test, public ::testing::WithParamInterface<Gs1RefusedCase> {};

TEST_P(CliGs1RefusesTest, ExitsTwoWritesNothingStoresNothing) {
  const Gs1RefusedCase& c = GetParam();
  StartSim();
  if (*c.storedUri != '\0') StoreNextUri(c.storedUri);
  const RunResult run = Cli(c.args);
  EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
  EXPECT_THAT(run.err, HasSubstr(c.message));
  EXPECT_TRUE(ReadRecord(RecordFile()).empty()) << "a tag was written";
  EXPECT_EQ(Stored("NextUri", "GS1"), *c.storedUri != '\0' ? c.storedUri : "<missing>");
}

INSTANTIATE_TEST_SUITE_P(
    Gs1, CliGs1RefusesTest,
    ::testing::Values(
        Gs1RefusedCase{"BankOfTheSixFormats", "", {"write", "--epc-uri", kUri6789, "--bank", "user"}, "--bank"},
        Gs1RefusedCase{"FormatOfTheSixFormats",
                       "",
                       {"write", "--epc-uri", kUri6789, "--format", "hex-bin"},
                       "Für einen GS1-Auftrag nicht zulässig: --format"},
        Gs1RefusedCase{"ValueOfTheSixFormats", "", {"write", "--gs1", "--value", "1"}, "--value"},
        Gs1RefusedCase{"StartWord", "", {"write", "--epc-uri", kUri6789, "--start", "2"}, "--start"},
        Gs1RefusedCase{"HexIncrement", "", {"write", "--epc-uri", kUri6789, "--inc", "hex"}, "--inc dec oder off"},
        Gs1RefusedCase{"UnknownScheme",
                       "",
                       {"write", "--epc-uri", "urn:epc:tag:sgtin-97:3.0614141.812345.1"},
                       "Unbekanntes EPC-Schema: sgtin-97"},
        Gs1RefusedCase{"NotATagUri", "", {"write", "--epc-uri", "urn:epc:id:sgtin:0614141.812345.1"}, "Tag-URI"},
        Gs1RefusedCase{"LeadingZeroSerial",
                       "",
                       {"write", "--epc-uri", "urn:epc:tag:sgtin-96:3.0614141.812345.0789"},
                       "führender Null: 0789"},
        Gs1RefusedCase{"FilterOutOfRange",
                       "",
                       {"write", "--epc-uri", "urn:epc:tag:sgtin-96:8.0614141.812345.1"},
                       "Filterwert außerhalb von 0 bis 7: 8"},
        Gs1RefusedCase{"PrefixFitsNoPartition",
                       "",
                       {"write", "--epc-uri", "urn:epc:tag:sgtin-96:3.06141.81234567.1"},
                       "keine Partition"},
        Gs1RefusedCase{"BadCharacterInSgtin198",
                       "",
                       {"write", "--epc-uri", "urn:epc:tag:sgtin-198:3.0614141.812345.a b", "--inc", "off"},
                       "Unzulässige Zeichen"},
        Gs1RefusedCase{"AlphanumericSerialCannotCount",
                       "",
                       {"write", "--epc-uri", "urn:epc:tag:sgtin-198:3.0614141.812345.A12"},
                       "sgtin-198 kann nicht hochgezählt werden"},
        Gs1RefusedCase{"NothingStored", "", {"write", "--gs1"}, "Keine nächste Tag-URI gespeichert"},
        Gs1RefusedCase{
            "StoredUriBroken", "urn:epc:tag:sgtin-96:3.0614141.812345.x", {"write", "--gs1"}, "außerhalb des Bereichs"},
        Gs1RefusedCase{"RangeUsedUp",
                       "urn:epc:tag:sgtin-96:3.0614141.812345.274877906944",
                       {"write", "--gs1", "--cycle"},
                       "Seriennummernbereich erschöpft"},
        Gs1RefusedCase{"UriAndStoredTogether", "", {"write", "--epc-uri", kUri6789, "--gs1"}, "excludes"},
        Gs1RefusedCase{"EnglishMessages",
                       "",
                       {"--lang", "en", "write", "--epc-uri", kUri6789, "--length", "4"},
                       "Not allowed with a GS1 job: --length"},
        Gs1RefusedCase{"EnglishEncoderMessages",
                       "",
                       {"--lang", "en", "write", "--epc-uri", "urn:epc:tag:sgtin-96:3.0614141.81234.1"},
                       "Wrong number of digits: 81234"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(CliGs1Test, ReadOfTheEpcBankShowsTheTagUri) {
  StartSim({"--tags", "1"});
  ASSERT_EQ(Cli({"write", "--epc-uri", kUri6789}).exitCode, 0);
  const RunResult text = Cli({"read", "--bank", "epc", "--start", "2", "--length", "12", "--format", "hex-bin"});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  EXPECT_THAT(Lines(text.out), ::testing::ElementsAre("3074257BF7194E4000001A85", kUri6789));

  const RunResult json =
      Cli({"--json", "read", "--bank", "epc", "--start", "0", "--length", "4", "--format", "hex-bin"});
  EXPECT_EQ(json.exitCode, 0) << json.err;
  // The read, its URI, and the tag event.
  const std::vector<nlohmann::json> objects = JsonLines(json.out);
  ASSERT_EQ(objects.size(), 3u) << json.out;
  const nlohmann::json uri = objects[1];
  EXPECT_EQ(uri["type"], "tagUri");
  EXPECT_EQ(uri["tagUri"], kUri6789);
  EXPECT_EQ(OfType(objects, "tag").size(), 1u);

  // The User bank has no EPC: no URI.
  const RunResult user = Cli({"read", "--bank", "user", "--start", "0", "--length", "4", "--format", "hex-bin"});
  EXPECT_EQ(Lines(user.out).size(), 1u) << user.out;
}

// A GS1 job leaves the panel's inputs for the desktop program beside the URI.
TEST_F(CliGs1Test, TheDesktopProgramsInputsFollowTheJob) {
  StartSim({"--tags", "0", "--conveyor", "5,0"});
  ASSERT_EQ(Cli({"write", "--epc-uri", kUri6789, "--cycle", "--count", "2", "--period", "5"}).exitCode, 0);
  EXPECT_EQ(Stored("Scheme", "GS1"), "sgtin-96");
  EXPECT_EQ(Stored("Filter", "GS1"), "3");
  EXPECT_EQ(Stored("CompanyDigits", "GS1"), "7");
  EXPECT_EQ(Stored("Identifier", "GS1"), "80614141123458");
  EXPECT_EQ(Stored("NextSerial", "GS1"), "6791");
}

}  // namespace
}  // namespace stampwise::testing
