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

// A status line: UTF-8 when it is valid UTF-8, else Latin-1 (a value with
// bytes above 127 must not turn into replacement characters).
QString StatusText(const std::string& line);

inline QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }
inline std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }
inline QString FromValue(const std::string& value) {
  return QString::fromLatin1(value.data(), qsizetype(value.size()));
}
inline std::string ToValue(const QString& text) { return text.toLatin1().toStdString(); }

}  // namespace stampwise::gui
