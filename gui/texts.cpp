#include "gui/texts.h"

#include "app/texts/language.h"
#include "app/texts/strings.h"

namespace stampwise::gui {

QString Caption(const char* german) {
  if (const char* english = EnglishCaption(german)) return QString::fromUtf8(english);
  return QString::fromUtf8(german);
}

QString TableText(int id) { return FromUtf8(LoadString(id)); }

QString FromUtf8(const std::string& text) {
  const std::string utf8 = stampwise::ToUtf8(text);
  return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

}  // namespace stampwise::gui
