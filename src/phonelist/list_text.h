#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <string>
#include <string_view>

// The width of the list's `Imie` and `Nazwisko` fields, in Windows-1250 bytes.
inline constexpr int kListNameLength = 40;

// How a list file's text is written. A byte-order mark tells UTF-16 (as an
// editor saves "Unicode") and UTF-8; without one, text that is valid UTF-8
// and holds at least one multibyte sequence is UTF-8; anything else is the
// Windows-1250 the list files have always been.
enum class ListFileEncoding { kWindows1250, kUtf8, kUtf16LE, kUtf16BE };
ListFileEncoding DetectListFileEncoding(std::string_view bytes);

// A list file's bytes as text, without a byte-order mark. A byte Windows-1250
// leaves undefined, and a sequence that is not valid UTF-8, reads as U+FFFD;
// neither that nor a lone UTF-16 surrogate can stand in a list line.
QString DecodeListFile(std::string_view bytes);
// The same read as `encoding`, whatever the bytes look like; a mark of that
// encoding at the start is passed over.
QString DecodeListFileAs(std::string_view bytes, ListFileEncoding encoding);

// The lines of a list file's text: CR LF, LF or CR end a line, a last line
// may lack its end, a character 0 ends the file, blank lines count.
QStringList SplitListFileLines(QStringView text);

// One line of a list file taken apart: first name, surname, phone. Splits on
// the first two "|"; whatever follows the second belongs to the phone,
// further "|" included. A line with one "|" is a first name and a phone, a
// line without any a bare phone. `complete` says both "|" were there.
// Nothing is trimmed or cut here.
struct ListLine {
  QString firstName;
  QString surname;
  QString phone;
  bool complete = false;
};
ListLine SplitListLine(QStringView line);

// True with `bytes` when every character of `text` can stand in the list: no
// control character and nothing Windows-1250 lacks; else false with the
// first that cannot in `offending`.
bool ListBytes(QStringView text, std::string* bytes, QChar* offending = nullptr);
// A control character (a tab, a line end) in `text`, the first in `offending`.
bool HasControlCharacter(QStringView text, QChar* offending = nullptr);

