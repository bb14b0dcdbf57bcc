// Which controls of the main window are enabled, checked and visible, as a
// function of the parameter set, the write options and the running cycle.
#pragma once

#include <map>

#include "app/params.h"

namespace stampwise {

// Control ids of the main window (the GUI names its widgets "id<number>").
namespace ctl {
inline constexpr int kStartWord = 1000;
inline constexpr int kLengthBytes = 1001;
inline constexpr int kFormatHexBinary = 1004;
inline constexpr int kFormatHexAscii = 1002;
inline constexpr int kFormatDecimalBinary = 1005;
inline constexpr int kFormatDecimalAscii = 1003;
inline constexpr int kFormatDataBinary = 1018;
inline constexpr int kFormatDataAscii = 1013;
inline constexpr int kValueSingleLine = 1006;
inline constexpr int kValueMultiLine = 1023;
inline constexpr int kWriteCycle = 1008;
inline constexpr int kAutoIncrementDec = 1009;
inline constexpr int kReadCycle = 1010;
inline constexpr int kLeadingZeros = 1011;
inline constexpr int kReadSingleLine = 1012;
inline constexpr int kWriteOnce = 1014;
inline constexpr int kAccessPassword = 1015;
inline constexpr int kReadOnce = 1016;
inline constexpr int kTakeOver = 1021;
inline constexpr int kReadMultiLine = 1022;
inline constexpr int kAdditionalText = 1026;
inline constexpr int kBank = 1027;
inline constexpr int kMsbFirst = 1028;
inline constexpr int kAutoIncrementHex = 1029;
inline constexpr int kEpcLengthFix = 1030;
inline constexpr int kSetPassword = 1031;
inline constexpr int kActivatePassword = 1032;
}  // namespace ctl

// The radio button of a format, and the write field it uses.
int FormatRadioId(DataFormat format);
int ValueFieldId(DataFormat format);

enum class Cycle { None, Write, Read };

struct ControlState {
  bool enabled = true;
  bool visible = true;
  bool checked = false;  // meaningful for check boxes and radio buttons only
};

// Keyed by control id; controls not listed stay enabled and visible.
using ControlStates = std::map<int, ControlState>;

// The states for `params` (after ApplyFormatRules) and `options`. While a
// cycle runs the controls that must not change are disabled, except the
// running cycle's own button. Outside a cycle the format rules decide, the
// same way after a cycle as after a format switch.
ControlStates ComputeControlStates(const ParameterSet& params, const WriteOptions& options,
                                   Cycle cycle);

}  // namespace stampwise
