#include "transport/port_name.h"

#include <gtest/gtest.h>

namespace qlmkv {
namespace {

struct NameCase {
  const char* name;
  bool d2xx;
  const char* target;
  int portNumber;
};

TEST(PortNameTest, ChoosesTheLineByName) {
  const NameCase cases[] = {
      {"COM3", false, "/dev/ttyS2", 3},
      {"com3", false, "/dev/ttyS2", 3},
      {"\\\\.\\COM3", false, "/dev/ttyS2", 3},
      {"\\\\.\\COM3 [Vex Virtual COM]", false, "/dev/ttyS2", 3},
      {"\\\\.\\COM12", false, "/dev/ttyS11", 12},
      {"COM1:5", false, "/dev/ttyS0", 1},
      {"/dev/ttyACM0", false, "/dev/ttyACM0", 0},
      {"/dev/ttyUSB12 [ZR-4 Reader]", false, "/dev/ttyUSB12", 12},
      {"/dev/pts/7", false, "/dev/pts/7", 7},
      {"COM0", true, "COM0", 0},
      {"COMX", true, "COMX", 0},
      {"COM", true, "COM", 0},
      {"12345678", true, "12345678", 123},
      {"\\\\.\\FT5ABC", true, "FT5ABC", 0},
      {"9A1", true, "9A1", 9},
      {"", true, "", 0},
      // A D2XX serial number is the whole name, blanks included.
      {"FT AB 12", true, "FT AB 12", 0},
      {"\\\\.\\170 5 X", true, "170 5 X", 170},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ResolvedPortName resolved = ResolvePortName(c.name);
    EXPECT_EQ(resolved.d2xx, c.d2xx);
    EXPECT_EQ(resolved.target, c.target);
    EXPECT_EQ(resolved.portNumber, c.portNumber);
    EXPECT_EQ(OpensTerminalDevice(c.name), !c.d2xx);
  }
}

}  // namespace
}  // namespace qlmkv
