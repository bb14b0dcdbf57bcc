// A stand-in for hid.dll and the device set-up functions, for tests under
// Wine (the SDK loads it through QLMKV_HID_LIBRARY). It presents the devices
// listed in QLMKV_FAKE_HID, as the Linux fake reads them:
// "VID:PID:SERIAL:IN:OUT,...", vendor and product id (hex), USB serial number
// (empty: the device has none), input and output report length with the id
// byte ("-": the capabilities cannot be read).
//
// Each device is an interface of the HID class whose path is a named pipe
// served in this process, so the SDK opens, reads and writes it as it would a
// HID device: every message written to the pipe is an output report, which is
// unpacked and fed to an in-process mkvsim::SimReader; its replies come back
// as input reports the way Windows hands them over (id byte 0, count,
// payload, zero padding to the input length), to every handle open on the
// device. The entry points identify a device by the name of the pipe behind
// the handle they get.
//
// Test controls (not part of the real libraries); devices by their place in the list:
//   QlmkvFakeHidUnplug(device)                          the device vanishes; its handles fail
//   QlmkvFakeHidWaitForReport(device, bytes, size, ms)  waits until the device has been sent
//                                                       this output report; the number of
//                                                       output reports it has been sent then
//   QlmkvFakeHidOutputReport(device, i, buf, capacity)  output report i; its size, or -1
#include <windows.h>
// windows.h first: the set-up and HID headers build on its types. The set-up
// functions are defined here, not imported.
#define _SETUPAPI_
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_reader.h"

// What the capabilities tell; opaque to the SDK.
struct _HIDP_PREPARSED_DATA {
  USHORT inputLength;
  USHORT outputLength;
};

namespace {

using Report = std::vector<std::uint8_t>;

constexpr GUID kHidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr wchar_t kPipePrefix[] = L"qlmkv-fake-hid-";
// Instances kept listening per device: more than the handles one listing or
// opening takes before the next listing adds instances again.
constexpr std::size_t kListeningInstances = 4;
// Large enough that a handle nobody reads from (the port's writing one) only
// fills after many exchanges; a full pipe then drops reports, as a full HID
// input queue does.
constexpr DWORD kPipeBuffer = 65536;
constexpr DWORD kMaxReport = 4096;

struct Session {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  OVERLAPPED connect{};
};

struct Device {
  int index = 0;
  USHORT vendor = 0;
  USHORT product = 0;
  bool hasSerial = false;
  std::wstring serial;
  int inputLength = 9;   // -1: capabilities unreadable
  int outputLength = 9;  // -1: capabilities unreadable
  bool unplugged = false;
  std::vector<Session*> listening;  // not connected when last looked at
  std::vector<Session*> sessions;   // connected
  std::vector<Report> written;
  std::unique_ptr<mkvsim::SimReader> reader;
};

std::mutex gMutex;
std::condition_variable gWritten;
bool gLoaded = false;
std::deque<Device> gDevices;  // a deque keeps device addresses stable

std::wstring PipeName(const Device& device) {
  return std::wstring(L"\\\\.\\pipe\\") + kPipePrefix + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(device.index);
}

int ParseLength(const std::string& text) {
  if (text == "-") return -1;
  return text.empty() ? 9 : std::atoi(text.c_str());
}

void ServeSession(Device& device, Session* session);

// Asks the pipe itself, not the session's thread, which may not have run yet.
bool WaitsForAClient(HANDLE pipe) {
  DWORD available = 0;
  if (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
  const DWORD error = GetLastError();
  return error == ERROR_BAD_PIPE || error == ERROR_PIPE_LISTENING;
}

// Under gMutex.
void KeepListening(Device& device) {
  std::erase_if(device.listening, [](const Session* session) { return !WaitsForAClient(session->pipe); });
  while (device.listening.size() < kListeningInstances) {
    auto* session = new Session();
    session->pipe = CreateNamedPipeW(PipeName(device).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                     kPipeBuffer, kPipeBuffer, 0, nullptr);
    session->connect.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (session->pipe == INVALID_HANDLE_VALUE || session->connect.hEvent == nullptr) {
      if (session->pipe != INVALID_HANDLE_VALUE) CloseHandle(session->pipe);
      delete session;
      return;
    }
    // Listening from here on: a client that comes before the thread runs finds it.
    if (!ConnectNamedPipe(session->pipe, &session->connect) && GetLastError() == ERROR_PIPE_CONNECTED)
      SetEvent(session->connect.hEvent);
    device.listening.push_back(session);
    std::thread([&device, session] { ServeSession(device, session); }).detach();
  }
}

// Under gMutex: reads the devices once, from the environment.
void Load() {
  if (gLoaded) return;
  gLoaded = true;
  const char* env = std::getenv("QLMKV_FAKE_HID");
  std::stringstream items(env != nullptr ? env : "");
  for (std::string item; std::getline(items, item, ',');) {
    std::vector<std::string> fields;
    std::stringstream parts(item);
    for (std::string field; std::getline(parts, field, ':');) fields.push_back(field);
    fields.resize(std::max<std::size_t>(fields.size(), 5));
    Device& device = gDevices.emplace_back();
    device.index = static_cast<int>(gDevices.size()) - 1;
    device.vendor = static_cast<USHORT>(std::strtoul(fields[0].c_str(), nullptr, 16));
    device.product = static_cast<USHORT>(std::strtoul(fields[1].c_str(), nullptr, 16));
    device.hasSerial = !fields[2].empty();
    device.serial.assign(fields[2].begin(), fields[2].end());
    device.inputLength = ParseLength(fields[3]);
    device.outputLength = ParseLength(fields[4]);
    device.reader = std::make_unique<mkvsim::SimReader>(mkvsim::SimOptions{});
  }
}

Device* At(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= gDevices.size()) return nullptr;
  return &gDevices[static_cast<std::size_t>(index)];
}

// The device whose pipe `handle` reaches; null for any other handle.
Device* DeviceOf(HANDLE handle) {
  alignas(FILE_NAME_INFO) unsigned char buffer[sizeof(FILE_NAME_INFO) + MAX_PATH * sizeof(wchar_t)] = {};
  if (!GetFileInformationByHandleEx(handle, FileNameInfo, buffer, sizeof buffer)) return nullptr;
  const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer);
  const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
  const std::wstring expected = std::wstring(L"\\") + kPipePrefix + std::to_wstring(GetCurrentProcessId()) + L"-";
  if (name.rfind(expected, 0) != 0) return nullptr;
  std::lock_guard lock(gMutex);
  Device* device = At(std::atoi(std::string(name.begin() + static_cast<long>(expected.size()), name.end()).c_str()));
  return device != nullptr && !device->unplugged ? device : nullptr;
}

// Under gMutex: one input report to every handle open on the device. A pipe
// that is full drops it.
void DeliverLocked(Device& device, const Report& report) {
  for (Session* session : device.sessions) {
    OVERLAPPED writing{};
    writing.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    if (!WriteFile(session->pipe, report.data(), static_cast<DWORD>(report.size()), &written, &writing) &&
        GetLastError() == ERROR_IO_PENDING) {
      CancelIoEx(session->pipe, &writing);
      GetOverlappedResult(session->pipe, &writing, &written, TRUE);
    }
    CloseHandle(writing.hEvent);
  }
}

// The reply of the simulated reader in input reports of the device's length.
void Deliver(Device& device, const mkvsim::Bytes& reply) {
  std::lock_guard lock(gMutex);
  if (device.unplugged) return;
  const std::size_t length = static_cast<std::size_t>(device.inputLength > 2 ? device.inputLength : 9);
  const std::size_t chunk = length - 2;
  for (std::size_t at = 0; at < reply.size(); at += chunk) {
    const std::size_t n = std::min(chunk, reply.size() - at);
    Report report(length, 0);
    report[1] = static_cast<std::uint8_t>(n);
    std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(at), n, report.begin() + 2);
    DeliverLocked(device, report);
  }
}

void OnOutputReport(Device& device, const std::uint8_t* data, std::size_t size) {
  {
    std::lock_guard lock(gMutex);
    if (device.unplugged) return;
    device.written.emplace_back(data, data + size);
    gWritten.notify_all();
  }
  const bool control = size >= 4 && data[1] == 0x82 && data[2] == 0x10;
  if (control || size < 2) return;
  const std::size_t n = std::min<std::size_t>(data[1], size - 2);
  // The reader may hold its reply back (a delay fault): not under the lock.
  Deliver(device, device.reader->Feed(data + 2, n));
}

// One pipe instance: waits for its client, then takes its output reports
// until the client or the device goes.
void ServeSession(Device& device, Session* session) {
  WaitForSingleObject(session->connect.hEvent, INFINITE);
  {
    std::lock_guard lock(gMutex);
    std::erase(device.listening, session);
    device.sessions.push_back(session);
  }
  OVERLAPPED reading{};
  reading.hEvent = session->connect.hEvent;
  std::vector<std::uint8_t> report(kMaxReport);
  for (;;) {
    ResetEvent(reading.hEvent);
    DWORD got = 0;
    if (!ReadFile(session->pipe, report.data(), kMaxReport, &got, &reading) && GetLastError() != ERROR_IO_PENDING)
      break;
    if (!GetOverlappedResult(session->pipe, &reading, &got, TRUE)) break;
    OnOutputReport(device, report.data(), got);
  }
  {
    std::lock_guard lock(gMutex);
    device.sessions.erase(std::find(device.sessions.begin(), device.sessions.end(), session));
  }
  DisconnectNamedPipe(session->pipe);
  CloseHandle(session->pipe);
  CloseHandle(session->connect.hEvent);
  delete session;
}

struct DeviceList {
  std::vector<int> devices;
};

}  // namespace

#define FAKE_EXPORT extern "C" __declspec(dllexport)

// --- the set-up functions ----------------------------------------------------

FAKE_EXPORT HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* deviceClass, PCWSTR /*enumerator*/, HWND /*parent*/,
                                                 DWORD flags) {
  if (deviceClass == nullptr || !IsEqualGUID(*deviceClass, kHidClass) || (flags & DIGCF_DEVICEINTERFACE) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::lock_guard lock(gMutex);
  Load();
  auto* list = new DeviceList();
  for (Device& device : gDevices) {
    if (device.unplugged) continue;
    KeepListening(device);
    list->devices.push_back(device.index);
  }
  return list;
}

FAKE_EXPORT BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA /*device*/, const GUID* deviceClass,
                                                    DWORD index, PSP_DEVICE_INTERFACE_DATA data) {
  const auto* list = static_cast<const DeviceList*>(set);
  if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (index >= list->devices.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  data->InterfaceClassGuid = *deviceClass;
  data->Flags = SPINT_ACTIVE;
  data->Reserved = static_cast<ULONG_PTR>(list->devices[index]);
  return TRUE;
}

FAKE_EXPORT BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO /*set*/, PSP_DEVICE_INTERFACE_DATA data,
                                                         PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                                         PDWORD required, PSP_DEVINFO_DATA /*device*/) {
  std::wstring path;
  {
    std::lock_guard lock(gMutex);
    const Device* device = At(static_cast<int>(data->Reserved));
    if (device == nullptr) {
      SetLastError(ERROR_NO_SUCH_DEVINST);
      return FALSE;
    }
    path = PipeName(*device);
  }
  const DWORD needed =
      static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(wchar_t));
  if (required != nullptr) *required = needed;
  if (detail == nullptr || size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  std::memcpy(reinterpret_cast<char*>(detail) + offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath), path.c_str(),
              (path.size() + 1) * sizeof(wchar_t));
  return TRUE;
}

FAKE_EXPORT BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  delete static_cast<DeviceList*>(set);
  return TRUE;
}

// --- the HID class functions ----------------------------------------------------

FAKE_EXPORT void NTAPI HidD_GetHidGuid(LPGUID hidClass) { *hidClass = kHidClass; }

FAKE_EXPORT BOOLEAN NTAPI HidD_GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
  const Device* device = DeviceOf(handle);
  if (device == nullptr || attributes == nullptr) return FALSE;
  attributes->VendorID = device->vendor;
  attributes->ProductID = device->product;
  attributes->VersionNumber = 0x0100;
  return TRUE;
}

FAKE_EXPORT BOOLEAN NTAPI HidD_GetSerialNumberString(HANDLE handle, PVOID buffer, ULONG length) {
  const Device* device = DeviceOf(handle);
  if (device == nullptr || !device->hasSerial || (device->serial.size() + 1) * sizeof(wchar_t) > length) return FALSE;
  std::copy(device->serial.c_str(), device->serial.c_str() + device->serial.size() + 1, static_cast<wchar_t*>(buffer));
  return TRUE;
}

// The SDK asks for the capabilities of the handle it is going to read from,
// before its first read: from here on that handle reads the pipe message by
// message, one input report per read, as from a HID device.
FAKE_EXPORT BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* data) {
  const Device* device = DeviceOf(handle);
  if (device == nullptr) return FALSE;
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(handle, &mode, nullptr, nullptr);
  if (device->inputLength < 0 || device->outputLength < 0) return FALSE;
  *data = new _HIDP_PREPARSED_DATA{static_cast<USHORT>(device->inputLength), static_cast<USHORT>(device->outputLength)};
  return TRUE;
}

FAKE_EXPORT BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) {
  delete data;
  return TRUE;
}

FAKE_EXPORT NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
  if (data == nullptr || caps == nullptr) return HIDP_STATUS_INVALID_PREPARSED_DATA;
  *caps = HIDP_CAPS{};
  caps->UsagePage = 0xFF00;
  caps->Usage = 0x01;
  caps->InputReportByteLength = data->inputLength;
  caps->OutputReportByteLength = data->outputLength;
  return HIDP_STATUS_SUCCESS;
}

// --- test controls ---------------------------------------------------------------

FAKE_EXPORT int QlmkvFakeHidUnplug(int index) {
  std::lock_guard lock(gMutex);
  Device* device = At(index);
  if (device == nullptr) return 0;
  device->unplugged = true;
  // The clients' reads and writes fail from here on; each session ends.
  for (Session* session : device->sessions) DisconnectNamedPipe(session->pipe);
  return 1;
}

FAKE_EXPORT int QlmkvFakeHidWaitForReport(int index, const unsigned char* bytes, size_t size, int milliseconds) {
  std::unique_lock lock(gMutex);
  const Device* device = At(index);
  if (device == nullptr) return -1;
  const Report wanted(bytes, bytes + size);
  gWritten.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
    return std::find(device->written.begin(), device->written.end(), wanted) != device->written.end();
  });
  return static_cast<int>(device->written.size());
}

FAKE_EXPORT int QlmkvFakeHidOutputReport(int index, int report, unsigned char* buffer, size_t capacity) {
  std::lock_guard lock(gMutex);
  const Device* device = At(index);
  if (device == nullptr || report < 0 || static_cast<std::size_t>(report) >= device->written.size()) return -1;
  const Report& written = device->written[static_cast<std::size_t>(report)];
  if (written.size() > capacity) return -1;
  std::copy(written.begin(), written.end(), buffer);
  return static_cast<int>(written.size());
}
