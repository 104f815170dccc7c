#include "phonelist/list_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <array>
#include <cstdint>

#include "common/private_file.h"
#include "common/windows1250.h"
#include "core/phone_number.h"
#include "core/session.h"
#include "core/store_errors.h"
#include "core/user_interface.h"
#include "store/cursor.h"

namespace {

QString FileError(const char* what, const QString& path, const QString& detail) {
  return QString::fromUtf8(what).arg(path, SystemCause(detail));
}

constexpr const char* kCannotRead = "Nie można odczytać pliku \"%1\": %2";
constexpr const char* kCannotWrite = "Nie można zapisać pliku \"%1\": %2";

constexpr char16_t kUndefined = u'\xFFFD';

// Windows-1250 both ways as tables, made once from the converter every other
// text of the program goes through: a list file of ten thousand lines must
// not open a converter per line. A byte the code page leaves undefined reads
// as U+FFFD; a character it lacks has no byte (0).
struct CodePage {
  std::array<char16_t, 256> toUnicode{};
  std::array<std::uint8_t, 0x10000> toByte{};

  CodePage() {
    for (int b = 0; b < 256; ++b) {
      const char byte = char(b);
      const QString one = b == 0 ? QString(QChar(0)) : FromWindows1250(QByteArrayView(&byte, 1));
      char16_t c = one.size() == 1 ? one[0].unicode() : kUndefined;
      // The converter's stand-in for an undefined byte, whichever it uses:
      // the code page puts no C1 control where it defines a character.
      if ((c == u'\x1A' && b != 0x1A) || (c >= 0x80 && c <= 0x9F)) c = kUndefined;
      toUnicode[size_t(b)] = c;
      if (c != kUndefined && b != 0) toByte[c] = std::uint8_t(b);
    }
  }
};

const CodePage& Windows1250() {
  static const CodePage table;
  return table;
}

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// True with `bytes` when every character of `text` can stand in the list:
// no control character and nothing Windows-1250 lacks.
bool ToListBytes(QStringView text, std::string* bytes) {
  const CodePage& page = Windows1250();
  bytes->clear();
  bytes->reserve(size_t(text.size()));
  for (const QChar c : text) {
    const std::uint8_t b = page.toByte[c.unicode()];
    if (b == 0 || IsControl(c.unicode())) return false;
    bytes->push_back(char(b));
  }
  return true;
}

bool HasControl(QStringView text) {
  for (const QChar c : text) {
    if (IsControl(c.unicode())) return true;
  }
  return false;
}

// Strict UTF-8: no overlong form, no surrogate, nothing past U+10FFFF, no
// sequence cut short. `multibyte` tells whether there was any but ASCII.
bool IsUtf8(std::string_view bytes, bool* multibyte) {
  *multibyte = false;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    const unsigned char lead = p[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (n - i < length || p[i + 1] < low || p[i + 1] > high) return false;
    for (size_t k = 2; k < length; ++k) {
      if (p[i + k] < 0x80 || p[i + k] > 0xBF) return false;
    }
    *multibyte = true;
    i += length;
  }
  return true;
}

bool StartsWith(std::string_view bytes, std::string_view mark) { return bytes.substr(0, mark.size()) == mark; }

QString Unicode(std::string_view bytes, QStringConverter::Encoding encoding) {
  // The mark is already gone; one more at the start is text like any other.
  QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
  return decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

}  // namespace

ListFileEncoding DetectListFileEncoding(std::string_view bytes) {
  if (StartsWith(bytes, "\xFF\xFE")) return ListFileEncoding::kUtf16LE;
  if (StartsWith(bytes, "\xFE\xFF")) return ListFileEncoding::kUtf16BE;
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return ListFileEncoding::kUtf8;
  bool multibyte = false;
  return IsUtf8(bytes, &multibyte) && multibyte ? ListFileEncoding::kUtf8 : ListFileEncoding::kWindows1250;
}

QString DecodeListFile(std::string_view bytes) {
  switch (DetectListFileEncoding(bytes)) {
    case ListFileEncoding::kUtf16LE: return Unicode(bytes.substr(2), QStringConverter::Utf16LE);
    case ListFileEncoding::kUtf16BE: return Unicode(bytes.substr(2), QStringConverter::Utf16BE);
    case ListFileEncoding::kUtf8:
      return Unicode(StartsWith(bytes, "\xEF\xBB\xBF") ? bytes.substr(3) : bytes, QStringConverter::Utf8);
    case ListFileEncoding::kWindows1250: break;
  }
  const CodePage& page = Windows1250();
  QString text(qsizetype(bytes.size()), Qt::Uninitialized);
  char16_t* out = reinterpret_cast<char16_t*>(text.data());
  for (const char b : bytes) *out++ = page.toUnicode[std::uint8_t(b)];
  return text;
}

QStringList SplitListFileLines(QStringView text) {
  // A NUL is a character like any other here: its line is skipped as one
  // holding a control character, and the lines after it are read.
  QStringList lines;
  qsizetype start = 0;
  while (start < text.size()) {
    qsizetype end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    lines.append(text.mid(start, end - start).toString());
    if (end == text.size()) break;
    start = end + 1;
    if (text[end] == u'\r' && start < text.size() && text[start] == u'\n') ++start;
  }
  return lines;
}

ListLine SplitListLine(QStringView line) {
  ListLine out;
  const qsizetype first = line.indexOf(u'|');
  const qsizetype second = first < 0 ? -1 : line.indexOf(u'|', first + 1);
  if (second < 0) {
    // Not a list line; what there is counts as the phone, as it always did.
    out.phone = line.toString();
    if (first >= 0) {
      out.firstName = line.left(first).toString();
      out.phone = line.mid(first + 1).toString();
    }
    return out;
  }
  out.firstName = line.left(first).toString();
  out.surname = line.mid(first + 1, second - first - 1).toString();
  out.phone = line.mid(second + 1).toString();
  out.complete = true;
  return out;
}

ListFileContents ParseListFile(std::string_view bytes) {
  ListFileContents out;
  const QStringList lines = SplitListFileLines(DecodeListFile(bytes));
  int lineNumber = 0;
  for (const QString& text : lines) {
    ++lineNumber;
    // A line with nothing on it is no entry, and not worth a word.
    if (text.isEmpty()) continue;
    auto skip = [&](int& counter) {
      ++counter;
      if (out.firstSkippedLine == 0) out.firstSkippedLine = lineNumber;
    };
    const ListLine line = SplitListLine(text);
    ListFileRow row;
    row.line = lineNumber;
    // The phone is stored normalised, so only what NormalisePhoneNumber
    // would pass over as a blank (a tab) needs a word here.
    if (!ToListBytes(line.firstName, &row.firstName) || !ToListBytes(line.surname, &row.surname) ||
        HasControl(line.phone)) {
      skip(out.badCharacter);
      continue;
    }
    QString number;
    if (!NormalisePhoneNumber(line.phone, kListPhoneLength, &number)) {
      skip(out.badNumber);
      continue;
    }
    row.phone = number.toStdString();
    bool cut = false;
    for (std::string* name : {&row.firstName, &row.surname}) {
      if (name->size() > size_t(kListNameLength)) {
        name->resize(size_t(kListNameLength));
        cut = true;
      }
    }
    if (cut) ++out.namesCut;
    out.rows.push_back(std::move(row));
  }
  return out;
}

bool ReadListFile(const QString& path, QByteArray* bytes, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = FileError(kCannotRead, path, file.errorString());
    return false;
  }
  *bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    *error = FileError(kCannotRead, path, file.errorString());
    return false;
  }
  return true;
}

bool ListFileBytes(Session& session, Progress& progress, QByteArray* bytes) {
  store::Cursor& list = session.Dbf1();
  QByteArray text;
  ListUpdatesSuspended still(session, progress.ui());
  RequireOk(list.Settle());
  list.First();
  int counter = 1;
  while (!list.Eof()) {
    if (progress.Cancelled()) return false;
    progress.Update(counter, list.RowCount());
    ++counter;
    text += list.Text("Imie");
    text += '|';
    text += list.Text("Nazwisko");
    text += '|';
    text += list.Text("Tel");
    text += "\r\n";
    list.Next();
    progress.ProcessEvents();
  }
  *bytes = text;
  return true;
}

bool WriteListFile(const QString& path, const QByteArray& bytes, QString* error) {
  QString cause;
  if (WriteFileWhole(path, bytes, &cause)) return true;
  *error = FileError(kCannotWrite, path, cause);
  return false;
}

ExportResult ExportList(Session& session, Progress& progress, const QString& path) {
  ExportResult result;
  result.path = path;
  QByteArray bytes;
  // A cancelled export writes nothing: half a list must not replace a whole one.
  if (!ListFileBytes(session, progress, &bytes)) {
    result.Fail(Stop::kCancelled);
    return result;
  }
  QString error;
  if (!WriteListFile(path, bytes, &error)) {
    result.Fail(Stop::kFileError, error);
    return result;
  }
  result.written = int(bytes.count("\r\n"));
  return result;
}

ImportResult ImportList(Session& session, Progress& progress, const QString& path, bool strict) {
  QByteArray bytes;
  QString error;
  if (!ReadListFile(path, &bytes, &error)) {
    ImportResult result;
    result.name = path;
    result.Fail(Stop::kFileError, error);
    return result;
  }
  return ImportListBytes(session, progress, bytes, path, strict);
}

namespace {

// The subscribers of the list's rows, by SubscriberKey.
QSet<QString> ListedSubscribers(store::Cursor& list, const QString& countryCode) {
  QSet<QString> keys;
  list.First();
  while (!list.Eof()) {
    keys.insert(SubscriberKey(QString::fromStdString(list.Text("Tel")), countryCode));
    list.Next();
  }
  return keys;
}

// The rows of `rows` whose subscriber neither `listed` nor an earlier row
// holds; `dropped` counts the others and `firstDropped` names the line of
// the first of them (0 when none).
std::vector<const ListFileRow*> NewSubscribers(const std::vector<ListFileRow>& rows, QSet<QString> listed,
                                               const QString& countryCode, int* dropped, int* firstDropped) {
  std::vector<const ListFileRow*> out;
  *dropped = 0;
  *firstDropped = 0;
  for (const ListFileRow& row : rows) {
    const QString key = SubscriberKey(QString::fromStdString(row.phone), countryCode);
    if (listed.contains(key)) {
      if (++*dropped == 1) *firstDropped = row.line;
      continue;
    }
    listed.insert(key);
    out.push_back(&row);
  }
  return out;
}

}  // namespace

ImportResult ImportListBytes(Session& session, Progress& progress, const QByteArray& bytes, const QString& name,
                             bool strict) {
  const ListFileContents contents = ParseListFile(std::string_view(bytes.constData(), size_t(bytes.size())));
  ImportResult result;
  result.name = name;
  result.badCharacter = contents.badCharacter;
  result.badNumber = contents.badNumber;
  result.namesCut = contents.namesCut;
  result.firstSkippedLine = contents.firstSkippedLine;
  const QString& country = session.countryCode();
  // A strict import is refused whole, and before anything changes, for any
  // line it would leave out.
  auto refuseStrict = [&](int dropped, int firstDropped) {
    if (!strict || (contents.Skipped() == 0 && dropped == 0)) return false;
    result.onList = dropped;
    if (result.firstSkippedLine == 0 || (firstDropped != 0 && firstDropped < result.firstSkippedLine)) {
      result.firstSkippedLine = firstDropped;
    }
    result.refusal = ImportResult::Refusal::kStrict;
    result.Fail(Stop::kBadInput);
    return true;
  };
  // Refused before the question, so nothing can clear the list for a file
  // that would put nothing back: an empty file, a binary one, one in an
  // encoding not recognised.
  if (contents.rows.empty()) {
    result.refusal = ImportResult::Refusal::kNoRows;
    result.Fail(Stop::kBadInput);
    return result;
  }
  int dropped = 0;
  int firstDropped = 0;
  NewSubscribers(contents.rows, {}, country, &dropped, &firstDropped);
  if (refuseStrict(dropped, firstDropped)) return result;
  result.cleared = progress.Ask(Question::kClearBeforeImport, QString::fromUtf8(kImportClearQuestion));

  store::Cursor& list = session.Dbf1();
  {
    ListUpdatesSuspended still(session, progress.ui());
    RequireOk(list.Settle());
    // What is on the list counts only when it stays there.
    const std::vector<const ListFileRow*> rows = NewSubscribers(
        contents.rows, result.cleared ? QSet<QString>() : ListedSubscribers(list, country), country, &dropped,
        &firstDropped);
    if (refuseStrict(dropped, firstDropped)) {
      list.First();
      return result;
    }
    result.onList = dropped;
    // The rows as a loop of posts; false when it was cancelled.
    auto post = [&] {
      const int count = int(rows.size());
      for (int i = 0; i < count; ++i) {
        if (progress.Cancelled()) return false;
        progress.Update(i, count);
        const ListFileRow& row = *rows[size_t(i)];
        RequireOk(list.Append());
        RequireOk(list.SetText("Imie", row.firstName));
        RequireOk(list.SetText("Nazwisko", row.surname));
        RequireOk(list.SetText("Tel", row.phone));
        // The form as written is unique already; a refusal here is a list
        // that changed meanwhile, and it is counted the same way.
        if (PostRow(list)) {
          ++result.taken;
        } else {
          ++result.onList;
        }
        progress.ProcessEvents();
      }
      return true;
    };
    if (result.cleared) {
      // The old list and the new one change places in one commit: a cancel,
      // a kill or a full disk before it leaves the old list whole.
      const QString unchanged = QString::fromUtf8(". Lista pozostaje bez zmian.");
      store::Replacement replacement(list);
      try {
        RequireOk(replacement.Begin());
        if (!post()) {
          result.taken = 0;
          result.Fail(Stop::kCancelled);
        } else {
          RequireOk(replacement.Commit());
        }
      } catch (const StoreError& e) {
        result.taken = 0;
        result.Fail(Stop::kFileError, QString::fromUtf8(e.what()) + unchanged);
      }
    } else {
      // The rows go in as groups, a flush per group rather than per row; the
      // last one is on disk when the loop ends, and a failure that throws
      // still keeps every row posted before it.
      store::AppendGroup group(list);
      if (!post()) result.Fail(Stop::kCancelled);
      RequireOk(group.Finish());
    }
  }
  list.First();
  return result;
}
