#include "transport/ftd2xx_port.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "transport/diagnostics.h"

namespace qlmkv {
namespace {

using d2xx::Bool;
using d2xx::Handle;
using d2xx::Status;
using d2xx::Word32;

using CreateDeviceInfoListFn = Status (*)(Word32*);
using GetDeviceInfoListFn = Status (*)(d2xx::DeviceListInfoNode*, Word32*);
using SetLatencyTimerFn = Status (*)(Handle, std::uint8_t);
using CreateFileFn = Handle (*)(const char*, Word32, Word32, void*, Word32, Word32, void*);
using HandleFn = Bool (*)(Handle);
using ReadFileFn = Bool (*)(Handle, void*, Word32, Word32*, void*);
using WriteFileFn = Bool (*)(Handle, const void*, Word32, Word32*, void*);
using GetLastErrorFn = Word32 (*)(Handle);
using ClearCommErrorFn = Bool (*)(Handle, Word32*, d2xx::ComStat*);
using ModemStatusFn = Bool (*)(Handle, Word32*);
using CommStateFn = Bool (*)(Handle, d2xx::Dcb*);
using SetCommTimeoutsFn = Bool (*)(Handle, d2xx::CommTimeouts*);
using WordArgFn = Bool (*)(Handle, Word32);

#if defined(_WIN32)
constexpr const char* kSystemLibrary = "ftd2xx.dll";
#else
constexpr const char* kSystemLibrary = "libftd2xx.so";
#endif

struct EntryName {
  int slot;
  const char* name;
};

}  // namespace

CFTD2xxPort::~CFTD2xxPort() { Unload(); }

std::string CFTD2xxPort::LibraryName() {
  const char* overridden = std::getenv("QLMKV_FTD2XX_LIBRARY");
  return overridden != nullptr && *overridden != '\0' ? overridden : kSystemLibrary;
}

bool CFTD2xxPort::Load() {
  if (module_.IsOpen()) return true;
  const std::string library = LibraryName();
  module_ = common::SharedLibrary(library);
  if (!module_.IsOpen()) {
    diag::Debug("Fehler: Kann " + library + " nicht laden");
    return false;
  }
  // The order in which the entry points are looked up.
  static constexpr EntryName kLoadOrder[] = {
      {kSetBaudRate, "FT_SetBaudRate"},
      {kSetLatencyTimer, "FT_SetLatencyTimer"},
      {kSetUSBParameters, "FT_SetUSBParameters"},
      {kListDevices, "FT_ListDevices"},
      {kCreateDeviceInfoList, "FT_CreateDeviceInfoList"},
      {kGetDeviceInfoList, "FT_GetDeviceInfoList"},
      {kGetDeviceInfoDetail, "FT_GetDeviceInfoDetail"},
      {kResetDevice, "FT_ResetDevice"},
      {kW32CreateFile, "FT_W32_CreateFile"},
      {kW32CloseHandle, "FT_W32_CloseHandle"},
      {kW32ReadFile, "FT_W32_ReadFile"},
      {kW32WriteFile, "FT_W32_WriteFile"},
      {kW32GetLastError, "FT_W32_GetLastError"},
      {kW32GetOverlappedResult, "FT_W32_GetOverlappedResult"},
      {kW32ClearCommBreak, "FT_W32_ClearCommBreak"},
      {kW32ClearCommError, "FT_W32_ClearCommError"},
      {kW32EscapeCommFunction, "FT_W32_EscapeCommFunction"},
      {kW32GetCommModemStatus, "FT_W32_GetCommModemStatus"},
      {kW32GetCommState, "FT_W32_GetCommState"},
      {kW32GetCommTimeouts, "FT_W32_GetCommTimeouts"},
      {kW32PurgeComm, "FT_W32_PurgeComm"},
      {kW32SetCommBreak, "FT_W32_SetCommBreak"},
      {kW32SetCommMask, "FT_W32_SetCommMask"},
      {kW32SetCommState, "FT_W32_SetCommState"},
      {kW32SetCommTimeouts, "FT_W32_SetCommTimeouts"},
      {kW32SetupComm, "FT_W32_SetupComm"},
      {kW32WaitCommEvent, "FT_W32_WaitCommEvent"},
  };
  static_assert(std::size(kLoadOrder) == kEntryCount);
  for (const EntryName& entry : kLoadOrder) {
    entries_[entry.slot] = module_.Entry<void*>(entry.name);
    if (entries_[entry.slot] == nullptr)
      diag::Debug(std::string("Fehler: Kann ") + entry.name + " nicht initialisieren");
  }
  return true;
}

int CFTD2xxPort::ResolvedCount() const {
  int count = 0;
  for (void* entry : entries_) count += entry != nullptr ? 1 : 0;
  return count;
}

void CFTD2xxPort::Unload() {
  module_.Close();
  for (void*& entry : entries_) entry = nullptr;
}

Status CFTD2xxPort::FT_CreateDeviceInfoList(Word32* count) {
  Load();
  auto fn = Get<CreateDeviceInfoListFn>(kCreateDeviceInfoList);
  if (fn == nullptr) {
    diag::Debug("FT_CreateDeviceInfoList ist nicht vorhanden!");
    return d2xx::kInvalidHandle;
  }
  return fn(count);
}

Status CFTD2xxPort::FT_GetDeviceInfoList(d2xx::DeviceListInfoNode* nodes, Word32* count) {
  Load();
  auto fn = Get<GetDeviceInfoListFn>(kGetDeviceInfoList);
  if (fn == nullptr) {
    diag::Debug("FT_GetDeviceInfoList ist nicht vorhanden!");
    return d2xx::kInvalidHandle;
  }
  return fn(nodes, count);
}

Handle CFTD2xxPort::FT_W32_CreateFile(const char* name, Word32 access, Word32 share, void* security, Word32 disposition,
                                      Word32 flags, void* templateFile) {
  Load();
  auto fn = Get<CreateFileFn>(kW32CreateFile);
  return fn != nullptr ? fn(name, access, share, security, disposition, flags, templateFile)
                       : d2xx::InvalidHandleValue();
}

Status CFTD2xxPort::FT_SetLatencyTimer(Handle handle, std::uint8_t milliseconds) {
  auto fn = Get<SetLatencyTimerFn>(kSetLatencyTimer);
  return fn != nullptr ? fn(handle, milliseconds) : d2xx::kInvalidHandle;
}

Bool CFTD2xxPort::FT_W32_CloseHandle(Handle handle) {
  auto fn = Get<HandleFn>(kW32CloseHandle);
  return fn != nullptr ? fn(handle) : 0;
}

Bool CFTD2xxPort::FT_W32_ReadFile(Handle handle, void* buffer, Word32 toRead, Word32* read, void* overlapped) {
  auto fn = Get<ReadFileFn>(kW32ReadFile);
  return fn != nullptr ? fn(handle, buffer, toRead, read, overlapped) : 0;
}

Bool CFTD2xxPort::FT_W32_WriteFile(Handle handle, const void* buffer, Word32 toWrite, Word32* written,
                                   void* overlapped) {
  auto fn = Get<WriteFileFn>(kW32WriteFile);
  return fn != nullptr ? fn(handle, buffer, toWrite, written, overlapped) : 0;
}

Word32 CFTD2xxPort::FT_W32_GetLastError(Handle handle) {
  auto fn = Get<GetLastErrorFn>(kW32GetLastError);
  return fn != nullptr ? fn(handle) : 0;
}

Bool CFTD2xxPort::FT_W32_ClearCommError(Handle handle, Word32* errors, d2xx::ComStat* stat) {
  auto fn = Get<ClearCommErrorFn>(kW32ClearCommError);
  return fn != nullptr ? fn(handle, errors, stat) : 0;
}

Bool CFTD2xxPort::FT_W32_GetCommModemStatus(Handle handle, Word32* status) {
  auto fn = Get<ModemStatusFn>(kW32GetCommModemStatus);
  return fn != nullptr ? fn(handle, status) : 0;
}

Bool CFTD2xxPort::FT_W32_GetCommState(Handle handle, d2xx::Dcb* dcb) {
  auto fn = Get<CommStateFn>(kW32GetCommState);
  return fn != nullptr ? fn(handle, dcb) : 0;
}

Bool CFTD2xxPort::FT_W32_SetCommState(Handle handle, d2xx::Dcb* dcb) {
  auto fn = Get<CommStateFn>(kW32SetCommState);
  return fn != nullptr ? fn(handle, dcb) : 0;
}

Bool CFTD2xxPort::FT_W32_SetCommTimeouts(Handle handle, d2xx::CommTimeouts* timeouts) {
  auto fn = Get<SetCommTimeoutsFn>(kW32SetCommTimeouts);
  return fn != nullptr ? fn(handle, timeouts) : 0;
}

Bool CFTD2xxPort::FT_W32_SetCommMask(Handle handle, Word32 mask) {
  auto fn = Get<WordArgFn>(kW32SetCommMask);
  return fn != nullptr ? fn(handle, mask) : 0;
}

void CFTD2xxPort::FT_W32_PurgeComm(Handle handle, Word32 flags) {
  if (auto fn = Get<WordArgFn>(kW32PurgeComm)) fn(handle, flags);
}

void CFTD2xxPort::FT_W32_SetCommBreak(Handle handle) {
  if (auto fn = Get<HandleFn>(kW32SetCommBreak)) fn(handle);
}

void CFTD2xxPort::FT_W32_ClearCommBreak(Handle handle) {
  if (auto fn = Get<HandleFn>(kW32ClearCommBreak)) fn(handle);
}

std::vector<std::string> ListFreeD2xxDevices() {
  std::vector<std::string> serials;
  CFTD2xxPort library;
  d2xx::Word32 count = 0;
  if (library.FT_CreateDeviceInfoList(&count) != d2xx::kOk || count == 0) return serials;
  std::vector<d2xx::DeviceListInfoNode> nodes(count);
  if (library.FT_GetDeviceInfoList(nodes.data(), &count) != d2xx::kOk) return serials;
  if (count > nodes.size()) count = static_cast<d2xx::Word32>(nodes.size());
  for (d2xx::Word32 i = 0; i < count; ++i) {
    const d2xx::DeviceListInfoNode& node = nodes[i];
    const std::string serial(node.serialNumber, strnlen(node.serialNumber, sizeof node.serialNumber));
    if (node.handle == nullptr && !serial.empty()) serials.push_back(serial);
  }
  return serials;
}

}  // namespace qlmkv
