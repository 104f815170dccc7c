#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

class Progress;
class Session;

inline constexpr const char* kListFileFilter = "Pliki (*.dat)";

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

// One row a list file gives, as the list stores it: the names in
// Windows-1250, cut to their fields, the phone normalised.
struct ListFileRow {
  std::string firstName;
  std::string surname;
  std::string phone;
  int line = 0;  // where in the file, counted from 1
};

// What a list file holds. A blank line is nothing; any other line is a row or
// is skipped and counted under why: a character the list cannot hold (a
// control character, one Windows-1250 lacks or leaves undefined), or a phone
// that is no well-formed number of at most the list's 12 characters (never
// cut: a cut number is a wrong one). A name longer than its field is cut,
// and the row counted.
struct ListFileContents {
  std::vector<ListFileRow> rows;
  int badCharacter = 0;
  int badNumber = 0;
  int namesCut = 0;
  int firstSkippedLine = 0;  // counted from 1; 0 when none was skipped

  int Skipped() const { return badCharacter + badNumber; }
};
ListFileContents ParseListFile(std::string_view bytes);

// Reads a whole file; false with the file layer's message in `error`.
bool ReadListFile(const QString& path, QByteArray* bytes, QString* error);

// The list as a list file: every row in the list's current order, one
// "first|surname|phone" line each, CR LF after every line, with the progress
// panel up. False (nothing to write) when the user cancelled.
bool ListFileBytes(Session& session, Progress& progress, QByteArray* bytes);

// Writes a list file. A regular file (or a new one) is replaced whole or not
// at all; anything else that is there already (a pipe, a device) is written
// into as it is, never replaced by a file. False with the cause in `error`.
bool WriteListFile(const QString& path, const QByteArray& bytes, QString* error);

// What an export did.
struct ExportResult : CommandResult {
  QString path;
  int written = 0;
};
// "EKSPORTUJ LISTĘ TELEFONÓW" once the file is chosen: ListFileBytes into
// WriteListFile.
ExportResult ExportList(Session& session, Progress& progress, const QString& path);

// The question an import asks before it adds anything.
inline constexpr const char* kImportClearQuestion = "Czy przed importem usunąć listę telefonów?";

// What an import did.
struct ImportResult : CommandResult {
  enum class Refusal { kNone, kNoRows, kStrict };
  QString name;  // the file, as messages name it
  Refusal refusal = Refusal::kNone;
  bool cleared = false;
  int taken = 0;  // rows that went into the list
  // Lines left out, by why: a number on the list already in any of its forms
  // (or on an earlier line of the file), a character the list cannot hold, a
  // malformed number; and the rows whose names were cut.
  int onList = 0;
  int badCharacter = 0;
  int badNumber = 0;
  int namesCut = 0;
  int firstSkippedLine = 0;

  int Skipped() const { return onList + badCharacter + badNumber; }
};

// "IMPORTUJ LISTĘ TELEFONÓW" once the file is chosen: reads and parses the
// file (ParseListFile), refuses a file that gives no row (and, when
// `strict`, one with a line it would skip), then asks whether to clear the
// list first and appends the rows. Nothing is cleared before the file has
// been read and found to hold a list, so a file that cannot be read, or
// holds none, leaves the list as it was. A row whose subscriber is listed
// already (SubscriberKey), or came on an earlier line, is dropped and counted;
// `strict` refuses the whole file for one, before anything changes.
ImportResult ImportList(Session& session, Progress& progress, const QString& path, bool strict = false);
// The same for bytes already read; `name` stands for the file in messages.
ImportResult ImportListBytes(Session& session, Progress& progress, const QByteArray& bytes, const QString& name,
                             bool strict = false);
