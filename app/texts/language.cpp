#include "app/texts/language.h"

#include <mutex>
#include <utility>

#include "app/texts/strings.h"
#include "common/shared_library.h"

namespace stampwise {
namespace {

using CaptionSource = const char* (*)(const char* german);

std::mutex languageMutex;
CaptionSource englishCaption = nullptr;

// Never closed at exit: texts may still be asked for while static objects go.
common::SharedLibrary& English() {
  static auto* const library = new common::SharedLibrary();
  return *library;
}

}  // namespace

bool ApplyLanguage(int language, const std::string& libraryFolder) {
  std::lock_guard lock(languageMutex);
  if (language <= 0) {
    SetStringSource(nullptr);
    englishCaption = nullptr;
    English().Close();
    return false;
  }
  if (English().IsOpen()) return true;
  common::SharedLibrary library(libraryFolder + kEnglishLibraryName);
  StringSource source = nullptr;
  if (!library.Resolve("StampwiseString", source)) return false;
  englishCaption = library.Entry<CaptionSource>("StampwiseCaption");
  English() = std::move(library);
  SetStringSource(source);
  return true;
}

bool EnglishActive() {
  std::lock_guard lock(languageMutex);
  return English().IsOpen();
}

const char* EnglishCaption(const char* german) {
  std::lock_guard lock(languageMutex);
  return englishCaption != nullptr ? englishCaption(german) : nullptr;
}

}  // namespace stampwise
