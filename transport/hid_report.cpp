#include "transport/hid_report.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>

namespace qlmkv::hid {

namespace {

constexpr std::uint8_t kControlMarker[] = {0x82, 0x10};

// No HID driver hands over reports longer than this; a descriptor that adds
// up to more is not believed.
constexpr std::size_t kMaxReportLength = 16385;
// Field sizes and counts beyond this cannot describe a real report; clamping
// keeps the sums far from overflow.
constexpr std::uint64_t kFieldLimit = 1u << 20;
constexpr std::size_t kMaxPushDepth = 16;

struct GlobalState {
  std::uint64_t reportSize = 0;
  std::uint64_t reportCount = 0;
  std::uint8_t reportId = 0;
};

// Bits per report id, for one kind of report.
using BitsPerId = std::array<std::uint64_t, 256>;

std::optional<std::size_t> LargestReport(const BitsPerId& bits) {
  const std::uint64_t largest = *std::max_element(bits.begin(), bits.end());
  if (largest == 0) return std::nullopt;
  const std::uint64_t length = (largest + 7) / 8 + 1;
  if (length > kMaxReportLength) return std::nullopt;
  return static_cast<std::size_t>(length);
}

}  // namespace

bool UsableOutputLength(std::size_t outputLength) {
  return outputLength >= kMinOutputReportLength && outputLength <= kMaxOutputReportLength;
}

std::vector<Report> BuildOutputReports(const std::uint8_t* data, std::size_t size, std::size_t outputLength) {
  std::vector<Report> reports;
  if (!UsableOutputLength(outputLength)) return reports;
  const std::size_t chunk = outputLength - 2;
  for (std::size_t at = 0; at < size; at += chunk) {
    const std::size_t n = std::min(chunk, size - at);
    Report report(outputLength, 0);
    report[1] = static_cast<std::uint8_t>(n);
    std::copy_n(data + at, n, report.begin() + 2);
    reports.push_back(std::move(report));
  }
  return reports;
}

Report ControlReport(std::uint8_t value, std::size_t outputLength) {
  Report report(std::max(outputLength, std::size_t{4}), 0);
  report[1] = kControlMarker[0];
  report[2] = kControlMarker[1];
  report[3] = value;
  return report;
}

std::vector<std::uint8_t> UnpackInputReport(const std::uint8_t* report, std::size_t transferred,
                                            const InputLayout& layout) {
  // The driver keeps the id byte only for numbered reports.
  const std::size_t offset = layout.numberedReports ? 1 : 0;
  const std::size_t announced = layout.reportLength > 0 ? layout.reportLength - 1 + offset : 0;
  if (report == nullptr || transferred < announced || transferred < offset + 1) return {};
  const std::size_t count = report[offset];
  const std::size_t n = std::min(transferred - offset - 1, count);
  return {report + offset + 1, report + offset + 1 + n};
}

ReportLengths ParseReportDescriptor(const std::uint8_t* descriptor, std::size_t size) {
  ReportLengths lengths;
  if (descriptor == nullptr || size == 0 || size > kMaxDescriptorSize) return lengths;

  BitsPerId inputBits{};
  BitsPerId outputBits{};
  GlobalState state;
  std::vector<GlobalState> stack;
  bool numbered = false;

  std::size_t at = 0;
  while (at < size) {
    const std::uint8_t prefix = descriptor[at];
    if (prefix == 0xFE) {  // long item: size byte, tag byte, data
      if (at + 2 >= size) return {};
      at += 3 + descriptor[at + 1];
      continue;
    }
    static constexpr std::size_t kDataSizes[] = {0, 1, 2, 4};
    const std::size_t dataSize = kDataSizes[prefix & 0x3];
    if (at + 1 + dataSize > size) return {};  // a truncated item: not a descriptor
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < dataSize; ++i) value |= std::uint64_t{descriptor[at + 1 + i]} << (8 * i);
    at += 1 + dataSize;

    const int type = (prefix >> 2) & 0x3;
    const int tag = prefix >> 4;
    if (type == 0) {  // main item
      const std::uint64_t bits = state.reportSize * state.reportCount;
      if (tag == 0x8) inputBits[state.reportId] += bits;
      if (tag == 0x9) outputBits[state.reportId] += bits;
    } else if (type == 1) {  // global item
      switch (tag) {
        case 0x7: state.reportSize = std::min(value, kFieldLimit); break;
        case 0x8:
          state.reportId = static_cast<std::uint8_t>(value);
          numbered = numbered || state.reportId != 0;
          break;
        case 0x9: state.reportCount = std::min(value, kFieldLimit); break;
        case 0xA:
          if (stack.size() >= kMaxPushDepth) return {};
          stack.push_back(state);
          break;
        case 0xB:
          if (stack.empty()) return {};
          state = stack.back();
          stack.pop_back();
          break;
        default: break;
      }
    }
  }
  lengths.input = LargestReport(inputBits);
  lengths.output = LargestReport(outputBits);
  lengths.numberedReports = numbered;
  return lengths;
}

std::vector<std::uint8_t> ReadSysfsReportDescriptor(const std::string& devicePath, const std::string& sysfsRoot) {
  const std::string node = devicePath.substr(devicePath.rfind('/') + 1);
  // Only a plain hidraw node name may become part of the sysfs path.
  if (node.size() <= 6 || node.rfind("hidraw", 0) != 0 ||
      !std::all_of(node.begin() + 6, node.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return {};
  }
  std::ifstream file(sysfsRoot + "/class/hidraw/" + node + "/device/report_descriptor", std::ios::binary);
  if (!file) return {};
  std::vector<std::uint8_t> descriptor(kMaxDescriptorSize + 1);
  file.read(reinterpret_cast<char*>(descriptor.data()), static_cast<std::streamsize>(descriptor.size()));
  descriptor.resize(static_cast<std::size_t>(file.gcount()));
  return descriptor;
}

}  // namespace qlmkv::hid
