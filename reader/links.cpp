#include "reader/links.h"

#include <mutex>

namespace qlmkv {

namespace {

std::mutex& LinksMutex() {
  static std::mutex mutex;
  return mutex;
}

Links& InstalledLinks() {
  static Links links = SystemLinks();
  return links;
}

}  // namespace

Links SystemLinks() {
  Links links;
  links.openSerial = OpenSerialTransport;
  links.openHid = OpenHidTransport;
  links.openLan = OpenLanTransport;
  links.openLanConfig = OpenLanConfigLink;
  links.ping = PingAddress;
  links.listSerialPorts = GetComPortList;
  links.listFtdiDevices = EnumFtdiDevices;
  links.listHidDevices = EnumHidDevices;
  links.listLanReaders = ListLanReaders;
  return links;
}

Links CurrentLinks() {
  std::lock_guard lock(LinksMutex());
  return InstalledLinks();
}

Links ReplaceLinks(Links links) {
  std::lock_guard lock(LinksMutex());
  std::swap(InstalledLinks(), links);
  return links;
}

}  // namespace qlmkv
