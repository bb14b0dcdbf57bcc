// English captions of the dialogs and controls, looked up by their German
// caption (UTF-8). The program shows the German caption when this library is
// not loaded or has no entry for it.
#include <cstring>

namespace {

struct Caption {
  const char* german;
  const char* english;
};

constexpr Caption kCaptions[] = {
    // Main window
    {"Parameter", "Parameters"},
    {"Typ:", "Type:"},
    {"Startwort:", "Start word:"},
    {"Länge in Bytes:", "Length in bytes:"},
    {"EPC Länge korrigieren", "Correct EPC length"},
    {"Datenformat", "Data format"},
    {"Hexadezimalzahl binär", "Hexadecimal binary"},
    {"Hexadezimalzahl ASCII", "Hexadecimal ASCII"},
    {"Dezimalzahl binär", "Decimal binary"},
    {"Dezimalzahl ASCII", "Decimal ASCII"},
    {"Daten binär", "Data binary"},
    {"Daten ASCII", "Data ASCII"},
    {"höchstwertiges Byte an erster Stelle", "Most significant byte first"},
    {"Lesen", "Read"},
    {"Zyklisch ", "Cyclic "},
    {"Zyklisch", "Cyclic"},
    {"Einmalig", "Once"},
    {"letzten Wert beibehalten", "Keep last value"},
    {"Schreiben", "Write"},
    {"Auto increment (Dez)", "Auto increment (Dec)"},
    {"Führende Nullen", "Leading zeros"},
    {"Zusatztext zulassen", "Allow additional text"},
    {"Access Passwort setzen", "Set access password"},
    {"Access Passwort aktivieren", "Activate access password"},
    {"Seriennummer hochzählen", "Count the serial number up"},
    {"Tag-URI:", "Tag URI:"},
    {"Gelesene Tag-URI:", "Tag URI read:"},
    {"Logdateien", "Log files"},
    {"Schreiben protokollieren", "Log writes"},
    {"Lesen protokollieren", "Log reads"},
    {"Anzahl programmiert:", "Tags programmed:"},
    {"Datensatz lesen", "Load data record"},
    {"Datensatz schreiben", "Save data record"},
    {"Schliessen", "Close"},
    {"Info über QL-MKV Stampwise", "About QL-MKV Stampwise"},
    {"Schreibzyklus läuft", "Write cycle running"},
    {"Wartet auf das Vergabebuch", "Waiting for the ledger"},
    {"Lesezyklus läuft", "Read cycle running"},
    {"&Ansicht", "&View"},
    // Production view
    {"Produktionsansicht", "Production view"},
    {"Angehalten", "Stopped"},
    {"Schicht gezählt seit %1", "Shift counted since %1"},
    {"Diese Schicht", "This shift"},
    {"Dieser Zyklus", "This cycle"},
    {"Tags pro Minute", "Tags per minute"},
    {"Fehlgeschlagen", "Failed"},
    {"Ergebnis unbekannt", "Outcome unknown"},
    {"Ausbeute", "Yield"},
    {"Letzter Wert:", "Last value:"},
    {"Letzte EPC:", "Last EPC:"},
    {"Fehler pro Minute", "Failures per minute"},
    {"Minuten", "Minutes"},
    {"Schichtbericht speichern …", "Save shift report …"},
    {"Schichtbericht speichern", "Save shift report"},
    {"Schichtbericht gespeichert:\n%1\n\nJetzt öffnen?", "Shift report saved:\n%1\n\nOpen it now?"},
    {"Schichtbericht nicht gespeichert:\n%1", "Shift report not saved:\n%1"},
    // About box
    {"Nach Update suchen", "Looking for updates"},
    {"Gerät", "Device"},
    {"automatisch auf neue Version prüfen", "Check for a new version automatically"},
    // Settings
    {"Einstellungen", "Settings"},
    {"Tondauer", "Beep time"},
    {"( 0ms = Ton aus)", "( 0ms = no beep)"},
    {"Zykluszeit", "Cycle time"},
    {"Vergabebuch", "Ledger"},
    {"leer: das eigene dieses Benutzers", "empty: this user's own"},
    {"Blockgröße", "Block size"},
    {"Werte", "values"},
    {"(je Block eines gemeinsamen Vergabebuchs)", "(per block of a shared ledger)"},
    {"Abbrechen", "Cancel"},
    // Transmit power
    {"Sendeleistung einstellen", "Set transmit power"},
    {"Sendeleistung: ", "Transmit power: "},
    // Interface
    {"Schnittstelle", "Interface"},
    {"Schnittstelle auswählen", "Choose interface"},
    {"Ethernet aktivieren", "Enable Ethernet"},
    {"Baudrate", "Baud rate"},
    {"Parität", "Parity"},
    {"keine", "none"},
    {"gerade", "even"},
    {"ungerade", "odd"},
    {"Stopbits:", "Stop bits:"},
    {"Geräteadresse [dez.]", "Device address [dec.]"},
    {"Gerätepfad:", "Device path:"},
    {"Festen Namen verwenden", "Use stable name"},
    {"Geben Sie einen Gerätepfad unter /dev/ ein.", "Enter a device path under /dev/."},
    {"Der Gerätepfad darf kein Leerzeichen enthalten.", "The device path must not contain a blank."},
    {"Das Gerät %1 gibt es nicht.", "The device %1 does not exist."},
    {"%1 ist kein Gerät.", "%1 is not a device."},
    // Traceability
    {"Werteliste:", "Value list:"},
    {"Schreiben prüfen", "Verify writes"},
    {"Journal führen", "Keep a journal"},
    {"PLC-Station (Modbus TCP):", "PLC station (Modbus TCP):"},
    {"noch %1 von %2 Zeilen", "%1 of %2 lines left"},
    {"Die Werteliste ist schon teilweise vergeben. Von vorn beginnen?",
     "The value list is partly given out already. Start from its first line?"},
    // IP search and LAN settings
    {"IP-Adresse ändern", "Change IP address"},
    {"Schliessen", "Close"},
    {"LAN Einstellung", "LAN settings"},
    {"IP Adresse automatisch beziehen", "Obtain an IP address automatically"},
    {"Folgende IP Adresse verwenden", "Use the following IP address"},
    {"DHCP Name:", "DHCP name:"},
    {"IP-Adresse:", "IP address:"},
    {"Subnetzmaske:", "Subnet mask:"},
    {"Gateway:", "Gateway:"},
    {"Geben Sie eine gültige IP-Adresse ein.", "Enter a valid IP address."},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const char* StampwiseCaption(const char* german) {
  if (german == nullptr) return nullptr;
  for (const Caption& caption : kCaptions) {
    if (std::strcmp(caption.german, german) == 0) return caption.english;
  }
  return nullptr;
}
