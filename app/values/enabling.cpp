#include "app/values/enabling.h"

#include "app/values/formats.h"

namespace stampwise {

ControlId FormatRadioId(DataFormat format) {
  switch (format) {
    case DataFormat::HexBinary: return ControlId::kFormatHexBinary;
    case DataFormat::HexAscii: return ControlId::kFormatHexAscii;
    case DataFormat::DecimalBinary: return ControlId::kFormatDecimalBinary;
    case DataFormat::DecimalAscii: return ControlId::kFormatDecimalAscii;
    case DataFormat::DataBinary: return ControlId::kFormatDataBinary;
    case DataFormat::DataAscii: return ControlId::kFormatDataAscii;
  }
  return ControlId::kFormatHexBinary;
}

ControlId ValueField(DataFormat format) {
  return UsesMultiLineField(format) ? ControlId::kValueMultiLine : ControlId::kValueSingleLine;
}

int ValueFieldId(DataFormat format) { return ControlNumber(ValueField(format)); }

ControlStates ComputeControlStates(const ParameterSet& params, const WriteOptions& options, Cycle cycle) {
  const DataFormat format = params.format;
  const bool idle = cycle == Cycle::None;
  const bool multiLine = UsesMultiLineField(format);
  ControlStates states;

  for (int index = 0; index <= 5; ++index) {
    const auto radioFormat = static_cast<DataFormat>(index);
    states[FormatRadioId(radioFormat)] = {idle, true, radioFormat == format};
  }
  states[ControlId::kMsbFirst] = {true, true, params.msbFirst};
  // The bank is part of the job: changed mid-cycle it would redirect the next writes.
  states[ControlId::kBank] = {cycle != Cycle::Write, true, false};
  states[ControlId::kStartWord] = {idle, true, false};
  states[ControlId::kLengthBytes] = {idle, true, false};
  states[ControlId::kEpcLengthFix] = {idle && params.bank == Bank::Epc, true, options.epcLengthFix};

  const bool decimalIncrementAllowed = format == DataFormat::HexBinary || IsDecimalFormat(format);
  const bool hexIncrementAllowed = IsHexFormat(format);
  const bool textOptionsAllowed = format == DataFormat::HexAscii || format == DataFormat::DecimalAscii;
  states[ControlId::kAutoIncrementDec] = {idle && decimalIncrementAllowed, true, params.autoIncrementDec};
  states[ControlId::kAutoIncrementHex] = {idle && hexIncrementAllowed, true, params.autoIncrementHex};
  states[ControlId::kLeadingZeros] = {idle && textOptionsAllowed, true, params.leadingZeros};
  // Free text may be switched during a cycle: it only affects the increment.
  states[ControlId::kAdditionalText] = {textOptionsAllowed, true, params.additionalText};

  states[ControlId::kSetPassword] = {idle, true, options.setPassword};
  states[ControlId::kAccessPassword] = {idle && options.setPassword, options.setPassword, false};
  states[ControlId::kActivatePassword] = {idle && options.setPassword, true, options.activatePassword};

  states[ControlId::kValueSingleLine] = {true, !multiLine, false};
  states[ControlId::kValueMultiLine] = {true, multiLine, false};
  states[ControlId::kReadSingleLine] = {true, !multiLine, false};
  states[ControlId::kReadMultiLine] = {true, multiLine, false};

  states[ControlId::kTakeOver] = {idle, true, false};
  states[ControlId::kWriteOnce] = {idle, true, false};
  states[ControlId::kReadOnce] = {idle, true, false};
  states[ControlId::kWriteCycle] = {cycle != Cycle::Read, true, cycle == Cycle::Write};
  states[ControlId::kReadCycle] = {cycle != Cycle::Write, true, cycle == Cycle::Read};
  return states;
}

}  // namespace stampwise
