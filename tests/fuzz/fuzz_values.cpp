// Drives validation, both conversions, format switching, the increment and
// the text formatting with arbitrary texts and parameter sets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/texts/strings.h"
#include "app/values/increment.h"
#include "app/values/values.h"
#include "app/values/values_validation.h"

namespace {

using namespace stampwise;

void Require(bool condition) {
  if (!condition) std::abort();
}

// Lengths near the interesting edges plus anything a 16-bit value gives.
int PickLength(std::uint8_t selector, std::uint16_t raw) {
  switch (selector % 4) {
    case 0: return selector % 10;              // 0..9 around the decimal limit
    case 1: return static_cast<int16_t>(raw);  // negative and large values
    case 2: return raw % 1030;                 // around the 1023 limit
    default: return selector & 0x80 ? 0x7FFFFFFF : -0x7FFFFFFF - 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  ParameterSet params;
  params.format = static_cast<DataFormat>(data[0] % 6);
  params.lengthBytes = PickLength(data[1], static_cast<std::uint16_t>(data[2] | (data[3] << 8)));
  const std::uint8_t flags = data[4];
  params.msbFirst = flags & 1;
  params.autoIncrementDec = flags & 2;
  params.autoIncrementHex = flags & 4;
  params.leadingZeros = flags & 8;
  params.additionalText = flags & 16;
  const auto newFormat = static_cast<DataFormat>(data[5] % 6);
  const bool newMsb = data[5] & 0x80;

  const std::string_view rest(reinterpret_cast<const char*>(data + 6), size - 6);
  const std::size_t split = rest.find('\0');
  const std::string_view text = rest.substr(0, split);
  const std::string_view other = split == std::string_view::npos ? "" : rest.substr(split + 1);
  params.value = std::string(text);

  const Result<ValidControls> validation = ValidateControls(
      {std::string(other.substr(0, 8)), std::string(other.substr(0, 5)), params.value, std::string(other)}, params,
      flags & 32);
  if (validation) Require(validation.value().params.lengthBytes >= 1);

  const Result<Bytes> bytes = TextToBytes(text, params);
  if (bytes) Require(bytes.value().size() == static_cast<std::size_t>(params.lengthBytes));
  const std::span<const std::uint8_t> raw(reinterpret_cast<const std::uint8_t*>(other.data()), other.size());
  const Result<std::string> rendered = BytesToText(raw, params);
  if (rendered) Require(rendered.value().size() <= 3 * 1023);

  const FormatSwitchResult switched = SwitchFormat(params, text, newFormat, newMsb);
  Require(switched.params.value.size() <= 3 * 1023 || !switched.valueReexpressed);
  Require(switched.textLimit >= 0);

  // The increment grows a value by at most one character per step.
  ParameterSet counting = params;
  for (int step = 0; step < 3; ++step) {
    const std::size_t before = counting.value.size();
    counting.value = IncrementValue(counting);
    Require(counting.value.size() <= std::max<std::size_t>(before + 1, 1023));
  }
  Require(NormaliseLeadingZeros(params).size() <= std::max<std::size_t>(text.size(), 1023));

  Require(FormatText(text, {other, 42, -7}).size() <= 64 * (text.size() + 1) + other.size() * text.size());
  (void)FillPlaceholders(text, {other, "x"});
  return 0;
}
