// The reader client against mkv-sim and the fake D2XX library: it owns its
// connection, and its lists and errors are those of the library.
#include "app/connection/reader_client.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "app/texts/messages.h"
#include "reader/rdr.h"
#include "sim/sim_process.h"
#include "tests/fakes/fake_hid.h"

namespace stampwise {
namespace {

TEST(ReaderClient, PackedListsUnpackWithinTheirLength) {
  const char buffer[] = "/dev/ttyS0\0/dev/ttyUSB0\0\0garbage";
  EXPECT_EQ(UnpackNameList(buffer, 26), (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB0"}));
  EXPECT_TRUE(UnpackNameList(buffer, -1).empty());
  // A list cut short keeps its last name inside the given length.
  EXPECT_EQ(UnpackNameList(buffer, 5), (std::vector<std::string>{"/dev/"}));
}

TEST(ReaderClient, ClosesItsConnectionWhenItGoesAway) {
  mkvsim::SimProcess sim({"--quiet", "--tags", "0"});
  int firstHandle = 0;
  {
    ReaderClient reader;
    const ReaderIdentity identity = reader.Open(sim.PtyPath(), 19200, 1000);
    ASSERT_TRUE(reader.IsOpen()) << "message " << identity.messageId;
    EXPECT_EQ(reader.Handle(), identity.handle);
    EXPECT_EQ(reader.Connection(), sim.PtyPath());
    EXPECT_FALSE(reader.LinkLost());
    firstHandle = reader.Handle();
  }
  // Serial handles take the lowest free number: a second connection gets the
  // same one only when the first was closed.
  ReaderClient again;
  again.Open(sim.PtyPath(), 19200, 1000);
  ASSERT_TRUE(again.IsOpen());
  EXPECT_EQ(again.Handle(), firstHandle);
  EXPECT_TRUE(again.Close());
  EXPECT_FALSE(again.IsOpen());
  EXPECT_EQ(again.Handle(), 0);
  EXPECT_TRUE(again.Close());  // closing twice is no error
  sim.Stop();
}

TEST(ReaderClient, AFailedOpenLeavesItClosedWithTheReason) {
  ReaderClient reader;
  const ReaderIdentity identity = reader.Open("/dev/stampwise-no-such-port", 19200, 200);
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_EQ(reader.Handle(), 0);
  EXPECT_NE(identity.messageId, 0);
  EXPECT_EQ(reader.LastMessageId(), identity.messageId);
  EXPECT_FALSE(reader.LinkLost());
  int power = 0;
  EXPECT_FALSE(reader.ReadTxPower(&power));
}

TEST(ReaderClient, ListsTheUsbReadersOfTheD2xxLibrary) {
  setenv("QLMKV_FTD2XX_LIBRARY", FAKE_FTD2XX_PATH, 1);
  struct Case {
    const char* attached;
    std::vector<std::string> listed;
  };
  const Case cases[] = {
      {"", {}},
      {"17050002:free", {"17050002"}},
      {"17050002:free,17050007:free", {"17050002", "17050007"}},
  };
  for (const Case& c : cases) {
    setenv("QLMKV_FAKE_FTDI", c.attached, 1);
    EXPECT_EQ(ReaderClient::UsbDevices(), c.listed) << c.attached;
  }
  unsetenv("QLMKV_FAKE_FTDI");
  unsetenv("QLMKV_FTD2XX_LIBRARY");
}

// A HID reader is lost when it has left the USB list, not when it is only
// silent; names the list cannot show are never taken for lost.
TEST(ReaderClient, AnUnpluggedHidReaderIsALostLink) {
  qlmkv::test::FakeHid hid("1C40:05AB:1705-0042:9:9");
  ReaderClient reader;
  ASSERT_GT(reader.Open("1705-0042 HID:1", 19200, 100).handle, 0);
  unsigned char version[8] = {};
  hid.Silence(0, true);
  EXPECT_EQ(RdrGetVersion(reader.Handle(), version, sizeof version, nullptr, 0), -1);
  EXPECT_FALSE(reader.LinkLost()) << "a silent reader is still there";
  hid.Unplug(0);
  EXPECT_EQ(RdrGetVersion(reader.Handle(), version, sizeof version, nullptr, 0), -1);
  EXPECT_TRUE(reader.LinkLost());

  EXPECT_EQ(ListedHidNameOfConnection("1705-0042 HID:3"), "1705-0042 HID");
  for (const char* other : {"1319-???? HID", "1699-1 HID", "17050042", "/dev/ttyACM0:1", "1710-1 HID"}) {
    EXPECT_EQ(ListedHidNameOfConnection(other), "") << other;
  }
}

TEST(ReaderClient, AModeSwitchNeedsAReaderToTell) {
  EXPECT_FALSE(ReaderClient::SwitchUsbMode("/dev/stampwise-no-such-port", UsbMode::Hid));
  mkvsim::SimProcess sim({"--quiet", "--tags", "0"});
  EXPECT_FALSE(ReaderClient::SwitchUsbMode(sim.PtyPath(), UsbMode::None));
  sim.Stop();
}

TEST(ReaderClient, CountsTheBytesOfAHexText) {
  struct Case {
    const char* text;
    int bytes;
  };
  for (const Case& c : {Case{"3C5A9E71", 4}, Case{"3C5A9E", 3}, Case{"3C5A9E71AA", 5}, Case{"Error", 0}}) {
    EXPECT_EQ(ReaderClient::HexByteCount(c.text), c.bytes) << c.text;
  }
}

}  // namespace
}  // namespace stampwise
