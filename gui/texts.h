// Texts between the string table, the tag values and Qt. Table texts and
// captions are UTF-8; a tag value has one byte per character, so value fields
// use Latin-1 in both directions.
#pragma once

#include <QString>
#include <string>

namespace stampwise::gui {

// The caption of a control in the active language: the English resource
// library's caption for the German text when English is active, else German.
QString Caption(const char* german);

// A string-table text by id, in the active language.
QString TableText(int id);

// Bytes for a field of the window (a status line, a module's or a device's
// name, a server's text): UTF-8 when they are valid UTF-8, else Latin-1, by
// the one conversion of app/strings.h, so no byte turns into a replacement
// character and no byte sequence stops the window.
QString FromUtf8(const std::string& text);
inline QString StatusText(const std::string& line) { return FromUtf8(line); }

inline std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }
inline QString FromValue(const std::string& value) {
  return QString::fromLatin1(value.data(), qsizetype(value.size()));
}
inline std::string ToValue(const QString& text) { return text.toLatin1().toStdString(); }

}  // namespace stampwise::gui
