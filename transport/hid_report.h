// The byte layout of the reader's HID reports. Both directions carry a count
// byte and that many payload bytes, zero-padded to the report length; output
// reports start with report id 0. Report lengths count the id byte, as the
// device's capabilities state them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qlmkv::hid {

using Report = std::vector<std::uint8_t>;

// Used when a device's report lengths cannot be read.
constexpr std::size_t kDefaultReportLength = 9;
// Reports are built in a 65-byte buffer: report id and 64 bytes.
constexpr std::size_t kMaxOutputReportLength = 65;
// The kernel's limit for report descriptors.
constexpr std::size_t kMaxDescriptorSize = 4096;
// The smallest output report that holds the control report (00 82 10 value).
constexpr std::size_t kMinOutputReportLength = 4;

// True when frames can be sent in reports of this length.
bool UsableOutputLength(std::size_t outputLength);

// Splits a frame into output reports: 00, count, up to outputLength - 2 bytes,
// zero padding. Empty when the length is not usable.
std::vector<Report> BuildOutputReports(const std::uint8_t* data, std::size_t size, std::size_t outputLength);

// The control report 00 82 10 value, zero-padded to the output report length.
Report ControlReport(std::uint8_t value, std::size_t outputLength);

// The payload of one input report as the system's HID driver hands it over.
// Without numbered reports the id byte is not part of it: the count is byte 0
// and the payload follows. A report shorter than the device announced is
// dropped; a count larger than what arrived yields only what arrived.
struct InputLayout {
  std::size_t reportLength = kDefaultReportLength;  // with the id byte
  bool numberedReports = false;                     // then byte 0 is the id
};
std::vector<std::uint8_t> UnpackInputReport(const std::uint8_t* report, std::size_t transferred,
                                            const InputLayout& layout);

// Report lengths read from a report descriptor, each with its id byte (the
// largest report of its kind). Missing when the descriptor has no report of
// that kind or cannot be parsed.
struct ReportLengths {
  std::optional<std::size_t> input;
  std::optional<std::size_t> output;
  bool numberedReports = false;
};
ReportLengths ParseReportDescriptor(const std::uint8_t* descriptor, std::size_t size);

// The report descriptor of a hidraw device node ("/dev/hidraw3") from sysfs
// under `sysfsRoot`; empty when it cannot be read.
std::vector<std::uint8_t> ReadSysfsReportDescriptor(const std::string& devicePath,
                                                    const std::string& sysfsRoot = "/sys");

}  // namespace qlmkv::hid
