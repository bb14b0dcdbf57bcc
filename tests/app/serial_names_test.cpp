// Stable names of serial devices and the check of a typed device path.
#include "app/connection/serial_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/connection/open_reader.h"
#include "tests/app/temp_folder.h"

namespace stampwise {
namespace {

using testing::TempFolder;

TEST(StableSerialNames, LinksToDevicesByTheirKernelPathFirstNameWins) {
  TempFolder folder;
  namespace fs = std::filesystem;
  fs::create_symlink("/dev/null", folder.File("usb-Vex_Reader_0042-if00"));
  fs::create_symlink("/dev/null", folder.File("usb-Vex_Reader_0042-if02"));
  fs::create_symlink("/dev/zero", folder.File("usb-Other_7-if00"));
  fs::create_symlink("/dev/stampwise-gone", folder.File("usb-Unplugged_1-if00"));
  const std::map<std::string, std::string> expected{{"/dev/null", folder.File("usb-Vex_Reader_0042-if00")},
                                                    {"/dev/zero", folder.File("usb-Other_7-if00")}};
  EXPECT_EQ(StableSerialNames(folder.Path()), expected);
  EXPECT_TRUE(StableSerialNames(folder.File("missing")).empty());
}

// A list entry's device file, as the library would open it.
TEST(DeviceFileOfConnection, ListEntriesAndConnectionStrings) {
  EXPECT_EQ(DeviceFileOfConnection("/dev/ttyACM0 [Vex Virtual COM]"), "/dev/ttyACM0");
  EXPECT_EQ(DeviceFileOfConnection("/dev/ttyS0"), "/dev/ttyS0");
  EXPECT_EQ(DeviceFileOfConnection("/dev/ttyUSB1 [FT232R: 2]:3"), "/dev/ttyUSB1");
  EXPECT_EQ(DeviceFileOfConnection("COM2:1"), "/dev/ttyS1");
  EXPECT_EQ(DeviceFileOfConnection("FT5X8QZB"), "");
  EXPECT_EQ(DeviceFileOfConnection("1705-0042 HID:1"), "");
  EXPECT_EQ(ListedHidNameOfConnection("1705-0042 HID:1"), "1705-0042 HID");
  EXPECT_EQ(ListedHidNameOfConnection("0012AB HID:1"), "");
}

TEST(CheckTypedDevicePath, OnlyCharacterDevicesUnderDevWithoutBlanks) {
  const struct {
    std::string path;
    TypedPathProblem problem;
  } cases[] = {
      {"/dev/null", TypedPathProblem::kNone},
      {"", TypedPathProblem::kNotUnderDev},
      {"ttyS0", TypedPathProblem::kNotUnderDev},
      {"/tmp/ttyV0", TypedPathProblem::kNotUnderDev},
      {"COM1", TypedPathProblem::kNotUnderDev},
      {"/dev/tty S0", TypedPathProblem::kHasBlank},
      {"/dev/stampwise-no-such-device", TypedPathProblem::kMissing},
      {"/dev/", TypedPathProblem::kNotADevice},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckTypedDevicePath(c.path), c.problem) << c.path;
}

}  // namespace
}  // namespace stampwise
