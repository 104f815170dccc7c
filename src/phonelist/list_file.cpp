#include "phonelist/list_file.h"

#include "phonelist/sheet_reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <array>
#include <cstdint>

#include "common/private_file.h"
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

}  // namespace

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

bool ListEntries(Session& session, Progress& progress, std::vector<ListEntry>* entries) {
  store::Cursor& list = session.Dbf1();
  ListUpdatesSuspended still(session, progress.ui());
  RequireOk(list.Settle());
  list.First();
  entries->clear();
  int counter = 1;
  while (!list.Eof()) {
    if (progress.Cancelled()) return false;
    progress.Update(counter, list.RowCount());
    ++counter;
    entries->push_back({list.Text("Imie"), list.Text("Nazwisko"), list.Text("Tel")});
    list.Next();
    progress.ProcessEvents();
  }
  return true;
}

bool ListFileBytes(Session& session, Progress& progress, QByteArray* bytes) {
  std::vector<ListEntry> entries;
  if (!ListEntries(session, progress, &entries)) return false;
  *bytes = ListFileText(entries);
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
  std::vector<ListEntry> entries;
  // A cancelled export writes nothing: half a list must not replace a whole one.
  if (!ListEntries(session, progress, &entries)) {
    result.Fail(Stop::kCancelled);
    return result;
  }
  QByteArray bytes;
  QString error;
  switch (ExportFormatFor(path)) {
    case ExportFormat::kListFile: bytes = ListFileText(entries); break;
    case ExportFormat::kCsv: bytes = CsvText(entries); break;
    case ExportFormat::kXlsx:
      if (!XlsxBytes(entries, &bytes, &error)) {
        result.Fail(Stop::kFileError, FileError(kCannotWrite, path, error));
        return result;
      }
      break;
  }
  if (!WriteListFile(path, bytes, &error)) {
    result.Fail(Stop::kFileError, error);
    return result;
  }
  result.written = int(entries.size());
  return result;
}

ImportResult ImportList(Session& session, Progress& progress, const QString& path, const ImportOptions& options) {
  QByteArray bytes;
  QString error;
  if (!ReadListFile(path, &bytes, &error)) {
    ImportResult result;
    result.name = path;
    result.Fail(Stop::kFileError, error);
    return result;
  }
  return ImportListBytes(session, progress, bytes, path, options);
}

QSet<QString> ListedSubscribers(Session& session) {
  store::Cursor& list = session.Dbf1();
  RequireOk(list.Settle());
  // A look at the list, not a move: the row the user stands on stays current.
  const int at = list.Position();
  QSet<QString> keys;
  list.First();
  while (!list.Eof()) {
    keys.insert(SubscriberKey(QString::fromStdString(list.Text("Tel")), session.countryCode()));
    list.Next();
  }
  if (at > 0) {
    RequireOk(list.MoveTo(at));
  } else {
    list.First();
  }
  return keys;
}

ImportPreview PreviewListFile(Session& session, const QByteArray& bytes, const QString& name,
                              const ImportOptions& options, bool clearFirst) {
  return PreviewImport(ReadSheet(bytes, name, options.sheet), options.columns,
                       clearFirst ? QSet<QString>() : ListedSubscribers(session), session.countryCode());
}

namespace {

const char* const kUnchanged = ". Lista pozostaje bez zmian.";

// A preview that leaves nothing to take, or (strict) leaves a line out, is
// refused with `result` before anything is asked or changed.
bool Refuse(const ImportPreview& preview, bool strict, ImportResult* result) {
  result->counts = preview.counts;
  result->firstSkippedLine = preview.FirstSkippedLine();
  if (!preview.error.isEmpty()) {
    result->Fail(Stop::kBadInput, QString::fromUtf8("Nie można zaimportować pliku \"%1\": %2").arg(result->name, preview.error) +
                                      QString::fromUtf8(kUnchanged));
    return true;
  }
  if (strict && preview.counts.Skipped() > 0) {
    result->refusal = ImportResult::Refusal::kStrict;
    result->Fail(Stop::kBadInput);
    return true;
  }
  if (preview.counts.Taken() == 0) {
    result->refusal = ImportResult::Refusal::kNoRows;
    result->Fail(Stop::kBadInput);
    return true;
  }
  return false;
}

}  // namespace

ImportResult ImportListBytes(Session& session, Progress& progress, const QByteArray& bytes, const QString& name,
                             const ImportOptions& options) {
  ImportResult result;
  result.name = name;
  // Judged first against an empty list, so that nothing is asked, and
  // nothing can clear the list, for a file that would put nothing back.
  const Sheet sheet = ReadSheet(bytes, name, options.sheet);
  const QString& country = session.countryCode();
  if (Refuse(PreviewImport(sheet, options.columns, {}, country), options.strict, &result)) return result;
  const bool cleared = progress.Ask(Question::kClearBeforeImport, QString::fromUtf8(kImportClearQuestion));
  // What is on the list counts only when it stays there.
  const ImportPreview preview =
      PreviewImport(sheet, options.columns, cleared ? QSet<QString>() : ListedSubscribers(session), country);
  if (Refuse(preview, options.strict, &result)) {
    result.cleared = cleared;
    return result;
  }
  return ImportPreviewed(session, progress, preview, cleared, name);
}

ImportResult ImportPreviewed(Session& session, Progress& progress, const ImportPreview& preview, bool clearFirst,
                             const QString& name) {
  ImportResult result;
  result.name = name;
  result.cleared = clearFirst;
  result.counts = preview.counts;
  result.firstSkippedLine = preview.FirstSkippedLine();
  std::vector<const PreviewLine*> rows;
  for (const PreviewLine& line : preview.lines) {
    if (IsTaken(line.verdict)) rows.push_back(&line);
  }
  store::Cursor& list = session.Dbf1();
  {
    ListUpdatesSuspended still(session, progress.ui());
    RequireOk(list.Settle());
    // The rows as a loop of posts; false when it was cancelled.
    auto post = [&] {
      const int count = int(rows.size());
      for (int i = 0; i < count; ++i) {
        if (progress.Cancelled()) return false;
        progress.Update(i, count);
        const PreviewLine& row = *rows[size_t(i)];
        RequireOk(list.Append());
        RequireOk(list.SetText("Imie", row.storedFirstName));
        RequireOk(list.SetText("Nazwisko", row.storedSurname));
        RequireOk(list.SetText("Tel", row.storedPhone));
        // The form as written is unique in the file; a refusal here is a list
        // that changed since the preview, and it is counted as on the list.
        if (PostRow(list)) {
          ++result.taken;
        } else {
          --result.counts[row.verdict];
          ++result.counts[LineVerdict::kOnList];
        }
        progress.ProcessEvents();
      }
      return true;
    };
    if (clearFirst) {
      // The old list and the new one change places in one commit: a cancel,
      // a kill or a full disk before it leaves the old list whole.
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
        result.Fail(Stop::kFileError, QString::fromUtf8(e.what()) + QString::fromUtf8(kUnchanged));
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
