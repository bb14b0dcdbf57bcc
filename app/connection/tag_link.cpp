#include "app/connection/tag_link.h"

#include "reader/rdr.h"

namespace stampwise {

namespace {

// The reader's "bad length" status: it refused the command, so it never
// reached the tag.
constexpr int kReaderBadLength = 6;
constexpr int kTidBank = 2;
// Words 0 to 5: class, maker and model, then the chip's serial where it has one.
constexpr int kTidWords[] = {6, 4, 2};

}  // namespace

int TagLink::Inventory(std::uint8_t* reply, int capacity) const { return RdrInventory(handle_, 1, reply, capacity); }

bool TagLink::SelectTag(const std::vector<std::uint8_t>& epc) const {
  return RdrSelectTag(handle_, epc.data(), static_cast<int>(epc.size())) >= 0;
}

int TagLink::ReadData(int bank, int startWord, std::uint8_t* out, int count) const {
  return RdrReadData(handle_, bank, startWord, out, count);
}

bool TagLink::WriteData(int bank, int startWord, const std::uint8_t* data, int length,
                        const std::uint8_t* password) const {
  const int result = password != nullptr ? RdrWriteDataPw(handle_, bank, startWord, password, data, length)
                                         : RdrWriteData(handle_, bank, startWord, data, length);
  return result >= 0;
}

bool TagLink::Lock(int area, int action, const std::uint8_t* password) const {
  return RdrLock(handle_, area, action, password) >= 0;
}

void TagLink::SetWindowLock(bool on) const { RdrSetNoWindowLock(handle_, on ? 0 : 1); }

int TagLink::LastError() const { return RdrGetLastError(handle_); }

bool TagLink::LastFoundNoTag() const { return LastError() == RDR_ERR_NO_TAG; }

bool TagLink::LastFoundSeveralTags() const { return LastError() == RDR_ERR_COLLISION; }

bool TagLink::LastWriteCertainlyMissedTag() const {
  const int origin = RdrGetLastErrorOrigin(handle_);
  if (origin == RDR_ORIGIN_NOT_SENT) return true;
  const int error = LastError();
  return origin == RDR_ORIGIN_READER && (error == kReaderBadLength || error == RDR_ERR_UNKNOWN_COMMAND);
}

std::vector<std::uint8_t> TagLink::ReadTid() const {
  for (const int words : kTidWords) {
    std::vector<std::uint8_t> tid(static_cast<std::size_t>(words) * 2);
    if (ReadData(kTidBank, 0, tid.data(), static_cast<int>(tid.size())) == static_cast<int>(tid.size())) return tid;
  }
  return {};
}

int TagLink::NoTagError() { return RDR_ERR_NO_TAG; }

int TagLink::HexToBytes(const std::string& hex, std::uint8_t* out, int capacity) {
  return RdrHexToBytes(hex.c_str(), out, capacity);
}

}  // namespace stampwise
