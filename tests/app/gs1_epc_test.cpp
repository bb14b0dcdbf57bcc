// GS1 EPC encodings: the standard's published examples, round trips over
// every partition and filter, and each kind of bad input with its message.
#include "app/gs1/gs1_epc.h"

#include <gtest/gtest.h>

#include "app/texts/messages.h"

namespace stampwise::gs1 {
namespace {

std::string EncodeUri(const std::string& uri) {
  const Result<TagEpc> epc = ParseTagUri(uri);
  if (!epc) return "failed: " + epc.message().text;
  const Result<std::vector<std::uint8_t>> bytes = Encode(epc.value());
  return bytes ? Hex(bytes.value()) : "failed: " + bytes.message().text;
}

TEST(Gs1Epc, PublishedExamplesEncodeAndDecode) {
  struct Case {
    const char* tagUri;
    const char* hex;
    const char* pureIdentity;
  };
  const Case cases[] = {
      {"urn:epc:tag:sgtin-96:3.0614141.812345.6789", "3074257BF7194E4000001A85",
       "urn:epc:id:sgtin:0614141.812345.6789"},
      {"urn:epc:tag:sscc-96:3.0614141.1234567890", "3174257BF4499602D2000000", "urn:epc:id:sscc:0614141.1234567890"},
      {"urn:epc:tag:sgln-96:3.0614141.12345.400", "3274257BF460720000000190", "urn:epc:id:sgln:0614141.12345.400"},
      {"urn:epc:tag:grai-96:3.0614141.12345.5678", "3374257BF40C0E400000162E", "urn:epc:id:grai:0614141.12345.5678"},
      {"urn:epc:tag:giai-96:3.0614141.5678", "3474257BF40000000000162E", "urn:epc:id:giai:0614141.5678"},
      {"urn:epc:tag:gid-96:31415.271828.1414", "350007AB70425D4000000586", "urn:epc:id:gid:31415.271828.1414"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tagUri);
    EXPECT_EQ(EncodeUri(c.tagUri), c.hex);
    std::string lower = c.hex;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (const std::string& hex : {std::string(c.hex), lower}) {
      const Result<Decoded> decoded = Decode(hex);
      ASSERT_TRUE(decoded) << decoded.message().text;
      EXPECT_EQ(decoded.value().tagUri, c.tagUri);
      ASSERT_TRUE(decoded.value().epc.has_value());
      EXPECT_EQ(PureIdentityUri(*decoded.value().epc), c.pureIdentity);
      EXPECT_EQ(decoded.value().bits, 96);
    }
  }
}

// Every partition (company prefix of 6 to 12 digits) and every filter, both ways.
TEST(Gs1Epc, EveryPartitionAndFilterRoundTrips) {
  const std::string digits = "0614141812345678";
  for (int companyDigits = 6; companyDigits <= 12; ++companyDigits) {
    const std::string prefix = digits.substr(0, static_cast<std::size_t>(companyDigits));
    const std::size_t c = static_cast<std::size_t>(companyDigits);
    const std::vector<std::string> uris = {
        "sgtin-96:%F." + prefix + "." + digits.substr(0, 13 - c) + ".274877906943",
        "sgtin-198:%F." + prefix + "." + digits.substr(0, 13 - c) + ".A%2Fb-0.9%3F!x_12345678",
        "sscc-96:%F." + prefix + "." + digits.substr(0, 17 - c),
        "sgln-96:%F." + prefix + "." + digits.substr(0, 12 - c) + ".2199023255551",
        "grai-96:%F." + prefix + "." + digits.substr(0, 12 - c) + ".0",
        "giai-96:%F." + prefix + "." + std::string(1, '9') + std::string(18 - c - 1 - (c == 6 ? 1 : 0), '0'),
    };
    for (int filter = 0; filter <= 7; ++filter) {
      for (std::string uri : uris) {
        uri.replace(uri.find("%F"), 2, std::to_string(filter));
        uri = "urn:epc:tag:" + uri;
        SCOPED_TRACE(uri);
        const std::string hex = EncodeUri(uri);
        ASSERT_EQ(hex.find("failed"), std::string::npos) << hex;
        EXPECT_EQ(hex.size() % 4, 0u);
        const Result<Decoded> decoded = Decode(hex);
        ASSERT_TRUE(decoded) << decoded.message().text;
        EXPECT_EQ(decoded.value().tagUri, uri);
        EXPECT_EQ(decoded.value().epc->filter, filter);
      }
    }
  }
}

TEST(Gs1Epc, Sgtin198IsPaddedToWholeWords) {
  const std::string hex = EncodeUri("urn:epc:tag:sgtin-198:1.0614141.812345.ABC");
  EXPECT_EQ(hex.size(), 52u);
  EXPECT_EQ(hex.substr(0, 14), "3634257BF7194E");
  EXPECT_EQ(Decode(hex).value().bits, 198);
}

// However a program pads an encoding (whole bytes, whole words, a longer EPC
// bank), it decodes as long as the padding is zero bits.
TEST(Gs1Epc, AnyLengthFromTheEncodingsSizeUpDecodes) {
  const std::string sgtin198 = EncodeUri("urn:epc:tag:sgtin-198:1.0614141.812345.ABC");
  const std::string sgtin96 = "3074257BF7194E4000001A85";
  const struct {
    std::string hex;
    const char* tagUri;
    int bits;
  } cases[] = {
      {sgtin198.substr(0, 50), "urn:epc:tag:sgtin-198:1.0614141.812345.ABC", 198},  // 200 bits, whole bytes
      {sgtin198, "urn:epc:tag:sgtin-198:1.0614141.812345.ABC", 198},                // 208 bits, whole words
      {sgtin198 + "0", "urn:epc:tag:sgtin-198:1.0614141.812345.ABC", 198},          // an odd digit more
      {sgtin96 + "0000", "urn:epc:tag:sgtin-96:3.0614141.812345.6789", 96},
      {sgtin96 + "0", "urn:epc:tag:sgtin-96:3.0614141.812345.6789", 96},
      {"e2801160600002084a1b2c3d5", "urn:epc:raw:100.xE2801160600002084A1B2C3D5", 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    const Result<Decoded> decoded = Decode(c.hex);
    ASSERT_TRUE(decoded) << decoded.message().text;
    EXPECT_EQ(decoded.value().tagUri, c.tagUri);
    EXPECT_EQ(decoded.value().bits, c.bits);
  }
}

// The largest value of each partition's field: as many digits as the Tag Data
// Standard's partition table allows, below 2^bits, encodes; one more does not.
TEST(Gs1Epc, GiaiAssetReferencesUpToThePartitionsLimit) {
  const struct {
    const char* prefix;
    const char* largest;   // 2^bits - 1
    const char* tooLarge;  // 2^bits
  } cases[] = {
      {"061414112345", "4398046511103", "4398046511104"},       {"06141411234", "35184372088831", "35184372088832"},
      {"0614141123", "281474976710655", "281474976710656"},     {"061414112", "4503599627370495", "4503599627370496"},
      {"06141411", "36028797018963967", "36028797018963968"},   {"0614141", "288230376151711743", "288230376151711744"},
      {"061414", "4611686018427387903", "4611686018427387904"},
  };
  for (const auto& c : cases) {
    const std::string uri = std::string("urn:epc:tag:giai-96:1.") + c.prefix + "." + c.largest;
    SCOPED_TRACE(uri);
    const std::string hex = EncodeUri(uri);
    ASSERT_EQ(hex.find("failed"), std::string::npos) << hex;
    const Result<Decoded> decoded = Decode(hex);
    ASSERT_TRUE(decoded) << decoded.message().text;
    EXPECT_EQ(decoded.value().tagUri, uri);
    const Result<TagEpc> over = ParseTagUri(std::string("urn:epc:tag:giai-96:1.") + c.prefix + "." + c.tooLarge);
    EXPECT_EQ(Encode(over.value()).message().id, msg::kEpcSerialOutOfRange);
  }
}

TEST(Gs1Epc, GtinAndSsccKeysGiveTheirEpc) {
  const Result<TagEpc> sgtin = FromGtin(Scheme::kSgtin96, "80614141123458", "6789", 7, 3);
  ASSERT_TRUE(sgtin) << sgtin.message().text;
  EXPECT_EQ(TagUri(sgtin.value()), "urn:epc:tag:sgtin-96:3.0614141.812345.6789");
  const Result<TagEpc> sscc = FromSscc("106141412345678908", 7, 3);
  ASSERT_TRUE(sscc) << sscc.message().text;
  EXPECT_EQ(TagUri(sscc.value()), "urn:epc:tag:sscc-96:3.0614141.1234567890");
  EXPECT_EQ(CheckDigit("8061414112345"), 8);
  EXPECT_EQ(CheckDigit("10614141123456789"), 7);
}

TEST(Gs1Epc, BadInputSaysWhatIsWrong) {
  struct Case {
    const char* input;
    int message;
  };
  const Case uris[] = {
      {"urn:epc:tag:sgtin-97:3.0614141.812345.6789", msg::kEpcUnknownScheme},
      {"urn:epc:id:sgtin:0614141.812345.6789", msg::kEpcBadUri},
      {"urn:epc:tag:sgtin-96:3.0614141.812345", msg::kEpcBadUri},
      {"urn:epc:tag:sgtin-96:8.0614141.812345.6789", msg::kEpcBadFilter},
      {"urn:epc:tag:sgtin-96:3.06141.8123456.6789", msg::kEpcNoPartition},
      {"urn:epc:tag:sgtin-96:3.0614141.81234.6789", msg::kEpcWrongDigits},
      {"urn:epc:tag:sgtin-96:3.0614141.812345.06789", msg::kEpcSerialOutOfRange},
      {"urn:epc:tag:sgtin-96:3.0614141.812345.274877906944", msg::kEpcSerialOutOfRange},
      {"urn:epc:tag:sgtin-96:3.0614141.812345.12a", msg::kEpcSerialOutOfRange},
      {"urn:epc:tag:sgtin-198:3.0614141.812345.a b", msg::kEpcBadCharacters},
      {"urn:epc:tag:sgtin-198:3.0614141.812345.a/b", msg::kEpcBadCharacters},
      {"urn:epc:tag:sgtin-198:3.0614141.812345.%41", msg::kEpcBadCharacters},
      {"urn:epc:tag:sgtin-198:3.0614141.812345.123456789012345678901", msg::kEpcSerialOutOfRange},
      {"urn:epc:tag:gid-96:268435456.1.1", msg::kEpcSerialOutOfRange},
  };
  for (const Case& c : uris) {
    SCOPED_TRACE(c.input);
    const Result<TagEpc> epc = ParseTagUri(c.input);
    const int got = epc ? Encode(epc.value()).message().id : epc.message().id;
    EXPECT_EQ(got, c.message);
  }
  const Case hexes[] = {
      {"3074257BF7194E4000001A8", msg::kEpcBadHex},                            // shorter than its scheme
      {"3074257BF7194E4000001A85FFFF", msg::kEpcBadHex},                       // longer, and the rest is not zero
      {"3634257BF7194E60AF6200000000000000000000000000000", msg::kEpcBadHex},  // 196 bits of 198
      {"3", msg::kEpcBadHex},
      {"3074257BF7194E4000001AXZ", msg::kEpcBadHex},
      {"307E257BF7194E4000001A85", msg::kEpcBadHex},  // partition 7
      {"3174257BF4499602D2000001", msg::kEpcBadHex},  // SSCC-96's reserved bits are not zero
      {"3634257BF7194E60AF6200000000000000000000000000000001", msg::kEpcBadHex},  // padding not zero
      {"", msg::kEpcBadHex},
  };
  for (const Case& c : hexes) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(Decode(c.input).message().id, c.message);
  }
  EXPECT_EQ(FromGtin(Scheme::kSgtin96, "80614141123457", "1", 7, 3).message().id, msg::kEpcBadCheckDigit);
  EXPECT_EQ(FromGtin(Scheme::kSgtin96, "8061414112345", "1", 7, 3).message().id, msg::kEpcWrongDigits);
  EXPECT_EQ(FromGtin(Scheme::kSgtin96, "80614141123458", "1", 13, 3).message().id, msg::kEpcNoPartition);
  EXPECT_EQ(FromGtin(Scheme::kSgtin96, "80614141123458", "1", 7, 8).message().id, msg::kEpcBadFilter);
  EXPECT_EQ(FromGtin(Scheme::kSgtin96, "80614141123458", "01", 7, 3).message().id, msg::kEpcSerialOutOfRange);
  EXPECT_EQ(FromSscc("106141412345678907", 7, 3).message().id, msg::kEpcBadCheckDigit);
}

TEST(Gs1Epc, AnUnknownHeaderIsARawUri) {
  const Result<Decoded> raw = Decode("e2801160600002084a1b2c3d");
  ASSERT_TRUE(raw);
  EXPECT_FALSE(raw.value().epc.has_value());
  EXPECT_EQ(raw.value().tagUri, "urn:epc:raw:96.xE2801160600002084A1B2C3D");
}

TEST(Gs1Epc, NextSerialCountsOnUntilTheFieldIsFull) {
  const TagEpc epc = ParseTagUri("urn:epc:tag:sgtin-96:3.0614141.812345.6789").value();
  EXPECT_EQ(TagUri(NextSerial(epc).value()), "urn:epc:tag:sgtin-96:3.0614141.812345.6790");
  const TagEpc last = ParseTagUri("urn:epc:tag:sgtin-96:3.0614141.812345.274877906943").value();
  EXPECT_FALSE(NextSerial(last));
}

TEST(Gs1Epc, NextSerialOfEveryCountingComponent) {
  const struct {
    const char* uri;
    const char* next;  // "" when there is none
  } cases[] = {
      {"urn:epc:tag:sscc-96:3.0614141.0000000099", "urn:epc:tag:sscc-96:3.0614141.0000000100"},
      {"urn:epc:tag:sscc-96:3.0614141.9999999999", ""},
      {"urn:epc:tag:giai-96:3.0614141.5678", "urn:epc:tag:giai-96:3.0614141.5679"},
      {"urn:epc:tag:sgln-96:3.0614141.12345.0", "urn:epc:tag:sgln-96:3.0614141.12345.1"},
      {"urn:epc:tag:grai-96:3.0614141.12345.41", "urn:epc:tag:grai-96:3.0614141.12345.42"},
      {"urn:epc:tag:gid-96:1.2.9", "urn:epc:tag:gid-96:1.2.10"},
      {"urn:epc:tag:sgtin-198:3.0614141.812345.0099", "urn:epc:tag:sgtin-198:3.0614141.812345.0100"},
      {"urn:epc:tag:sgtin-198:3.0614141.812345.99", "urn:epc:tag:sgtin-198:3.0614141.812345.100"},
      {"urn:epc:tag:sgtin-198:3.0614141.812345.99999999999999999999", ""},
      {"urn:epc:tag:sgtin-198:3.0614141.812345.A12", ""},
  };
  for (const auto& c : cases) {
    const Result<TagEpc> next = NextSerial(ParseTagUri(c.uri).value());
    EXPECT_EQ(next ? TagUri(next.value()) : std::string(), c.next) << c.uri;
  }
}

}  // namespace
}  // namespace stampwise::gs1
