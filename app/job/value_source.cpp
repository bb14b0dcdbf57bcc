#include "app/job/value_source.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <map>

#include "app/job/value_list.h"
#include "app/store/settings_keys.h"
#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "app/values/formats.h"
#include "app/values/increment.h"
#include "app/values/values.h"
#include "app/values/values_validation.h"
#include "common/ascii.h"

namespace stampwise {
namespace {

template <typename T>
Result<T> Refuse(int id, std::initializer_list<FormatArg> args) {
  return Result<T>::Failure(Message{id, FormatString(id, args), 0});
}

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), ascii::ToUpper);
  return text;
}

// A number written in digits, without its leading zeros.
std::string Significant(const std::string& digits) {
  const std::size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? std::string() : digits.substr(first);
}

// True when the digit string `a` is the larger number (same radix, upper case).
bool NumberAhead(const std::string& a, const std::string& b) {
  const std::string x = UpperCase(Significant(a));
  const std::string y = UpperCase(Significant(b));
  return x.size() != y.size() ? x.size() > y.size() : x > y;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool Advances(const ParameterSet& params) {
  return (params.autoIncrementDec || params.autoIncrementHex) && !IsDataFormat(params.format);
}

// The write value as the tag gets it: zeros stripped in the decimal binary
// format, the binary formats in upper case.
std::string Normalised(const ParameterSet& params) {
  std::string value = params.value;
  if (params.format == DataFormat::DecimalBinary) value = StripLeadingZeros(value);
  if (IsBinaryFormat(params.format)) value = UpperCase(value);
  return value;
}

std::string HexFingerprint(std::uint64_t fingerprint) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, fingerprint);
  return text;
}

// The largest value a counter of `params` can hold before it runs out.
std::optional<std::string> LastCounterValue(const ParameterSet& params) {
  if (!Advances(params) || params.lengthBytes < 1) return std::nullopt;
  const SplitValue split = SplitForIncrement(params);
  const auto length = static_cast<std::size_t>(params.lengthBytes);
  const char top = params.autoIncrementHex && IsHexFormat(params.format) ? 'F' : '9';
  switch (params.format) {
    case DataFormat::HexBinary: return std::string(2 * length, top);
    case DataFormat::HexAscii:
    case DataFormat::DecimalAscii: {
      const std::size_t text = split.prefix.size() + split.suffix.size();
      if (text >= length) return std::nullopt;
      return split.prefix + std::string(length - text, params.format == DataFormat::HexAscii ? top : '9') +
             split.suffix;
    }
    case DataFormat::DecimalBinary: {
      if (length >= 8) return std::string("9223372036854775807");
      return std::to_string((std::uint64_t{1} << (8 * length)) - 1);
    }
    default: return std::nullopt;
  }
}

// ---- counter -------------------------------------------------------------

class CounterSource final : public ValueSource {
 public:
  CounterSource(const ParameterSet& params, bool explicitValue) : params_(params), explicit_(explicitValue) {}

  std::string Next() const override { return params_.value; }
  std::string Pool() const override { return CounterPool(params_); }
  std::string PoolShown() const override {
    return FormatString(msg::kPoolOfCounter, {NamesOf(params_.bank).stored, params_.startWord});
  }

  Status CheckAll() const override {
    if (const std::optional<Message> exhausted = Exhausted()) return Status::Failure(*exhausted);
    if (Result<Bytes> first = WriteValueBytes(params_, params_.value); !first) return Status::Failure(first.message());
    if (const std::optional<std::string> last = LastCounterValue(params_)) {
      if (Result<Bytes> bytes = WriteValueBytes(params_, *last); !bytes) {
        return Status::Failure(
            Message{msg::kCounterLastValue, FormatString(msg::kCounterLastValue, {*last, bytes.message().text}), 0});
      }
    }
    return Done{};
  }

  void Follow(const std::optional<std::string>& position) override {
    if (!explicit_ && position && Advances(params_) && CounterAhead(params_, *position, params_.value)) {
      params_.value = *position;
    }
  }

  Result<ledger::Plan> PlanFrom(const std::optional<std::string>& position) override {
    ParameterSet candidate = params_;
    if (!explicit_ && position && Advances(params_) && CounterAhead(params_, *position, params_.value)) {
      candidate.value = *position;
    }
    if (Advances(candidate) && CounterExhausted(candidate)) {
      return Refuse<ledger::Plan>(msg::kCounterExhausted, {candidate.lengthBytes});
    }
    Result<Bytes> bytes = WriteValueBytes(candidate, candidate.value);
    if (!bytes) return Result<ledger::Plan>::Failure(bytes.message());
    ledger::Plan plan;
    plan.bytes = std::move(bytes).value();
    candidate.value = Normalised(candidate);
    plan.value = candidate.value;
    plan.next = Advances(candidate) ? IncrementValue(candidate) : candidate.value;
    plan.advances = !position || !CounterAhead(candidate, *position, plan.next);
    return plan;
  }

  void Claimed(const ledger::Plan& plan) override {
    params_.value = plan.next;
    explicit_ = false;
  }
  void GivenBack(const ledger::Plan& plan) override {
    storedAhead_ = params_.value;
    params_.value = plan.value;
  }

  std::optional<Message> Exhausted() const override {
    if (!Advances(params_) || !CounterExhausted(params_)) return std::nullopt;
    return Message{msg::kCounterExhausted, FormatString(msg::kCounterExhausted, {params_.lengthBytes}), 0};
  }

  KeyUpdate StoreBack() const override {
    return [params = params_](Settings& settings) {
      return settings.FollowKey(keys::kLastData, params.value, [&params](const std::string& stored) {
        return CounterAhead(params, stored, params.value);
      });
    };
  }
  bool StoreGivenBack(Settings& settings) const override {
    return settings.PutBackKey(keys::kLastData, storedAhead_, params_.value);
  }

 private:
  ParameterSet params_;
  bool explicit_;
  std::string storedAhead_;
};

// ---- GS1 -----------------------------------------------------------------

std::optional<gs1::TagEpc> EpcOf(const std::string& uri) {
  Result<gs1::TagEpc> epc = gs1::ParseTagUri(uri);
  if (!epc || epc.value().parts.empty()) return std::nullopt;
  return std::move(epc).value();
}

// What the serials of `uri` number: its scheme, `separator`, then every
// component but the serial.
std::optional<std::string> Gs1ItemOf(const std::string& uri, const char* separator) {
  const std::optional<gs1::TagEpc> epc = EpcOf(uri);
  if (!epc) return std::nullopt;
  std::string item = gs1::SchemeName(epc->scheme);
  for (std::size_t i = 0; i + 1 < epc->parts.size(); ++i) item += (i == 0 ? separator : ".") + epc->parts[i];
  return item;
}

// The serial of `uri` (the component that counts), when it is a number.
std::optional<std::string> SerialOf(const std::string& uri) {
  const std::optional<gs1::TagEpc> epc = EpcOf(uri);
  if (!epc || !AllDigits(epc->parts.back())) return std::nullopt;
  return epc->parts.back();
}

std::string WithSerial(const std::string& uri, const std::string& serial) {
  std::optional<gs1::TagEpc> epc = EpcOf(uri);
  if (!epc) return uri;
  std::string& own = epc->parts.back();
  // Fixed digits (sscc-96, an sgtin-198 serial) keep their width.
  if (serial.size() < own.size()) {
    own = std::string(own.size() - serial.size(), '0') + serial;
  } else {
    own = serial;
  }
  return gs1::TagUri(*epc);
}

class Gs1Source final : public ValueSource {
 public:
  Gs1Source(const Gs1Job& job, bool explicitValue) : job_(job), explicit_(explicitValue) {}

  std::string Next() const override { return job_.nextUri; }
  std::string Pool() const override { return job_.increment ? Gs1Pool(job_.nextUri) : std::string(); }
  std::string PoolShown() const override {
    const std::optional<std::string> item = Gs1ItemOf(job_.nextUri, " ");
    return FormatString(msg::kPoolOfGs1, {item.value_or(job_.nextUri)});
  }

  Status CheckAll() const override {
    const Result<Gs1Step> first = PlanGs1Write(job_.nextUri, job_.increment);
    if (!first) return Status::Failure(first.message());
    return Done{};
  }

  void Follow(const std::optional<std::string>& position) override {
    if (!explicit_ && job_.increment) job_.nextUri = Forward(job_.nextUri, position);
  }

  Result<ledger::Plan> PlanFrom(const std::optional<std::string>& position) override {
    const std::string uri = explicit_ || !job_.increment ? job_.nextUri : Forward(job_.nextUri, position);
    Result<Gs1Step> step = PlanGs1Write(uri, job_.increment);
    if (!step) return Result<ledger::Plan>::Failure(step.message());
    ledger::Plan plan;
    plan.value = step.value().uri;
    plan.bytes = step.value().bytes;
    plannedNext_ = step.value().next;
    // The pool counts serials; a job that does not count keeps its URI.
    plan.next = job_.increment ? SerialOf(plannedNext_).value_or(plannedNext_) : plannedNext_;
    plan.advances = !job_.increment || !position || !NumberAhead(*position, plan.next);
    return plan;
  }

  void Claimed(const ledger::Plan&) override {
    job_.nextUri = plannedNext_;
    explicit_ = false;
  }
  void GivenBack(const ledger::Plan& plan) override {
    storedAhead_ = job_.nextUri;
    job_.nextUri = plan.value;
  }

  std::optional<Message> Exhausted() const override {
    if (!Gs1SerialExhausted(job_.nextUri)) return std::nullopt;
    return Message{msg::kGs1SerialExhausted, FormatString(msg::kGs1SerialExhausted, {job_.nextUri}), 0};
  }

  KeyUpdate StoreBack() const override {
    return [uri = job_.nextUri](Settings& settings) {
      const std::string pool = Gs1Pool(uri);
      return settings.FollowKey(keys::kGs1NextUri, uri, [&uri, &pool](const std::string& stored) {
        // Another item's URI belongs to another job: it is replaced.
        const std::optional<std::string> theirs = SerialOf(stored);
        const std::optional<std::string> ours = SerialOf(uri);
        return Gs1Pool(stored) == pool && theirs && ours && NumberAhead(*theirs, *ours);
      });
    };
  }
  bool StoreGivenBack(Settings& settings) const override {
    return settings.PutBackKey(keys::kGs1NextUri, storedAhead_, job_.nextUri);
  }

 private:
  // `uri`, or its serial moved forward to the pool's position.
  static std::string Forward(const std::string& uri, const std::optional<std::string>& position) {
    const std::optional<std::string> serial = SerialOf(uri);
    if (!position || !serial || !AllDigits(*position) || !NumberAhead(*position, *serial)) return uri;
    return WithSerial(uri, *position);
  }

  Gs1Job job_;
  bool explicit_;
  std::string plannedNext_;
  std::string storedAhead_;
};

// ---- value list ------------------------------------------------------------

// A list's position: the next line and the fingerprint of the lines before it.
struct ListPlace {
  int next = 1;
  std::string fingerprint;
};

std::optional<ListPlace> ParseListPlace(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const std::size_t colon = text->find(':');
  if (colon == std::string::npos) return std::nullopt;
  ListPlace position;
  try {
    position.next = std::stoi(text->substr(0, colon));
  } catch (const std::exception&) {
    return std::nullopt;
  }
  position.fingerprint = text->substr(colon + 1);
  return position;
}

class ListSource final : public ValueSource {
 public:
  ListSource(const ParameterSet& params, std::string path, int column, std::vector<std::string> values, bool restart)
      : params_(params),
        path_(std::move(path)),
        column_(column),
        values_(std::move(values)),
        prefixes_(PrefixFingerprints(values_)),
        restart_(restart) {}

  std::string Next() const override { return next_ <= Size() ? values_[static_cast<std::size_t>(next_) - 1] : ""; }
  std::string Pool() const override { return ListPool(values_); }
  std::string PoolShown() const override { return FormatString(msg::kPoolOfList, {path_}); }

  Status CheckAll() const override {
    std::map<Bytes, int> lineOf;
    for (int line = 1; line <= Size(); ++line) {
      const std::string& value = values_[static_cast<std::size_t>(line) - 1];
      Result<Bytes> bytes = WriteValueBytes(params_, value);
      if (!bytes) {
        return Status::Failure(Message{msg::kValueListBadLine,
                                       FormatString(msg::kValueListBadLine, {path_, line, bytes.message().text}), 0});
      }
      const auto [at, fresh] = lineOf.emplace(bytes.value(), line);
      if (!fresh) {
        return Status::Failure(
            Message{msg::kValueListDuplicate, FormatString(msg::kValueListDuplicate, {path_, line, at->second}), 0});
      }
    }
    return Done{};
  }

  void Follow(const std::optional<std::string>& position) override {
    if (restart_) return;
    if (const std::optional<ListPlace> at = ParseListPlace(position)) next_ = at->next;
  }

  Result<ledger::Plan> PlanFrom(const std::optional<std::string>& position) override {
    int line = 1;
    if (!restart_) {
      if (const std::optional<ListPlace> at = ParseListPlace(position)) {
        line = std::max(1, at->next);
        // The lines given out before must be these lines: another list's
        // position (or this one changed) is not ours to continue.
        if (line - 1 > Size() || at->fingerprint != FingerprintOf(line - 1)) {
          return Refuse<ledger::Plan>(msg::kValueListChanged, {path_});
        }
      }
    }
    if (line > Size()) {
      next_ = line;
      return Refuse<ledger::Plan>(msg::kValueListEnd, {path_});
    }
    const std::string& value = values_[static_cast<std::size_t>(line) - 1];
    Result<Bytes> bytes = WriteValueBytes(params_, value);
    if (!bytes) return Result<ledger::Plan>::Failure(bytes.message());
    ledger::Plan plan;
    plan.value = value;
    plan.bytes = std::move(bytes).value();
    plan.next = std::to_string(line + 1) + ":" + FingerprintOf(line);
    plannedLine_ = line;
    return plan;
  }

  void Claimed(const ledger::Plan&) override {
    next_ = plannedLine_ + 1;
    restart_ = false;
  }
  void GivenBack(const ledger::Plan&) override { next_ = plannedLine_; }
  bool StoreGivenBack(Settings& settings) const override {
    return settings.WriteBatch([&](CIniEx& ini) {
      if (StoredText(ini, keys::kValueListFile) != path_ ||
          ini.GetInt(keys::kValueListNext.section, keys::kValueListNext.name, 1) != next_ + 1) {
        return;
      }
      WriteKey(ini, keys::kValueListNext, next_);
      WriteKey(ini, keys::kValueListFingerprint, FingerprintOf(next_ - 1));
    });
  }

  std::optional<std::pair<int, int>> ListPosition() const override { return std::make_pair(next_, Size()); }

  std::optional<Message> Exhausted() const override {
    if (next_ <= Size()) return std::nullopt;
    return Message{msg::kValueListEnd, FormatString(msg::kValueListEnd, {path_}), 0};
  }

  KeyUpdate StoreBack() const override {
    return [path = path_, column = column_, next = next_, fingerprint = FingerprintOf(next_ - 1)](Settings& settings) {
      return settings.WriteBatch([&](CIniEx& ini) {
        const bool same = StoredText(ini, keys::kValueListFile) == path &&
                          ini.GetInt(keys::kValueListColumn.section, keys::kValueListColumn.name, 1) == column;
        if (same && ini.GetInt(keys::kValueListNext.section, keys::kValueListNext.name, 1) > next) return;
        WriteKey(ini, keys::kValueListFile, path);
        WriteKey(ini, keys::kValueListColumn, column);
        WriteKey(ini, keys::kValueListNext, next);
        WriteKey(ini, keys::kValueListFingerprint, fingerprint);
        WriteKey(ini, keys::kValueListOpen, 0);
      });
    };
  }

 private:
  int Size() const { return static_cast<int>(values_.size()); }
  // Stands for the first `count` lines (all of them past the end).
  std::string FingerprintOf(int count) const {
    const auto at = static_cast<std::size_t>(std::clamp(count, 0, Size()));
    return HexFingerprint(prefixes_[at]);
  }

  ParameterSet params_;
  std::string path_;
  int column_;
  std::vector<std::string> values_;
  std::vector<std::uint64_t> prefixes_;
  bool restart_;
  int next_ = 1;
  int plannedLine_ = 1;
};

}  // namespace

Result<Bytes> WriteValueBytes(const ParameterSet& params, const std::string& value) {
  ParameterSet candidate = params;
  candidate.value = value;
  const ControlTexts texts{std::to_string(candidate.startWord), std::to_string(candidate.lengthBytes), value, ""};
  const Result<ValidControls> valid = ValidateControls(texts, candidate, false);
  if (!valid) return Result<Bytes>::Failure(valid.message());
  return TextToBytes(valid.value().params.value, valid.value().params);
}

bool CounterAhead(const ParameterSet& params, const std::string& a, const std::string& b) {
  ParameterSet first = params;
  first.value = a;
  ParameterSet second = params;
  second.value = b;
  if (params.format == DataFormat::DecimalBinary || params.format == DataFormat::HexBinary) {
    return NumberAhead(a, b);
  }
  const SplitValue x = SplitForIncrement(first);
  const SplitValue y = SplitForIncrement(second);
  if (x.prefix != y.prefix || x.suffix != y.suffix) return false;
  return NumberAhead(x.number, y.number);
}

std::string CounterPool(const ParameterSet& params) {
  if (!Advances(params)) return {};
  return "counter:" + std::to_string(static_cast<int>(params.bank)) + ":" + std::to_string(params.startWord) + ":" +
         std::to_string(static_cast<int>(params.format)) + ":" + std::to_string(params.lengthBytes) + ":" +
         (params.autoIncrementHex ? "hex" : "dec") + ":" + (params.msbFirst ? "msb" : "lsb");
}

std::string Gs1Pool(const std::string& tagUri) {
  const std::optional<std::string> item = Gs1ItemOf(tagUri, ":");
  return item ? "gs1:" + *item : std::string();
}

std::string ListPool(const std::vector<std::string>& values) {
  return values.empty() ? std::string() : "list:" + HexFingerprint(ValuesFingerprint(values, 1));
}

std::unique_ptr<ValueSource> MakeCounterSource(const ParameterSet& params, bool explicitValue) {
  return std::make_unique<CounterSource>(params, explicitValue);
}

std::unique_ptr<ValueSource> MakeGs1Source(const Gs1Job& job, bool explicitValue) {
  return std::make_unique<Gs1Source>(job, explicitValue);
}

std::unique_ptr<ValueSource> MakeListSource(const ParameterSet& params, std::string path, int column,
                                            std::vector<std::string> values, bool restart) {
  return std::make_unique<ListSource>(params, std::move(path), column, std::move(values), restart);
}

}  // namespace stampwise
