// What mkv-sim recorded with --record: one line per write that reached a tag.
// Plain C++, so that the Windows tests read it as well.
#pragma once

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace stampwise::testing {

struct RecordedWrite {
  unsigned tagId = 0;
  int bank = 0;
  int word = 0;
  std::string data;  // upper-case hex
  bool operator==(const RecordedWrite&) const = default;
};

inline std::vector<RecordedWrite> ReadRecord(const std::string& path) {
  std::vector<RecordedWrite> writes;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    RecordedWrite w;
    char data[512] = {};
    if (std::sscanf(line.c_str(), "tag=%u bank=%d word=%d data=%511s", &w.tagId, &w.bank, &w.word, data) == 4) {
      w.data = data;
      writes.push_back(w);
    }
  }
  return writes;
}

}  // namespace stampwise::testing
