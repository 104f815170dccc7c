#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <array>
#include <string>
#include <vector>

#include "phonelist/sheet_reader.h"

// What becomes of one line of a file to import, decided before anything is
// stored. Only kOk and kNameCut lines go into the list.
enum class LineVerdict {
  kOk,
  kNameCut,        // taken, a name cut to its field
  kOnList,         // the number, in any of its forms, is on the list
  kDuplicate,      // an earlier line of the file has the number
  kExcelNumber,    // a long number a spreadsheet wrote as 5.01111E+08 or 501111222.0
  kInvalidNumber,
  kBadCharacter,   // a character the list cannot hold
  kBlank,
  kHeader,         // the line that names the columns
};
inline constexpr int kVerdictCount = 9;

// The code a script reads ("ok", "on-list", …) and the words a user reads.
const char* VerdictCode(LineVerdict verdict);
QString VerdictLabel(LineVerdict verdict);
bool IsTaken(LineVerdict verdict);
// A line left out that a strict import refuses the file for.
bool IsSkipped(LineVerdict verdict);

struct VerdictCounts {
  std::array<int, kVerdictCount> of{};

  int& operator[](LineVerdict v) { return of[size_t(v)]; }
  int operator[](LineVerdict v) const { return of[size_t(v)]; }
  int Taken() const { return (*this)[LineVerdict::kOk] + (*this)[LineVerdict::kNameCut]; }
  int Skipped() const;
};

// Which cell of a row holds what, counted from 0; -1 for none.
struct ColumnMap {
  int firstName = -1;
  int surname = -1;
  int phone = -1;

  bool operator==(const ColumnMap&) const = default;
};

// "imie,nazwisko,telefon" in any order, "-" for a column passed over; the
// names are those a header may use. False with why in `error`.
bool ParseColumns(const QString& text, ColumnMap* columns, QString* error);

// The column a header cell names: 0 first name, 1 surname, 2 phone; -1 none.
// Case, diacritics and blanks around do not matter.
int ColumnNamed(const QString& cell);

struct PreviewLine {
  int line = 0;
  LineVerdict verdict = LineVerdict::kOk;
  QString reason;
  // The values as they would be stored when taken, else as the file has them.
  QString firstName, surname, phone;
  // For a taken line: the list's own bytes (Windows-1250, cut to the fields,
  // the number normalised).
  std::string storedFirstName, storedSurname, storedPhone;
};

struct ImportPreview {
  Sheet sheet;  // how the file was read (its rows are in `lines`)
  ColumnMap columns;
  bool header = false;
  int columnCount = 0;
  QStringList columnNames;  // a header's cells, else "Kolumna 1", …
  std::vector<PreviewLine> lines;
  VerdictCounts counts;
  QString error;  // the file gives no lines at all; empty otherwise

  int FirstSkippedLine() const;
};

// Every row of `sheet` with its verdict. `given` overrides the columns a
// header or the row width would give; `listed` holds the SubscriberKey of
// each number that stays on the list.
ImportPreview PreviewImport(Sheet sheet, const std::optional<ColumnMap>& given, const QSet<QString>& listed,
                            const QString& countryCode);

// "do importu: 118; już na liście: 2; …": every verdict that occurs.
QString VerdictSummary(const VerdictCounts& counts);
