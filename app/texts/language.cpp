#include "app/texts/language.h"

#include <dlfcn.h>

#include <mutex>

#include "app/texts/strings.h"

namespace stampwise {
namespace {

std::mutex languageMutex;
void* englishLibrary = nullptr;

}  // namespace

bool ApplyLanguage(int language, const std::string& libraryFolder) {
  std::lock_guard lock(languageMutex);
  if (language <= 0) {
    SetStringSource(nullptr);
    if (englishLibrary != nullptr) dlclose(englishLibrary);
    englishLibrary = nullptr;
    return false;
  }
  if (englishLibrary != nullptr) return true;
  const std::string path = libraryFolder + kEnglishLibraryName;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return false;
  auto source = reinterpret_cast<StringSource>(dlsym(library, "StampwiseString"));
  if (source == nullptr) {
    dlclose(library);
    return false;
  }
  englishLibrary = library;
  SetStringSource(source);
  return true;
}

bool EnglishActive() {
  std::lock_guard lock(languageMutex);
  return englishLibrary != nullptr;
}

}  // namespace stampwise
