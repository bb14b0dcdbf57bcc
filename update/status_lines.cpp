#include "update/status_lines.h"

#include "app/messages.h"
#include "app/strings.h"

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
  const std::string server = resolved ? device.GetVersion() : std::string();
  if (resolved && device.IsNewer()) {
    return {"Update " + device.DeviceName() + " V" + device.DeviceVersionText() + " => V" + server, LineKind::kNewer};
  }
  return {device.DeviceName() + " V" + device.DeviceVersionText() + " " + LoadString(msg::kUpdateIsCurrent),
          LineKind::kCurrent, resolved && !server.empty()};
}

}  // namespace stampwise::update
