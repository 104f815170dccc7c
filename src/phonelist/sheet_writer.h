#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

// One row of the list as its files carry it: the stored Windows-1250 bytes.
struct ListEntry {
  std::string firstName, surname, phone;
};

// What an export writes, by the chosen file's extension: ".csv" and ".xlsx"
// for spreadsheets, anything else the list file.
enum class ExportFormat { kListFile, kCsv, kXlsx };
ExportFormat ExportFormatFor(const QString& path);

// The file types an export offers, for its file dialog.
inline constexpr const char* kExportFileFilters[] = {"Pliki (*.dat)", "Arkusz CSV (*.csv)", "Arkusz Excel (*.xlsx)"};

// "first|surname|phone" and CR LF per row, the bytes as stored.
QByteArray ListFileText(const std::vector<ListEntry>& entries);
// As a Polish spreadsheet opens a CSV by a double click: UTF-8 with its mark,
// ";" between fields, a header, CR LF; a field with ";", a quote or a line
// end in double quotes.
QByteArray CsvText(const std::vector<ListEntry>& entries);
// A workbook of one sheet with a header, the phone column stored as text so
// that no spreadsheet turns "+48…" or "0048…" into a number. False with why.
bool XlsxBytes(const std::vector<ListEntry>& entries, QByteArray* bytes, QString* error);
