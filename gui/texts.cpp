#include "gui/texts.h"

#include <dlfcn.h>

#include "app/base/paths.h"
#include "app/texts/language.h"
#include "app/texts/strings.h"

namespace stampwise::gui {
namespace {

using CaptionSource = const char* (*)(const char* german);

// The caption function of the English library that ApplyLanguage loaded. The
// library is looked up without loading it again (RTLD_NOLOAD), so it stays
// exactly as long as the language setting keeps it.
const char* EnglishCaption(const char* german) {
  const std::string path = ResourceDirectoryOf(kEnglishLibraryName) + kEnglishLibraryName;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return nullptr;
  const char* text = nullptr;
  if (auto source = reinterpret_cast<CaptionSource>(dlsym(library, "StampwiseCaption"))) text = source(german);
  dlclose(library);
  return text;
}

}  // namespace

QString Caption(const char* german) {
  if (EnglishActive()) {
    if (const char* english = EnglishCaption(german)) return QString::fromUtf8(english);
  }
  return QString::fromUtf8(german);
}

QString TableText(int id) { return FromUtf8(LoadString(id)); }

QString FromUtf8(const std::string& text) {
  const std::string utf8 = stampwise::ToUtf8(text);
  return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

}  // namespace stampwise::gui
