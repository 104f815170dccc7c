#include "phonelist/import_preview.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include "core/phone_number.h"
#include "core/testing/phones.h"
#include "core/testing/scripted_ui.h"
#include "outcome/outcome_text.h"
#include "phonelist/list_file.h"

namespace {

// A zip made here, part by part; a part named with a password is encrypted.
QByteArray Zip(const std::vector<std::pair<QString, QByteArray>>& parts, const char* password = nullptr) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  QuaZip zip(&buffer);
  EXPECT_TRUE(zip.open(QuaZip::mdCreate));
  for (const auto& [name, data] : parts) {
    QuaZipFile file(&zip);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly, QuaZipNewInfo(name), password));
    file.write(data);
    file.close();
  }
  zip.close();
  return bytes;
}

// An ODS as a spreadsheet writes one: a float cell whose shown text differs
// from its value, repeated cells and rows, <text:s/>, a sheet padded with a
// million blank rows, and a second sheet that is not read.
QByteArray HandmadeOds() {
  const QByteArray content = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0">
<office:body><office:spreadsheet><table:table table:name="Lista">
<table:table-row><table:table-cell office:value-type="string"><text:p>Nazwisko</text:p></table:table-cell>
 <table:table-cell office:value-type="string"><text:p>Telefon</text:p></table:table-cell><table:table-cell table:number-columns-repeated="16382"/></table:table-row>
<table:table-row><table:table-cell><text:p>Nowak<text:s text:c="2"/>Jr</text:p></table:table-cell>
 <table:table-cell office:value-type="float" office:value="501111222"><text:p>5,01E+08</text:p></table:table-cell></table:table-row>
<table:table-row table:number-rows-repeated="2"><table:table-cell table:number-columns-repeated="2"/></table:table-row>
<table:table-row><table:table-cell table:number-columns-repeated="2"><text:p>600100200</text:p></table:table-cell></table:table-row>
<table:table-row table:number-rows-repeated="1048570"><table:table-cell table:number-columns-repeated="16384"/></table:table-row>
</table:table><table:table table:name="Inne"><table:table-row><table:table-cell><text:p>700800900</text:p></table:table-cell></table:table-row></table:table>
</office:spreadsheet></office:body></office:document-content>)";
  return Zip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", content}});
}

QByteArray Utf16(const char* utf8) {
  return "\xFF\xFE" + QStringEncoder(QStringConverter::Utf16LE).encode(QString::fromUtf8(utf8));
}

std::string Verdicts(const ImportPreview& preview) {
  std::string out;
  for (const PreviewLine& line : preview.lines) {
    if (!out.empty()) out += ' ';
    out += std::to_string(line.line) + ':' + VerdictCode(line.verdict);
  }
  return out;
}

// Every kind of file an administrator sends, with each line's verdict; the
// list holds 600100200 (and the settings' country code is 48).
TEST(ImportPreviewTest, EveryLineGetsItsVerdict) {
  struct Case {
    const char* name;
    QByteArray bytes;
    const char* file;  // its name, for the formats told by the extension
    const char* verdicts;
    const char* taken;  // the numbers taken, as stored
  };
  const std::string long41(41, 'x');
  // clang-format off
  const Case cases[] = {
      {"a Polish spreadsheet's CSV: mark, header, ';', the list's number in another form",
       "\xEF\xBB\xBFImi\xC4\x99;Nazwisko;Telefon\r\nJan;Kowalski;501 111 222\r\nEwa;Lis;+48600100200\r\n", "a.csv",
       "1:header 2:ok 3:on-list", "501111222"},
      {"commas, quotes doubled, a separator and a line end inside quotes",
       "first name,surname,phone\n\"Nowak, Anna\",\"O\"\"Hara\",600-200-300\n\"Dwa\nwiersze\",x,600200301\nA,B,600200302\n",
       "b.csv", "1:header 2:ok 3:bad-character 5:ok", "600200300 600200302"},
      {"TAB, no header, a spreadsheet's scientific and decimal numbers",
       "Jan\tKowalski\t5.01111E+08\nEwa\tLis\t501111222.0\nOla\tNowak\t5,01E+8\nAla\tKot\t501111223\n", "c.txt",
       "1:excel-number 2:excel-number 3:excel-number 4:ok", "501111223"},
      {"one column of numbers, blanks, a duplicate in another form",
       "600300400\r\n\r\n0048 600 300 400\r\n600300401\r\nabc\r\n", "d.csv",
       "1:ok 2:blank 3:duplicate 4:ok 5:invalid-number", "600300400 600300401"},
      {"Windows-1250 with '|': the list file, a name too long",
       QByteArray("\xA3ucja|\xAF" "ak|600400500\r\n") + long41.c_str() + "|b|600400501\r\n", "e.csv",
       "1:ok 2:name-cut", "600400500 600400501"},
      {"UTF-16, header in English any case, a letter Windows-1250 lacks",
       Utf16("PHONE;Surname;First Name\r\n600500600;Петров;Иван\r\n600500601;Nowak;Ewa\r\n"), "f.csv",
       "1:header 2:bad-character 3:ok", "600500601"},
      {"a header without diacritics in another order",
       "Tel;Imie;Nazwisko\n600600700;Jan;Kowalski\n;Jan;Bez\n", "g.csv", "1:header 2:ok 3:invalid-number", "600600700"},
      {"the handmade ODS: first sheet only, repeats unfolded, the stored value of a number",
       HandmadeOds(), "h.ods", "1:header 2:ok 3:blank 4:blank 5:on-list", "501111222"},
  };
  // clang-format on
  QSet<QString> listed{SubscriberKey(QStringLiteral("600100200"), QStringLiteral("48"))};
  for (const Case& c : cases) {
    const ImportPreview preview = PreviewImport(ReadSheet(c.bytes, QString::fromLatin1(c.file)), std::nullopt,
                                                listed, QStringLiteral("48"));
    EXPECT_TRUE(preview.error.isEmpty()) << c.name << ": " << preview.error.toStdString();
    EXPECT_EQ(Verdicts(preview), c.verdicts) << c.name;
    std::string taken;
    for (const PreviewLine& line : preview.lines) {
      if (IsTaken(line.verdict)) taken += (taken.empty() ? "" : " ") + line.storedPhone;
    }
    EXPECT_EQ(taken, c.taken) << c.name;
  }
}

// The columns can be named instead of found; a header that names no phone,
// or a list of columns without one, is refused.
TEST(ImportPreviewTest, ColumnsGivenOverrideTheHeaderAndTheOrder) {
  const Sheet sheet = ReadSheet("Telefon;Nr;Imie\n600100200;x;Jan\n", QStringLiteral("a.csv"));
  struct Case {
    const char* columns;
    const char* error;  // from ParseColumns, or empty
    const char* first;  // the first data line's first name, or a preview error
  };
  const Case cases[] = {
      {"telefon,-,imie", "", "Jan"},
      {"phone,imię", "", "x"},
      {"-,-,telefon", "", ""},
      {"imie,nazwisko", "Kolumny nie wskazują numeru telefonu (telefon)", ""},
      {"imie,imie,telefon", "Kolumna \"imie\" podana dwa razy", ""},
      {"wiek,telefon", "Nieznana kolumna \"wiek\" (znane: imie, nazwisko, telefon, - dla pominiętej)", ""},
  };
  for (const Case& c : cases) {
    ColumnMap columns;
    QString error;
    EXPECT_EQ(ParseColumns(QString::fromUtf8(c.columns), &columns, &error), *c.error == 0) << c.columns;
    EXPECT_EQ(error, QString::fromUtf8(c.error)) << c.columns;
    if (*c.error) continue;
    const ImportPreview preview = PreviewImport(sheet, columns, {}, QStringLiteral("48"));
    ASSERT_EQ(preview.lines.size(), 2u) << c.columns;
    EXPECT_EQ(preview.lines[0].verdict, LineVerdict::kHeader) << c.columns;
    EXPECT_EQ(preview.lines[1].firstName, QString::fromUtf8(c.first)) << c.columns;
  }
  const ImportPreview noPhone = PreviewImport(ReadSheet("Imie;Nazwisko\nJan;Kowalski\n", "a.csv"), std::nullopt, {}, "48");
  EXPECT_TRUE(noPhone.error.startsWith(QString::fromUtf8("Nagłówek pliku nie wskazuje kolumny z numerem telefonu")));
}

// A file that is no list gets a clear error and no rows, before anything
// is asked or stored.
TEST(ImportPreviewTest, FilesThatAreNoListAreRefusedWithTheirReason) {
  const QByteArray hundredMegabytes(100 * 1024 * 1024, ' ');
  const std::pair<QByteArray, const char*> cases[] = {
      {Zip({{"word/document.xml", "<w:document/>"}}), "Plik jest archiwum ZIP, ale nie arkuszem XLSX ani ODS"},
      {QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(504, '\0'), "Plik jest zaszyfrowany hasłem"},
      {Zip({{"xl/workbook.xml", "<workbook/>"}}, "tajne"), "Arkusz jest zaszyfrowany hasłem"},
      {Zip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
            {"META-INF/manifest.xml", "<manifest:encryption-data/>"}, {"content.xml", "\x01\x02"}}),
       "Arkusz jest zaszyfrowany hasłem"},
      {Zip({{"xl/workbook.xml", "<workbook><sheets><sheet r:id='rId1'/></sheets></workbook>"},
            {"xl/worksheets/sheet1.xml", hundredMegabytes}}),
       "Arkusz po rozpakowaniu ma ponad 32 MB"},
      {Zip({{"xl/workbook.xml", "<workbook/>"}, {"xl/worksheets/sheet1.xml", "<worksheet><sheetData><row>"}}),
       "Arkusz jest uszkodzony (XML"},
      {"PK\x03\x04 cut short", "Plik nie jest poprawnym archiwum ZIP"},
      {"Jan;Kowalski;600100200\n\"Ewa;Lis;600100201\nAla;Kot;600100202\n", "Cudzysłów otwarty w wierszu 2 nie jest zamknięty"},
  };
  for (const auto& [bytes, error] : cases) {
    const ImportPreview preview = PreviewImport(ReadSheet(bytes, "lista.csv"), std::nullopt, {}, "48");
    EXPECT_TRUE(preview.error.startsWith(QString::fromUtf8(error))) << error << " / " << preview.error.toStdString();
    EXPECT_TRUE(preview.lines.empty()) << error;
  }
}

class SpreadsheetFileTest : public ::testing::Test {
 protected:
  QString Path(const char* name) { return QDir(temp_.path()).filePath(name); }
  QTemporaryDir temp_;
  SessionOnTemp open_{temp_.path()};
  Session& session_ = open_.session;
  ScriptedUi ui_;
};

// What the export writes, the import reads back as the same rows, in every
// format; the CSV is as a Polish spreadsheet opens it.
TEST_F(SpreadsheetFileTest, EachExportFormatReadsBackAsTheSameRows) {
  AddPhone(session_, "Jan", "Kowalski; Jr", "600100200");
  AddPhone(session_, "\xa3ucja", "O\"Hara", "+48500600700");
  AddPhone(session_, "", "", "+12345");
  const std::vector<std::string> rows = Rows(session_);
  for (const char* name : {"lista.dat", "lista.csv", "lista.xlsx"}) {
    Progress progress(ui_);
    ASSERT_TRUE(ExportList(session_, progress, Path(name)).Succeeded()) << name;
    ui_.Answer({true});
    const ImportResult result = ImportList(session_, progress, Path(name));
    EXPECT_EQ(result.taken, 3) << name << ": " << Describe(result).text.toStdString();
    EXPECT_EQ(Rows(session_), rows) << name;
  }
  QFile csv(Path("lista.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  EXPECT_EQ(csv.readAll(), QByteArray("\xEF\xBB\xBFImi\xC4\x99;Nazwisko;Telefon\r\nJan;\"Kowalski; Jr\";600100200\r\n"
                                      "\xC5\x81ucja;\"O\"\"Hara\";+48500600700\r\n;;+12345\r\n"));
}

}  // namespace
