// The write and read cycles against a running mkv-sim: the real SDK on the
// simulator's pseudo-terminal, a front end that records what it is shown,
// timers the test ticks by hand and a clock the test moves.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/connection/open_reader.h"
#include "app/job/front_end.h"
#include "app/job/tag_writer.h"
#include "app/store/settings.h"
#include "reader/rdr.h"
#include "sim/sim_process.h"
#include "tests/app/temp_folder.h"
#include "tests/common/sim_record.h"
#include "tests/fakes/fake_hid.h"

namespace stampwise::testing {

class RecordingFrontEnd : public FrontEnd {
 public:
  void AppendStatus(const std::string& line) override { statusLines.push_back(line); }
  void ShowWriteValue(const std::string& value) override {
    writeValue = value;
    writeValues.push_back(value);
  }
  void ShowReadText(const std::string& text) override {
    readField = text;
    readTexts.push_back(text);
  }
  void ShowNextTagUri(const std::string& uri) override { nextTagUri = uri; }
  void ShowReadTagUri(const std::string& uri) override { readTagUri = uri; }
  void ShowProgrammedCount(int count) override { programmedCount = count; }
  void FocusPasswordField() override { ++passwordFocused; }
  void WriteCycleStopped() override { ++cycleStopped; }
  void TagDone(const TagEvent& event) override { tagEvents.push_back(event); }
  void LedgerWait(const std::string& text) override { ledgerWaits.push_back(text); }

  int CountStatus(const std::string& line) const {
    int n = 0;
    for (const std::string& s : statusLines) n += s == line ? 1 : 0;
    return n;
  }

  std::vector<std::string> statusLines;
  std::vector<TagEvent> tagEvents;
  std::vector<std::string> ledgerWaits;
  std::vector<std::string> readTexts;
  std::string writeValue;
  std::vector<std::string> writeValues;
  std::string readField = "<untouched>";
  std::string nextTagUri;
  std::string readTagUri = "<untouched>";
  int programmedCount = -1;
  int passwordFocused = 0;
  int cycleStopped = 0;
};

// Ticked by the test: Start/Stop only track the state.
class ManualTimer : public CycleTimer {
 public:
  void Start(int /*periodMs*/) override { running_ = true; }
  void Stop() override { running_ = false; }
  bool IsRunning() const override { return running_; }

 private:
  bool running_ = false;
};

// One line of the simulator's write record.
inline std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  return text;
}

class CycleTest : public ::testing::Test {
 protected:
  using Clock = std::chrono::steady_clock;

  // Starts mkv-sim with `simArgs` (plus a write record) and opens it through the SDK.
  void StartReader(std::vector<std::string> simArgs = {"--tags", "1"}) {
    simArgs.insert(simArgs.end(), {"--quiet", "--record", RecordFile()});
    sim_ = std::make_unique<mkvsim::SimProcess>(simArgs);
    OpenWriter(sim_->PtyPath());
  }

  // The same through a HID link: a simulated reader (one tag in its field) of
  // the fake hidapi library. Control() needs mkv-sim and is not available.
  void StartHidReader() {
    setenv("QLMKV_FAKE_HID_RECORD", RecordFile().c_str(), 1);
    hid_ = std::make_unique<qlmkv::test::FakeHid>("1C40:05AB:17050001:9:9");
    OpenWriter("17050001 HID");
  }

  void OpenWriter(const std::string& connection) {
    const ReaderIdentity id = OpenReader(connection, 19200, 1000);
    ASSERT_GT(id.handle, 0) << "message " << id.messageId;
    handle_ = id.handle;
    settings_ = std::make_unique<Settings>(folder_.File("settings.ini"), folder_.Path() + "/");
    writer_ = std::make_unique<TagWriter>(frontEnd_, writeTimer_, readTimer_, settings_.get(), nullptr,
                                          [this] { return now_; });
    writer_->SetLink(TagLink(handle_));
    Change([this](WriterConfig& config) {
      config.logs.writeLogFile = folder_.File("write.txt");
      config.logs.readLogFile = folder_.File("read.txt");
    });
  }

  // Changes the writer's job as a front end does: a snapshot, changed, configured.
  void Change(const std::function<void(WriterConfig&)>& change) {
    WriterConfig config = writer_->Config();
    change(config);
    writer_->Configure(config);
  }

  void TearDown() override {
    writer_.reset();
    if (handle_ > 0) RdrClose(handle_);
    if (sim_) sim_->Stop();
    hid_.reset();
    unsetenv("QLMKV_FAKE_HID_RECORD");
  }

  std::string RecordFile() const { return folder_.File("record.txt"); }
  std::vector<RecordedWrite> Writes() const { return ReadRecord(RecordFile()); }
  // The data of the writes to `bank`, in order.
  std::vector<std::string> DataWritten(int bank) const {
    std::vector<std::string> data;
    for (const RecordedWrite& w : Writes())
      if (w.bank == bank) data.push_back(w.data);
    return data;
  }

  std::string Control(const std::string& command) { return sim_->Command(command); }
  // The EPC of the only tag in the field, as hex.
  std::string OnlyTagEpc() {
    const std::string list = Control("list");
    const std::size_t second = list.find(':', list.find(':') + 1);
    std::string epc = list.substr(second + 1);
    if (!epc.empty() && epc.back() == '*') epc.pop_back();
    return epc;
  }

  std::string StoredLastData() {
    Settings fresh(folder_.File("settings.ini"), folder_.Path() + "/");
    return fresh.ReadString(section::kSettings, "LastData", "<missing>");
  }

  // A User-bank job of four bytes in hex with hex increment.
  void UserHexJob(const std::string& value = "00000001") {
    Change([&](WriterConfig& config) {
      ParameterSet& p = config.params;
      p.bank = Bank::User;
      p.startWord = 0;
      p.lengthBytes = 4;
      p.format = DataFormat::HexBinary;
      p.autoIncrementDec = false;
      p.autoIncrementHex = true;
      p.value = value;
    });
  }

  void Advance(std::chrono::milliseconds by) { now_ += by; }

  TempFolder folder_;
  PrivateLedger ledger_{folder_};
  RecordingFrontEnd frontEnd_;
  ManualTimer writeTimer_;
  ManualTimer readTimer_;
  Clock::time_point now_ = Clock::now();
  std::unique_ptr<mkvsim::SimProcess> sim_;
  std::unique_ptr<qlmkv::test::FakeHid> hid_;
  int handle_ = 0;
  std::unique_ptr<Settings> settings_;
  std::unique_ptr<TagWriter> writer_;
};

}  // namespace stampwise::testing
