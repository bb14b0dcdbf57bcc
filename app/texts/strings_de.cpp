// The German string table. Texts are the program's own and must stay exactly
// as they are: tests, log readers and operators' habits depend on them.
#include <array>

#include "app/texts/strings.h"

namespace stampwise {

namespace {

// Sorted by id. Ids without a text (177, the driver page 102) are absent and
// load as "".
constexpr std::array kGermanStrings{
    StringEntry{101, "Inf&o über QL-MKV Stampwise ..."},
    StringEntry{104, "Timeout"},
    StringEntry{112, "Fehler: Falsche Datenanzahl"},
    StringEntry{114, "Kein Vex USB Treiber für VCOM Gerät installiert!"},
    StringEntry{115, "Fehler. Falsche Datenanzahl gesendet\r\n"},
    StringEntry{116, "Treiber laden und installieren?"},
    StringEntry{117, "Unbekannter Fehler ist aufgetreten"},
    StringEntry{118, "Kollision Fehler"},
    StringEntry{119, "Kein Gerät geöffnet, bitte zuerst Gerät auswählen!"},
    StringEntry{120, "Diese Funktion kann nur bei QL-MKV39 oder MKV380 verwendet werden!"},
    StringEntry{121, "Einstellung für Sendeleistung kann nicht im Gerät gespeichert werden!"},
    StringEntry{129,
                "An diesem Port ist kein Leser angeschlossen.\r\n"
                "Bitte wählen sie eine andere Schnittstelle."},
    StringEntry{139, "FW V%d.%02d"},
    StringEntry{165, "Blocklänge ist nicht korrekt"},
    StringEntry{171, "Deutsch"},
    StringEntry{172, "Englisch"},
    StringEntry{176, "Unbekanntes Kommando"},
    StringEntry{180, "Fehler beim Port öffnen"},
    StringEntry{188, "Keine Sendedaten"},
    StringEntry{230, "Kein gültiger Transponder vorhanden!"},
    StringEntry{231,
                "Das gewählte Gerät ist ein reiner Leser! Hier wird jedoch ein Programmer "
                "benötigt!"},
    StringEntry{232, "Das Passwort muss 4 Byte lang sein!"},
    StringEntry{600, "Neue Version:"},
    StringEntry{601, " ist aktuell"},
    StringEntry{602, "Keine Internet Verbindung: Update Prüfung nicht möglich!"},
    StringEntry{603, "Keine Datei gefunden: Update Prüfung nicht möglich!"},
    StringEntry{604, "Update wird gestartet, bitte warten!"},
    StringEntry{1000, "Schnittstelle wählen"},
    StringEntry{1001, "Einstellungen"},
    StringEntry{1002, "Sendeleistung einstellen"},
    StringEntry{10000, "Nicht genügend Systemresourcen vorhanden!"},
    StringEntry{10001,
                "Zum Anzeigen der Hilfe wird ein Programm für PDF-Dateien benötigt.\r\n"
                "Bitte installieren Sie ein solches Programm über die Paketverwaltung "
                "Ihres Systems\r\noder von der Internetseite seines Herstellers."},
    StringEntry{10002, "Unbekannter Fehler %d"},
    StringEntry{10129, "Liste aller gefundenen IP-Adressen"},
    StringEntry{10130, "IP-Adresse, Subnetzmaske oder Gateway konnte nicht gesetzt werden!"},
    StringEntry{10131,
                "Keine Geräte gefunden!\nBitte prüfen Sie die Firewall-Einstellungen!\n"
                "Evtl. muss das Programm manuell in der Firewall freigegeben werden."},
    StringEntry{32844, "Logdatei \"Schreiben\" wählen"},
    StringEntry{32845, "Logdatei \"Lesen\" wählen"},
    StringEntry{32846, "OK"},
    StringEntry{32847, "Abbruch"},
    StringEntry{32850, "Wert <%s> erfolgreich geschrieben"},
    StringEntry{32851, "Keine Hex-Eingabe"},
    StringEntry{32852, "Keine Dezimal-Eingabe"},
    StringEntry{32853, "Byteanzahl ist zu klein"},
    StringEntry{32854, "Bytanzahl größer 8 kann im Dezimal-Modus nicht bearbeitetet werden"},
    StringEntry{32856, "Transponder nicht eindeutig im Feld! Bitte einen Transponder auflegen."},
    StringEntry{32857, "Keine Daten vorhanden!"},
    StringEntry{32859, "Datenfeld enthält mehr Daten als erlaubt sind."},
    StringEntry{32860, "<%04d> Daten erfolgreich geschrieben!"},
    StringEntry{32870, "Protokollzeile konnte nicht geschrieben werden: %s"},
    StringEntry{32871, "Folgewert kann nicht gespeichert werden, Tag nicht beschrieben: %s"},
    StringEntry{32880,
                "Zählbereich erschöpft: kein weiterer Wert passt in %d Bytes. Es wird nichts geschrieben, "
                "bis ein neuer Startwert eingegeben ist."},
    StringEntry{32881,
                "Ergebnis unbekannt (%s): der Wert <%s> kann den Tag erreicht haben, er gilt als verbraucht "
                "und wird nicht erneut vergeben."},
    StringEntry{32882, "Verbindung zum Leser verloren: %s"},
    StringEntry{32888, "Die Antwort des Lesers passt nicht zum Befehl"},
    StringEntry{32889, "Der Leser ist mit einem anderen Befehl beschäftigt"},
    StringEntry{32890, "Die Datei ist kein Datensatz, nichts wurde geladen."},
    StringEntry{32900, "Unbekanntes EPC-Schema: %s"},
    StringEntry{32901, "Keine gültige EPC-Tag-URI: %s"},
    StringEntry{32902, "Das Firmenpräfix passt in keine Partition (6 bis 12 Stellen): %s"},
    StringEntry{32903, "Falsche Prüfziffer: %s"},
    StringEntry{32904, "Seriennummer außerhalb des Bereichs oder mit führender Null: %s"},
    StringEntry{32905, "Unzulässige Zeichen: %s"},
    StringEntry{32906, "Keine gültige EPC-Kodierung in Hex: %s"},
    StringEntry{32907, "Filterwert außerhalb von 0 bis 7: %s"},
    StringEntry{32908, "Falsche Stellenzahl: %s"},
    StringEntry{32909, "Der Filterwert fehlt (--filter 0 bis 7)%s"},
    StringEntry{32910,
                "Die Seriennummer des Schemas %s kann nicht hochgezählt werden; bitte ohne Hochzählen schreiben."},
    StringEntry{32911, "Keine nächste Tag-URI gespeichert (Abschnitt GS1, NextUri)%s"},
    StringEntry{32912, "Für einen GS1-Auftrag nicht zulässig: %s"},
    StringEntry{32913, "Das Feld \"%s\" ist leer."},
    StringEntry{32914,
                "Seriennummernbereich erschöpft: %s. Es wird nichts geschrieben, bis eine neue Seriennummer "
                "eingegeben ist."},
    StringEntry{32915, "Ein GS1-Auftrag zählt mit --inc dec oder off, nicht: %s"},
    StringEntry{32916, "Schema"},
    StringEntry{32917, "Filter"},
    StringEntry{32918, "Stellen Firmenpräfix"},
    StringEntry{32919, "Kennung (GTIN, SSCC, ...)"},
    StringEntry{32920, "Nächste Seriennummer"},
    StringEntry{32930,
                "Schreiben nicht bestätigt: geschrieben %s, zurückgelesen %s. Der Wert gilt als verbraucht "
                "und wird nicht erneut vergeben."},
    StringEntry{32931, "Prüflesen fehlgeschlagen (%s): der Wert gilt als verbraucht und wird nicht erneut vergeben."},
    StringEntry{32932, "Journal kann nicht geschrieben werden, der Zyklus ist angehalten: %s"},
    StringEntry{32933, "Werteliste kann nicht gelesen werden: %s"},
    StringEntry{32934, "Werteliste %s: falsche Anführungszeichen in Zeile %d"},
    StringEntry{32935, "Werteliste %s enthält keine Werte."},
    StringEntry{32936, "Werteliste %s: Zeile %d hat keine Spalte %d."},
    StringEntry{32937, "Werteliste %s ist aufgebraucht, es wird nichts mehr geschrieben."},
    StringEntry{32938,
                "Werteliste %s wurde in ihrem schon vergebenen Teil geändert; wählen Sie sie neu, um von vorn "
                "zu beginnen."},
    StringEntry{32939, "Zeile %d der Werteliste wurde vor einem Abbruch vergeben, ihr Ergebnis ist unbekannt."},
    StringEntry{32940,
                "Vor einem Abbruch begonnen, Ergebnis unbekannt: der Wert <%s> kann den Tag erreicht haben, er "
                "gilt als verbraucht."},
    StringEntry{32941, "Station bereit: Modbus TCP %s"},
    StringEntry{32942, "Modbus TCP %s kann nicht geöffnet werden: %s"},
    StringEntry{32943, "Ungültige Modbus-Adresse %s (erwartet: ADRESSE:PORT)"},
    StringEntry{32944, "PLC verbunden"},
    StringEntry{32945, "PLC nicht verbunden"},
    StringEntry{32946, "Letzter Auslöser %s: %s"},
    StringEntry{32947, "bestanden"},
    StringEntry{32948, "abgelehnt"},
    StringEntry{32950, "Datensatz gespeichert: %s"},
    StringEntry{32951, "Datensatz geladen: %s, nächster Wert <%s>"},
    StringEntry{32952,
                "Zyklus beendet: %d geschrieben, %d fehlgeschlagen, %d mit unbekanntem Ergebnis, nächster Wert "
                "<%s>, %s s"},
    StringEntry{32953, "Zyklus beendet: %d gelesen, %d fehlgeschlagen, %s s"},
    StringEntry{32954, "Kein Leser"},
    StringEntry{32955, "Zähler: noch %s Werte"},
    StringEntry{32960, "Vergabebuch %s kann nicht benutzt werden: %s"},
    StringEntry{32961,
                "Die Daten <%s> sind schon vergeben (am %s von Station %s, Ergebnis: %s). Nichts wurde geschrieben."},
    StringEntry{32962, "Der Versuch mit Wert <%s> blieb offen, als sein Programm endete: Ergebnis unbekannt"},
    StringEntry{32963, "Das Journal %s wurde gelöscht oder ersetzt; ein neues wurde begonnen."},
    StringEntry{32964, "Werteliste %s, Zeile %d: %s"},
    StringEntry{32965, "Werteliste %s: Zeile %d wiederholt Zeile %d"},
    StringEntry{32966, "Der letzte Wert des Zählers <%s> kann nicht geschrieben werden: %s"},
    StringEntry{32967, "Die Einstellungsdatei %s ist beschädigt (Zeile %d); sie wird nicht benutzt."},
    StringEntry{32968, "Neue Einstellungsdatei %s angelegt"},
    StringEntry{32969, "%s\r\nDiese Daten bewusst erneut schreiben?"},
    StringEntry{32970, "%d GS1-EPCs mit unbekanntem Ergebnis wurden ausgelassen"},
    StringEntry{32971, "Der Lesepunkt <%s> ist weder eine SGLN noch ein URI; die Ereignisse haben keinen"},
    StringEntry{32972, "Keine MQTT-Broker-Adresse: %s erwartet (mqtt[s]://[BENUTZER[:KENNWORT]@]RECHNER[:PORT]/THEMA)"},
    StringEntry{32973,
                "Die MQTT-Zugangsdatei %s ist nicht lesbar (Benutzer in der ersten Zeile, Kennwort in der zweiten)"},
    StringEntry{32974, "%d Meldungen erreichten den MQTT-Broker %s nicht; \"ledger publish --since %s\" sendet sie"},
    StringEntry{32975, "MQTT-Broker %s kann nicht benutzt werden: %s"},
    StringEntry{32976, "%s ist in diesem Build nicht verfügbar"},
    StringEntry{32977, "Der Wert <%s> lag für das nächste Tag bereit; der Zyklus endete vorher: nichts geschrieben"},
    StringEntry{
        32990, "Das gemeinsame Vergabebuch %s antwortet nicht (%s); der Block dieser Station für %s ist aufgebraucht."},
    StringEntry{32991,
                "Gemeinsames Vergabebuch %s: Wert <%s> ist schon vergeben (Station %s, am %s). Die Station hält an."},
    StringEntry{32992,
                "Der Wert <%s> liegt nicht im Block dieser Station für %s; beim gemeinsamen Vergabebuch "
                "kommen die Werte nur aus dem Vorrat."},
    StringEntry{32993,
                "Die Station wartet auf das gemeinsame Vergabebuch %s und schreibt weiter, sobald es antwortet."},
    StringEntry{32994, "Das gemeinsame Vergabebuch %s antwortet wieder; die Station schreibt weiter."},
    StringEntry{32995, "den Zähler in Bank %s ab Wort %d"},
    StringEntry{32996, "die GS1-Seriennummern von %s"},
    StringEntry{32997, "die Werteliste %s"},
    StringEntry{61712, "Geben Sie eine ganze Zahl ein."},
    StringEntry{61714, "Geben Sie eine ganze Zahl zwischen %1 und %2 ein."},
    StringEntry{61716, "Geben Sie höchstens %1 Zeichen ein."},
    StringEntry{61719, "Geben Sie eine positive ganze Zahl ein."},
};

constexpr bool IsSortedById() {
  for (std::size_t i = 1; i < kGermanStrings.size(); ++i) {
    if (kGermanStrings[i - 1].id >= kGermanStrings[i].id) return false;
  }
  return true;
}
static_assert(IsSortedById(), "lookup is a binary search: keep the table sorted by id");

}  // namespace

std::span<const StringEntry> GermanStringTable() { return kGermanStrings; }

}  // namespace stampwise
