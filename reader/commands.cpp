#include "reader/commands.h"

#include "common/ascii.h"
#include "reader/rdr.h"

namespace qlmkv {

namespace {

struct Model {
  int code;
  const char* name;
};

// Searched from the top; the low hex digit 1 marks a reader-only device.
constexpr Model kModels[] = {
    {0x301, "QL-MK38"}, {0x302, "QL-MKV38"}, {0x303, "QL-MKV38 Plus"},
    {0x311, "QL-MK39"}, {0x312, "QL-MKV39"}, {0x313, "QL-MKV39 Plus"},
    {0x321, "MK380"},   {0x322, "MKV380"},   {0x323, "MKV380 Plus"},
};

void AppendStartAddress(Bytes& payload, int startAddress) {
  payload.push_back(static_cast<std::uint8_t>(startAddress & 0xFF));
  payload.push_back(static_cast<std::uint8_t>((startAddress >> 8) & 0xFF));
  payload.push_back(static_cast<std::uint8_t>((startAddress >> 16) & 0xFF));
}

Bytes BankAndAddress(int bank, int startAddress) {
  Bytes payload{static_cast<std::uint8_t>(bank & 0xFF)};
  AppendStartAddress(payload, startAddress);
  return payload;
}

}  // namespace

std::string ModelNameFromVersion(const Bytes& versionData) {
  if (versionData.size() < 3) return "---";
  int code = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const int digit = ascii::HexDigitValue(static_cast<char>(versionData[i]));
    if (digit < 0) return "";
    code = code * 16 + digit;
  }
  for (const Model& model : kModels) {
    if (model.code == code) return model.name;
  }
  return "";
}

bool ReaderCommands::GetVersion(Bytes& data) { return port_.Transceive(command::kVersion, {}, data); }

bool ReaderCommands::SetMode(int mode) {
  if ((mode & 0x7F) > 3) {
    port_.SetLastError(RDR_ERR_MODE);
    return false;
  }
  Bytes unused;
  return port_.Transceive(command::kSetMode, {static_cast<std::uint8_t>(mode & 0xFF)}, unused);
}

bool ReaderCommands::Inventory(std::uint8_t parameter, Bytes& data) {
  return port_.Transceive(command::kInventory, {parameter}, data);
}

bool ReaderCommands::SelectTag(const Bytes& epc) {
  Bytes unused;
  return port_.Transceive(command::kSelectTag, epc, unused);
}

bool ReaderCommands::StartAddressValid(int startAddress) {
  if (startAddress < 0 || startAddress > 0xFFFF) {
    port_.SetLastError(RDR_ERR_ADDRESS);
    return false;
  }
  return true;
}

bool ReaderCommands::ReadData(int bank, int startAddress, int count, Bytes& data) {
  if (!StartAddressValid(startAddress)) return false;
  // The count travels in one byte; a larger request would silently ask for
  // the count modulo 256.
  if (count < 0 || count > 0xFF) {
    port_.SetLastError(RDR_ERR_CAPACITY);
    return false;
  }
  Bytes payload = BankAndAddress(bank, startAddress);
  payload.push_back(static_cast<std::uint8_t>(count));
  return port_.Transceive(command::kRead, payload, data);
}

bool ReaderCommands::WriteData(int bank, int startAddress, const Bytes& data) {
  if (!StartAddressValid(startAddress)) return false;
  Bytes payload = BankAndAddress(bank, startAddress);
  payload.insert(payload.end(), data.begin(), data.end());
  return WriteWithVerify(command::kWrite, payload, bank, startAddress, data);
}

bool ReaderCommands::WriteDataPw(int bank, int startAddress, const Password& password, const Bytes& data) {
  if (!StartAddressValid(startAddress)) return false;
  Bytes payload = BankAndAddress(bank, startAddress);
  payload.insert(payload.end(), password.begin(), password.end());
  payload.insert(payload.end(), data.begin(), data.end());
  return WriteWithVerify(command::kWritePw, payload, bank, startAddress, data);
}

// Status 21 after a write does not prove the data is missing: the range is
// read back, and identical contents count as a successful write.
bool ReaderCommands::WriteWithVerify(std::uint8_t code, const Bytes& payload, int bank, int startAddress,
                                     const Bytes& data) {
  Bytes unused;
  if (port_.Transceive(code, payload, unused)) return true;
  if (port_.LastError() != RDR_ERR_NO_TAG) return false;

  Bytes readBack;
  const bool readOk = ReadData(bank, startAddress, static_cast<int>(data.size()), readBack);
  if (readOk && readBack == data) {
    port_.SetLastError(RDR_ERR_NONE, ErrorOrigin::kNone);
    return true;
  }
  // A read-back that did not fit the line keeps its own code: the write's
  // outcome is unknown either way.
  if (!readOk && port_.LastError() == RDR_ERR_REPLY_MISFIT) return false;
  port_.SetLastError(RDR_ERR_NO_TAG, ErrorOrigin::kReader);
  return false;
}

bool ReaderCommands::Lock(const Password& password, std::uint8_t action, std::uint8_t area) {
  Bytes payload(password.begin(), password.end());
  payload.push_back(action);
  payload.push_back(area);
  Bytes unused;
  return port_.Transceive(command::kLock, payload, unused);
}

bool ReaderCommands::GetTxPower(int& power) {
  Bytes data;
  if (!port_.Transceive(command::kGetTxPower, {}, data)) return false;
  if (data.size() < 2) {
    port_.SetLastError(RDR_ERR_POWER_REPLY, ErrorOrigin::kExchange);
    return false;
  }
  power = data[0] | (data[1] << 8);
  return true;
}

bool ReaderCommands::SetTxPower(int power, std::uint8_t thirdByte) {
  const Bytes payload{static_cast<std::uint8_t>(power & 0xFF), static_cast<std::uint8_t>((power >> 8) & 0xFF),
                      thirdByte};
  Bytes unused;
  return port_.Transceive(command::kSetTxPower, payload, unused);
}

bool ReaderCommands::SwitchUsbMode(std::uint8_t mode) {
  Bytes unused;
  return port_.Transceive(command::kSwitchUsbMode, {mode}, unused);
}

bool ReaderCommands::Command(std::uint8_t code, const Bytes& payload, Bytes& data) {
  return port_.Transceive(code, payload, data);
}

}  // namespace qlmkv
