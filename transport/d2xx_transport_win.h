// D2XX readers on Windows.
#pragma once

#include <memory>
#include <string>

#include "link/link.h"

namespace qlmkv {

// Opens the D2XX device with `serialNumber` through the D2XX DLL and starts
// its worker; nullptr (with an open failure note) when it does not open.
std::unique_ptr<Transport> OpenD2xxTransport(const std::string& serialNumber, const LineSettings& settings,
                                             ByteSink& sink);

}  // namespace qlmkv
