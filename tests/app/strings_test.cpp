#include "app/texts/strings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "app/texts/messages.h"
#include "tests/app/odd_bytes.h"

namespace stampwise {
namespace {

constexpr const char* kUnknown = "Unbekannter Fehler ist aufgetreten";

struct ErrorCase {
  int code;
  int id;
  const char* text;
};

class ErrorMessageIdTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorMessageIdTest, MapsCodeToMessage) {
  const ErrorCase& c = GetParam();
  EXPECT_EQ(ErrorMessageId(c.code), c.id);
  EXPECT_EQ(LoadString(ErrorMessageId(c.code)), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrorMessageIdTest,
    ::testing::Values(ErrorCase{3, 180, "Fehler beim Port öffnen"}, ErrorCase{4, 104, "Timeout"},
                      ErrorCase{5, 165, "Blocklänge ist nicht korrekt"},
                      ErrorCase{6, 112, "Fehler: Falsche Datenanzahl"}, ErrorCase{8, 188, "Keine Sendedaten"},
                      ErrorCase{11, 129,
                                "An diesem Port ist kein Leser angeschlossen.\r\n"
                                "Bitte wählen sie eine andere Schnittstelle."},
                      ErrorCase{19, 177, ""}, ErrorCase{20, 115, "Fehler. Falsche Datenanzahl gesendet\r\n"},
                      ErrorCase{21, 230, "Kein gültiger Transponder vorhanden!"},
                      ErrorCase{23, 118, "Kollision Fehler"}, ErrorCase{24, 176, "Unbekanntes Kommando"},
                      ErrorCase{0, 117, kUnknown}, ErrorCase{10, 117, kUnknown}, ErrorCase{12, 117, kUnknown},
                      ErrorCase{13, 117, kUnknown}, ErrorCase{15, 117, kUnknown}, ErrorCase{-1, 117, kUnknown}));

TEST(StringTableTest, KnownAndUnknownIds) {
  EXPECT_EQ(LoadString(msg::kChooseWriteLog), "Logdatei \"Schreiben\" wählen");
  EXPECT_EQ(LoadString(msg::kNoLanDevices).find("Keine Geräte gefunden!\nBitte"), 0u);
  EXPECT_EQ(LoadString(0), "");
  EXPECT_EQ(LoadString(32855), "");
  EXPECT_EQ(GermanString(99999), nullptr);
  for (const StringEntry& entry : GermanStringTable()) EXPECT_GT(std::strlen(entry.text), 0u) << entry.id;
}

const char* EnglishForTest(int id) {
  if (id == msg::kTimeout) return "Timeout (en)";
  if (id == msg::kValueWritten) return "Value <%s> written";
  return nullptr;
}

TEST(StringTableTest, SecondLanguageReplacesTextsAndFallsBack) {
  SetStringSource(&EnglishForTest);
  EXPECT_EQ(LoadString(msg::kTimeout), "Timeout (en)");
  EXPECT_EQ(FormatString(msg::kValueWritten, {"0A"}), "Value <0A> written");
  EXPECT_EQ(LoadString(msg::kCollision), "Kollision Fehler");
  EXPECT_EQ(LoadString(4711), "");
  SetStringSource(nullptr);
  EXPECT_EQ(LoadString(msg::kTimeout), "Timeout");
}

TEST(FormatTextTest, PrintfStyleTexts) {
  EXPECT_EQ(FormatString(msg::kValueWritten, {"00FF"}), "Wert <00FF> erfolgreich geschrieben");
  EXPECT_EQ(FormatString(msg::kDataWritten, {7}), "<0007> Daten erfolgreich geschrieben!");
  EXPECT_EQ(FormatString(msg::kFirmwareVersion, {1, 5}), "FW V1.05");
  EXPECT_EQ(FormatText("%05d|%I64d", {-42, -9223372036854775807LL - 1}), "-0042|-9223372036854775808");
  EXPECT_EQ(FormatText("%02X %x 100%%", {10, 255}), "0A ff 100%");
  EXPECT_EQ(FormatText("[%-4s]<%s>", {"ab", 12}), "[ab  ]<12>");
}

TEST(FormatTextTest, MismatchedPatternsStaySafe) {
  EXPECT_EQ(FormatText("%s|%d", {}), "|0");
  EXPECT_EQ(FormatText("%q %", {1}), "%q %");
  EXPECT_EQ(FormatText("%999999999d", {1}).size(), 64u);
}

TEST(FillPlaceholdersTest, FillsNumberedPlaceholders) {
  EXPECT_EQ(FillPlaceholders(LoadString(msg::kEnterIntegerBetween), {"1", "8"}),
            "Geben Sie eine ganze Zahl zwischen 1 und 8 ein.");
  EXPECT_EQ(FillPlaceholders("%2-%1-%3 50%", {"a", "b"}), "b-a- 50%");
}

// Bytes that are not UTF-8 become their Latin-1 characters, valid UTF-8 stays
// as it is, and the result always passes a strict UTF-8 check (JSON's).
TEST(ToUtf8Test, EveryByteSequenceGivesValidUtf8) {
  for (const testing::OddBytes& odd : testing::OddByteSequences()) {
    SCOPED_TRACE(odd.name);
    const std::string text = ToUtf8(odd.bytes);
    EXPECT_EQ(text, testing::Latin1AsUtf8(odd.bytes));
    EXPECT_NO_THROW(nlohmann::json(text).dump());
  }
  const std::vector<std::string> valid{
      "", "plain", "\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", std::string("a\0b", 3)};
  for (const std::string& text : valid) EXPECT_EQ(ToUtf8(text), text);
}

}  // namespace
}  // namespace stampwise
