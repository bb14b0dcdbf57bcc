#include "gui/port_rules.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/values_validation.h"
#include "common/ascii.h"

namespace stampwise::portdlg {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";  // "\\.\"

bool Contains(std::string_view text, std::string_view part, std::size_t from) {
  return text.size() > from && text.find(part, from) != std::string_view::npos;
}

// Serial names count as "COM" names: "COMn" or a device path.
bool IsSerialName(std::string_view name) { return StartsWith(name, "COM") || StartsWith(name, "/dev/"); }

}  // namespace

bool MergeList(std::vector<std::string>& stored, const std::vector<std::string>& fresh) {
  std::size_t same = 0;
  while (same < stored.size() && same < fresh.size() && stored[same] == fresh[same]) ++same;
  if (same == stored.size() && same == fresh.size()) return false;
  stored.resize(same);
  stored.insert(stored.end(), fresh.begin() + static_cast<std::ptrdiff_t>(same), fresh.end());
  return true;
}

std::vector<std::string> DeviceEntries(const std::vector<std::string>& serial, const std::vector<std::string>& usb,
                                       const std::vector<std::string>& lan) {
  std::vector<std::string> entries;
  for (const std::string& name : serial) {
    entries.push_back(StartsWith(name, kDevicePrefix) ? name.substr(kDevicePrefix.size()) : name);
  }
  for (const std::string& name : usb) entries.push_back(std::string(kUsbPrefix) + name);
  for (const std::string& name : lan) entries.push_back(std::string(kLanPrefix) + name);
  return entries;
}

int FindEntry(const std::vector<std::string>& entries, std::string_view name) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (ascii::StartsWithNoCase(entries[i], name)) return static_cast<int>(i);
  }
  return -1;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool UsesLineControls(std::string_view name) { return !StartsWith(name, kUsbPrefix) && !StartsWith(name, kLanPrefix); }

LineControls LineControlsForCode(int baudCode) {
  LineControls controls;
  int lineFormat = baudCode % 100;
  const int baudRate = baudCode - lineFormat;
  if (lineFormat < 0 || lineFormat > 3) lineFormat = 0;
  controls.parityIndex = (lineFormat == 1 || lineFormat == 2) ? lineFormat : 0;
  controls.stopBitsIndex = lineFormat == 3 ? 1 : 0;
  const auto it = std::find(kBaudRates.begin(), kBaudRates.end(), baudRate);
  controls.baudIndex = it == kBaudRates.end() ? -1 : static_cast<int>(it - kBaudRates.begin());
  return controls;
}

std::optional<int> CodeForLineControls(const LineControls& controls) {
  if (controls.baudIndex < 0 || controls.baudIndex >= static_cast<int>(kBaudRates.size())) return std::nullopt;
  int code = kBaudRates[static_cast<std::size_t>(controls.baudIndex)];
  if (controls.parityIndex == 1 || controls.parityIndex == 2) {
    code += controls.parityIndex;
  } else if (controls.stopBitsIndex == 1) {
    code += 3;
  }
  return code;
}

Result<int> CheckTimeout(std::string_view text) {
  // An unsigned field: blanks around digits only, no sign.
  const std::size_t first = text.find_first_not_of(' ');
  const std::size_t last = text.find_last_not_of(' ');
  const std::string_view digits = first == std::string_view::npos ? "" : text.substr(first, last - first + 1);
  const bool allDigits = !digits.empty() && digits.size() <= 10 &&
                         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!allDigits)
    return Result<int>::Failure({msg::kEnterPositiveInteger, LoadString(msg::kEnterPositiveInteger), 1002});
  const long long value = std::stoll(std::string(digits));
  if (value < kMinTimeoutMs || value > kMaxTimeoutMs) {
    return Result<int>::Failure(RangeError(1002, kMinTimeoutMs, kMaxTimeoutMs));
  }
  return static_cast<int>(value);
}

Result<int> CheckAddress(std::string_view text) {
  const std::optional<int> value = ParseIntegerField(text);
  if (!value) return Result<int>::Failure(NotAnIntegerError(1003));
  if (*value < kMinAddress || *value > kMaxAddress)
    return Result<int>::Failure(RangeError(1003, kMinAddress, kMaxAddress));
  return *value;
}

UsbMode ModeOf(std::string_view name, bool virtualComDriverInstalled) {
  if (StartsWith(name, kUsbPrefix) && Contains(name, " HID", 1) && virtualComDriverInstalled &&
      (Contains(name, "1700-", 1) || Contains(name, "1705-", 1))) {
    return UsbMode::Hid;
  }
  if (IsSerialName(name) && name.size() >= 4 && Contains(name, " [Vex Virtual COM", 4)) return UsbMode::VirtualCom;
  return UsbMode::None;
}

std::string DriverPromptText(int missingMask) {
  if (missingMask == 0) return {};
  std::string text;
  if ((missingMask & 2) != 0) text += LoadString(msg::kNoVcomDriver) + "\n";
  text += LoadString(msg::kInstallDriver) + "\n";
  return text;
}

std::string IpSearchEntry(const std::string& text) {
  const std::size_t bracket = text.find(']', 1);
  return bracket == std::string::npos ? text : text.substr(0, bracket + 1);
}

}  // namespace stampwise::portdlg
