// "update": the software check and, with --reader, the device check, as the
// about box shows them, with an optional download of what is newer. The
// command line never starts an installer.
#include <chrono>
#include <memory>
#include <vector>

#include "app/store/settings_keys.h"
#include "cli/commands.h"
#include "update/https_client.h"
#include "update/status_lines.h"
#include "update/update_check.h"
#include "update/version_rules.h"

namespace stampwise::cli {
namespace {

using update::CUpdateCheck;

struct CheckReport {
  const char* name;  // "software" | "device"
  CUpdateCheck* check;
  update::StatusLine line;
};

// Prints the check's line (and the download's path); false when the check
// was not possible or the download failed.
bool Report(Context& context, const CheckReport& report, const std::optional<std::string>& downloadDir, bool* newer) {
  const CUpdateCheck& check = *report.check;
  const bool isNewer = report.line.kind == update::LineKind::kNewer;
  *newer = *newer || isNewer;
  std::string version;
  std::string build;
  check.GetVersionAndBuild(&version, &build);
  // A check that was not possible knows nothing: not "not newer" either.
  nlohmann::json object{{"check", report.name},
                        {"own", ToUtf8(check.OwnVersion())},
                        {"server", ToUtf8(version)},
                        {"build", ToUtf8(build)},
                        {"possible", report.line.possible},
                        {"newer", report.line.possible ? nlohmann::json(isNewer) : nlohmann::json()},
                        {"installer", ToUtf8(check.GetInstaller())},
                        {"text", ToUtf8(report.line.text)}};
  std::string path;
  bool ok = report.line.possible;
  if (isNewer && downloadDir) {
    path = check.DownloadInstaller(*downloadDir);
    if (path.empty()) {
      ok = false;
      context.Out().Error("download failed: " + check.GetInstaller());
    } else {
      object["path"] = ToUtf8(path);
    }
  }
  if (context.Out().Json()) {
    context.Out().Print("", object);
  } else {
    context.Out().Print(report.line.text, {});
    if (!path.empty()) context.Out().Print(path, {});
  }
  return ok;
}

}  // namespace

int CheckForUpdates(Context& context, const UpdateOptions& options) {
  const std::string base =
      options.server ? update::BaseAddress(*options.server) : update::StoredBaseAddress(context.Store());
  // Both checks run at once; each gets the versions file's time from here.
  const auto deadline = std::chrono::steady_clock::now() + update::kVersionsFileLimits.totalTimeout;
  CUpdateCheck software(base + update::kSoftwareFile, update::kSoftwareSection, update::GetOwnVersion(),
                        update::GetOwnBuildDate());
  software.StartCheck();
  std::unique_ptr<CUpdateCheck> device;
  if (options.reader) device = std::make_unique<CUpdateCheck>(base + update::kDeviceFile, "");
  // A stop signal ends the transfers at once; the command then ends itself.
  const StopSignals::OnStop cancel(context.Stop(), [&] {
    software.Cancel();
    if (device) device->Cancel();
  });
  ReaderClient reader;
  if (options.reader) {
    device->StartCheck();
    const ReaderIdentity identity = context.OpenReader(reader);
    if (!reader.IsOpen()) return kNoReader;
    if (!identity.identification.empty()) device->SetDevice(identity.identification, identity.modelName);
  }

  auto waitFor = [&](CUpdateCheck& check) {
    check.WaitForResult(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero())));
  };
  std::vector<CheckReport> reports;
  waitFor(software);
  reports.push_back({"software", &software, update::SoftwareLine(software)});
  if (device) {
    waitFor(*device);
    reports.push_back({"device", device.get(), update::DeviceLine(*device)});
  }
  if (context.Stop().Received() != 0) return context.Stop().ExitStatus();
  bool allPossible = true;
  bool newer = false;
  for (const CheckReport& report : reports)
    allPossible = Report(context, report, options.downloadDir, &newer) && allPossible;
  if (context.Stop().Received() != 0) return context.Stop().ExitStatus();  // a download cut short
  if (!allPossible) return kCheckNotPossible;
  return newer ? kNewerFound : kSuccess;
}

}  // namespace stampwise::cli
