// GS1 write jobs without a reader: the plan of one tag, the desktop
// program's inputs to and from an EPC, the tag URI of what was read, and the
// durable take of the next tag URI.
#include "app/gs1/gs1_job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/store/settings.h"
#include "app/texts/messages.h"
#include "tests/app/temp_folder.h"

namespace stampwise {
namespace {

using gs1::TagEpc;

TEST(Gs1Job, PlansTheEncodingAndTheNextSerial) {
  const Result<Gs1Step> step = PlanGs1Write("urn:epc:tag:sgtin-96:3.0614141.812345.6789", true);
  ASSERT_TRUE(step) << step.message().text;
  EXPECT_EQ(gs1::Hex(step.value().bytes), "3074257BF7194E4000001A85");
  EXPECT_EQ(step.value().next, "urn:epc:tag:sgtin-96:3.0614141.812345.6790");
  const Result<Gs1Step> same = PlanGs1Write("urn:epc:tag:sgtin-96:3.0614141.812345.6789", false);
  ASSERT_TRUE(same);
  EXPECT_EQ(same.value().next, "urn:epc:tag:sgtin-96:3.0614141.812345.6789");
}

struct RefusedPlan {
  const char* uri;
  bool increment;
  int id;
};

class Gs1PlanRefusedTest : public ::testing::TestWithParam<RefusedPlan> {};

TEST_P(Gs1PlanRefusedTest, NamesWhatIsWrong) {
  const Result<Gs1Step> step = PlanGs1Write(GetParam().uri, GetParam().increment);
  ASSERT_FALSE(step);
  EXPECT_EQ(step.message().id, GetParam().id) << step.message().text;
}

INSTANTIATE_TEST_SUITE_P(
    Gs1Job, Gs1PlanRefusedTest,
    ::testing::Values(RefusedPlan{"urn:epc:tag:sgtin-198:3.0614141.812345.A12", true, msg::kGs1CannotCount},
                      RefusedPlan{"urn:epc:tag:sgtin-96:3.0614141.812345.274877906944", true, msg::kGs1SerialExhausted},
                      RefusedPlan{"urn:epc:tag:sgtin-96:3.0614141.812345.274877906944", false,
                                  msg::kGs1SerialExhausted},
                      RefusedPlan{"urn:epc:tag:sgtin-96:9.0614141.812345.1", true, msg::kEpcBadFilter},
                      RefusedPlan{"urn:epc:tag:foo-96:3.0614141.812345.1", true, msg::kEpcUnknownScheme},
                      RefusedPlan{"urn:epc:tag:sgtin-96:3.0614141.812345.01", true, msg::kEpcSerialOutOfRange}));

// The last serial of each counting field is written; the URI after it marks the end.
TEST(Gs1Job, TheLastSerialIsFollowedByTheEndMark) {
  struct Case {
    const char* last;
    const char* past;
  };
  const Case cases[] = {
      {"urn:epc:tag:sgtin-96:3.0614141.812345.274877906943", "urn:epc:tag:sgtin-96:3.0614141.812345.274877906944"},
      {"urn:epc:tag:grai-96:3.0614141.12345.274877906943", "urn:epc:tag:grai-96:3.0614141.12345.274877906944"},
      {"urn:epc:tag:sgln-96:3.0614141.12345.2199023255551", "urn:epc:tag:sgln-96:3.0614141.12345.2199023255552"},
      {"urn:epc:tag:gid-96:1.2.68719476735", "urn:epc:tag:gid-96:1.2.68719476736"},
      {"urn:epc:tag:sscc-96:3.0614141.9999999999", "urn:epc:tag:sscc-96:3.0614141.10000000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last);
    const Result<Gs1Step> step = PlanGs1Write(c.last, true);
    ASSERT_TRUE(step) << step.message().text;
    EXPECT_EQ(step.value().next, c.past);
    EXPECT_FALSE(Gs1SerialExhausted(c.last));
    EXPECT_TRUE(Gs1SerialExhausted(c.past));
    EXPECT_FALSE(PlanGs1Write(c.past, true));
  }
}

struct InputsCase {
  Gs1Inputs inputs;
  const char* tagUri;
};

class Gs1InputsTest : public ::testing::TestWithParam<InputsCase> {};

// Every scheme from the panel's inputs, and back to the same inputs.
TEST_P(Gs1InputsTest, GiveTheTagUriAndComeBackFromIt) {
  const InputsCase& c = GetParam();
  const Result<TagEpc> epc = EpcFromInputs(c.inputs);
  ASSERT_TRUE(epc) << epc.message().text;
  EXPECT_EQ(gs1::TagUri(epc.value()), c.tagUri);
  const Gs1Inputs back = InputsFromEpc(epc.value());
  EXPECT_EQ(back.scheme, c.inputs.scheme);
  EXPECT_EQ(back.filter, c.inputs.filter);
  EXPECT_EQ(back.companyDigits, c.inputs.companyDigits);
  EXPECT_EQ(back.identifier, c.inputs.identifier);
  EXPECT_EQ(back.serial, c.inputs.serial);
}

INSTANTIATE_TEST_SUITE_P(
    Gs1Job, Gs1InputsTest,
    ::testing::Values(
        InputsCase{{"sgtin-96", "3", "7", "80614141123458", "6789"}, "urn:epc:tag:sgtin-96:3.0614141.812345.6789"},
        InputsCase{{"sgtin-198", "3", "7", "80614141123458", "a/b"}, "urn:epc:tag:sgtin-198:3.0614141.812345.a%2Fb"},
        InputsCase{{"sgtin-96", "1", "12", "10614141123459", "1"}, "urn:epc:tag:sgtin-96:1.061414112345.1.1"},
        InputsCase{{"sscc-96", "3", "7", "106141412345678908", ""}, "urn:epc:tag:sscc-96:3.0614141.1234567890"},
        InputsCase{{"sgln-96", "3", "7", "0614141123452", "5678"}, "urn:epc:tag:sgln-96:3.0614141.12345.5678"},
        InputsCase{{"grai-96", "3", "7", "00614141123452", "5678"}, "urn:epc:tag:grai-96:3.0614141.12345.5678"},
        InputsCase{{"giai-96", "3", "7", "06141415678", ""}, "urn:epc:tag:giai-96:3.0614141.5678"},
        InputsCase{{"gid-96", "", "", "95100000.12345", "400"}, "urn:epc:tag:gid-96:95100000.12345.400"}));

struct BadInputsCase {
  Gs1Inputs inputs;
  int id;
  Gs1Field field;
};

class Gs1BadInputsTest : public ::testing::TestWithParam<BadInputsCase> {};

TEST_P(Gs1BadInputsTest, NameTheFieldThatIsWrong) {
  const Result<TagEpc> epc = EpcFromInputs(GetParam().inputs);
  ASSERT_FALSE(epc);
  EXPECT_EQ(epc.message().id, GetParam().id) << epc.message().text;
  EXPECT_EQ(epc.message().controlId, static_cast<int>(GetParam().field)) << epc.message().text;
}

INSTANTIATE_TEST_SUITE_P(
    Gs1Job, Gs1BadInputsTest,
    ::testing::Values(
        BadInputsCase{{"sgtin-95", "3", "7", "80614141123458", "1"}, msg::kEpcUnknownScheme, Gs1Field::kScheme},
        BadInputsCase{{"sgtin-96", "", "7", "80614141123458", "1"}, msg::kGs1FieldEmpty, Gs1Field::kFilter},
        BadInputsCase{{"sgtin-96", "8", "7", "80614141123458", "1"}, msg::kEpcBadFilter, Gs1Field::kFilter},
        BadInputsCase{{"sgtin-96", "3", "", "80614141123458", "1"}, msg::kGs1FieldEmpty, Gs1Field::kCompanyDigits},
        BadInputsCase{{"sgtin-96", "3", "13", "80614141123458", "1"}, msg::kEpcNoPartition, Gs1Field::kCompanyDigits},
        BadInputsCase{{"sgtin-96", "3", "7", "", "1"}, msg::kGs1FieldEmpty, Gs1Field::kIdentifier},
        BadInputsCase{{"sgtin-96", "3", "7", "80614141123457", "1"}, msg::kEpcBadCheckDigit, Gs1Field::kIdentifier},
        BadInputsCase{{"sgtin-96", "3", "7", "8061414112345", "1"}, msg::kEpcWrongDigits, Gs1Field::kIdentifier},
        BadInputsCase{{"sgtin-96", "3", "7", "80614141123458", ""}, msg::kGs1FieldEmpty, Gs1Field::kSerial},
        BadInputsCase{{"sgtin-96", "3", "7", "80614141123458", "007"}, msg::kEpcSerialOutOfRange, Gs1Field::kSerial},
        BadInputsCase{{"sgtin-198", "3", "7", "80614141123458", "a b"}, msg::kEpcBadCharacters, Gs1Field::kSerial},
        BadInputsCase{{"sscc-96", "3", "7", "106141412345678909", ""}, msg::kEpcBadCheckDigit, Gs1Field::kIdentifier},
        BadInputsCase{{"sgln-96", "3", "7", "0614141123453", "1"}, msg::kEpcBadCheckDigit, Gs1Field::kIdentifier},
        BadInputsCase{{"grai-96", "3", "7", "10614141123452", "1"}, msg::kEpcWrongDigits, Gs1Field::kIdentifier},
        BadInputsCase{{"gid-96", "", "", "95100000", "1"}, msg::kEpcWrongDigits, Gs1Field::kIdentifier},
        BadInputsCase{{"gid-96", "", "", "1.2", "68719476736"}, msg::kEpcSerialOutOfRange, Gs1Field::kSerial}));

TEST(Gs1Job, TagUriOfWhatWasRead) {
  EXPECT_EQ(TagUriOfEpc({0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85}),
            "urn:epc:tag:sgtin-96:3.0614141.812345.6789");
  EXPECT_EQ(TagUriOfEpc({0xE2, 0x80, 0x11, 0x60}), "urn:epc:raw:32.xE2801160");
  // A known header with the wrong length is no valid encoding: raw.
  EXPECT_EQ(TagUriOfEpc({0x30, 0x74, 0x25, 0x7B}), "urn:epc:raw:32.x3074257B");
  EXPECT_EQ(TagUriOfEpc({}), "");
}

TEST(Gs1Job, TheSectionKeepsThePanelAndTheSixFormatsKeepTheirIndices) {
  testing::TempFolder folder;
  const std::string file = folder.File("settings.ini");
  {
    Settings settings(file, folder.Path() + "/");
    AppSettings app = settings.Load();
    app.params.format = DataFormat::DataAscii;
    settings.Save(app);
    settings.LoadGs1();
    Gs1Settings gs1;
    gs1.enabled = true;
    gs1.inputs = {"sgtin-96", "3", "7", "80614141123458", "6789"};
    gs1.increment = false;
    gs1.nextUri = "urn:epc:tag:sgtin-96:3.0614141.812345.6789";
    ASSERT_TRUE(settings.SaveGs1(gs1));
  }
  Settings settings(file, folder.Path() + "/");
  EXPECT_EQ(settings.ReadInt("Settings", "Datenformat", -1), 5);
  EXPECT_EQ(settings.Load().params.format, DataFormat::DataAscii);
  const Gs1Settings gs1 = settings.LoadGs1();
  EXPECT_TRUE(gs1.enabled);
  EXPECT_EQ(gs1.inputs.identifier, "80614141123458");
  EXPECT_EQ(gs1.inputs.serial, "6789");
  EXPECT_FALSE(gs1.increment);
  EXPECT_EQ(gs1.nextUri, "urn:epc:tag:sgtin-96:3.0614141.812345.6789");
}

}  // namespace
}  // namespace stampwise
