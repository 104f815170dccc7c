#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
#include <vector>

#include "phonelist/list_text.h"

// What a list comes in: the program's own list file, a CSV as a spreadsheet
// saves it, or a workbook (its first sheet).
enum class SheetFormat { kListFile, kCsv, kXlsx, kOds };

// The file types an import takes, for its file dialog.
inline constexpr const char* kImportFileFilter = "Listy i arkusze (*.dat *.csv *.txt *.xlsx *.ods)";

// Past this a file, or a part of a workbook unpacked, is no list of a gate
// (a few thousand rows are a few hundred kilobytes) and is refused before it
// fills the memory.
inline constexpr qint64 kSheetSizeLimit = 32 * 1024 * 1024;

// What the user may set instead of what is detected; only a text file has a
// separator and an encoding.
struct SheetOptions {
  std::optional<SheetFormat> format;  // kListFile or kCsv for a text file; else by the separator
  QChar separator;                    // null: detected; "|" reads a list file
  std::optional<ListFileEncoding> encoding;
};

// One line of the file as cells, with where it starts in the file (counted
// from 1): a CSV field may span lines, a workbook numbers its rows.
struct SheetRow {
  int line = 0;
  QStringList cells;
};

struct Sheet {
  SheetFormat format = SheetFormat::kListFile;
  QChar separator;                                         // a CSV's
  ListFileEncoding encoding = ListFileEncoding::kWindows1250;  // a text file's
  std::vector<SheetRow> rows;
  QString error;  // why the file gives no rows at all; empty when it was read

  bool IsText() const { return format == SheetFormat::kListFile || format == SheetFormat::kCsv; }
};

// Tells the format from the bytes (a zip's parts, an Office container) and,
// for text, from the name: a ".dat" file, or a text whose separator is "|",
// is a list file; any other text is a CSV.
Sheet ReadSheet(const QByteArray& bytes, const QString& fileName, const SheetOptions& options = {});

// The readers, each from what its format is made of.
Sheet ReadListLines(QStringView text);
// RFC 4180: fields in double quotes may hold the separator, line ends and
// doubled quotes; any line end ends a record. A quote that never closes is
// an error, not a field that swallows the rest of the file.
Sheet ReadCsv(QStringView text, QChar separator);
// Of ";", ",", TAB and "|", the one that splits the first lines most evenly;
// null when none of them is there (a single column).
QChar DetectSeparator(QStringView text);
Sheet ReadXlsx(const QByteArray& bytes);
Sheet ReadOds(const QByteArray& bytes);

// The names the import dialog and the preview show.
QString SheetFormatName(SheetFormat format);
QString EncodingName(ListFileEncoding encoding);
QString SeparatorName(QChar separator);
