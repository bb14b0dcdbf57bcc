// GS1 EPC binary encodings of the EPC Tag Data Standard: SGTIN-96/198,
// SSCC-96, SGLN-96, GRAI-96, GIAI-96 and GID-96, to and from their EPC Tag
// URI and pure-identity URI. No widgets; every failure is a message naming
// what is wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/base/result.h"

namespace stampwise::gs1 {

enum class Scheme { kSgtin96, kSgtin198, kSscc96, kSgln96, kGrai96, kGiai96, kGid96 };

// One EPC as its tag URI writes it: the filter (none for GID-96) and the
// identity's components in URI order, unescaped, with their leading zeros.
//   sgtin: company prefix, indicator digit + item reference, serial
//   sscc:  company prefix, extension digit + serial reference
//   sgln:  company prefix, location reference, extension
//   grai:  company prefix, asset type, serial
//   giai:  company prefix, individual asset reference
//   gid:   general manager, object class, serial
struct TagEpc {
  Scheme scheme = Scheme::kSgtin96;
  int filter = 0;
  std::vector<std::string> parts;
};

// "sgtin-96" and so on; nullopt for an unknown name.
std::optional<Scheme> SchemeByName(const std::string& name);
std::string SchemeName(Scheme scheme);
int BitCount(Scheme scheme);
bool HasFilter(Scheme scheme);

// urn:epc:tag:<scheme>:<filter>.<parts...> (%-escapes decoded).
Result<TagEpc> ParseTagUri(const std::string& uri);
std::string TagUri(const TagEpc& epc);
std::string PureIdentityUri(const TagEpc& epc);

// The binary encoding, padded with zero bits to whole 16-bit words.
Result<std::vector<std::uint8_t>> Encode(const TagEpc& epc);

// A decoded EPC bank content: a known encoding, or a raw one (unknown header).
struct Decoded {
  std::optional<TagEpc> epc;  // empty for a raw URI
  std::string tagUri;         // the tag URI, or urn:epc:raw:<bits>.x<HEX>
  int bits = 0;               // of the encoding (the raw one: all the hex digits)
};
// Hex in either case; a known header needs at least its scheme's bits, and
// every digit past them must be zero padding.
Result<Decoded> Decode(const std::string& hex);

// The tag EPC from GS1 keys: a GTIN-14 and a serial (SGTIN), an SSCC-18 (SSCC);
// the check digit must be right.
Result<TagEpc> FromGtin(Scheme scheme, const std::string& gtin14, const std::string& serial, int companyDigits,
                        int filter);
Result<TagEpc> FromSscc(const std::string& sscc18, int companyDigits, int filter);

// The GS1 check digit of `digits` (weights 3, 1, 3, ... from the right).
int CheckDigit(const std::string& digits);

// The same EPC with its serial one higher: the serial of sgtin-96, grai-96
// and gid-96, sgln-96's extension, giai-96's asset reference and sscc-96's
// serial reference (in its fixed digits), and an all-digit sgtin-198 serial;
// a failure when it would leave the range or the serial is not a number.
Result<TagEpc> NextSerial(const TagEpc& epc);

// Hex text of bytes, upper case, no blanks.
std::string Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace stampwise::gs1
