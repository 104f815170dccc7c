#include "phonelist/sheet_reader.h"

#include <QFileInfo>
#include <array>

namespace {

bool StartsWith(const QByteArray& bytes, const char* mark, int length) {
  return bytes.size() >= length && std::equal(mark, mark + length, bytes.constData());
}

// A zip holds a workbook's parts; an Office file that is a compound
// document instead is either encrypted (Excel's password protection wraps
// the workbook in one) or an old binary .xls.
bool IsZip(const QByteArray& bytes) { return StartsWith(bytes, "PK\x03\x04", 4); }
bool IsCompoundDocument(const QByteArray& bytes) { return StartsWith(bytes, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8); }

Sheet Refused(SheetFormat format, const QString& why) {
  Sheet sheet;
  sheet.format = format;
  sheet.error = why;
  return sheet;
}

}  // namespace

Sheet ReadSheet(const QByteArray& bytes, const QString& fileName, const SheetOptions& options) {
  if (bytes.size() > kSheetSizeLimit) {
    return Refused(SheetFormat::kCsv, QString::fromUtf8("Plik ma %1 MB: to za dużo jak na listę telefonów (najwyżej %2 MB)")
                                          .arg(bytes.size() / (1024 * 1024))
                                          .arg(kSheetSizeLimit / (1024 * 1024)));
  }
  if (IsCompoundDocument(bytes)) {
    return Refused(SheetFormat::kXlsx,
                   QString::fromUtf8("Plik jest zaszyfrowany hasłem albo zapisany w starym formacie XLS: zapisz go w "
                                     "arkuszu bez hasła jako .xlsx, .ods lub .csv"));
  }
  if (IsZip(bytes)) {
    Sheet sheet = ReadXlsx(bytes);
    // A zip without a workbook's parts may still be an ODS.
    if (sheet.error.isEmpty() || sheet.format == SheetFormat::kXlsx) return sheet;
    return ReadOds(bytes);
  }
  const std::string_view raw(bytes.constData(), size_t(bytes.size()));
  const ListFileEncoding encoding = options.encoding.value_or(DetectListFileEncoding(raw));
  const QString text = DecodeListFileAs(raw, encoding);
  SheetFormat format = SheetFormat::kCsv;
  QChar separator = options.separator;
  if (options.format) {
    format = *options.format;
  } else if (!separator.isNull()) {
    // A separator chosen by the user says the reader: "|" is the list file's.
    format = separator == u'|' ? SheetFormat::kListFile : SheetFormat::kCsv;
  } else if (QFileInfo(fileName).suffix().compare(QLatin1String("dat"), Qt::CaseInsensitive) == 0) {
    format = SheetFormat::kListFile;
  } else {
    if (separator.isNull()) separator = DetectSeparator(text);
    if (separator == u'|' || separator.isNull()) format = SheetFormat::kListFile;
  }
  if (format == SheetFormat::kCsv && separator.isNull()) separator = DetectSeparator(text);
  Sheet sheet = format == SheetFormat::kListFile ? ReadListLines(text) : ReadCsv(text, separator);
  sheet.encoding = encoding;
  return sheet;
}

Sheet ReadListLines(QStringView text) {
  Sheet sheet;
  sheet.format = SheetFormat::kListFile;
  sheet.separator = u'|';
  int line = 0;
  for (const QString& one : SplitListFileLines(text)) {
    const ListLine parts = SplitListLine(one);
    sheet.rows.push_back({++line, {parts.firstName, parts.surname, parts.phone}});
  }
  return sheet;
}

QChar DetectSeparator(QStringView text) {
  // The first lines that hold anything, quotes left out of the count: a
  // separator a spreadsheet wrote is on every record the same number of times.
  constexpr int kLines = 20;
  constexpr std::array<char16_t, 4> kCandidates = {u';', u'\t', u'|', u','};
  std::vector<std::array<int, 4>> counts;
  std::array<int, 4> line{};
  bool quoted = false, any = false;
  for (qsizetype i = 0; i <= text.size() && int(counts.size()) < kLines; ++i) {
    const QChar c = i < text.size() ? text[i] : QChar(u'\n');
    if (c == u'"') quoted = !quoted;
    if (quoted) continue;
    if (c == u'\n' || c == u'\r') {
      if (any) counts.push_back(line);
      line = {};
      any = false;
      continue;
    }
    any = any || !c.isSpace();
    for (size_t k = 0; k < kCandidates.size(); ++k) {
      if (c == kCandidates[k]) ++line[k];
    }
  }
  QChar best;
  int bestScore = 0;
  for (size_t k = 0; k < kCandidates.size(); ++k) {
    // Lines on which it stands as often as on the first one, and at all.
    const int first = counts.empty() ? 0 : counts.front()[k];
    if (first == 0) continue;
    int score = 0;
    for (const auto& c : counts) score += c[k] == first ? 2 : (c[k] > 0 ? 1 : 0);
    if (score > bestScore) {
      bestScore = score;
      best = QChar(kCandidates[k]);
    }
  }
  return best;
}

Sheet ReadCsv(QStringView text, QChar separator) {
  Sheet sheet;
  sheet.format = SheetFormat::kCsv;
  sheet.separator = separator;
  int line = 1;
  SheetRow row{1, {}};
  QString field;
  bool quoted = false;      // inside a quoted field
  bool wasQuoted = false;   // the field began with a quote
  int quoteLine = 0;
  auto endField = [&] {
    row.cells.append(field);
    field.clear();
    wasQuoted = false;
  };
  auto endRow = [&] {
    endField();
    sheet.rows.push_back(std::move(row));
    row = SheetRow{line, {}};
  };
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text[i];
    const bool lineEnd = c == u'\r' || c == u'\n';
    if (lineEnd && i + 1 < n && c == u'\r' && text[i + 1] == u'\n') ++i;
    if (quoted) {
      if (lineEnd) {
        ++line;
        field += u'\n';
      } else if (c != u'"') {
        field += c;
      } else if (i + 1 < n && text[i + 1] == u'"') {
        field += u'"';
        ++i;
      } else {
        quoted = false;
      }
      continue;
    }
    if (lineEnd) {
      ++line;
      endRow();
    } else if (!separator.isNull() && c == separator) {
      endField();
    } else if (c == u'"' && field.trimmed().isEmpty() && !wasQuoted) {
      // A quote opens a field only at its start; spaces before it go.
      field.clear();
      quoted = wasQuoted = true;
      quoteLine = line;
    } else {
      field += c;
    }
  }
  if (quoted) {
    sheet.rows.clear();
    sheet.error = QString::fromUtf8("Cudzysłów otwarty w wierszu %1 nie jest zamknięty do końca pliku").arg(quoteLine);
    return sheet;
  }
  if (!field.isEmpty() || !row.cells.isEmpty() || wasQuoted) endRow();
  return sheet;
}

QString SheetFormatName(SheetFormat format) {
  switch (format) {
    case SheetFormat::kListFile: return QString::fromUtf8("lista (.dat)");
    case SheetFormat::kCsv: return QStringLiteral("CSV");
    case SheetFormat::kXlsx: return QStringLiteral("XLSX");
    case SheetFormat::kOds: return QStringLiteral("ODS");
  }
  return QString();
}

QString EncodingName(ListFileEncoding encoding) {
  switch (encoding) {
    case ListFileEncoding::kWindows1250: return QStringLiteral("Windows-1250");
    case ListFileEncoding::kUtf8: return QStringLiteral("UTF-8");
    case ListFileEncoding::kUtf16LE: return QStringLiteral("UTF-16 LE");
    case ListFileEncoding::kUtf16BE: return QStringLiteral("UTF-16 BE");
  }
  return QString();
}

QString SeparatorName(QChar separator) {
  if (separator == u'\t') return QStringLiteral("TAB");
  if (separator.isNull()) return QString::fromUtf8("brak");
  return QString(separator);
}
