// The INI parser and the settings and record loaders over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/store/ini.h"
#include "app/store/record.h"
#include "app/store/settings.h"

using namespace stampwise;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  CIniEx ini;
  ini.LoadFromText(text);
  DataRecord record = RecordFrom(ini);
  if (static_cast<int>(record.params.format) > 5) std::abort();
  (void)ini.GetInt("Settings", "Byteanzahl", 4);

  // Loading writes back what is missing; a second load must find it all.
  AppSettings loaded = LoadSettingsFrom(ini, "/logs/");
  CIniEx reread;
  reread.LoadFromText(ini.ToText());
  AppSettings again = LoadSettingsFrom(reread, "/logs/");
  if (reread.IsDirty() || again.params.value != loaded.params.value || again.params.bank != loaded.params.bank) {
    std::abort();
  }

  // Whatever the bytes, a written value reads back as written.
  const std::string value(text.substr(0, text.find_first_of("\r\n")));
  ini.WriteString("Settings", "LastData", value);
  if (ini.GetString("Settings", "LastData", "") != value) std::abort();

  WindowRect saved{static_cast<int>(size), -static_cast<int>(size), static_cast<int>(size) * 3, 7};
  (void)PlaceSavedWindow(saved, {{0, 0, 640, 480}, {-100, -100, -10, 20}});
  return 0;
}
