#include "phonelist/import_preview.h"

#include <QHash>
#include <QRegularExpression>

#include "core/phone_number.h"

namespace {

bool BlankRow(const QStringList& cells) {
  for (const QString& c : cells) {
    if (!c.trimmed().isEmpty()) return false;
  }
  return true;
}

// Lower case, no diacritics, blanks squeezed: "  Imię " and "IMIE" are one.
QString Folded(const QString& text) {
  QString out;
  for (const QChar c : text.normalized(QString::NormalizationForm_D).toLower().simplified()) {
    if (c.category() == QChar::Mark_NonSpacing) continue;
    out += c == u'ł' ? QChar(u'l') : c;
  }
  return out;
}

// A long number a spreadsheet has turned into a value: 5.01111E+08, 5,01E+8,
// 501111222.0. Its digits may already be lost, so it is never "mended".
bool LooksLikeSpreadsheetNumber(const QString& text) {
  static const QRegularExpression scientific(QStringLiteral("^\\+?[0-9]+([.,][0-9]+)?[eE][+-]?[0-9]+$"));
  static const QRegularExpression decimal(QStringLiteral("^\\+?[0-9]{5,}[.,][0-9]+$"));
  return scientific.match(text).hasMatch() || decimal.match(text).hasMatch();
}

QString CharacterName(QChar c) {
  return QStringLiteral("U+") + QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0');
}

// Why `text` cannot stand in the list, or an empty string.
QString BadCharacter(const QString& text, bool name) {
  std::string bytes;
  QChar offending;
  if (name ? ListBytes(text, &bytes, &offending) : !HasControlCharacter(text, &offending)) return QString();
  if (offending.unicode() < 0x20 || (offending.unicode() >= 0x7F && offending.unicode() <= 0x9F)) {
    return QString::fromUtf8("niedozwolony znak sterujący (%1)").arg(CharacterName(offending));
  }
  return QString::fromUtf8("znak „%1” (%2) nie mieści się w Windows-1250").arg(offending, CharacterName(offending));
}

QString Cell(const QStringList& cells, int column) { return column >= 0 && column < cells.size() ? cells[column] : QString(); }

}  // namespace

const char* VerdictCode(LineVerdict verdict) {
  switch (verdict) {
    case LineVerdict::kOk: return "ok";
    case LineVerdict::kNameCut: return "name-cut";
    case LineVerdict::kOnList: return "on-list";
    case LineVerdict::kDuplicate: return "duplicate";
    case LineVerdict::kExcelNumber: return "excel-number";
    case LineVerdict::kInvalidNumber: return "invalid-number";
    case LineVerdict::kBadCharacter: return "bad-character";
    case LineVerdict::kBlank: return "blank";
    case LineVerdict::kHeader: return "header";
  }
  return "";
}

QString VerdictLabel(LineVerdict verdict) {
  switch (verdict) {
    case LineVerdict::kOk: return QString::fromUtf8("do importu");
    case LineVerdict::kNameCut: return QString::fromUtf8("do importu, skrócony");
    case LineVerdict::kOnList: return QString::fromUtf8("już na liście");
    case LineVerdict::kDuplicate: return QString::fromUtf8("powtórzony");
    case LineVerdict::kExcelNumber: return QString::fromUtf8("liczba z arkusza");
    case LineVerdict::kInvalidNumber: return QString::fromUtf8("zły numer");
    case LineVerdict::kBadCharacter: return QString::fromUtf8("zły znak");
    case LineVerdict::kBlank: return QString::fromUtf8("pusty");
    case LineVerdict::kHeader: return QString::fromUtf8("nagłówek");
  }
  return QString();
}

bool IsTaken(LineVerdict verdict) { return verdict == LineVerdict::kOk || verdict == LineVerdict::kNameCut; }

bool IsSkipped(LineVerdict verdict) {
  return !IsTaken(verdict) && verdict != LineVerdict::kBlank && verdict != LineVerdict::kHeader;
}

int VerdictCounts::Skipped() const {
  int n = 0;
  for (int v = 0; v < kVerdictCount; ++v) {
    if (IsSkipped(LineVerdict(v))) n += of[size_t(v)];
  }
  return n;
}

int ColumnNamed(const QString& cell) {
  static const QHash<QString, int> names = {
      {"imie", 0},      {"first name", 0}, {"firstname", 0},     {"nazwisko", 1},   {"surname", 1},
      {"last name", 1}, {"lastname", 1},   {"telefon", 2},       {"tel", 2},        {"tel.", 2},
      {"numer", 2},     {"phone", 2},      {"numer telefonu", 2}, {"phone number", 2},
  };
  return names.value(Folded(cell), -1);
}

bool ParseColumns(const QString& text, ColumnMap* columns, QString* error) {
  ColumnMap map;
  const QStringList parts = text.split(u',');
  for (int i = 0; i < parts.size(); ++i) {
    const QString part = parts[i].trimmed();
    if (part == u"-") continue;
    int* slot = nullptr;
    switch (ColumnNamed(part)) {
      case 0: slot = &map.firstName; break;
      case 1: slot = &map.surname; break;
      case 2: slot = &map.phone; break;
      default:
        *error = QString::fromUtf8("Nieznana kolumna \"%1\" (znane: imie, nazwisko, telefon, - dla pominiętej)").arg(part);
        return false;
    }
    if (*slot >= 0) {
      *error = QString::fromUtf8("Kolumna \"%1\" podana dwa razy").arg(part);
      return false;
    }
    *slot = i;
  }
  if (map.phone < 0) {
    *error = QString::fromUtf8("Kolumny nie wskazują numeru telefonu (telefon)");
    return false;
  }
  *columns = map;
  return true;
}

int ImportPreview::FirstSkippedLine() const {
  for (const PreviewLine& l : lines) {
    if (IsSkipped(l.verdict)) return l.line;
  }
  return 0;
}

ImportPreview PreviewImport(Sheet sheet, const std::optional<ColumnMap>& given, const QSet<QString>& listed,
                            const QString& countryCode) {
  ImportPreview out;
  std::vector<SheetRow> rows = std::move(sheet.rows);
  out.sheet = std::move(sheet);
  if (!out.sheet.error.isEmpty()) {
    out.error = out.sheet.error;
    return out;
  }
  for (const SheetRow& row : rows) out.columnCount = std::max(out.columnCount, int(row.cells.size()));

  // A first line that names a column and holds no number is a header.
  const SheetRow* header = nullptr;
  for (const SheetRow& row : rows) {
    if (BlankRow(row.cells)) continue;
    bool names = false, number = false;
    for (const QString& cell : row.cells) {
      names = names || ColumnNamed(cell) >= 0;
      number = number || NormalisePhoneNumber(cell, kAnyPhoneLength, nullptr);
    }
    if (names && !number) header = &row;
    break;
  }
  ColumnMap map;
  if (header) {
    out.header = true;
    for (int i = 0; i < header->cells.size(); ++i) {
      int* slot[] = {&map.firstName, &map.surname, &map.phone};
      const int named = ColumnNamed(header->cells[i]);
      if (named >= 0 && *slot[named] < 0) *slot[named] = i;
    }
  } else if (out.columnCount >= 3) {
    map = {0, 1, 2};
  } else if (out.columnCount == 2) {
    map = {0, -1, 1};  // as a list line with one "|": a name and a number
  } else {
    map = {-1, -1, 0};
  }
  if (given) map = *given;
  out.columns = map;
  for (int i = 0; i < out.columnCount; ++i) {
    out.columnNames << (header && i < header->cells.size() && !header->cells[i].trimmed().isEmpty()
                            ? header->cells[i].trimmed()
                            : QString::fromUtf8("Kolumna %1").arg(i + 1));
  }
  if (map.phone < 0) {
    out.error = QString::fromUtf8("Nagłówek pliku nie wskazuje kolumny z numerem telefonu (Telefon, Tel, Numer lub Phone)");
    return out;
  }

  QHash<QString, int> seen;  // subscriber → the line that brought it
  out.lines.reserve(rows.size());
  for (const SheetRow& row : rows) {
    PreviewLine line;
    line.line = row.line;
    line.firstName = Cell(row.cells, map.firstName);
    line.surname = Cell(row.cells, map.surname);
    line.phone = Cell(row.cells, map.phone);
    auto judge = [&](LineVerdict verdict, const QString& reason) {
      line.verdict = verdict;
      line.reason = reason;
    };
    const QString phone = line.phone.trimmed();
    QString number, bad;
    if (&row == header) {
      judge(LineVerdict::kHeader, QString::fromUtf8("nagłówek: nazwy kolumn"));
    } else if (BlankRow(row.cells)) {
      judge(LineVerdict::kBlank, QString::fromUtf8("pusty wiersz"));
    } else if (!(bad = BadCharacter(line.firstName, true)).isEmpty() ||
               !(bad = BadCharacter(line.surname, true)).isEmpty() || !(bad = BadCharacter(line.phone, false)).isEmpty()) {
      judge(LineVerdict::kBadCharacter, bad);
    } else if (phone.isEmpty()) {
      judge(LineVerdict::kInvalidNumber, QString::fromUtf8("brak numeru telefonu"));
    } else if (LooksLikeSpreadsheetNumber(phone)) {
      judge(LineVerdict::kExcelNumber,
            QString::fromUtf8("arkusz zapisał numer jako liczbę (%1), cyfry mogły przepaść: sformatuj kolumnę z "
                              "numerami jako tekst i wpisz je ponownie")
                .arg(phone));
    } else if (!NormalisePhoneNumber(line.phone, kListPhoneLength, &number)) {
      judge(LineVerdict::kInvalidNumber, QString::fromUtf8("niepoprawny numer telefonu „%1”").arg(phone));
    } else {
      const QString key = SubscriberKey(number, countryCode);
      if (listed.contains(key)) {
        judge(LineVerdict::kOnList, QString::fromUtf8("numer jest już na liście"));
      } else if (const auto earlier = seen.constFind(key); earlier != seen.constEnd()) {
        judge(LineVerdict::kDuplicate, QString::fromUtf8("ten sam numer co w wierszu %1").arg(*earlier));
      } else {
        seen.insert(key, row.line);
        ListBytes(line.firstName, &line.storedFirstName);
        ListBytes(line.surname, &line.storedSurname);
        line.storedPhone = number.toStdString();
        line.phone = number;
        bool cut = false;
        for (std::string* name : {&line.storedFirstName, &line.storedSurname}) {
          if (name->size() > size_t(kListNameLength)) {
            name->resize(size_t(kListNameLength));
            cut = true;
          }
        }
        if (cut) {
          judge(LineVerdict::kNameCut,
                QString::fromUtf8("imię lub nazwisko dłuższe niż %1 znaków: zostanie skrócone").arg(kListNameLength));
        } else {
          judge(LineVerdict::kOk, QString::fromUtf8("nowy numer"));
        }
      }
    }
    ++out.counts[line.verdict];
    out.lines.push_back(std::move(line));
  }
  return out;
}

QString VerdictSummary(const VerdictCounts& counts) {
  QString text = QString::fromUtf8("do importu: %1").arg(counts.Taken());
  if (counts[LineVerdict::kNameCut] > 0) {
    text += QString::fromUtf8(" (w tym ze skróconym imieniem lub nazwiskiem: %1)").arg(counts[LineVerdict::kNameCut]);
  }
  const std::pair<LineVerdict, const char*> parts[] = {
      {LineVerdict::kOnList, "już na liście"},           {LineVerdict::kDuplicate, "powtórzone w pliku"},
      {LineVerdict::kExcelNumber, "liczby z arkusza"},   {LineVerdict::kInvalidNumber, "niepoprawne numery"},
      {LineVerdict::kBadCharacter, "niedozwolone znaki"}, {LineVerdict::kBlank, "puste wiersze"},
  };
  for (const auto& [verdict, words] : parts) {
    if (counts[verdict] > 0) text += QStringLiteral("; ") + QString::fromUtf8(words) + QStringLiteral(": ") + QString::number(counts[verdict]);
  }
  return text;
}
