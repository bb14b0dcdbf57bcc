// The port list and the driver check over fake sysfs trees.
#include "transport/port_list.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/app/temp_folder.h"
#include "transport/transports.h"

namespace qlmkv {
namespace {

namespace fs = std::filesystem;

// Builds a sysfs-like tree (and a dev folder) under a fresh temporary folder.
class FakeSysfs {
 public:
  FakeSysfs() {
    fs::create_directories(sys() / "devices");
    fs::create_directories(dev());
  }

  fs::path sys() const { return root() / "sys"; }
  fs::path dev() const { return root() / "dev"; }

  // A USB device "usb1/<name>" with one interface; returns the interface folder.
  fs::path AddUsbDevice(const std::string& name, const std::string& vendor, const std::string& product,
                        const std::string& productText, int interfaces = 1, int boundInterfaces = 0) {
    const fs::path device = sys() / "devices" / "usb1" / name;
    fs::create_directories(device);
    Write(device / "idVendor", vendor + "\n");
    Write(device / "idProduct", product + "\n");
    if (!productText.empty()) Write(device / "product", productText + "\n");
    fs::create_directories(sys() / "bus" / "usb" / "devices");
    fs::create_directory_symlink(device, sys() / "bus" / "usb" / "devices" / name);
    fs::path first;
    for (int i = 0; i < interfaces; ++i) {
      const fs::path interface = device / (name + ":1." + std::to_string(i));
      fs::create_directories(interface);
      if (i < boundInterfaces) {
        fs::create_directories(sys() / "bus" / "usb" / "drivers" / "cdc_acm");
        fs::create_directory_symlink(sys() / "bus" / "usb" / "drivers" / "cdc_acm", interface / "driver");
      }
      if (i == 0) first = interface;
    }
    return first;
  }

  // A tty class entry; `parent` empty: a virtual one without device.
  void AddTty(const std::string& name, const fs::path& parent, const std::string& type = "") {
    const fs::path entry = sys() / "class" / "tty" / name;
    fs::create_directories(entry);
    Write(entry / "uevent", "MAJOR=4\nMINOR=64\nDEVNAME=" + name + "\n");
    if (!type.empty()) Write(entry / "type", type + "\n");
    if (!parent.empty()) fs::create_directory_symlink(parent, entry / "device");
  }

  fs::path AddPlatformParent() {
    const fs::path parent = sys() / "devices" / "platform" / "serial8250";
    fs::create_directories(parent);
    return parent;
  }

  static void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

 private:
  fs::path root() const { return root_.Path(); }

  stampwise::testing::TempFolder root_{"qlmkv-sysfs"};
};

TEST(PortListTest, ListsSerialDevicesSortedWithReaderDescriptions) {
  FakeSysfs tree;
  const fs::path uart = tree.AddPlatformParent();
  tree.AddTty("ttyS10", uart, "4");
  tree.AddTty("ttyS9", uart, "4");
  tree.AddTty("ttyS3", uart, "0");  // a slot without a chip
  tree.AddTty("ttyS2", uart, "4");
  tree.AddTty("ttyACM1", tree.AddUsbDevice("1-2", "1c40", "05ac", "vex reader"));
  tree.AddTty("ttyACM0", tree.AddUsbDevice("1-1", "1C40", "05AC", "CDC Device"));
  tree.AddTty("ttyUSB0", tree.AddUsbDevice("1-3", "0403", "6001", "zr-4 Stamp"));
  tree.AddTty("ttyUSB1", tree.AddUsbDevice("1-4", "0403", "6001", "FT232R USB UART"));
  tree.AddTty("ttyACM2", tree.AddUsbDevice("1-5", "2341", "05ac", ""));
  tree.AddTty("tty0", {});     // virtual terminal
  tree.AddTty("console", {});  // not a line
  tree.AddTty("lp0", uart);    // not a tty name

  const std::string dev = tree.dev().string();
  const std::vector<std::string> expected = {
      dev + "/ttyACM0 [Vex Virtual COM]",
      dev + "/ttyACM1 [vex reader]",
      dev + "/ttyACM2",
      dev + "/ttyS2",
      dev + "/ttyS9",
      dev + "/ttyS10",
      dev + "/ttyUSB0 [zr-4 Stamp]",
      dev + "/ttyUSB1",
  };
  EXPECT_EQ(GetComPortList(SysfsDeviceSource(tree.sys(), tree.dev())), expected);
}

TEST(PortListTest, ProbesDevicesWhenTheyCannotBeEnumerated) {
  FakeSysfs tree;  // no class/tty folder
  for (const char* name : {"ttyS10", "ttyUSB0", "ttyS1", "ttyACM3", "ttyXYZ1", "ttyS300"})
    FakeSysfs::Write(tree.dev() / name, "");
  const std::string dev = tree.dev().string();
  const std::vector<std::string> expected = {dev + "/ttyACM3", dev + "/ttyS1", dev + "/ttyS10", dev + "/ttyUSB0"};
  EXPECT_EQ(GetComPortList(SysfsDeviceSource(tree.sys(), tree.dev())), expected);
}

struct DriverCase {
  const char* what;
  std::vector<UsbDevice> devices;
  int expected;
};

class FixedUsbSource final : public DeviceSource {
 public:
  explicit FixedUsbSource(std::vector<UsbDevice> devices) : devices_(std::move(devices)) {}
  std::optional<std::vector<TtyPort>> ListTtyPorts() const override { return std::vector<TtyPort>{}; }
  std::vector<std::string> ProbePorts() const override { return {}; }
  std::vector<UsbDevice> ListUsbDevices() const override { return devices_; }

 private:
  std::vector<UsbDevice> devices_;
};

TEST(DriverCheckTest, ReportsReadersWithoutDriver) {
  const UsbDevice vcom{0x1C40, 0x05AC, false}, ftdi{0x0403, 0xE130, false};
  const DriverCase cases[] = {
      {"nothing", {}, 0},
      {"virtual COM", {vcom}, 2},
      {"FTDI", {ftdi}, 1},
      {"both", {ftdi, vcom}, 3},
      {"drivers bound", {{0x1C40, 0x05AC, true}, {0x0403, 0xE130, true}}, 0},
      {"other devices", {{0x0403, 0x6001, false}, {0x1C40, 0x05AD, false}}, 0},
  };
  for (const DriverCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CheckUsbDrivers(FixedUsbSource(c.devices)), c.expected);
  }
}

TEST(DriverCheckTest, ReadsDriverBindingFromTheTree) {
  FakeSysfs tree;
  tree.AddUsbDevice("1-1", "1c40", "05ac", "Vex Reader", 2, 0);  // no driver on any interface
  tree.AddUsbDevice("1-2", "0403", "e130", "ZR-4", 2, 1);        // one interface bound
  tree.AddUsbDevice("1-3", "0403", "e130", "ZR-4", 1, 0);        // another one, driverless
  EXPECT_EQ(CheckUsbDrivers(SysfsDeviceSource(tree.sys(), tree.dev())), 3);

  FakeSysfs bound;
  bound.AddUsbDevice("2-1", "1c40", "05ac", "Vex Reader", 2, 2);
  EXPECT_EQ(CheckUsbDrivers(SysfsDeviceSource(bound.sys(), bound.dev())), 0);
}

TEST(DriverCheckTest, VirtualComDriverIsPartOfTheKernel) { EXPECT_TRUE(VirtualComDriverInstalled()); }

}  // namespace
}  // namespace qlmkv
