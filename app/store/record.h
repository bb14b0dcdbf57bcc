// Data record files (*.MKVDat): one write job, put aside and taken up again
// later, as INI text with the keys of the settings in section "Settings".
#pragma once

#include <string>

#include "app/base/params.h"
#include "app/base/result.h"
#include "app/store/ini.h"

namespace stampwise {

inline constexpr const char* kRecordExtension = "MKVDat";
inline constexpr const char* kRecordFilter = "Data Files (*.MKVDat)|*.MKVDat| All Files (*.*)|*.*||";

struct DataRecord {
  ParameterSet params;
  WriteOptions options;
};

// A record from a store in memory, with the loading defaults: what is missing
// or not a number reads as 0 (length 4), texts as empty, an unknown
// "MemoryType" as "User".
DataRecord RecordFrom(const CIniEx& ini);
// Writes every key of a record, in the file's order.
void RecordTo(CIniEx& ini, const DataRecord& record);

// The record of a file; fails when the file cannot be opened (missing, locked
// by another program) or holds no record keys.
Result<DataRecord> LoadRecord(const std::string& path);
// Writes the record into the file (other contents of it stay); on failure the
// old file is untouched.
Status SaveRecord(const std::string& path, const DataRecord& record);

}  // namespace stampwise
