// A GS1 write job: a GS1 EPC for every tag, written into the EPC bank from
// word 2 with the EPC length bits of the protocol-control word set for it,
// its serial one higher per tag. The tag URI of the next tag is the job's
// counter, kept durably as "NextUri" in section "GS1" (see Settings). No
// widgets; every refusal is a message naming what is wrong.
#pragma once

#include <optional>
#include <string>

#include "app/base/result.h"
#include "app/gs1/gs1_epc.h"
#include "app/values/values.h"

namespace stampwise {

// The EPC bank's word where the EPC starts (word 1 is the protocol-control word).
inline constexpr int kGs1StartWord = 2;

// The GS1 side of the tag writer's job.
struct Gs1Job {
  bool enabled = false;
  std::string nextUri;    // the tag URI for the next tag
  bool increment = true;  // the serial counts on by one per tag
};

// One tag's share of a job: the encoding of `uri` and the URI of the tag after it.
struct Gs1Step {
  Bytes bytes;       // whole 16-bit words
  std::string uri;   // the tag URI written (canonical form)
  std::string next;  // the tag URI for the next tag
};

// Checks `uri` and plans its write. With `increment` the next URI carries
// the serial one higher; at the end of the serial's range it carries the
// serial one past it, which Encode refuses (so nothing is ever written twice
// and the job stops there, also after a restart). A scheme whose serial does
// not count (sgtin-198, sscc-96, giai-96) is refused with the increment on.
Result<Gs1Step> PlanGs1Write(const std::string& uri, bool increment);

// True when `uri` is the one-past-the-end URI of a serial that ran out.
bool Gs1SerialExhausted(const std::string& uri);

// The inputs of the desktop program's GS1 panel, as typed.
struct Gs1Inputs {
  std::string scheme = "sgtin-96";
  std::string filter;         // 0..7 (not used by gid-96)
  std::string companyDigits;  // 6..12 (not used by gid-96)
  // sgtin: GTIN-14; sscc: SSCC-18; sgln: GLN-13; grai: the GRAI's 14 digits
  // without serial (a leading 0, company prefix, asset type, check digit);
  // giai: company prefix and individual asset reference; gid: manager.class
  std::string identifier;
  std::string serial;  // sgtin, sgln (extension), grai, gid; none for sscc, giai
};

// Whether the scheme takes a serial input (the others carry it in the identifier).
bool Gs1SchemeHasSerial(gs1::Scheme scheme);

// The tag EPC of the inputs; the failure names the input that is wrong and
// carries its field in controlId (see Gs1Field).
enum class Gs1Field { kScheme = 1, kFilter, kCompanyDigits, kIdentifier, kSerial };
Result<gs1::TagEpc> EpcFromInputs(const Gs1Inputs& inputs);

// The inputs that give `epc` (the inverse of EpcFromInputs).
Gs1Inputs InputsFromEpc(const gs1::TagEpc& epc);

// The tag URI of an EPC as read (the EPC bank from word 2): the tag URI of a
// valid encoding, the raw URI (urn:epc:raw:<bits>.x<HEX>) for anything else;
// empty for no bytes.
std::string TagUriOfEpc(const Bytes& epc);

}  // namespace stampwise
