// Bytes shown in the window's fields: the one conversion of the program, so no
// byte turns into a replacement character.
#include "gui/texts.h"

#include <gtest/gtest.h>

#include "tests/app/odd_bytes.h"

namespace stampwise::gui {
namespace {

TEST(WindowTexts, BytesThatAreNotUtf8ShowAsLatin1) {
  for (const stampwise::testing::OddBytes& odd : stampwise::testing::OddByteSequences()) {
    SCOPED_TRACE(odd.name);
    const QString shown = FromUtf8(odd.bytes);
    EXPECT_EQ(shown, QString::fromLatin1(odd.bytes.data(), qsizetype(odd.bytes.size())));
    EXPECT_FALSE(shown.contains(QChar::ReplacementCharacter));
    EXPECT_EQ(StatusText("Wert <" + odd.bytes + "> erfolgreich geschrieben"),
              "Wert <" + shown + "> erfolgreich geschrieben");
  }
  EXPECT_EQ(FromUtf8("Pr\xC3\xBC"
                     "fung"),
            QString::fromUtf8("Prüfung"));
}

}  // namespace
}  // namespace stampwise::gui
