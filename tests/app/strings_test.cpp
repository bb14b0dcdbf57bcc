#include "app/strings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/messages.h"

namespace stampwise {
namespace {

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
    ::testing::Values(
        ErrorCase{3, 180, "Fehler beim Port öffnen"}, ErrorCase{4, 104, "Timeout"},
        ErrorCase{5, 165, "Blocklänge ist nicht korrekt"},
        ErrorCase{6, 112, "Fehler: Falsche Datenanzahl"}, ErrorCase{8, 188, "Keine Sendedaten"},
        ErrorCase{11, 129,
                  "An diesem Port ist kein Leser angeschlossen.\r\nBitte wählen sie eine andere "
                  "Schnittstelle."},
        ErrorCase{19, 177, ""}, ErrorCase{20, 115, "Fehler. Falsche Datenanzahl gesendet\r\n"},
        ErrorCase{21, 230, "Kein gültiger Transponder vorhanden!"},
        ErrorCase{23, 118, "Kollision Fehler"}, ErrorCase{24, 176, "Unbekanntes Kommando"},
        ErrorCase{0, 117, "Unbekannter Fehler ist aufgetreten"},
        ErrorCase{10, 117, "Unbekannter Fehler ist aufgetreten"},
        ErrorCase{12, 117, "Unbekannter Fehler ist aufgetreten"},
        ErrorCase{13, 117, "Unbekannter Fehler ist aufgetreten"},
        ErrorCase{15, 117, "Unbekannter Fehler ist aufgetreten"},
        ErrorCase{-1, 117, "Unbekannter Fehler ist aufgetreten"}));

TEST(StringTableTest, KnownAndUnknownIds) {
  EXPECT_EQ(LoadString(msg::kNoHexInput), "Keine Hex-Eingabe");
  EXPECT_EQ(LoadString(msg::kChooseWriteLog), "Logdatei \"Schreiben\" wählen");
  EXPECT_EQ(LoadString(msg::kNoLanDevices).find("Keine Geräte gefunden!\nBitte"), 0u);
  EXPECT_EQ(LoadString(0), "");
  EXPECT_EQ(LoadString(32855), "");
  EXPECT_EQ(GermanString(99999), nullptr);
  for (const StringEntry& entry : GermanStringTable()) {
    EXPECT_GT(std::strlen(entry.text), 0u) << entry.id;
  }
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
  EXPECT_EQ(ActiveStringSource(), nullptr);
}

struct FormatCase {
  const char* name;
  const char* pattern;
  std::string (*format)(const char*);
  const char* expected;
};

class FormatTextTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTextTest, Formats) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(c.format(c.pattern), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, FormatTextTest,
    ::testing::Values(
        FormatCase{"ValueWritten", "Wert <%s> erfolgreich geschrieben",
                   [](const char* p) { return FormatText(p, {"00FF"}); },
                   "Wert <00FF> erfolgreich geschrieben"},
        FormatCase{"DataWritten", "<%04d> Daten erfolgreich geschrieben!",
                   [](const char* p) { return FormatText(p, {7}); },
                   "<0007> Daten erfolgreich geschrieben!"},
        FormatCase{"Firmware", "FW V%d.%02d", [](const char* p) { return FormatText(p, {1, 5}); },
                   "FW V1.05"},
        FormatCase{"Negative", "%05d", [](const char* p) { return FormatText(p, {-42}); }, "-0042"},
        FormatCase{"I64", "%I64d", [](const char* p) { return FormatText(p, {-9223372036854775807LL - 1}); },
                   "-9223372036854775808"},
        FormatCase{"Hex", "%02X %x", [](const char* p) { return FormatText(p, {10, 255}); }, "0A ff"},
        FormatCase{"Percent", "100%% %s", [](const char* p) { return FormatText(p, {"ok"}); },
                   "100% ok"},
        FormatCase{"MissingArgs", "%s|%d", [](const char* p) { return FormatText(p, {}); }, "|0"},
        FormatCase{"NumberForString", "<%s>", [](const char* p) { return FormatText(p, {12}); },
                   "<12>"},
        FormatCase{"WidthCapped", "%999999999d",
                   [](const char* p) { return std::to_string(FormatText(p, {1}).size()); }, "64"},
        FormatCase{"LeftAligned", "[%-4s]", [](const char* p) { return FormatText(p, {"ab"}); },
                   "[ab  ]"},
        FormatCase{"UnknownKept", "%q %", [](const char* p) { return FormatText(p, {1}); }, "%q %"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(FillPlaceholdersTest, FillsNumberedPlaceholders) {
  EXPECT_EQ(FillPlaceholders("Geben Sie eine ganze Zahl zwischen %1 und %2 ein.", {"1", "8"}),
            "Geben Sie eine ganze Zahl zwischen 1 und 8 ein.");
  EXPECT_EQ(FillPlaceholders("%2-%1-%3", {"a", "b"}), "b-a-");
  EXPECT_EQ(FillPlaceholders("50%", {"x"}), "50%");
}

}  // namespace
}  // namespace stampwise
