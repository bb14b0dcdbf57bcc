#include "sim/lan_module.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "sim/write_journal.h"

namespace mkvsim {

namespace {

constexpr std::size_t kHeader = 4;
constexpr std::size_t kDeviceRecordSize = 126;
constexpr std::size_t kDeviceTypeAt = 93;
constexpr std::size_t kNameAt = 112;
constexpr std::size_t kInformationSize = 30;
constexpr char kAssignmentTag[] = "IP-SETUP";

Bytes Reply(std::uint8_t type, const Bytes& data) {
  Bytes reply(kHeader + data.size(), 0);
  reply[3] = type;
  std::copy(data.begin(), data.end(), reply.begin() + kHeader);
  return reply;
}

}  // namespace

std::string DottedText(const Ipv4& a) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
  return text;
}

std::optional<Ipv4> ParseDotted(const std::string& text) {
  unsigned parts[4];
  char tail;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4)
    return std::nullopt;
  Ipv4 address{};
  for (int i = 0; i < 4; ++i) {
    if (parts[i] > 255) return std::nullopt;
    address[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(parts[i]);
  }
  return address;
}

LanModule::LanModule(const LanModuleOptions& options)
    : records_(16, Bytes(kRecordSize, 0)), information_(kInformationSize, 0), moduleId_(options.moduleId) {
  Bytes& setup = records_[0];
  if (options.fixedAddress) std::copy(options.fixedAddress->begin(), options.fixedAddress->end(), setup.begin());
  setup[6] = static_cast<std::uint8_t>(options.hostBits);
  std::copy(options.gateway.begin(), options.gateway.end(), setup.begin() + 12);
  setup[17] = static_cast<std::uint8_t>(options.modeByte);
  SetPort(options.port);
  std::memcpy(setup.data() + kNameAt, options.name.data(), std::min<std::size_t>(options.name.size(), 8));

  Bytes& device = records_[2];
  device.assign(kDeviceRecordSize, 0);
  std::memcpy(device.data() + kDeviceTypeAt, options.deviceType.data(),
              std::min(options.deviceType.size(), kDeviceRecordSize - kDeviceTypeAt - 1));

  information_[24] = static_cast<std::uint8_t>(moduleId_ >> 8);
  information_[25] = static_cast<std::uint8_t>(moduleId_ & 0xFF);
}

std::uint16_t LanModule::Port() const { return static_cast<std::uint16_t>(records_[0][20] | (records_[0][21] << 8)); }

void LanModule::SetPort(std::uint16_t port) {
  records_[0][20] = static_cast<std::uint8_t>(port & 0xFF);
  records_[0][21] = static_cast<std::uint8_t>(port >> 8);
}

std::optional<Ipv4> LanModule::RecordAddress() const {
  Ipv4 address{};
  std::copy_n(records_[0].begin(), 4, address.begin());
  if (address == Ipv4{}) return std::nullopt;
  return address;
}

LanModule::Outcome LanModule::Handle(const std::uint8_t* data, std::size_t size) {
  Outcome outcome;
  if (silent_ || data == nullptr || size < kHeader || size > kMaxDatagram) return outcome;
  const std::uint8_t kind = data[1];
  const std::uint8_t type = data[3];
  const Bytes payload(data + kHeader, data + size);
  if (kind == 0x01 && type == 0xF8) {
    outcome.reply = Reply(0xF9, records_[0]);
  } else if (kind == 0x01 && type > 0xE0 && type <= 0xEF) {
    if (muted_[static_cast<std::size_t>(type - 0xE0)]) return outcome;
    outcome.reply = Reply(static_cast<std::uint8_t>(0xD0 + (type - 0xE0)), records_[type - 0xE0]);
  } else if (kind == 0x01 && type == 0xF6) {
    outcome.reply = Reply(0xF7, information_);
  } else if ((kind == 0x00 && type == 0xFD) || (kind == 0x01 && type > 0xC0 && type <= 0xCF)) {
    const std::size_t record = type == 0xFD ? 0 : type - 0xC0;
    // A record shorter than the module's is refused: no reply.
    if (payload.size() < records_[record].size()) return outcome;
    std::copy_n(payload.begin(), records_[record].size(), records_[record].begin());
    ++writes_;
    outcome.reply = Reply(static_cast<std::uint8_t>(record == 0 ? 0xFB : 0xB0 + record), {});
  } else if (kind == 0x00 && type == 0xFC && payload.size() == 16 &&
             std::memcmp(payload.data(), kAssignmentTag, 8) == 0) {
    const std::uint16_t id = static_cast<std::uint16_t>((payload[10] << 8) | payload[11]);
    if (id != moduleId_) return outcome;
    ++assignments_;
    outcome.assignment = Ipv4{payload[12], payload[13], payload[14], payload[15]};
  } else if (kind == 0x00 && type == 0x03 && payload == Bytes{0x58, 0x33}) {
    ++restarts_;
    outcome.restart = true;
  }
  return outcome;
}

std::string LanModule::Control(const std::string& arguments) {
  std::istringstream in(arguments);
  std::string verb;
  std::string value;
  in >> verb >> value;
  if (verb == "silent" && (value == "on" || value == "off")) {
    silent_ = value == "on";
    return "OK";
  }
  if (verb == "mute") {
    std::string state;
    in >> state;
    const int record = std::atoi(value.c_str());
    if (record < 1 || record > 15 || (state != "on" && state != "off")) return "ERR usage: lan mute 1..15 on|off";
    muted_[static_cast<std::size_t>(record)] = state == "on";
    return "OK";
  }
  if (verb == "record") {
    int record = 0;
    if (!value.empty()) record = std::atoi(value.c_str());
    if (record < 0 || record > 15) return "ERR usage: lan record [0..15]";
    return "OK " + ToHex(records_[static_cast<std::size_t>(record)]);
  }
  if (verb == "counts") {
    return "OK writes=" + std::to_string(writes_) + " assignments=" + std::to_string(assignments_) +
           " restarts=" + std::to_string(restarts_);
  }
  return "ERR usage: lan silent on|off | lan mute N on|off | lan record [N] | lan counts | lan close | lan clients";
}

}  // namespace mkvsim
