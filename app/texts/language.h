// The user interface language: German from the program itself, English from
// the resource library next to the program when the setting asks for it.
#pragma once

#include <string>

namespace stampwise {

inline constexpr const char* kEnglishLibraryName = "QL_MKV_StampwiseEng" STAMPWISE_MODULE_SUFFIX;

// Applies the "Sprache" setting: above 0 loads the English library (a library
// that cannot be loaded leaves the language as it was), 0 or less goes back to
// German. Returns true when English is active afterwards.
bool ApplyLanguage(int language, const std::string& libraryFolder);

bool EnglishActive();
// The English caption of a control's German caption while English is active;
// null under German, or for a caption the library does not know.
const char* EnglishCaption(const char* german);

}  // namespace stampwise
