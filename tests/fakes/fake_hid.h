// Test-side control of the fake hidapi library: puts it in place for the SDK
// (QLMKV_HIDAPI_LIBRARY) with a list of devices, and reaches its controls.
// The library path comes from the build (QLMKV_FAKE_HIDAPI).
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qlmkv::test {

class FakeHid {
 public:
  // `devices` as the fake reads them: "VID:PID:SERIAL:IN:OUT[:locked],...".
  explicit FakeHid(const std::string& devices, const char* library = QLMKV_FAKE_HIDAPI) {
    setenv("QLMKV_HIDAPI_LIBRARY", library, 1);
    setenv("QLMKV_FAKE_HID", devices.c_str(), 1);
    fake_ = dlopen(QLMKV_FAKE_HIDAPI, RTLD_NOW | RTLD_LOCAL);
    if (fake_ != nullptr) Control<void (*)()>("QlmkvFakeHidReset")();
  }
  ~FakeHid() {
    if (fake_ != nullptr) dlclose(fake_);
    unsetenv("QLMKV_FAKE_HID");
  }
  FakeHid(const FakeHid&) = delete;
  FakeHid& operator=(const FakeHid&) = delete;

  bool Loaded() const { return fake_ != nullptr; }

  void Unplug(int device) { Control<int (*)(int)>("QlmkvFakeHidUnplug")(device); }
  void Silence(int device, bool on) { Control<int (*)(int, int)>("QlmkvFakeHidSilence")(device, on ? 1 : 0); }
  void Inject(int device, const std::vector<std::uint8_t>& report) {
    Control<int (*)(int, const unsigned char*, size_t)>("QlmkvFakeHidInject")(device, report.data(), report.size());
  }
  // The next frame is answered by these raw input reports (hidraw's form).
  void AnswerWith(int device, const std::vector<std::vector<std::uint8_t>>& reports) {
    const auto answer = Control<int (*)(int, const unsigned char*, size_t)>("QlmkvFakeHidAnswerWith");
    for (const std::vector<std::uint8_t>& report : reports) answer(device, report.data(), report.size());
  }
  int OpenHandles(int device) { return Control<int (*)(int)>("QlmkvFakeHidOpenHandles")(device); }

  // Every output report the device has been sent, in order.
  std::vector<std::vector<std::uint8_t>> OutputReports(int device) {
    std::vector<std::vector<std::uint8_t>> reports;
    const int count = Control<int (*)(int)>("QlmkvFakeHidOutputCount")(device);
    const auto get = Control<int (*)(int, int, unsigned char*, size_t)>("QlmkvFakeHidOutputReport");
    for (int i = 0; i < count; ++i) {
      std::vector<std::uint8_t> report(256);
      const int size = get(device, i, report.data(), report.size());
      report.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
      reports.push_back(report);
    }
    return reports;
  }

 private:
  template <typename Fn>
  Fn Control(const char* name) {
    return reinterpret_cast<Fn>(dlsym(fake_, name));
  }

  void* fake_ = nullptr;
};

}  // namespace qlmkv::test
