// The HID port against the real hidapi library and a real hidraw device: the
// kernel's uhid interface makes a virtual reader whose reports this test
// answers with a simulated reader. Skipped where /dev/uhid is missing (most
// containers) or the kernel makes no hidraw node for it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/uhid.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "reader/rdr.h"
#include "sim/sim_reader.h"
#include "transport/transports.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kSerial[] = "17050042";
constexpr std::size_t kReportLength = 9;  // with the id byte

// A vendor collection with one 8-byte input and one 8-byte output report.
const Bytes kDescriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x08,
                           0x09, 0x01, 0x81, 0x02, 0x95, 0x08, 0x09, 0x01, 0x91, 0x02, 0xC0};

class UhidReader {
 public:
  UhidReader() {
    fd_ = open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd_ < 0) return;
    uhid_event create{};
    create.type = UHID_CREATE2;
    std::snprintf(reinterpret_cast<char*>(create.u.create2.name), sizeof create.u.create2.name, "simulated reader");
    std::snprintf(reinterpret_cast<char*>(create.u.create2.uniq), sizeof create.u.create2.uniq, "%s", kSerial);
    create.u.create2.rd_size = static_cast<std::uint16_t>(kDescriptor.size());
    create.u.create2.bus = 0x03;  // USB
    create.u.create2.vendor = 0x1C40;
    create.u.create2.product = 0x05AB;
    std::copy(kDescriptor.begin(), kDescriptor.end(), create.u.create2.rd_data);
    created_ = write(fd_, &create, sizeof create) == static_cast<ssize_t>(sizeof create);
    if (created_) device_ = std::thread([this] { Serve(); });
  }
  ~UhidReader() {
    stop_ = true;
    if (device_.joinable()) device_.join();
    if (created_) {
      uhid_event destroy{};
      destroy.type = UHID_DESTROY;
      [[maybe_unused]] const ssize_t n = write(fd_, &destroy, sizeof destroy);
    }
    if (fd_ >= 0) close(fd_);
  }
  UhidReader(const UhidReader&) = delete;
  UhidReader& operator=(const UhidReader&) = delete;

  bool Available() const { return fd_ >= 0; }
  bool Created() const { return created_; }
  int ControlReports() const { return controls_.load(); }

 private:
  // Output reports arrive with their id byte: 00, count, payload.
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      uhid_event event{};
      if (read(fd_, &event, sizeof event) <= 0) return;
      if (event.type != UHID_OUTPUT || event.u.output.size < 2) continue;
      const std::uint8_t* data = event.u.output.data;
      if (event.u.output.size >= 4 && data[1] == 0x82 && data[2] == 0x10) {
        ++controls_;
        continue;
      }
      const std::size_t n = std::min<std::size_t>(data[1], event.u.output.size - 2u);
      Answer(reader_.Feed(data + 2, n));
    }
  }
  // Input reports go without an id byte: count, payload, padding.
  void Answer(const Bytes& reply) {
    const std::size_t chunk = kReportLength - 2;
    for (std::size_t at = 0; at < reply.size(); at += chunk) {
      const std::size_t n = std::min(chunk, reply.size() - at);
      uhid_event input{};
      input.type = UHID_INPUT2;
      input.u.input2.size = static_cast<std::uint16_t>(kReportLength - 1);
      input.u.input2.data[0] = static_cast<std::uint8_t>(n);
      std::copy_n(reply.begin() + static_cast<long>(at), n, input.u.input2.data + 1);
      [[maybe_unused]] const ssize_t written = write(fd_, &input, sizeof input);
    }
  }

  int fd_ = -1;
  bool created_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> controls_{0};
  mkvsim::SimReader reader_{mkvsim::SimOptions{}};
  std::thread device_;
};

TEST(HidOverUhid, TheRealLibraryReachesAKernelHidDevice) {
  unsetenv("QLMKV_HIDAPI_LIBRARY");
  UhidReader device;
  if (!device.Available()) GTEST_SKIP() << "no /dev/uhid here: cannot make a kernel HID device";
  ASSERT_TRUE(device.Created()) << "uhid refused the device";

  const std::string name = std::string(kSerial) + " HID";
  bool listed = false;
  for (int i = 0; i < 50 && !listed; ++i) {
    const std::vector<std::string> names = qlmkv::EnumHidDevices();
    listed = std::find(names.begin(), names.end(), name) != names.end();
    if (!listed) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!listed) GTEST_SKIP() << "the kernel made no hidraw node that the HID library can open";

  const int handle = RdrOpen(name.c_str(), 19200, 0, 500);
  ASSERT_GE(handle, 10001);
  EXPECT_EQ(RdrIsUsb(handle), 1);
  unsigned char version[8] = {};
  EXPECT_EQ(RdrGetVersion(handle, version, sizeof version, nullptr, 0), 4);
  unsigned char inventory[100] = {};
  const int length = RdrInventory(handle, 1, inventory, sizeof inventory);
  ASSERT_GE(length, 3 + 12);
  ASSERT_EQ(RdrSelectTag(handle, inventory + 3, length - 3), 0);
  const unsigned char data[4] = {0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(RdrWriteData(handle, 3, 0, data, 4), 0);
  EXPECT_EQ(RdrClose(handle), 0);
  EXPECT_EQ(device.ControlReports(), 2) << "control values 0 after opening and 1 before closing";
}

}  // namespace
