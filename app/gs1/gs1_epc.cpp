#include "app/gs1/gs1_epc.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "common/ascii.h"

namespace stampwise::gs1 {
namespace {

// Bits and digits of the company prefix and of the second field, by partition.
struct Partition {
  int prefixBits;
  int prefixDigits;
  int refBits;
  int refDigits;
};
using PartitionTable = std::array<Partition, 7>;

constexpr PartitionTable kSgtinPartitions{
    {{40, 12, 4, 1}, {37, 11, 7, 2}, {34, 10, 10, 3}, {30, 9, 14, 4}, {27, 8, 17, 5}, {24, 7, 20, 6}, {20, 6, 24, 7}}};
constexpr PartitionTable kSsccPartitions{{{40, 12, 18, 5},
                                          {37, 11, 21, 6},
                                          {34, 10, 24, 7},
                                          {30, 9, 28, 8},
                                          {27, 8, 31, 9},
                                          {24, 7, 34, 10},
                                          {20, 6, 38, 11}}};
constexpr PartitionTable kSglnPartitions{
    {{40, 12, 1, 0}, {37, 11, 4, 1}, {34, 10, 7, 2}, {30, 9, 11, 3}, {27, 8, 14, 4}, {24, 7, 17, 5}, {20, 6, 21, 6}}};
constexpr PartitionTable kGraiPartitions{
    {{40, 12, 4, 0}, {37, 11, 7, 1}, {34, 10, 10, 2}, {30, 9, 14, 3}, {27, 8, 17, 4}, {24, 7, 20, 5}, {20, 6, 24, 6}}};
// GIAI's second field is a number of at most refDigits digits below 2^refBits
// (4398046511103, 13 digits, for a 12-digit company prefix).
constexpr PartitionTable kGiaiPartitions{{{40, 12, 42, 13},
                                          {37, 11, 45, 14},
                                          {34, 10, 48, 15},
                                          {30, 9, 52, 16},
                                          {27, 8, 55, 17},
                                          {24, 7, 58, 18},
                                          {20, 6, 62, 19}}};

struct Layout {
  Scheme scheme;
  const char* name;
  const char* identity;  // the pure-identity URI's scheme
  std::uint8_t header;
  int bits;
  const PartitionTable* partitions;  // null for GID-96
  int parts;                         // components after the filter
};

constexpr Layout kLayouts[] = {
    {Scheme::kSgtin96, "sgtin-96", "sgtin", 0x30, 96, &kSgtinPartitions, 3},
    {Scheme::kSgtin198, "sgtin-198", "sgtin", 0x36, 198, &kSgtinPartitions, 3},
    {Scheme::kSscc96, "sscc-96", "sscc", 0x31, 96, &kSsccPartitions, 2},
    {Scheme::kSgln96, "sgln-96", "sgln", 0x32, 96, &kSglnPartitions, 3},
    {Scheme::kGrai96, "grai-96", "grai", 0x33, 96, &kGraiPartitions, 3},
    {Scheme::kGiai96, "giai-96", "giai", 0x34, 96, &kGiaiPartitions, 2},
    {Scheme::kGid96, "gid-96", "gid", 0x35, 96, nullptr, 3},
};

const Layout& LayoutOf(Scheme scheme) {
  for (const Layout& layout : kLayouts) {
    if (layout.scheme == scheme) return layout;
  }
  return kLayouts[0];
}

// Bits of the numeric last field: SGTIN-96 and GRAI-96 serials, SGLN-96's extension.
constexpr int kSerial38 = 38;
constexpr int kExtension41 = 41;
constexpr int kSscc96Reserved = 24;
constexpr int kGidManagerBits = 28, kGidClassBits = 24, kGidSerialBits = 36;
constexpr int kSgtin198SerialChars = 20;
constexpr int kCharBits = 7;

template <typename T>
Result<T> Fail(int id, const std::string& what) {
  return Result<T>::Failure(Message{id, FormatString(id, {what})});
}

bool AllDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal number without leading zeros ("0" itself is fine) below 2^bits.
bool PlainNumberBelow(const std::string& text, int bits, std::uint64_t& value) {
  if (text.empty() || !AllDigits(text) || (text.size() > 1 && text[0] == '0') || text.size() > 19) return false;
  value = std::stoull(text);
  return bits >= 64 || value < (std::uint64_t{1} << bits);
}

// The GS1 AI encodable character set 82.
bool AllowedCharacter(char c) {
  if (std::isalnum(static_cast<unsigned char>(c))) return true;
  return std::strchr("!\"%&'()*+,-./:;<=>?_", c) != nullptr && c != '\0';
}

// Characters a URI component carries %-escaped.
bool EscapedInUri(char c) { return std::strchr("\"%&/<>?", c) != nullptr && c != '\0'; }

std::string EscapeUri(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    if (EscapedInUri(c)) {
      out += '%';
      out += kDigits[(static_cast<unsigned char>(c) >> 4) & 0xF];
      out += kDigits[static_cast<unsigned char>(c) & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> UnescapeUri(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      if (EscapedInUri(text[i])) return std::nullopt;  // must be written %-escaped
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = ascii::HexDigitValue(text[i + 1]);
    const int low = ascii::HexDigitValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    const char c = static_cast<char>(high * 16 + low);
    if (!EscapedInUri(c)) return std::nullopt;  // only the characters that need it are escaped
    out += c;
    i += 2;
  }
  return out;
}

class BitWriter {
 public:
  void Put(std::uint64_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) bits_.push_back(((value >> i) & 1) != 0);
  }
  // Whole 16-bit words, zero-padded.
  std::vector<std::uint8_t> Bytes() const {
    std::vector<bool> bits = bits_;
    while (bits.size() % 16 != 0) bits.push_back(false);
    std::vector<std::uint8_t> bytes(bits.size() / 8, 0);
    for (std::size_t i = 0; i < bits.size(); ++i) {
      if (bits[i]) bytes[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    }
    return bytes;
  }

 private:
  std::vector<bool> bits_;
};

class BitReader {
 public:
  explicit BitReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  // True when every bit not read yet is zero (padding, reserved bits).
  bool RestIsZero() {
    while (at_ < bytes_.size() * 8) {
      if (Get(1) != 0) return false;
    }
    return true;
  }
  std::uint64_t Get(int bits) {
    std::uint64_t value = 0;
    for (int i = 0; i < bits; ++i, ++at_) {
      const bool bit = at_ / 8 < bytes_.size() && (bytes_[at_ / 8] & (0x80 >> (at_ % 8))) != 0;
      value = (value << 1) | (bit ? 1 : 0);
    }
    return value;
  }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t at_ = 0;
};

std::string ZeroPadded(std::uint64_t value, int digits) {
  if (digits == 0) return {};
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < digits) text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
  return text;
}

std::uint64_t PowerOfTen(int digits) {
  std::uint64_t value = 1;
  for (int i = 0; i < digits; ++i) value *= 10;
  return value;
}

// The partition whose company prefix has `digits` digits.
std::optional<int> PartitionFor(const PartitionTable& table, std::size_t digits) {
  for (int p = 0; p < 7; ++p) {
    if (static_cast<std::size_t>(table[static_cast<std::size_t>(p)].prefixDigits) == digits) return p;
  }
  return std::nullopt;
}

// A field of exactly `digits` digits (leading zeros kept).
bool FixedDigits(const std::string& text, int digits) {
  return static_cast<int>(text.size()) == digits && AllDigits(text);
}

Result<std::vector<std::uint8_t>> EncodeGid(const TagEpc& epc) {
  static constexpr int kBits[] = {kGidManagerBits, kGidClassBits, kGidSerialBits};
  BitWriter out;
  out.Put(LayoutOf(Scheme::kGid96).header, 8);
  for (std::size_t i = 0; i < 3; ++i) {
    std::uint64_t value = 0;
    if (!PlainNumberBelow(epc.parts[i], kBits[i], value)) {
      return Fail<std::vector<std::uint8_t>>(msg::kEpcSerialOutOfRange, epc.parts[i]);
    }
    out.Put(value, kBits[i]);
  }
  return out.Bytes();
}

}  // namespace

std::optional<Scheme> SchemeByName(const std::string& name) {
  for (const Layout& layout : kLayouts) {
    if (ascii::EqualsNoCase(name, layout.name)) return layout.scheme;
  }
  return std::nullopt;
}

std::string SchemeName(Scheme scheme) { return LayoutOf(scheme).name; }
int BitCount(Scheme scheme) { return LayoutOf(scheme).bits; }
bool HasFilter(Scheme scheme) { return scheme != Scheme::kGid96; }

int CheckDigit(const std::string& digits) {
  int sum = 0;
  int weight = 3;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    sum += (*it - '0') * weight;
    weight = 4 - weight;
  }
  return (10 - sum % 10) % 10;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  return text;
}

Result<TagEpc> ParseTagUri(const std::string& uri) {
  static const std::string kPrefix = "urn:epc:tag:";
  if (uri.rfind(kPrefix, 0) != 0) return Fail<TagEpc>(msg::kEpcBadUri, uri);
  const std::size_t colon = uri.find(':', kPrefix.size());
  if (colon == std::string::npos) return Fail<TagEpc>(msg::kEpcBadUri, uri);
  const std::string name = uri.substr(kPrefix.size(), colon - kPrefix.size());
  const std::optional<Scheme> scheme = SchemeByName(name);
  if (!scheme) return Fail<TagEpc>(msg::kEpcUnknownScheme, name);
  const Layout& layout = LayoutOf(*scheme);

  // The last component takes the rest: an SGTIN-198 serial may hold dots.
  const std::size_t wanted = static_cast<std::size_t>(layout.parts) + (HasFilter(*scheme) ? 1 : 0);
  std::vector<std::string> fields;
  std::string rest = uri.substr(colon + 1);
  while (fields.size() + 1 < wanted) {
    const std::size_t dot = rest.find('.');
    if (dot == std::string::npos) return Fail<TagEpc>(msg::kEpcBadUri, uri);
    fields.push_back(rest.substr(0, dot));
    rest.erase(0, dot + 1);
  }
  fields.push_back(rest);

  TagEpc epc;
  epc.scheme = *scheme;
  std::size_t first = 0;
  if (HasFilter(*scheme)) {
    if (fields[0].size() != 1 || fields[0][0] < '0' || fields[0][0] > '7') {
      return Fail<TagEpc>(msg::kEpcBadFilter, fields[0]);
    }
    epc.filter = fields[0][0] - '0';
    first = 1;
  }
  for (std::size_t i = first; i < fields.size(); ++i) {
    const std::optional<std::string> part = UnescapeUri(fields[i]);
    if (!part) return Fail<TagEpc>(msg::kEpcBadCharacters, fields[i]);
    epc.parts.push_back(*part);
  }
  return epc;
}

std::string TagUri(const TagEpc& epc) {
  std::string uri = "urn:epc:tag:" + SchemeName(epc.scheme) + ":";
  if (HasFilter(epc.scheme)) uri += std::to_string(epc.filter) + ".";
  for (std::size_t i = 0; i < epc.parts.size(); ++i) uri += (i ? "." : "") + EscapeUri(epc.parts[i]);
  return uri;
}

std::string PureIdentityUri(const TagEpc& epc) {
  std::string uri = std::string("urn:epc:id:") + LayoutOf(epc.scheme).identity + ":";
  for (std::size_t i = 0; i < epc.parts.size(); ++i) uri += (i ? "." : "") + EscapeUri(epc.parts[i]);
  return uri;
}

Result<std::vector<std::uint8_t>> Encode(const TagEpc& epc) {
  using Bytes = std::vector<std::uint8_t>;
  const Layout& layout = LayoutOf(epc.scheme);
  if (static_cast<int>(epc.parts.size()) != layout.parts) return Fail<Bytes>(msg::kEpcBadUri, TagUri(epc));
  if (epc.scheme == Scheme::kGid96) return EncodeGid(epc);
  if (epc.filter < 0 || epc.filter > 7) return Fail<Bytes>(msg::kEpcBadFilter, std::to_string(epc.filter));

  const std::string& prefix = epc.parts[0];
  const std::optional<int> p = AllDigits(prefix) ? PartitionFor(*layout.partitions, prefix.size()) : std::nullopt;
  if (!p) return Fail<Bytes>(msg::kEpcNoPartition, prefix);
  const Partition& partition = (*layout.partitions)[static_cast<std::size_t>(*p)];

  BitWriter out;
  out.Put(layout.header, 8);
  out.Put(static_cast<std::uint64_t>(epc.filter), 3);
  out.Put(static_cast<std::uint64_t>(*p), 3);
  out.Put(std::stoull(prefix), partition.prefixBits);

  const std::string& second = epc.parts[1];
  if (epc.scheme == Scheme::kGiai96) {
    std::uint64_t value = 0;
    if (static_cast<int>(second.size()) > partition.refDigits || !PlainNumberBelow(second, partition.refBits, value)) {
      return Fail<Bytes>(msg::kEpcSerialOutOfRange, second);
    }
    out.Put(value, partition.refBits);
    return out.Bytes();
  }
  if (!FixedDigits(second, partition.refDigits)) return Fail<Bytes>(msg::kEpcWrongDigits, second);
  out.Put(second.empty() ? 0 : std::stoull(second), partition.refBits);

  switch (epc.scheme) {
    case Scheme::kSscc96: out.Put(0, kSscc96Reserved); break;
    case Scheme::kSgtin198: {
      const std::string& serial = epc.parts[2];
      if (serial.empty() || serial.size() > kSgtin198SerialChars) return Fail<Bytes>(msg::kEpcSerialOutOfRange, serial);
      if (!std::all_of(serial.begin(), serial.end(), AllowedCharacter)) {
        return Fail<Bytes>(msg::kEpcBadCharacters, serial);
      }
      for (std::size_t i = 0; i < kSgtin198SerialChars; ++i) {
        out.Put(i < serial.size() ? static_cast<unsigned char>(serial[i]) : 0, kCharBits);
      }
      break;
    }
    default: {
      const int bits = epc.scheme == Scheme::kSgln96 ? kExtension41 : kSerial38;
      std::uint64_t value = 0;
      if (!PlainNumberBelow(epc.parts[2], bits, value)) return Fail<Bytes>(msg::kEpcSerialOutOfRange, epc.parts[2]);
      out.Put(value, bits);
      break;
    }
  }
  return out.Bytes();
}

Result<Decoded> Decode(const std::string& hexText) {
  // At least the header; an odd digit fills the high half of the last byte.
  if (hexText.size() < 2) return Fail<Decoded>(msg::kEpcBadHex, hexText);
  std::vector<std::uint8_t> bytes((hexText.size() + 1) / 2, 0);
  std::string upper;
  for (std::size_t i = 0; i < hexText.size(); ++i) {
    const int digit = ascii::HexDigitValue(hexText[i]);
    if (digit < 0) return Fail<Decoded>(msg::kEpcBadHex, hexText);
    bytes[i / 2] |= static_cast<std::uint8_t>(i % 2 == 0 ? digit << 4 : digit);
    upper += ascii::ToUpper(hexText[i]);
  }
  const std::size_t bitsGiven = hexText.size() * 4;
  Decoded decoded;
  const Layout* layout = nullptr;
  for (const Layout& candidate : kLayouts) {
    if (candidate.header == bytes[0]) layout = &candidate;
  }
  if (layout == nullptr) {
    decoded.bits = static_cast<int>(bitsGiven);
    decoded.tagUri = "urn:epc:raw:" + std::to_string(decoded.bits) + ".x" + upper;
    return decoded;
  }
  // Programs print an encoding padded to whole bytes, words or more (198
  // bits as 50 or 52 digits): any length from the encoding's size up, as long
  // as the padding is zero.
  if (bitsGiven < static_cast<std::size_t>(layout->bits)) return Fail<Decoded>(msg::kEpcBadHex, hexText);
  BitReader in(bytes);
  in.Get(8);
  TagEpc epc;
  epc.scheme = layout->scheme;
  if (layout->scheme == Scheme::kGid96) {
    epc.parts = {std::to_string(in.Get(kGidManagerBits)), std::to_string(in.Get(kGidClassBits)),
                 std::to_string(in.Get(kGidSerialBits))};
  } else {
    epc.filter = static_cast<int>(in.Get(3));
    const std::uint64_t p = in.Get(3);
    if (p > 6) return Fail<Decoded>(msg::kEpcBadHex, upper);
    const Partition& partition = (*layout->partitions)[p];
    const std::uint64_t prefix = in.Get(partition.prefixBits);
    const std::uint64_t second = in.Get(partition.refBits);
    if (prefix >= PowerOfTen(partition.prefixDigits)) return Fail<Decoded>(msg::kEpcBadHex, upper);
    epc.parts.push_back(ZeroPadded(prefix, partition.prefixDigits));
    if (layout->scheme == Scheme::kGiai96) {
      if (second >= PowerOfTen(partition.refDigits)) return Fail<Decoded>(msg::kEpcBadHex, upper);
      epc.parts.push_back(std::to_string(second));
    } else {
      if (second >= PowerOfTen(partition.refDigits)) return Fail<Decoded>(msg::kEpcBadHex, upper);
      epc.parts.push_back(ZeroPadded(second, partition.refDigits));
    }
    switch (layout->scheme) {
      case Scheme::kSscc96:  // the reserved bits are checked with the padding
      case Scheme::kGiai96: break;
      case Scheme::kSgtin198: {
        std::string serial;
        bool ended = false;
        for (int i = 0; i < kSgtin198SerialChars; ++i) {
          const char c = static_cast<char>(in.Get(kCharBits));
          if (c == '\0') {
            ended = true;
            continue;
          }
          if (ended || !AllowedCharacter(c)) return Fail<Decoded>(msg::kEpcBadHex, upper);
          serial += c;
        }
        if (serial.empty()) return Fail<Decoded>(msg::kEpcBadHex, upper);
        epc.parts.push_back(serial);
        break;
      }
      default:
        epc.parts.push_back(std::to_string(in.Get(layout->scheme == Scheme::kSgln96 ? kExtension41 : kSerial38)));
        break;
    }
  }
  // Reserved bits and the padding to whole words are zero in every encoding.
  if (!in.RestIsZero()) return Fail<Decoded>(msg::kEpcBadHex, upper);
  decoded.bits = layout->bits;
  decoded.tagUri = TagUri(epc);
  decoded.epc = std::move(epc);
  return decoded;
}

Result<TagEpc> FromGtin(Scheme scheme, const std::string& gtin14, const std::string& serial, int companyDigits,
                        int filter) {
  if (scheme != Scheme::kSgtin96 && scheme != Scheme::kSgtin198) {
    return Fail<TagEpc>(msg::kEpcUnknownScheme, SchemeName(scheme));
  }
  if (gtin14.size() != 14 || !AllDigits(gtin14)) return Fail<TagEpc>(msg::kEpcWrongDigits, gtin14);
  if (CheckDigit(gtin14.substr(0, 13)) != gtin14[13] - '0') return Fail<TagEpc>(msg::kEpcBadCheckDigit, gtin14);
  if (companyDigits < 6 || companyDigits > 12) return Fail<TagEpc>(msg::kEpcNoPartition, std::to_string(companyDigits));
  if (filter < 0 || filter > 7) return Fail<TagEpc>(msg::kEpcBadFilter, std::to_string(filter));
  const std::size_t d = static_cast<std::size_t>(companyDigits);
  TagEpc epc;
  epc.scheme = scheme;
  epc.filter = filter;
  epc.parts = {gtin14.substr(1, d), gtin14.substr(0, 1) + gtin14.substr(1 + d, 12 - d), serial};
  const Result<std::vector<std::uint8_t>> check = Encode(epc);
  if (!check) return Result<TagEpc>::Failure(check.message());
  return epc;
}

Result<TagEpc> FromSscc(const std::string& sscc18, int companyDigits, int filter) {
  if (sscc18.size() != 18 || !AllDigits(sscc18)) return Fail<TagEpc>(msg::kEpcWrongDigits, sscc18);
  if (CheckDigit(sscc18.substr(0, 17)) != sscc18[17] - '0') return Fail<TagEpc>(msg::kEpcBadCheckDigit, sscc18);
  if (companyDigits < 6 || companyDigits > 12) return Fail<TagEpc>(msg::kEpcNoPartition, std::to_string(companyDigits));
  if (filter < 0 || filter > 7) return Fail<TagEpc>(msg::kEpcBadFilter, std::to_string(filter));
  const std::size_t d = static_cast<std::size_t>(companyDigits);
  TagEpc epc;
  epc.scheme = Scheme::kSscc96;
  epc.filter = filter;
  epc.parts = {sscc18.substr(1, d), sscc18.substr(0, 1) + sscc18.substr(1 + d, 16 - d)};
  return epc;
}

namespace {

// "0099" -> "0100": the same number of digits; nothing past all nines.
std::optional<std::string> IncrementedDigits(std::string digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return digits;
    }
    *it = '0';
  }
  return std::nullopt;
}

}  // namespace

Result<TagEpc> NextSerial(const TagEpc& epc) {
  const std::string last = epc.parts.empty() ? std::string() : epc.parts.back();
  const auto outOfRange = [&] { return Fail<TagEpc>(msg::kEpcSerialOutOfRange, last); };
  TagEpc next = epc;
  std::uint64_t value = 0;
  switch (epc.scheme) {
    case Scheme::kSgtin96:
    case Scheme::kGrai96:
    case Scheme::kSgln96:
    case Scheme::kGid96:
    case Scheme::kGiai96:
      // Plain numbers; the encoding below knows each field's bits.
      if (!PlainNumberBelow(last, 64, value) || value == UINT64_MAX) return outOfRange();
      next.parts.back() = std::to_string(value + 1);
      break;
    case Scheme::kSscc96: {
      // The extension digit and serial reference fill a fixed number of digits.
      if (!AllDigits(last)) return outOfRange();
      const std::optional<std::string> incremented = IncrementedDigits(last);
      if (!incremented) return outOfRange();
      next.parts.back() = *incremented;
      break;
    }
    case Scheme::kSgtin198: {
      // An alphanumeric serial counts only when it is all digits; it keeps its
      // width and grows by a digit past all nines.
      if (!AllDigits(last)) return outOfRange();
      const std::optional<std::string> incremented = IncrementedDigits(last);
      next.parts.back() = incremented ? *incremented : "1" + std::string(last.size(), '0');
      break;
    }
  }
  if (!Encode(next)) return outOfRange();
  return next;
}

}  // namespace stampwise::gs1
