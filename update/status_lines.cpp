#include "update/status_lines.h"

#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise::update {

StatusLine SoftwareLine(const CUpdateCheck& software) {
  std::string version;
  std::string build;
  if (!software.GetVersionAndBuild(&version, &build))
    return {LoadString(msg::kUpdateNoInternet), LineKind::kNoUpdate, false};
  if (version.empty() || build.empty()) return {LoadString(msg::kUpdateNoFile), LineKind::kNoUpdate, false};
  if (software.IsNewer()) {
    return {LoadString(msg::kUpdateNewVersion) + kApplicationTitle + " => V " + version + " (" + build + ")",
            LineKind::kNewer};
  }
  return {std::string(kApplicationTitle) + LoadString(msg::kUpdateIsCurrent), LineKind::kCurrent};
}

StatusLine DeviceLine(CUpdateCheck& device) {
  if (device.DeviceName().empty()) return {{}, LineKind::kCurrent, false};
  const bool resolved = device.ResolveAlias();
  const std::string own = device.DeviceName() + " V" + device.DeviceVersionText();
  if (!device.HasVersionsFile()) return {own + ": " + LoadString(msg::kUpdateNoInternet), LineKind::kNoUpdate, false};
  const std::string server = resolved ? device.GetVersion() : std::string();
  if (resolved && device.IsNewer()) return {"Update " + own + " => V" + server, LineKind::kNewer};
  return {own + " " + LoadString(msg::kUpdateIsCurrent), LineKind::kCurrent};
}

}  // namespace stampwise::update
