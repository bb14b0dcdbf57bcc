// CFTD2xxPort: the entry points of the D2XX driver library, loaded at run time
// by name, with thin call-through operations. A missing library or entry
// point disables only the D2XX path: the operations then report failure.
//
// The library file is "libftd2xx.so", or the path in the environment variable
// QLMKV_FTD2XX_LIBRARY when that is set (tests point it at a fake).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/shared_library.h"
#include "transport/d2xx_types.h"

namespace qlmkv {

class CFTD2xxPort {
 public:
  CFTD2xxPort() = default;
  ~CFTD2xxPort();  // frees the library
  CFTD2xxPort(const CFTD2xxPort&) = delete;
  CFTD2xxPort& operator=(const CFTD2xxPort&) = delete;

  static std::string LibraryName();

  // Loads the library and resolves every entry point; does nothing when it is
  // already loaded. Returns whether the library is loaded.
  bool Load();
  bool IsLoaded() const { return module_.IsOpen(); }
  // Number of entry points that were found (for checks of a partial library).
  int ResolvedCount() const;
  void Unload();

  // These load the library first.
  d2xx::Status FT_CreateDeviceInfoList(d2xx::Word32* count);
  d2xx::Status FT_GetDeviceInfoList(d2xx::DeviceListInfoNode* nodes, d2xx::Word32* count);
  d2xx::Handle FT_W32_CreateFile(const char* name, d2xx::Word32 access, d2xx::Word32 share, void* security,
                                 d2xx::Word32 disposition, d2xx::Word32 flags, void* templateFile);

  // These rely on an earlier open.
  d2xx::Status FT_SetLatencyTimer(d2xx::Handle handle, std::uint8_t milliseconds);
  d2xx::Bool FT_W32_CloseHandle(d2xx::Handle handle);
  d2xx::Bool FT_W32_ReadFile(d2xx::Handle handle, void* buffer, d2xx::Word32 toRead, d2xx::Word32* read,
                             void* overlapped);
  d2xx::Bool FT_W32_WriteFile(d2xx::Handle handle, const void* buffer, d2xx::Word32 toWrite, d2xx::Word32* written,
                              void* overlapped);
  d2xx::Word32 FT_W32_GetLastError(d2xx::Handle handle);
  d2xx::Bool FT_W32_ClearCommError(d2xx::Handle handle, d2xx::Word32* errors, d2xx::ComStat* stat);
  d2xx::Bool FT_W32_GetCommModemStatus(d2xx::Handle handle, d2xx::Word32* status);
  d2xx::Bool FT_W32_GetCommState(d2xx::Handle handle, d2xx::Dcb* dcb);
  d2xx::Bool FT_W32_SetCommState(d2xx::Handle handle, d2xx::Dcb* dcb);
  d2xx::Bool FT_W32_SetCommTimeouts(d2xx::Handle handle, d2xx::CommTimeouts* timeouts);
  d2xx::Bool FT_W32_SetCommMask(d2xx::Handle handle, d2xx::Word32 mask);
  void FT_W32_PurgeComm(d2xx::Handle handle, d2xx::Word32 flags);
  void FT_W32_SetCommBreak(d2xx::Handle handle);
  void FT_W32_ClearCommBreak(d2xx::Handle handle);

 private:
  // One slot per entry point, in the library's published order.
  enum Entry {
    kListDevices,
    kCreateDeviceInfoList,
    kGetDeviceInfoList,
    kGetDeviceInfoDetail,
    kResetDevice,
    kSetBaudRate,
    kSetLatencyTimer,
    kSetUSBParameters,
    kW32CreateFile,
    kW32CloseHandle,
    kW32ReadFile,
    kW32WriteFile,
    kW32GetLastError,
    kW32GetOverlappedResult,
    kW32ClearCommBreak,
    kW32ClearCommError,
    kW32EscapeCommFunction,
    kW32GetCommModemStatus,
    kW32GetCommState,
    kW32GetCommTimeouts,
    kW32PurgeComm,
    kW32SetCommBreak,
    kW32SetCommMask,
    kW32SetCommState,
    kW32SetCommTimeouts,
    kW32SetupComm,
    kW32WaitCommEvent,
    kEntryCount
  };

  template <typename Fn>
  Fn Get(Entry entry) const {
    return reinterpret_cast<Fn>(entries_[entry]);
  }

  common::SharedLibrary module_;
  void* entries_[kEntryCount] = {};
};

// Serial numbers of the attached D2XX devices that are not open.
std::vector<std::string> ListFreeD2xxDevices();

}  // namespace qlmkv
