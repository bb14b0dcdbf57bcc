#include "app/gs1/gs1_job.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "app/texts/messages.h"
#include "app/texts/strings.h"

namespace stampwise {
namespace {

using gs1::Scheme;
using gs1::TagEpc;

template <typename T>
Result<T> Fail(int id, const std::string& what, Gs1Field field = Gs1Field::kScheme) {
  return Result<T>::Failure(Message{id, FormatString(id, {what}), static_cast<int>(field)});
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A plain decimal number (no leading zeros, "0" itself is fine) that fits 64 bits.
std::optional<std::uint64_t> PlainNumber(const std::string& text) {
  if (!AllDigits(text) || (text.size() > 1 && text[0] == '0') || text.size() > 19) return std::nullopt;
  return std::stoull(text);
}

std::string WithCheckDigit(const std::string& digits) { return digits + std::to_string(gs1::CheckDigit(digits)); }

// The input a failure of the encoder concerns.
Gs1Field FieldOf(int messageId) {
  switch (messageId) {
    case msg::kEpcUnknownScheme: return Gs1Field::kScheme;
    case msg::kEpcBadFilter: return Gs1Field::kFilter;
    case msg::kEpcNoPartition: return Gs1Field::kCompanyDigits;
    case msg::kEpcSerialOutOfRange:
    case msg::kEpcBadCharacters: return Gs1Field::kSerial;
    default: return Gs1Field::kIdentifier;
  }
}

Result<TagEpc> WithField(const Result<TagEpc>& result) {
  if (result) return result;
  Message message = result.message();
  message.controlId = static_cast<int>(FieldOf(message.id));
  return Result<TagEpc>::Failure(message);
}

std::string FieldName(Gs1Field field) {
  switch (field) {
    case Gs1Field::kScheme: return LoadString(msg::kGs1NameScheme);
    case Gs1Field::kFilter: return LoadString(msg::kGs1NameFilter);
    case Gs1Field::kCompanyDigits: return LoadString(msg::kGs1NameCompanyDigits);
    case Gs1Field::kIdentifier: return LoadString(msg::kGs1NameIdentifier);
    case Gs1Field::kSerial: return LoadString(msg::kGs1NameSerial);
  }
  return {};
}

Result<TagEpc> Empty(Gs1Field field) { return Fail<TagEpc>(msg::kGs1FieldEmpty, FieldName(field), field); }

// The parts of the schemes without a GS1 key function in the encoder.
Result<TagEpc> OtherScheme(Scheme scheme, const Gs1Inputs& in, int filter, std::size_t digits) {
  TagEpc epc;
  epc.scheme = scheme;
  epc.filter = filter;
  const std::string& id = in.identifier;
  switch (scheme) {
    case Scheme::kSgln96:  // GLN-13: company prefix, location reference, check digit
      if (id.size() != 13 || !AllDigits(id)) return Fail<TagEpc>(msg::kEpcWrongDigits, id, Gs1Field::kIdentifier);
      if (WithCheckDigit(id.substr(0, 12)) != id) {
        return Fail<TagEpc>(msg::kEpcBadCheckDigit, id, Gs1Field::kIdentifier);
      }
      epc.parts = {id.substr(0, digits), id.substr(digits, 12 - digits), in.serial};
      break;
    case Scheme::kGrai96:  // "0", company prefix, asset type, check digit
      if (id.size() != 14 || !AllDigits(id) || id[0] != '0') {
        return Fail<TagEpc>(msg::kEpcWrongDigits, id, Gs1Field::kIdentifier);
      }
      if (WithCheckDigit(id.substr(0, 13)) != id) {
        return Fail<TagEpc>(msg::kEpcBadCheckDigit, id, Gs1Field::kIdentifier);
      }
      epc.parts = {id.substr(1, digits), id.substr(1 + digits, 12 - digits), in.serial};
      break;
    case Scheme::kGiai96:  // company prefix, then the individual asset reference
      if (!AllDigits(id) || id.size() <= digits) {
        return Fail<TagEpc>(msg::kEpcWrongDigits, id, Gs1Field::kIdentifier);
      }
      epc.parts = {id.substr(0, digits), id.substr(digits)};
      break;
    default: return Fail<TagEpc>(msg::kEpcUnknownScheme, gs1::SchemeName(scheme));
  }
  return epc;
}

}  // namespace

bool Gs1SchemeHasSerial(Scheme scheme) { return scheme != Scheme::kSscc96 && scheme != Scheme::kGiai96; }

namespace {

// Every scheme counts its last component; sgtin-198's alphanumeric serial
// only when it is all digits.
bool Counts(const TagEpc& epc) { return epc.scheme != Scheme::kSgtin198 || AllDigits(epc.parts.back()); }

}  // namespace

bool Gs1SerialExhausted(const std::string& uri) {
  // The end mark is the serial one past the last that encodes.
  const Result<TagEpc> epc = gs1::ParseTagUri(uri);
  if (!epc || epc.value().parts.empty() || gs1::Encode(epc.value())) return false;
  const std::optional<std::uint64_t> serial = PlainNumber(epc.value().parts.back());
  if (!serial || *serial == 0) return false;
  TagEpc last = epc.value();
  last.parts.back() = std::to_string(*serial - 1);
  return gs1::Encode(last) && !gs1::NextSerial(last);
}

Result<Gs1Step> PlanGs1Write(const std::string& uri, bool increment) {
  if (Gs1SerialExhausted(uri)) return Fail<Gs1Step>(msg::kGs1SerialExhausted, uri, Gs1Field::kSerial);
  const Result<TagEpc> epc = gs1::ParseTagUri(uri);
  if (!epc) return Result<Gs1Step>::Failure(epc.message());
  Result<Bytes> bytes = gs1::Encode(epc.value());
  if (!bytes) return Result<Gs1Step>::Failure(bytes.message());
  Gs1Step step;
  step.bytes = std::move(bytes).value();
  step.uri = gs1::TagUri(epc.value());
  step.next = step.uri;
  if (!increment) return step;
  if (!Counts(epc.value())) return Fail<Gs1Step>(msg::kGs1CannotCount, gs1::SchemeName(epc.value().scheme));
  const Result<TagEpc> next = gs1::NextSerial(epc.value());
  if (next) {
    step.next = gs1::TagUri(next.value());
  } else {
    // The last serial of the range: the one after it marks the end.
    TagEpc past = epc.value();
    std::string& serial = past.parts.back();
    const std::optional<std::uint64_t> number = PlainNumber(serial);
    serial = number ? std::to_string(*number + 1) : "1" + std::string(serial.size(), '0');
    step.next = gs1::TagUri(past);
  }
  return step;
}

Result<TagEpc> EpcFromInputs(const Gs1Inputs& in) {
  const std::optional<Scheme> scheme = gs1::SchemeByName(in.scheme);
  if (!scheme) return Fail<TagEpc>(msg::kEpcUnknownScheme, in.scheme, Gs1Field::kScheme);
  if (*scheme == Scheme::kGid96) {
    if (in.identifier.empty()) return Empty(Gs1Field::kIdentifier);
    if (in.serial.empty()) return Empty(Gs1Field::kSerial);
    const std::size_t dot = in.identifier.find('.');
    if (dot == std::string::npos || in.identifier.find('.', dot + 1) != std::string::npos) {
      return Fail<TagEpc>(msg::kEpcWrongDigits, in.identifier, Gs1Field::kIdentifier);
    }
    TagEpc epc;
    epc.scheme = *scheme;
    epc.parts = {in.identifier.substr(0, dot), in.identifier.substr(dot + 1), in.serial};
    const Result<Bytes> encoded = gs1::Encode(epc);
    if (!encoded) {
      // Which of the three numbers is out of range: the serial, or else the identifier.
      const bool serialWrong = !PlainNumber(in.serial) || *PlainNumber(in.serial) >= (std::uint64_t{1} << 36);
      return Fail<TagEpc>(encoded.message().id, serialWrong ? in.serial : in.identifier,
                          serialWrong ? Gs1Field::kSerial : Gs1Field::kIdentifier);
    }
    return epc;
  }

  if (in.filter.empty()) return Empty(Gs1Field::kFilter);
  if (in.filter.size() != 1 || in.filter[0] < '0' || in.filter[0] > '7') {
    return Fail<TagEpc>(msg::kEpcBadFilter, in.filter, Gs1Field::kFilter);
  }
  const int filter = in.filter[0] - '0';
  if (in.companyDigits.empty()) return Empty(Gs1Field::kCompanyDigits);
  const std::optional<std::uint64_t> digits = PlainNumber(in.companyDigits);
  if (!digits || *digits < 6 || *digits > 12) {
    return Fail<TagEpc>(msg::kEpcNoPartition, in.companyDigits, Gs1Field::kCompanyDigits);
  }
  if (in.identifier.empty()) return Empty(Gs1Field::kIdentifier);
  if (Gs1SchemeHasSerial(*scheme) && in.serial.empty()) return Empty(Gs1Field::kSerial);
  const int companyDigits = static_cast<int>(*digits);

  Result<TagEpc> epc = Fail<TagEpc>(msg::kEpcUnknownScheme, in.scheme);
  switch (*scheme) {
    case Scheme::kSgtin96:
    case Scheme::kSgtin198: return WithField(gs1::FromGtin(*scheme, in.identifier, in.serial, companyDigits, filter));
    case Scheme::kSscc96: epc = WithField(gs1::FromSscc(in.identifier, companyDigits, filter)); break;
    default: epc = OtherScheme(*scheme, in, filter, static_cast<std::size_t>(companyDigits)); break;
  }
  if (!epc) return epc;
  const Result<Bytes> encoded = gs1::Encode(epc.value());
  if (!encoded) {
    Message message = encoded.message();
    message.controlId = static_cast<int>(FieldOf(message.id));
    return Result<TagEpc>::Failure(message);
  }
  return epc;
}

Gs1Inputs InputsFromEpc(const TagEpc& epc) {
  Gs1Inputs in;
  in.scheme = gs1::SchemeName(epc.scheme);
  const std::vector<std::string>& p = epc.parts;
  if (epc.scheme == Scheme::kGid96) {
    if (p.size() == 3) {
      in.identifier = p[0] + "." + p[1];
      in.serial = p[2];
    }
    return in;
  }
  in.filter = std::to_string(epc.filter);
  if (p.size() < 2) return in;
  in.companyDigits = std::to_string(p[0].size());
  const std::string& second = p[1];
  switch (epc.scheme) {
    case Scheme::kSgtin96:
    case Scheme::kSgtin198:
    case Scheme::kSscc96:
      // The indicator (extension) digit leads the key, then the company prefix.
      if (!second.empty()) in.identifier = WithCheckDigit(second.substr(0, 1) + p[0] + second.substr(1));
      break;
    case Scheme::kSgln96: in.identifier = WithCheckDigit(p[0] + second); break;
    case Scheme::kGrai96: in.identifier = WithCheckDigit("0" + p[0] + second); break;
    case Scheme::kGiai96: in.identifier = p[0] + second; break;
    case Scheme::kGid96: break;
  }
  if (Gs1SchemeHasSerial(epc.scheme) && p.size() >= 3) in.serial = p[2];
  return in;
}

std::string TagUriOfEpc(const Bytes& epc) {
  if (epc.empty()) return {};
  const Result<gs1::Decoded> decoded = gs1::Decode(gs1::Hex(epc));
  if (decoded) return decoded.value().tagUri;
  return "urn:epc:raw:" + std::to_string(epc.size() * 8) + ".x" + gs1::Hex(epc);
}

}  // namespace stampwise
