#include "app/enabling.h"

#include "app/formats.h"

namespace stampwise {

int FormatRadioId(DataFormat format) {
  switch (format) {
    case DataFormat::HexBinary: return ctl::kFormatHexBinary;
    case DataFormat::HexAscii: return ctl::kFormatHexAscii;
    case DataFormat::DecimalBinary: return ctl::kFormatDecimalBinary;
    case DataFormat::DecimalAscii: return ctl::kFormatDecimalAscii;
    case DataFormat::DataBinary: return ctl::kFormatDataBinary;
    case DataFormat::DataAscii: return ctl::kFormatDataAscii;
  }
  return ctl::kFormatHexBinary;
}

int ValueFieldId(DataFormat format) {
  return UsesMultiLineField(format) ? ctl::kValueMultiLine : ctl::kValueSingleLine;
}

ControlStates ComputeControlStates(const ParameterSet& params, const WriteOptions& options,
                                   Cycle cycle) {
  const DataFormat format = params.format;
  const bool idle = cycle == Cycle::None;
  const bool multiLine = UsesMultiLineField(format);
  ControlStates states;

  for (int index = 0; index <= 5; ++index) {
    const auto radioFormat = static_cast<DataFormat>(index);
    states[FormatRadioId(radioFormat)] = {idle, true, radioFormat == format};
  }
  states[ctl::kMsbFirst] = {true, true, params.msbFirst};
  states[ctl::kBank] = {true, true, false};
  states[ctl::kStartWord] = {idle, true, false};
  states[ctl::kLengthBytes] = {idle, true, false};
  states[ctl::kEpcLengthFix] = {idle && params.bank == Bank::Epc, true, options.epcLengthFix};

  const bool decimalIncrementAllowed = format == DataFormat::HexBinary || IsDecimalFormat(format);
  const bool hexIncrementAllowed = IsHexFormat(format);
  const bool textOptionsAllowed =
      format == DataFormat::HexAscii || format == DataFormat::DecimalAscii;
  states[ctl::kAutoIncrementDec] = {idle && decimalIncrementAllowed, true, params.autoIncrementDec};
  states[ctl::kAutoIncrementHex] = {idle && hexIncrementAllowed, true, params.autoIncrementHex};
  states[ctl::kLeadingZeros] = {idle && textOptionsAllowed, true, params.leadingZeros};
  // Free text may be switched during a cycle: it only affects the increment.
  states[ctl::kAdditionalText] = {textOptionsAllowed, true, params.additionalText};

  states[ctl::kSetPassword] = {idle, true, options.setPassword};
  states[ctl::kAccessPassword] = {idle && options.setPassword, options.setPassword, false};
  states[ctl::kActivatePassword] = {idle && options.setPassword, true, options.activatePassword};

  states[ctl::kValueSingleLine] = {true, !multiLine, false};
  states[ctl::kValueMultiLine] = {true, multiLine, false};
  states[ctl::kReadSingleLine] = {true, !multiLine, false};
  states[ctl::kReadMultiLine] = {true, multiLine, false};

  states[ctl::kTakeOver] = {idle, true, false};
  states[ctl::kWriteOnce] = {idle, true, false};
  states[ctl::kReadOnce] = {idle, true, false};
  states[ctl::kWriteCycle] = {cycle != Cycle::Read, true, cycle == Cycle::Write};
  states[ctl::kReadCycle] = {cycle != Cycle::Write, true, cycle == Cycle::Read};
  return states;
}

}  // namespace stampwise
