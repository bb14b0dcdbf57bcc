#include "gui/texts.h"

#include <dlfcn.h>

#include <QStringDecoder>

#include "app/language.h"
#include "app/paths.h"
#include "app/strings.h"

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

QString StatusText(const std::string& line) {
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString text = decoder.decode(QByteArrayView(line.data(), qsizetype(line.size())));
  return decoder.hasError() ? FromValue(line) : text;
}

}  // namespace stampwise::gui
