#include "app/store/record.h"

#include <gtest/gtest.h>

#include "app/texts/messages.h"
#include "app/texts/strings.h"
#include "tests/app/temp_folder.h"

namespace stampwise {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// Two records are the same when they make the same file.
std::string Image(const DataRecord& record) {
  CIniEx ini;
  RecordTo(ini, record);
  return ini.ToText();
}

DataRecord Record(DataFormat format, Bank bank, int start, int length, bool flags, std::string value) {
  DataRecord record;
  record.params = {format, length, start, bank, flags, flags, !flags, flags, !flags, std::move(value)};
  record.options = {flags, !flags, flags, flags ? "AABBCCDD" : ""};
  return record;
}

TEST(DataRecordFile, SavingAndLoadingRestoresEverything) {
  const DataRecord records[] = {
      Record(DataFormat::HexBinary, Bank::User, 0, 4, true, "00000001"),
      Record(DataFormat::DecimalAscii, Bank::Epc, 2, 12, false, "000123"),
      Record(DataFormat::DataAscii, Bank::Reserved, 0, 8, true, "Lot 7; box=3"),
      Record(DataFormat::DataBinary, Bank::Tid, 63, 64, false, ""),
  };
  TempFolder folder;
  std::string path = folder.File("job.MKVDat");
  for (const auto& record : records) {
    ASSERT_TRUE(SaveRecord(path, record));
    const Result<DataRecord> loaded = LoadRecord(path);
    ASSERT_TRUE(loaded.ok()) << loaded.message().text;
    EXPECT_EQ(Image(loaded.value()), Image(record));
  }
}

TEST(DataRecordFile, KeysAreWrittenInTheirOrder) {
  TempFolder folder;
  std::string path = folder.File("job.MKVDat");
  ASSERT_TRUE(SaveRecord(path, Record(DataFormat::HexAscii, Bank::Epc, 2, 6, true, "1F")));
  EXPECT_EQ(ReadFile(path),
            "[Settings]\r\nLastData=1F\r\nAutoIncrement=1\r\nAutoIncHex=0\r\nAutoNull=1\r\n"
            "PrefixZulassen=0\r\nDatenformat=1\r\nMSBFirst=1\r\nStartblock=2\r\nByteanzahl=6\r\n"
            "MemoryType=EPC\r\nEPCLenKorrigieren=1\r\nPasswortSetzen=0\r\nPasswortAktivieren=1\r\n"
            "AccessPasswort=AABBCCDD\r\n");
}

TEST(DataRecordFile, LoadingDefaults) {
  struct Case {
    const char* name;
    std::string text;
    DataRecord expected;
  };
  DataRecord empty = Record(DataFormat::HexBinary, Bank::User, 0, 4, false, "");
  empty.params.autoIncrementHex = false;
  empty.params.leadingZeros = false;
  empty.params.additionalText = false;
  empty.options = {false, false, false, ""};
  DataRecord reserved = empty;
  reserved.params.bank = Bank::Reserved;
  DataRecord someValue = empty;
  someValue.params.value = "77";
  // A number that is not one reads as its leading digits (none: 0), so the
  // checks report it instead of a default slipping in.
  someValue.params.lengthBytes = 0;
  DataRecord leadingDigits = empty;
  leadingDigits.params.lengthBytes = 12;
  leadingDigits.params.startWord = -3;
  const Case cases[] = {
      {"Res. with the dot", "[Settings]\r\nMemoryType=Res.\r\n", empty},
      {"Res", "[settings]\r\nmemorytype=Res\r\n", reserved},
      {"junk numbers", "[Settings]\r\nByteanzahl=many\r\nDatenformat=42\r\nMSBFirst=x\r\nLastData=77\r\n", someValue},
      {"leading digits", "[Settings]\r\nByteanzahl=12 bytes\r\nStartblock=-3x\r\nLastData=\r\n", leadingDigits},
  };
  for (const auto& test : cases) {
    TempFolder folder;
    std::string path = folder.File("in.MKVDat");
    WriteFile(path, test.text);
    const Result<DataRecord> loaded = LoadRecord(path);
    ASSERT_TRUE(loaded.ok()) << test.name;
    EXPECT_EQ(Image(loaded.value()), Image(test.expected)) << test.name;
  }
}

TEST(DataRecordFile, AFileThatIsNoRecordIsRefusedAndChangesNothing) {
  const std::string texts[] = {
      "",
      "[Other]\r\nLastData=5\r\n",
      "[Settings]\r\nSprache=1\r\n",
      std::string("\0\xff[Settings\n\x01=\x02", 14),
      std::string("\x7f"
                  "ELF\x02\x01\x01\0\0\0LastData=1\n",
                  20),
  };
  for (const std::string& text : texts) {
    TempFolder folder;
    const std::string path = folder.File("in.MKVDat");
    WriteFile(path, text);
    const Result<DataRecord> loaded = LoadRecord(path);
    EXPECT_FALSE(loaded.ok()) << text;
    EXPECT_EQ(loaded.message().id, msg::kNotADataRecord);
    EXPECT_EQ(loaded.message().text, LoadString(msg::kNotADataRecord));
    EXPECT_EQ(ReadFile(path), text);
  }
}

TEST(DataRecordFile, LoadingAMissingFileFailsAndCreatesNothing) {
  TempFolder folder;
  const Result<DataRecord> loaded = LoadRecord(folder.File("none.MKVDat"));
  EXPECT_FALSE(loaded.ok());
  EXPECT_FALSE(loaded.message().text.empty());
  EXPECT_FALSE(std::filesystem::exists(folder.File("none.MKVDat")));
}

}  // namespace
}  // namespace stampwise
