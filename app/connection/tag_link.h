// The tag exchanges of an open reader connection: what the write and read
// cycles and the station ask of the reader library, and how its failures
// read. Outside the connection's own files, the tag writer reaches the
// library only through this class and ReaderClient.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace stampwise {

class TagLink {
 public:
  // `handle`: the connection's handle (ReaderClient::Handle); 0 when none is open.
  explicit TagLink(int handle = 0) : handle_(handle) {}

  bool IsOpen() const { return handle_ > 0; }

  // One inventory into `reply` (tag count, then the single tag's entry);
  // its length, or < 0 on a failure (see LastError).
  int Inventory(std::uint8_t* reply, int capacity) const;
  // Makes `epc` the tag the following reads and writes address.
  bool SelectTag(const std::vector<std::uint8_t>& epc) const;
  // Bytes read into `out` (fewer than `count` when the tag has no more), or < 0.
  int ReadData(int bank, int startWord, std::uint8_t* out, int count) const;
  // Writes `length` bytes; with a `password`, under that access password.
  bool WriteData(int bank, int startWord, const std::uint8_t* data, int length,
                 const std::uint8_t* password = nullptr) const;
  bool Lock(int area, int action, const std::uint8_t* password) const;
  // The window lock: off while a cycle's timer runs exchanges.
  void SetWindowLock(bool on) const;

  // The library's last error on this connection.
  int LastError() const;
  // The last inventory found no tag, or more than one.
  bool LastFoundNoTag() const;
  bool LastFoundSeveralTags() const;
  // True when the last failed data write certainly left the tag as it was:
  // the library refused the frame before it went out, or the reader refused
  // the command (a refusal the library trusts: no other reply on its heels).
  // Every other failure (time-out, a cut, stale or unreadable reply, "no
  // tag" without a matching read-back, any other status, even one whose
  // number equals one of the library's own) may have come after the tag
  // took the data. A link that cannot send shows as a time-out too, and is
  // counted with those.
  bool LastWriteCertainlyMissedTag() const;

  // The selected tag's TID, the longest of 6, 4 or 2 words it gives; empty
  // when none could be read.
  std::vector<std::uint8_t> ReadTid() const;

  // The library's error code for "no tag in the field".
  static int NoTagError();
  // The bytes of a hex text as the library reads them (at most `capacity`);
  // their count.
  static int HexToBytes(const std::string& hex, std::uint8_t* out, int capacity);

 private:
  int handle_;
};

}  // namespace stampwise
