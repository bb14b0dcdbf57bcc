// The reader command set: payload layouts, the checks made before sending and
// what is derived from the replies. Each command is one exchange on a
// connection; failures leave the reason in the connection's last error.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "protocol/command_codes.h"
#include "reader/qlmkv_port.h"

namespace qlmkv {

using Password = std::array<std::uint8_t, 4>;

// Model name for a version reply: "---" for fewer than 3 bytes, otherwise the
// name of the type code in the first three characters, empty when unknown.
std::string ModelNameFromVersion(const Bytes& versionData);

class ReaderCommands {
 public:
  explicit ReaderCommands(CQL_MKV_Port& port) : port_(port) {}

  bool GetVersion(Bytes& data);
  bool SetMode(int mode);
  bool Inventory(std::uint8_t parameter, Bytes& data);
  bool SelectTag(const Bytes& epc);
  bool ReadData(int bank, int startAddress, int count, Bytes& data);
  // Both writes read the range back when the reader reports status 21, since
  // that status may come although the data did land (see WriteWithVerify).
  bool WriteData(int bank, int startAddress, const Bytes& data);
  bool WriteDataPw(int bank, int startAddress, const Password& password, const Bytes& data);
  bool Lock(const Password& password, std::uint8_t action, std::uint8_t area);
  bool GetTxPower(int& power);
  bool SetTxPower(int power, std::uint8_t thirdByte);
  bool SwitchUsbMode(std::uint8_t mode);
  bool Command(std::uint8_t code, const Bytes& payload, Bytes& data);

 private:
  bool StartAddressValid(int startAddress);
  bool WriteWithVerify(std::uint8_t code, const Bytes& payload, int bank, int startAddress, const Bytes& data);

  CQL_MKV_Port& port_;
};

}  // namespace qlmkv
