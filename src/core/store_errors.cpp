#include "core/store_errors.h"

#include <QRegularExpression>
#include <cerrno>
#include <cstring>

#include "core/phone_number.h"
#include "core/user_interface.h"
#include "store/cursor.h"

namespace {

// One wording of the store: the pattern of its English message and the
// Polish text with the pattern's captures as %1, %2, ... A capture marked as
// the cause is the system's reason and is worded in Polish too.
struct StoreWording {
  const char* english;
  const char* polish;
  int cause = 0;  // the capture holding the system's reason, 0: none
};

// Every message the store words, in its own words. A new message in the
// store needs its line here, or the user is told only that the database
// failed; the test of the store's real failures says which are missing.
const StoreWording kStoreWordings[] = {
    {"Cannot perform this operation on a closed dataset", "Tabela bazy danych jest zamknięta"},
    {"Cannot perform this operation on an empty dataset", "Tabela bazy danych jest pusta"},
    {"Dataset not in edit or insert mode", "Tabela bazy danych nie jest w trybie edycji"},
    {"Field '(.*)' not found", "Brak pola \"%1\""},
    {"Field '(.*)' cannot hold a number", "Pole \"%1\" nie może przechować tej liczby"},
    {"Field '(.*)' is of an unsupported type", "Pole \"%1\" ma nieobsługiwany typ"},
    {"Find needs a value", "Wyszukiwanie wymaga wartości"},
    {"Invalid unique field value '(.*)'", "Wartość \"%1\" już jest w tabeli"},
    {"Record not found", "Nie znaleziono rekordu"},
    {"Table '(.*)' not found", "Brak tabeli \"%1\""},
    {"Invalid table name '(.*)'", "Niepoprawna nazwa tabeli \"%1\""},
    {"Invalid field name '(.*)'", "Niepoprawna nazwa pola \"%1\""},
    {"Invalid index name '(.*)'", "Niepoprawna nazwa indeksu \"%1\""},
    {"Invalid field size", "Niepoprawny rozmiar pola"},
    {"Field name expected", "Brak nazwy pola"},
    {"Too many fields", "Za dużo pól"},
    {"Too many tables", "Za dużo tabel"},
    {"Too many indexes", "Za dużo indeksów"},
    {"Duplicate field name '(.*)'", "Powtórzona nazwa pola \"%1\""},
    {"Duplicate table name '(.*)'", "Powtórzona nazwa tabeli \"%1\""},
    {"Duplicate index name '(.*)'", "Powtórzona nazwa indeksu \"%1\""},
    {"Duplicate AutoInc field", "Więcej niż jedno pole numerowane automatycznie"},
    {"Duplicate primary index", "Więcej niż jeden indeks główny"},
    {"Fail to create index", "Nie można utworzyć indeksu w tabeli, która ma już rekordy"},
    {"Database file '(.*)' is not a valid database file", "Plik \"%1\" nie jest plikiem bazy danych"},
    {"Database file '(.*)' is read-only", "Plik bazy danych \"%1\" jest tylko do odczytu"},
    {"Database file '(.*)' is full", "Plik bazy danych \"%1\" jest pełny"},
    {"Version 1.x is not compatible", "Plik bazy danych w wersji 1.x nie jest obsługiwany"},
    {"Version of database file is too High", "Plik bazy danych pochodzi z nowszej wersji programu"},
    // The system's reason follows the last ": ", a path may hold one too.
    {"Cannot open file (.*): ([^:]+)", "Nie można otworzyć pliku \"%1\": %2", 2},
    {"Cannot create file (.*): ([^:]+)", "Nie można utworzyć pliku \"%1\": %2", 2},
    {"Cannot open file (.*)", "Nie można otworzyć pliku \"%1\""},
    {"Cannot create file (.*)", "Nie można utworzyć pliku \"%1\""},
    {"Cannot read the size of '(.*?)': (.*)", "Nie można odczytać rozmiaru pliku \"%1\": %2", 2},
    {"Cannot read the size of '(.*)'", "Nie można odczytać rozmiaru pliku \"%1\""},
    {"Database file '(.*)' is larger than the store can hold \\((\\d+) bytes, at most (\\d+)\\)",
     "Plik bazy danych \"%1\" jest za duży (%2 bajtów, najwyżej %3)"},
    {"Not enough memory to load table '(.*?)' of '(.*)'", "Za mało pamięci, by wczytać tabelę \"%1\" z pliku \"%2\""},
    {"Read error on '(.*?)': (.*)", "Błąd odczytu pliku \"%1\": %2", 2},
    {"Write error on '(.*?)': (.*)", "Błąd zapisu pliku \"%1\": %2", 2},
    {"Flush error on '(.*?)': (.*)", "Błąd zapisu na dysk pliku \"%1\": %2", 2},
    {"Lock error on '(.*?)': (.*)", "Błąd blokady pliku \"%1\": %2", 2},
    {"Wait for unlock time out", "Plik bazy danych jest zablokowany przez inny program"},
    {"file '(.*)' ends inside a structure it claims", "Plik \"%1\" jest uszkodzony: kończy się wewnątrz struktury"},
    {"table directory points outside the file", "Plik bazy danych jest uszkodzony: spis tabel wskazuje poza plik"},
    {"table directory holds an impossible table count",
     "Plik bazy danych jest uszkodzony: spis tabel podaje niemożliwą liczbę tabel"},
    {"table '(.*)' has an impossible field count", "Tabela \"%1\" jest uszkodzona: niemożliwa liczba pól"},
    {"table '(.*)' has a negative row count", "Tabela \"%1\" jest uszkodzona: ujemna liczba rekordów"},
    {"table '(.*)' has an impossible index count", "Tabela \"%1\" jest uszkodzona: niemożliwa liczba indeksów"},
    {"field '(.*)' of table '(.*)' has an unknown type", "Pole \"%1\" tabeli \"%2\" ma nieznany typ"},
    {"field '(.*)' of table '(.*)' has an impossible size", "Pole \"%1\" tabeli \"%2\" ma niemożliwy rozmiar"},
    {"index '(.*)' of table '(.*)' has no fields", "Indeks \"%1\" tabeli \"%2\" nie ma pól"},
    {"index '(.*)' of table '(.*)' names a missing field", "Indeks \"%1\" tabeli \"%2\" wskazuje nieistniejące pole"},
    {"record tab of table '(.*?)' is damaged: its row count claims rows it does not hold.*",
     "Tabela \"%1\" jest uszkodzona: liczba rekordów przekracza zapisane rekordy"},
    {"row (\\d+) of table '(.*)' points outside the file",
     "Tabela \"%2\" jest uszkodzona: rekord %1 wskazuje poza plik"},
    {"index tab of table '(.*)' is damaged; new rows cannot be indexed",
     "Indeks tabeli \"%1\" jest uszkodzony; nowych rekordów nie można dodać"},
    {"index tab of '(.*)' is short", "Indeks \"%1\" jest uszkodzony: jest za krótki"},
};

// The causes of failure a user meets with files and ports: errno's text as
// the C library words it in English, and the texts Qt words itself.
struct CauseWording {
  int code;  // 0: a text of Qt's own, no errno behind it
  const char* english;
  const char* polish;
};

const CauseWording kCauseWordings[] = {
    {EPERM, "Operation not permitted", "operacja niedozwolona"},
    {ENOENT, "No such file or directory", "nie ma takiego pliku ani katalogu"},
    {EINTR, "Interrupted system call", "przerwane wywołanie systemowe"},
    {EIO, "Input/output error", "błąd wejścia/wyjścia"},
    {ENXIO, "No such device or address", "nie ma takiego urządzenia"},
    {EBADF, "Bad file descriptor", "niepoprawny deskryptor pliku"},
    {EAGAIN, "Resource temporarily unavailable", "zasób chwilowo niedostępny"},
    {ENOMEM, "Cannot allocate memory", "brak pamięci"},
    {EACCES, "Permission denied", "brak uprawnień"},
    {EBUSY, "Device or resource busy", "urządzenie lub zasób jest zajęty"},
    {EEXIST, "File exists", "plik już istnieje"},
    {EXDEV, "Invalid cross-device link", "nie można przenieść pliku na inny dysk"},
    {ENODEV, "No such device", "nie ma takiego urządzenia"},
    {ENOTDIR, "Not a directory", "to nie jest katalog"},
    {EISDIR, "Is a directory", "to jest katalog"},
    {EINVAL, "Invalid argument", "niepoprawny argument"},
    {ENFILE, "Too many open files in system", "za dużo otwartych plików w systemie"},
    {EMFILE, "Too many open files", "za dużo otwartych plików"},
    {ETXTBSY, "Text file busy", "plik jest w użyciu"},
    {EFBIG, "File too large", "plik jest za duży"},
    {ENOSPC, "No space left on device", "brak miejsca na dysku"},
    {EROFS, "Read-only file system", "system plików tylko do odczytu"},
    {ENAMETOOLONG, "File name too long", "nazwa pliku jest za długa"},
    {ELOOP, "Too many levels of symbolic links", "za dużo poziomów dowiązań symbolicznych"},
    {EDQUOT, "Disk quota exceeded", "przekroczono przydział miejsca na dysku"},
    {ESTALE, "Stale file handle", "nieaktualny uchwyt pliku"},
    {0, "file to open is a directory", "to jest katalog"},
    {0, "Unknown error", "nieznany błąd systemu"},
};

constexpr const char* kUnknownCause = "nieznany błąd systemu";
constexpr const char* kUnknownStoreFailure = "Błąd bazy danych";

// `text` with %1, %2, ... replaced by the captures, in one pass so that a
// capture holding "%1" stays as it is.
QString Fill(const QString& text, const QStringList& captures) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'%' && i + 1 < text.size() && text[i + 1].isDigit()) {
      out += captures.value(text[i + 1].digitValue() - 1);
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

QString StoreMessage(const std::string& message) {
  const QString english = QString::fromStdString(message);
  for (const StoreWording& wording : kStoreWordings) {
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(QString::fromLatin1(wording.english)),
                                     QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = pattern.match(english);
    if (!match.hasMatch()) continue;
    QStringList captures = match.capturedTexts().mid(1);
    if (wording.cause > 0) captures[wording.cause - 1] = SystemCause(captures[wording.cause - 1]);
    return Fill(QString::fromUtf8(wording.polish), captures);
  }
  return QString::fromUtf8(kUnknownStoreFailure);
}

QString SystemCause(const QString& cause) {
  const QString text = cause.trimmed();
  for (const CauseWording& wording : kCauseWordings) {
    // English as glibc or Qt words it, or in whatever language the C
    // library of this system speaks.
    if (text == QLatin1String(wording.english) ||
        (wording.code != 0 && text == QString::fromLocal8Bit(std::strerror(wording.code)))) {
      return QString::fromUtf8(wording.polish);
    }
  }
  return QString::fromUtf8(kUnknownCause);
}

QString DuplicatePhoneMessage(const QString& number) {
  return QString::fromUtf8("Numer %1 jest już na liście").arg(number);
}

void RequireOk(const store::Status& status) {
  if (!status.ok()) throw StoreError(StoreMessage(status.message()).toStdString(), IsRefusal(status));
}

bool IsRefusal(const store::Status& status) { return status.code() == store::Status::Code::kUniqueViolation; }

bool PostRow(store::Cursor& cursor, Refusal refusal) {
  const store::Status posted = cursor.Post();
  if (posted.ok()) return true;
  cursor.Cancel();
  if (refusal == Refusal::kThrow || !IsRefusal(posted)) RequireOk(posted);
  return false;
}

bool CheckPhoneField(UserInterface& ui, const QString& text, int minLength, int maxLength, QString* normalised,
                     const std::function<void()>& showField) {
  QString number;
  if (NormalisePhoneNumber(text, maxLength, &number) && number.size() >= minLength) {
    if (normalised) *normalised = number;
    return true;
  }
  ui.ShowNotice(QString::fromUtf8(kBadPhoneMessage));
  if (showField) showField();
  return false;
}
