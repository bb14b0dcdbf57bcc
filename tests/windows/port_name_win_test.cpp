// Port names on Windows: a COM name opens the device namespace's port.
#include <gtest/gtest.h>

#include "transport/port_name.h"

namespace qlmkv {
namespace {

TEST(WindowsPortNameTest, ComNamesOpenTheDeviceNamespacePort) {
  const struct {
    const char* name;
    const char* target;
    int number;
  } cases[] = {
      {"COM5", "\\\\.\\COM5", 5},
      {"com12", "\\\\.\\COM12", 12},
      {"\\\\.\\COM3", "\\\\.\\COM3", 3},
      {"COM7 [Vex Virtual COM]", "\\\\.\\COM7", 7},
  };
  for (const auto& c : cases) {
    const ResolvedPortName resolved = ResolvePortName(c.name);
    EXPECT_FALSE(resolved.d2xx) << c.name;
    EXPECT_EQ(resolved.target, c.target) << c.name;
    EXPECT_EQ(resolved.portNumber, c.number) << c.name;
  }
}

}  // namespace
}  // namespace qlmkv
