// No registry here: the settings are a file, whatever its name.
#include "app/store/settings_profile.h"

namespace stampwise {

std::unique_ptr<SettingsProfile> OpenRegistryProfile() { return nullptr; }

}  // namespace stampwise
