// The English resource library: English texts for the string ids of the
// program. Loaded at run time when the language setting asks for English;
// an id without an English text falls back to German.
#include <algorithm>
#include <array>

namespace {

struct Entry {
  int id;
  const char* text;
};

// Sorted by id.
constexpr std::array kEnglishStrings{
    Entry{101, "&About QL-MKV Stampwise ..."},
    Entry{104, "Timeout"},
    Entry{112, "Error: wrong data count"},
    Entry{114, "No Vex USB driver installed for the VCOM device!"},
    Entry{115, "Error. Wrong data count sent\r\n"},
    Entry{116, "Download and install the driver?"},
    Entry{117, "An unknown error occurred"},
    Entry{118, "Collision error"},
    Entry{119, "No device open, please choose a device first!"},
    Entry{120, "This function is only available with QL-MKV39 or MKV380!"},
    Entry{121, "The transmit power setting cannot be stored in the device!"},
    Entry{129, "No reader is connected to this port.\r\nPlease choose another interface."},
    Entry{139, "FW V%d.%02d"},
    Entry{165, "Block length is not correct"},
    Entry{171, "German"},
    Entry{172, "English"},
    Entry{176, "Unknown command"},
    Entry{180, "Error opening the port"},
    Entry{188, "No data to send"},
    Entry{230, "No valid transponder present!"},
    Entry{231, "The chosen device is a reader only! A programmer is needed here!"},
    Entry{232, "The password must be 4 bytes long!"},
    Entry{600, "New version:"},
    Entry{601, " is up to date"},
    Entry{602, "No internet connection: update check not possible!"},
    Entry{603, "No file found: update check not possible!"},
    Entry{604, "Starting the update, please wait!"},
    Entry{1000, "Choose interface"},
    Entry{1001, "Settings"},
    Entry{1002, "Set transmit power"},
    Entry{10000, "Not enough system resources available!"},
    Entry{10001,
          "A program for PDF files is needed to show the help.\r\n"
          "Please install one through your system's package manager\r\n"
          "or from its maker's web site."},
    Entry{10002, "Unknown error %d"},
    Entry{10129, "List of all IP addresses found"},
    Entry{10130, "IP address, subnet mask or gateway could not be set!"},
    Entry{10131,
          "No devices found!\nPlease check the firewall settings!\n"
          "The program may have to be allowed through the firewall manually."},
    Entry{32844, "Choose the \"write\" log file"},
    Entry{32845, "Choose the \"read\" log file"},
    Entry{32846, "OK"},
    Entry{32847, "Cancel"},
    Entry{32850, "Value <%s> written successfully"},
    Entry{32851, "Not a hexadecimal input"},
    Entry{32852, "Not a decimal input"},
    Entry{32853, "Byte count is too small"},
    Entry{32854, "A byte count above 8 cannot be handled in decimal mode"},
    Entry{32856, "Transponder not unique in the field! Please place one transponder."},
    Entry{32857, "No data present!"},
    Entry{32859, "The data field holds more data than allowed."},
    Entry{32860, "<%04d> Data written successfully!"},
    Entry{32870, "Log line could not be written: %s"},
    Entry{32871, "The next value cannot be stored, tag not written: %s"},
    Entry{32880,
          "Counter range used up: no further value fits into %d bytes. Nothing is written until a new start "
          "value is entered."},
    Entry{32881,
          "Outcome unknown (%s): the value <%s> may have reached the tag; it counts as used and is not issued "
          "again."},
    Entry{32882, "Connection to the reader lost: %s"},
    Entry{32888, "The reader's reply does not fit the command"},
    Entry{32889, "The reader is busy with another command"},
    Entry{32890, "The file is not a data record, nothing was loaded."},
    Entry{32900, "Unknown EPC scheme: %s"},
    Entry{32901, "Not a valid EPC tag URI: %s"},
    Entry{32902, "The company prefix fits no partition (6 to 12 digits): %s"},
    Entry{32903, "Wrong check digit: %s"},
    Entry{32904, "Serial number out of range or with a leading zero: %s"},
    Entry{32905, "Characters not allowed: %s"},
    Entry{32906, "Not a valid EPC encoding in hex: %s"},
    Entry{32907, "Filter value outside 0 to 7: %s"},
    Entry{32908, "Wrong number of digits: %s"},
    Entry{32909, "The filter value is missing (--filter 0 to 7)%s"},
    Entry{32910, "The serial number of scheme %s cannot count up; write without counting."},
    Entry{32911, "No next tag URI stored (section GS1, NextUri)%s"},
    Entry{32912, "Not allowed with a GS1 job: %s"},
    Entry{32913, "The field \"%s\" is empty."},
    Entry{32914, "Serial number range used up: %s. Nothing is written until a new serial number is entered."},
    Entry{32915, "A GS1 job counts with --inc dec or off, not: %s"},
    Entry{32916, "Scheme"},
    Entry{32917, "Filter"},
    Entry{32918, "Company prefix digits"},
    Entry{32919, "Identifier (GTIN, SSCC, ...)"},
    Entry{32920, "Next serial number"},
    Entry{32930, "Write not confirmed: wrote %s, read back %s. The value counts as used and is not given out again."},
    Entry{32931, "Read-back failed (%s): the value counts as used and is not given out again."},
    Entry{32932, "The journal cannot be written, the cycle is stopped: %s"},
    Entry{32933, "The value list cannot be read: %s"},
    Entry{32934, "Value list %s: bad quotes in line %d"},
    Entry{32935, "Value list %s holds no values."},
    Entry{32936, "Value list %s: line %d has no column %d."},
    Entry{32937, "Value list %s is used up, nothing more is written."},
    Entry{32938, "Value list %s changed in its part already given out; choose it again to start from the top."},
    Entry{32939, "Line %d of the value list was given out before an abort; its outcome is unknown."},
    Entry{32940, "Begun before an abort, outcome unknown: the value <%s> may have reached the tag; it counts as used."},
    Entry{32950, "Data record saved: %s"},
    Entry{32951, "Data record loaded: %s, next value <%s>"},
    Entry{32952, "Cycle ended: %d written, %d failed, %d with unknown outcome, next value <%s>, %s s"},
    Entry{32953, "Cycle ended: %d read, %d failed, %s s"},
    Entry{32954, "No reader"},
    Entry{32955, "Counter: %s values left"},
    Entry{32960, "Ledger %s cannot be used: %s"},
    Entry{32961, "The data <%s> were handed out before (on %s by station %s, outcome: %s). Nothing was written."},
    Entry{32962, "The attempt with value <%s> was left open when its program ended: outcome unknown"},
    Entry{32963, "The journal %s was deleted or replaced; a new one was begun."},
    Entry{32964, "Value list %s, line %d: %s"},
    Entry{32965, "Value list %s: line %d repeats line %d"},
    Entry{32966, "The counter's last value <%s> cannot be written: %s"},
    Entry{32967, "The settings file %s is damaged (line %d); it is not used."},
    Entry{32968, "New settings file %s created"},
    Entry{32969, "%s\r\nWrite these data again on purpose?"},
    Entry{61712, "Enter an integer."},
    Entry{61714, "Enter an integer between %1 and %2."},
    Entry{61716, "Enter no more than %1 characters."},
    Entry{61719, "Enter a positive integer."},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const char* StampwiseString(int id) {
  const auto it = std::lower_bound(kEnglishStrings.begin(), kEnglishStrings.end(), id,
                                   [](const Entry& e, int value) { return e.id < value; });
  return it != kEnglishStrings.end() && it->id == id ? it->text : nullptr;
}
