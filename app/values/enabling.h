// Which controls of the main window are enabled, checked and visible, as a
// function of the parameter set, the write options and the running cycle.
#pragma once

#include <map>

#include "app/base/params.h"

namespace stampwise {

// The main window's controls that the enabling rules decide on. The value is
// the control's number (the GUI names its widgets "id<number>").
enum class ControlId : int {
  kStartWord = 1000,
  kLengthBytes = 1001,
  kFormatHexBinary = 1004,
  kFormatHexAscii = 1002,
  kFormatDecimalBinary = 1005,
  kFormatDecimalAscii = 1003,
  kFormatDataBinary = 1018,
  kFormatDataAscii = 1013,
  kValueSingleLine = 1006,
  kValueMultiLine = 1023,
  kWriteCycle = 1008,
  kAutoIncrementDec = 1009,
  kReadCycle = 1010,
  kLeadingZeros = 1011,
  kReadSingleLine = 1012,
  kWriteOnce = 1014,
  kAccessPassword = 1015,
  kReadOnce = 1016,
  kTakeOver = 1021,
  kReadMultiLine = 1022,
  kAdditionalText = 1026,
  kBank = 1027,
  kMsbFirst = 1028,
  kAutoIncrementHex = 1029,
  kEpcLengthFix = 1030,
  kSetPassword = 1031,
  kActivatePassword = 1032,
};

constexpr int ControlNumber(ControlId id) { return static_cast<int>(id); }

// Control numbers for what carries them as plain numbers (the field a
// validation error puts the focus on).
namespace ctl {
inline constexpr int kStartWord = ControlNumber(ControlId::kStartWord);
inline constexpr int kLengthBytes = ControlNumber(ControlId::kLengthBytes);
inline constexpr int kValueSingleLine = ControlNumber(ControlId::kValueSingleLine);
inline constexpr int kValueMultiLine = ControlNumber(ControlId::kValueMultiLine);
inline constexpr int kAccessPassword = ControlNumber(ControlId::kAccessPassword);
}  // namespace ctl

// The radio button of a format, and the write field it uses.
ControlId FormatRadioId(DataFormat format);
ControlId ValueField(DataFormat format);
int ValueFieldId(DataFormat format);

enum class Cycle { None, Write, Read };

struct ControlState {
  bool enabled = true;
  bool visible = true;
  bool checked = false;  // meaningful for check boxes and radio buttons only
};

// Keyed by control; controls not listed stay enabled and visible.
using ControlStates = std::map<ControlId, ControlState>;

// The states for `params` (after ApplyFormatRules) and `options`. While a
// cycle runs the controls that must not change are disabled, except the
// running cycle's own button. Outside a cycle the format rules decide, the
// same way after a cycle as after a format switch.
ControlStates ComputeControlStates(const ParameterSet& params, const WriteOptions& options, Cycle cycle);

}  // namespace stampwise
