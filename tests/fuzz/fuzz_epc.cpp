// Arbitrary text as an EPC in hex and as a tag URI: decoding and parsing end
// in a result or a message, and whatever decodes encodes back to the same
// bits, zero padding after them aside (and whatever encodes decodes back to the
// same URI).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/gs1/gs1_epc.h"

using namespace stampwise::gs1;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const stampwise::Result<Decoded> decoded = Decode(text);
  if (decoded && decoded.value().epc) {
    const auto bytes = Encode(*decoded.value().epc);
    if (!bytes) std::abort();
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
    // The same bits either way; zero padding after them (a longer memory
    // read, a scheme that ends inside a word) does not count.
    std::string encoded = Hex(bytes.value());
    const auto trimmed = [](std::string& hex) { hex.erase(hex.find_last_not_of('0') + 1); };
    trimmed(encoded);
    trimmed(upper);
    if (encoded != upper) std::abort();
  }

  const stampwise::Result<TagEpc> epc = ParseTagUri(text);
  if (epc) {
    const auto bytes = Encode(epc.value());
    if (bytes) {
      const stampwise::Result<Decoded> back = Decode(Hex(bytes.value()));
      if (!back || back.value().tagUri != TagUri(epc.value())) std::abort();
    }
  }
  return 0;
}
