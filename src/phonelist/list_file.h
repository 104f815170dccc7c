#pragma once

#include <QByteArray>
#include <QSet>
#include <optional>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "phonelist/import_preview.h"
#include "phonelist/list_text.h"
#include "phonelist/sheet_writer.h"

class Progress;
class Session;

// Reads a whole file; false with the file layer's message in `error`.
bool ReadListFile(const QString& path, QByteArray* bytes, QString* error);

// The list as a list file: every row in the list's current order, one
// "first|surname|phone" line each, CR LF after every line, with the progress
// panel up. False (nothing to write) when the user cancelled.
bool ListFileBytes(Session& session, Progress& progress, QByteArray* bytes);
// The same rows as entries, for any of the export formats.
bool ListEntries(Session& session, Progress& progress, std::vector<ListEntry>* entries);

// Writes a list file. A regular file (or a new one) is replaced whole or not
// at all; anything else that is there already (a pipe, a device) is written
// into as it is, never replaced by a file. False with the cause in `error`.
bool WriteListFile(const QString& path, const QByteArray& bytes, QString* error);

// What an export did.
struct ExportResult : CommandResult {
  QString path;
  int written = 0;
};
// "EKSPORTUJ LISTĘ TELEFONÓW" once the file is chosen: the list in the
// format the file's extension names (ExportFormatFor), written whole.
ExportResult ExportList(Session& session, Progress& progress, const QString& path);

// The question an import asks before it adds anything.
inline constexpr const char* kImportClearQuestion = "Czy przed importem usunąć listę telefonów?";

// What an import did.
struct ImportResult : CommandResult {
  enum class Refusal { kNone, kNoRows, kStrict };
  QString name;  // the file, as messages name it
  Refusal refusal = Refusal::kNone;
  bool cleared = false;
  int taken = 0;  // rows that went into the list
  // Every line of the file by its verdict, as the preview gave it; a row the
  // list refused when it was posted (a list changed meanwhile) is on-list.
  VerdictCounts counts;
  int firstSkippedLine = 0;

  int Skipped() const { return counts.Skipped(); }
};

// How to read a file to import: what the user set instead of what is
// detected, and whether a line left out refuses the whole file.
struct ImportOptions {
  SheetOptions sheet;
  std::optional<ColumnMap> columns;
  bool strict = false;
};

// The SubscriberKey of every number on the list.
QSet<QString> ListedSubscribers(Session& session);

// The verdict of every line of `bytes` against the list as it is now, or,
// when `clearFirst`, against an empty one.
ImportPreview PreviewListFile(Session& session, const QByteArray& bytes, const QString& name,
                              const ImportOptions& options, bool clearFirst);

// "IMPORTUJ LISTĘ TELEFONÓW" once the file is chosen: reads the file, gives
// each line its verdict, refuses a file that gives no row to take (and, when
// `strict`, one with a line it would leave out), then asks whether to clear
// the list first and appends the lines taken. Nothing is cleared before the
// file has been read and found to hold a list, so a file that cannot be
// read, or holds none, leaves the list as it was.
ImportResult ImportList(Session& session, Progress& progress, const QString& path, const ImportOptions& options = {});
// The same for bytes already read; `name` stands for the file in messages.
ImportResult ImportListBytes(Session& session, Progress& progress, const QByteArray& bytes, const QString& name,
                             const ImportOptions& options = {});
// The lines a preview takes, once the user has seen it and chosen whether to
// clear the list first (asked nothing more). Replacing the list is one store
// commit: a cancel or a failure leaves the old list.
ImportResult ImportPreviewed(Session& session, Progress& progress, const ImportPreview& preview, bool clearFirst,
                             const QString& name);
