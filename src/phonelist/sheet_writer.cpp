#include "phonelist/sheet_writer.h"

#include <QBuffer>
#include <QFileInfo>
#include <QXmlStreamWriter>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include "common/windows1250.h"

namespace {

QString Text(const std::string& stored) { return FromWindows1250(QByteArray::fromStdString(stored)); }

const char* const kHeader[] = {"Imię", "Nazwisko", "Telefon"};

QByteArray CsvField(const QString& text) {
  QByteArray bytes = text.toUtf8();
  if (!bytes.contains(';') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r')) return bytes;
  bytes.replace("\"", "\"\"");
  return '"' + bytes + '"';
}

}  // namespace

ExportFormat ExportFormatFor(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == u"csv") return ExportFormat::kCsv;
  if (suffix == u"xlsx") return ExportFormat::kXlsx;
  return ExportFormat::kListFile;
}

QByteArray ListFileText(const std::vector<ListEntry>& entries) {
  QByteArray text;
  for (const ListEntry& e : entries) {
    text += QByteArray::fromStdString(e.firstName + '|' + e.surname + '|' + e.phone);
    text += "\r\n";
  }
  return text;
}

QByteArray CsvText(const std::vector<ListEntry>& entries) {
  QByteArray text = "\xEF\xBB\xBF";
  text += QByteArray(kHeader[0]) + ';' + kHeader[1] + ';' + kHeader[2] + "\r\n";
  for (const ListEntry& e : entries) {
    text += CsvField(Text(e.firstName)) + ';' + CsvField(Text(e.surname)) + ';' + CsvField(Text(e.phone)) + "\r\n";
  }
  return text;
}

namespace {

constexpr const char* kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

const char* const kFixedParts[][2] = {
    {"[Content_Types].xml",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>
<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>
<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>
</Types>)"},
    {"_rels/.rels",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>
</Relationships>)"},
    {"xl/workbook.xml",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">
<sheets><sheet name="Telefony" sheetId="1" r:id="rId1"/></sheets>
</workbook>)"},
    {"xl/_rels/workbook.xml.rels",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>
<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>
</Relationships>)"},
    // Cell styles: 0 plain, 1 text ("@", number format 49), 2 a bold header.
    {"xl/styles.xml",
     R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
<fonts count="2"><font><sz val="11"/><name val="Calibri"/></font><font><b/><sz val="11"/><name val="Calibri"/></font></fonts>
<fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills>
<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>
<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>
<cellXfs count="3"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/><xf numFmtId="49" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/><xf numFmtId="0" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="1"/></cellXfs>
<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>
</styleSheet>)"},
};

QByteArray SheetXml(const std::vector<ListEntry>& entries) {
  QByteArray bytes;
  QXmlStreamWriter xml(&bytes);
  xml.writeStartDocument(QStringLiteral("1.0"), true);
  xml.writeStartElement(QStringLiteral("worksheet"));
  xml.writeDefaultNamespace(QString::fromLatin1(kMainNs));
  xml.writeStartElement(QStringLiteral("cols"));
  const char* const widths[][4] = {{"1", "2", "22", "0"}, {"3", "3", "16", "1"}};
  for (const auto& w : widths) {
    xml.writeEmptyElement(QStringLiteral("col"));
    xml.writeAttribute(QStringLiteral("min"), QString::fromLatin1(w[0]));
    xml.writeAttribute(QStringLiteral("max"), QString::fromLatin1(w[1]));
    xml.writeAttribute(QStringLiteral("width"), QString::fromLatin1(w[2]));
    xml.writeAttribute(QStringLiteral("style"), QString::fromLatin1(w[3]));
    xml.writeAttribute(QStringLiteral("customWidth"), QStringLiteral("1"));
  }
  xml.writeEndElement();
  xml.writeStartElement(QStringLiteral("sheetData"));
  auto row = [&](int r, const QString (&cells)[3], bool header) {
    xml.writeStartElement(QStringLiteral("row"));
    xml.writeAttribute(QStringLiteral("r"), QString::number(r));
    for (int c = 0; c < 3; ++c) {
      if (cells[c].isEmpty()) continue;
      xml.writeStartElement(QStringLiteral("c"));
      xml.writeAttribute(QStringLiteral("r"), QChar(u'A' + c) + QString::number(r));
      xml.writeAttribute(QStringLiteral("s"), header ? QStringLiteral("2") : (c == 2 ? QStringLiteral("1") : QStringLiteral("0")));
      xml.writeAttribute(QStringLiteral("t"), QStringLiteral("inlineStr"));
      xml.writeStartElement(QStringLiteral("is"));
      xml.writeStartElement(QStringLiteral("t"));
      xml.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
      xml.writeCharacters(cells[c]);
      xml.writeEndElement();
      xml.writeEndElement();
      xml.writeEndElement();
    }
    xml.writeEndElement();
  };
  row(1, {QString::fromUtf8(kHeader[0]), QString::fromUtf8(kHeader[1]), QString::fromUtf8(kHeader[2])}, true);
  int r = 2;
  for (const ListEntry& e : entries) row(r++, {Text(e.firstName), Text(e.surname), Text(e.phone)}, false);
  xml.writeEndDocument();
  return bytes;
}

}  // namespace

bool XlsxBytes(const std::vector<ListEntry>& entries, QByteArray* bytes, QString* error) {
  QByteArray out;
  QBuffer buffer(&out);
  QuaZip zip(&buffer);
  if (!zip.open(QuaZip::mdCreate)) {
    *error = QString::fromUtf8("nie można utworzyć arkusza");
    return false;
  }
  auto put = [&](const QString& name, const QByteArray& data) {
    QuaZipFile part(&zip);
    if (!part.open(QIODevice::WriteOnly, QuaZipNewInfo(name))) return false;
    const bool written = part.write(data) == data.size();
    part.close();
    return written && part.getZipError() == ZIP_OK;
  };
  bool ok = true;
  for (const auto& [name, data] : kFixedParts) ok = ok && put(QString::fromLatin1(name), QByteArray(data));
  ok = ok && put(QStringLiteral("xl/worksheets/sheet1.xml"), SheetXml(entries));
  zip.close();
  if (!ok || zip.getZipError() != ZIP_OK) {
    *error = QString::fromUtf8("nie można utworzyć arkusza");
    return false;
  }
  *bytes = out;
  return true;
}
