// The write job as both front ends run it: the stored job (every key of the
// window's job), and what a job saves back when it ends. The window reads its
// widgets and stampwise-cli its options into the job between the two; the
// tag writer checks every value the job can write before the first tag.
//
// What a job takes from the store: section "Settings" (the parameter set, the
// write options, the timings), "Protokoll" (the logs), "Pruefung" (the
// read-back check), "Journal" (on, folder, station, TID) and the ledger
// ("Ledger"). Which source gives the values is the front end's choice: the
// window's GS1 mode and value list, the command line's --gs1/--epc-uri and
// --values-file; the counter otherwise.
//
// What a write job saves back: the parameter set and options it ran with;
// "LastData" only from a counter job, never moved back behind another
// program's; a GS1 job's section (its next tag URI and the inputs that give
// it); a list's position keys. A read job saves nothing of the write job.
#pragma once

#include <optional>
#include <string>

#include "app/gs1/gs1_job.h"
#include "app/job/tag_writer.h"
#include "app/store/settings.h"

namespace stampwise {

// The journal's file name in its folder.
inline constexpr const char* kJournalFileName = "Journal.csv";

// The journal file the stored keys name: "Journal.csv" in "Ordner", or in
// the write log's folder when none is chosen; empty while "Aktiv" is off.
std::string StoredJournalPath(Settings& settings, const std::string& writeLogFile);

// The traceability of the stored job.
TraceConfig StoredTrace(Settings& settings, const std::string& writeLogFile);

// The stored job, its values from the counter.
WriterConfig LoadWriteJob(Settings& settings);

// Section "GS1" after a GS1 job reached `ran`: its next tag URI and the
// panel's inputs that give it.
Gs1Settings Gs1SettingsAfter(Gs1Settings stored, const Gs1Job& ran);

// Saves back what a write job changed (see above). `app` carries what the
// front end keeps beyond the job (the window's place, the log switches);
// `gs1Enabled` the window's GS1 mode (nothing: as stored).
bool SaveWriteJob(Settings& settings, AppSettings app, const TagWriter& writer, std::optional<bool> gs1Enabled = {});

// The ledger a front end uses: the one given (--ledger), else the stored
// one (section "Ledger", key "Datei"), else the per-user default.
std::string ChosenLedger(Settings& settings, const std::optional<std::string>& given);

// The stored ledger ("Ledger"/"Datei") as a settings field shows it: a URI
// without its password.
std::string LedgerShown(const std::string& stored);
// What to store from the field: a field left as shown keeps the stored
// ledger, with the password it did not show; blanks around it go.
std::string LedgerAfterEdit(const std::string& stored, const std::string& edited);

}  // namespace stampwise
