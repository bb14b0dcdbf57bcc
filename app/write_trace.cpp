#include "app/write_trace.h"

#include <filesystem>

#include "app/gs1_epc.h"
#include "app/messages.h"
#include "app/strings.h"
#include "reader/rdr.h"

namespace stampwise {

namespace {

constexpr int kTidBank = 2;
// Words 0 to 5: class, maker and model, then the chip's serial where it has one.
constexpr int kTidWords[] = {6, 4, 2};

}  // namespace

const char* JournalBankName(Bank bank) {
  switch (bank) {
    case Bank::Reserved: return "res";
    case Bank::Epc: return "epc";
    case Bank::Tid: return "tid";
    case Bank::User: return "user";
  }
  return "user";
}

std::string ReadTagTid(int handle) {
  for (const int words : kTidWords) {
    std::vector<std::uint8_t> tid(static_cast<std::size_t>(words) * 2);
    if (RdrReadData(handle, kTidBank, 0, tid.data(), static_cast<int>(tid.size())) == static_cast<int>(tid.size())) {
      return gs1::Hex(tid);
    }
  }
  return {};
}

std::optional<Message> WriteTrace::Prepare(const TraceConfig& config) {
  if (isPrepared_ && config == prepared_) return std::nullopt;
  isPrepared_ = false;
  journal_.reset();
  list_.reset();
  station_ = config.station.empty() ? DefaultStationName() : config.station;
  if (!config.journalPath.empty()) {
    std::string error;
    journal_ = ProductionJournal::Open(config.journalPath, &error);
    if (!journal_) return Message{msg::kJournalFailed, FormatString(msg::kJournalFailed, {error})};
  }
  if (!config.valueListPath.empty()) {
    // One list, one position, from whichever folder the job starts.
    const std::string path = std::filesystem::absolute(config.valueListPath).lexically_normal().string();
    Result<std::vector<std::string>> values = LoadValueList(path, config.valueListColumn);
    if (!values) return values.message();
    if (settings_ == nullptr) {
      return Message{msg::kValueListUnreadable, FormatString(msg::kValueListUnreadable, {"no settings store"})};
    }
    list_ = std::make_unique<ValueListCursor>(*settings_, path, config.valueListColumn, std::move(values).value());
  }
  prepared_ = config;
  isPrepared_ = true;
  return std::nullopt;
}

}  // namespace stampwise
