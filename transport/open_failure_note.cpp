#include "transport/open_failure_note.h"

#include <utility>

namespace qlmkv {
namespace {

thread_local std::optional<OpenFailureNote> lastNote;

}  // namespace

void NoteOpenFailure(OpenFailureNote note) { lastNote = std::move(note); }

void ClearOpenFailure() { lastNote.reset(); }

std::optional<OpenFailureNote> LastOpenFailure() { return lastNote; }

}  // namespace qlmkv
