#include "sim/lan_module.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "sim/write_journal.h"

namespace mkvsim {

namespace {

using namespace qlmkv::lan_service;

constexpr std::size_t kHeader = kHeaderSize;
constexpr std::size_t kDeviceRecordSize = kDeviceRecordMin;
constexpr std::size_t kInformationSize = 30;

Bytes Reply(std::uint8_t type, const Bytes& data) {
  Bytes reply(kHeader + data.size(), 0);
  reply[kTypeAt] = type;
  std::copy(data.begin(), data.end(), reply.begin() + kHeader);
  return reply;
}

}  // namespace

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
    : records_(kRecordCount, Bytes(kRecordSize, 0)), information_(kInformationSize, 0), moduleId_(options.moduleId) {
  Bytes& setup = records_[0];
  if (options.fixedAddress) std::copy(options.fixedAddress->begin(), options.fixedAddress->end(), setup.begin());
  setup[kHostBitsAt] = static_cast<std::uint8_t>(options.hostBits);
  std::copy(options.gateway.begin(), options.gateway.end(), setup.begin() + kGatewayAt);
  setup[kModeAt] = static_cast<std::uint8_t>(options.modeByte);
  SetPort(options.port);
  std::memcpy(setup.data() + kNameAt, options.name.data(), std::min(options.name.size(), kNameSize));

  Bytes& device = records_[2];
  device.assign(kDeviceRecordSize, 0);
  std::memcpy(device.data() + kDeviceTypeAt, options.deviceType.data(),
              std::min(options.deviceType.size(), kDeviceRecordSize - kDeviceTypeAt - 1));

  information_[kModuleIdAt] = static_cast<std::uint8_t>(moduleId_ >> 8);
  information_[kModuleIdAt + 1] = static_cast<std::uint8_t>(moduleId_ & 0xFF);
}

std::uint16_t LanModule::Port() const {
  return static_cast<std::uint16_t>(records_[0][kPortAt] | (records_[0][kPortAt + 1] << 8));
}

void LanModule::SetPort(std::uint16_t port) {
  records_[0][kPortAt] = static_cast<std::uint8_t>(port & 0xFF);
  records_[0][kPortAt + 1] = static_cast<std::uint8_t>(port >> 8);
}

std::optional<Ipv4> LanModule::RecordAddress() const {
  Ipv4 address{};
  std::copy_n(records_[0].begin() + kAddressAt, 4, address.begin());
  if (address == Ipv4{}) return std::nullopt;
  return address;
}

LanModule::Outcome LanModule::Handle(const std::uint8_t* data, std::size_t size) {
  Outcome outcome;
  if (silent_ || data == nullptr || size < kHeader || size > kMaxDatagram) return outcome;
  const std::uint8_t kind = data[kKindAt];
  const std::uint8_t type = data[kTypeAt];
  const Bytes payload(data + kHeader, data + size);
  const int read = kind == kQuery ? NumberedRecord(type, kNumberedReadBase) : 0;
  const int written = kind == kQuery ? NumberedRecord(type, kNumberedWriteBase) : 0;
  if (kind == kQuery && type == ReadType(0)) {
    outcome.reply = Reply(ReadReplyType(0), records_[0]);
  } else if (read > 0) {
    if (muted_[static_cast<std::size_t>(read)]) return outcome;
    outcome.reply = Reply(ReadReplyType(read), records_[static_cast<std::size_t>(read)]);
  } else if (kind == kQuery && type == kIdentifyType) {
    outcome.reply = Reply(kInformationReplyType, information_);
  } else if ((kind == WriteKind(0) && type == WriteType(0)) || written > 0) {
    const std::size_t record = static_cast<std::size_t>(written);
    // A record shorter than the module's is refused: no reply.
    if (payload.size() < records_[record].size()) return outcome;
    std::copy_n(payload.begin(), records_[record].size(), records_[record].begin());
    ++writes_;
    outcome.reply = Reply(WriteReplyType(static_cast<int>(record)), {});
  } else if (kind == kCommand && type == kAssignType && payload.size() == kAssignmentSize &&
             std::memcmp(payload.data(), kAssignmentTag, 8) == 0) {
    const std::uint16_t id = static_cast<std::uint16_t>((payload[kAssignedIdAt] << 8) | payload[kAssignedIdAt + 1]);
    if (id != moduleId_) return outcome;
    ++assignments_;
    const std::uint8_t* at = payload.data() + kAssignedAddressAt;
    outcome.assignment = Ipv4{at[0], at[1], at[2], at[3]};
  } else if (kind == kCommand && type == kRestartType && payload == Bytes(kRestartData.begin(), kRestartData.end())) {
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
