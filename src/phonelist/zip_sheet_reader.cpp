// The workbook readers: an XLSX or an ODS is a zip of XML parts, and only the
// first sheet's cells are wanted from it.
#include <QBuffer>
#include <QXmlStreamReader>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>

#include "phonelist/sheet_reader.h"

namespace {

// A row holds the few columns of a list; a sheet that claims thousands of
// columns is cut here rather than unfolded into memory.
constexpr int kMaxColumns = 64;
// Blank rows a sheet repeats (an ODS fills its sheet to the last row with
// them) are shown only when there are few of them between rows that count.
constexpr int kMaxBlankRun = 1000;

const QString kNotASheet = QString::fromUtf8("Plik jest archiwum ZIP, ale nie arkuszem XLSX ani ODS");

class Workbook {
 public:
  explicit Workbook(const QByteArray& bytes) : zip_(&buffer_) {
    buffer_.setData(bytes);  // shared, not copied
    open_ = zip_.open(QuaZip::mdUnzip);
  }
  bool IsOpen() const { return open_; }
  bool Has(const QString& part) { return open_ && zip_.setCurrentFile(part); }

  // The part unpacked, or false with why in `error`.
  bool Read(const QString& part, QByteArray* out, QString* error) {
    if (!Has(part)) {
      *error = kNotASheet;
      return false;
    }
    QuaZipFileInfo64 info;
    zip_.getCurrentFileInfo(&info);
    if (info.flags & 1) {
      *error = QString::fromUtf8("Arkusz jest zaszyfrowany hasłem: zapisz go bez hasła");
      return false;
    }
    if (qint64(info.uncompressedSize) > kSheetSizeLimit) {
      *error = TooBig();
      return false;
    }
    QuaZipFile file(&zip_);
    if (!file.open(QIODevice::ReadOnly)) {
      *error = QString::fromUtf8("Nie można rozpakować części \"%1\" arkusza").arg(part);
      return false;
    }
    // The sizes a zip declares may lie; what is unpacked is counted.
    out->clear();
    char chunk[64 * 1024];
    for (;;) {
      const qint64 got = file.read(chunk, sizeof chunk);
      if (got < 0) {
        *error = QString::fromUtf8("Arkusz jest uszkodzony: nie można rozpakować części \"%1\"").arg(part);
        return false;
      }
      if (got == 0) break;
      if (out->size() + got > kSheetSizeLimit) {
        *error = TooBig();
        return false;
      }
      out->append(chunk, got);
    }
    file.close();
    if (file.getZipError() != UNZ_OK) {
      *error = QString::fromUtf8("Arkusz jest uszkodzony: nie można rozpakować części \"%1\"").arg(part);
      return false;
    }
    return true;
  }

 private:
  static QString TooBig() {
    return QString::fromUtf8("Arkusz po rozpakowaniu ma ponad %1 MB: to za dużo jak na listę telefonów")
        .arg(kSheetSizeLimit / (1024 * 1024));
  }

  QBuffer buffer_;
  QuaZip zip_;
  bool open_ = false;
};

QString XmlError(const QXmlStreamReader& xml) {
  return QString::fromUtf8("Arkusz jest uszkodzony (XML, wiersz %1): %2").arg(xml.lineNumber()).arg(xml.errorString());
}

QStringView Attribute(const QXmlStreamReader& xml, QStringView localName) {
  for (const QXmlStreamAttribute& a : xml.attributes()) {
    if (a.name() == localName) return a.value();
  }
  return {};
}

// "BC12" → 54 (counted from 0); -1 when the reference has no letters.
int ColumnOf(QStringView reference) {
  int column = 0, letters = 0;
  for (const QChar c : reference) {
    if (c < u'A' || c > u'Z') break;
    column = column * 26 + (c.unicode() - u'A' + 1);
    if (++letters > 3) return -1;
  }
  return letters == 0 ? -1 : column - 1;
}

void Put(QStringList& cells, int column, const QString& value) {
  if (column < 0 || column >= kMaxColumns) return;
  while (cells.size() <= column) cells.append(QString());
  cells[column] = value;
}

bool Blank(const QStringList& cells) {
  for (const QString& c : cells) {
    if (!c.trimmed().isEmpty()) return false;
  }
  return true;
}

// The text of the element the reader stands on, nested runs included, up to
// its end; `skip` names elements whose text is not the cell's (phonetic runs).
QString TextOf(QXmlStreamReader& xml, QStringView skip = {}) {
  QString text;
  int depth = 1;
  while (depth > 0 && !xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) {
      if (!skip.isEmpty() && xml.name() == skip) {
        xml.skipCurrentElement();
        continue;
      }
      ++depth;
    } else if (xml.isEndElement()) {
      --depth;
    } else if (xml.isCharacters()) {
      text += xml.text();
    }
  }
  return text;
}

bool SharedStrings(Workbook& book, QStringList* strings, QString* error) {
  if (!book.Has(QStringLiteral("xl/sharedStrings.xml"))) return true;
  QByteArray bytes;
  if (!book.Read(QStringLiteral("xl/sharedStrings.xml"), &bytes, error)) return false;
  QXmlStreamReader xml(bytes);
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"si") strings->append(TextOf(xml, u"rPh"));
  }
  if (xml.hasError()) {
    *error = XmlError(xml);
    return false;
  }
  return true;
}

// Where the workbook keeps its first sheet: the first <sheet> of the
// workbook, through the relationship it names.
QString FirstSheetPart(Workbook& book, QString* error) {
  QByteArray workbook, rels;
  if (!book.Read(QStringLiteral("xl/workbook.xml"), &workbook, error)) return QString();
  QString id;
  for (QXmlStreamReader xml(workbook); !xml.atEnd();) {
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"sheet") {
      id = Attribute(xml, u"id").toString();
      break;
    }
  }
  const QString fallback = QStringLiteral("xl/worksheets/sheet1.xml");
  if (id.isEmpty() || !book.Read(QStringLiteral("xl/_rels/workbook.xml.rels"), &rels, error)) return fallback;
  for (QXmlStreamReader xml(rels); !xml.atEnd();) {
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"Relationship" &&
        Attribute(xml, u"Id") == id) {
      const QString target = Attribute(xml, u"Target").toString();
      return target.startsWith(u'/') ? target.mid(1) : QStringLiteral("xl/") + target;
    }
  }
  return fallback;
}

}  // namespace

Sheet ReadXlsx(const QByteArray& bytes) {
  Sheet sheet;
  sheet.format = SheetFormat::kXlsx;
  Workbook book(bytes);
  if (!book.IsOpen()) {
    sheet.error = QString::fromUtf8("Plik nie jest poprawnym archiwum ZIP: arkusz jest uszkodzony");
    return sheet;
  }
  if (!book.Has(QStringLiteral("xl/workbook.xml"))) {
    sheet.format = SheetFormat::kOds;  // not ours: the ODS reader may know it
    sheet.error = kNotASheet;
    return sheet;
  }
  QStringList strings;
  QByteArray part;
  const QString where = FirstSheetPart(book, &sheet.error);
  if (where.isEmpty() || !SharedStrings(book, &strings, &sheet.error) || !book.Read(where, &part, &sheet.error)) {
    return sheet;
  }
  QXmlStreamReader xml(part);
  SheetRow row;
  int nextRow = 1, nextColumn = 0;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isEndElement() && xml.name() == u"row") {
      if (!Blank(row.cells)) sheet.rows.push_back(std::move(row));
      row = SheetRow{};
      continue;
    }
    if (!xml.isStartElement()) continue;
    if (xml.name() == u"row") {
      bool ok = false;
      const int r = Attribute(xml, u"r").toInt(&ok);
      row.line = ok && r > 0 ? r : nextRow;
      nextRow = row.line + 1;
      nextColumn = 0;
    } else if (xml.name() == u"c") {
      const int given = ColumnOf(Attribute(xml, u"r"));
      const int column = given >= 0 ? given : nextColumn;
      nextColumn = column + 1;
      const QString type = Attribute(xml, u"t").toString();
      QString value;
      while (xml.readNextStartElement()) {
        if (xml.name() == u"v") {
          value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.name() == u"is") {
          value = TextOf(xml, u"rPh");
        } else {
          xml.skipCurrentElement();
        }
      }
      if (type == u"s") {
        bool ok = false;
        const int index = value.toInt(&ok);
        value = ok && index >= 0 && index < strings.size() ? strings[index] : QString();
      } else if (type == u"b") {
        value = value == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
      } else if (type == u"e") {
        value.clear();
      }
      Put(row.cells, column, value);
    }
  }
  if (xml.hasError()) {
    sheet.rows.clear();
    sheet.error = XmlError(xml);
  }
  return sheet;
}

namespace {

// The text of an ODS cell as the sheet shows it: its paragraphs one per
// line, <text:s/> as its count of spaces, a tab and a line break as such.
QString OdsText(QXmlStreamReader& xml) {
  QStringList paragraphs;
  QString text;
  int depth = 1;
  while (depth > 0 && !xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) {
      ++depth;
      if (xml.name() == u"p" && depth == 2) text.clear();
      if (xml.name() == u"s") text += QString(qMax(1, qMin(Attribute(xml, u"c").toInt(), 1000)), u' ');
      if (xml.name() == u"tab") text += u'\t';
      if (xml.name() == u"line-break") text += u'\n';
      if (xml.name() == u"annotation") {
        xml.skipCurrentElement();
        --depth;
      }
    } else if (xml.isEndElement()) {
      if (xml.name() == u"p" && depth == 2) paragraphs.append(text);
      --depth;
    } else if (xml.isCharacters() && depth >= 2) {
      text += xml.text();
    }
  }
  return paragraphs.join(u'\n');
}

int Repeat(const QXmlStreamReader& xml, QStringView attribute) {
  bool ok = false;
  const int n = Attribute(xml, attribute).toInt(&ok);
  return ok && n > 0 ? n : 1;
}

}  // namespace

Sheet ReadOds(const QByteArray& bytes) {
  Sheet sheet;
  sheet.format = SheetFormat::kOds;
  Workbook book(bytes);
  QByteArray mimetype, manifest, content;
  if (!book.IsOpen() || !book.Read(QStringLiteral("mimetype"), &mimetype, &sheet.error) ||
      !mimetype.trimmed().startsWith("application/vnd.oasis.opendocument.spreadsheet")) {
    sheet.error = kNotASheet;
    return sheet;
  }
  // An ODS saved with a password keeps its manifest in the clear and says so
  // there; its content.xml is then no XML at all.
  if (book.Read(QStringLiteral("META-INF/manifest.xml"), &manifest, &sheet.error) &&
      manifest.contains("encryption-data")) {
    sheet.error = QString::fromUtf8("Arkusz jest zaszyfrowany hasłem: zapisz go bez hasła");
    return sheet;
  }
  sheet.error.clear();
  if (!book.Read(QStringLiteral("content.xml"), &content, &sheet.error)) return sheet;
  QXmlStreamReader xml(content);
  int line = 0, tables = 0, blankRun = 0;
  bool inTable = false;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isEndElement() && xml.name() == u"table" && inTable) break;  // the first sheet only
    if (!xml.isStartElement()) continue;
    if (xml.name() == u"table") {
      inTable = ++tables == 1;
      continue;
    }
    if (!inTable || xml.name() != u"table-row") continue;
    const int rowRepeat = Repeat(xml, u"number-rows-repeated");
    QStringList cells;
    while (xml.readNextStartElement()) {
      if (xml.name() != u"table-cell" && xml.name() != u"covered-table-cell") {
        xml.skipCurrentElement();
        continue;
      }
      const int repeat = Repeat(xml, u"number-columns-repeated");
      const QStringView type = Attribute(xml, u"value-type");
      // A number's digits as stored, not as the cell's format shows them.
      const QString stored = type == u"float" ? Attribute(xml, u"value").toString() : QString();
      const QString shown = OdsText(xml);
      const QString value = stored.isEmpty() ? shown : stored;
      for (int k = 0; k < repeat && cells.size() < kMaxColumns; ++k) {
        if (value.isEmpty() && k > 0 && repeat > kMaxColumns) break;  // a sheet's empty tail
        cells.append(value);
      }
    }
    if (Blank(cells)) {
      blankRun += rowRepeat;
      line += rowRepeat;
      continue;
    }
    // The blank rows between two that count are lines of the file too.
    for (int k = qMax(0, blankRun - kMaxBlankRun); k < blankRun; ++k) {
      sheet.rows.push_back({line - blankRun + k + 1, {}});
    }
    blankRun = 0;
    for (int k = 0; k < rowRepeat && k < kMaxBlankRun; ++k) sheet.rows.push_back({++line, cells});
    if (rowRepeat > kMaxBlankRun) line += rowRepeat - kMaxBlankRun;
  }
  if (xml.hasError()) {
    sheet.rows.clear();
    sheet.error = XmlError(xml);
  } else if (tables == 0) {
    sheet.error = QString::fromUtf8("Arkusz ODS nie ma żadnej tabeli");
  }
  return sheet;
}
