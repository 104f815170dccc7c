#include "core/session.h"

#include <QDir>
#include <QFile>
#include <algorithm>

#include "common/trace_log.h"

#include "core/settings.h"
#include "core/user_interface.h"
#include "schema/schema.h"
#include "core/store_errors.h"
#include "store/compact.h"
#include "store/cursor.h"
#include "store/database.h"

namespace {

// Every change appends a row image and leaves the old one in the file, so the
// file only grows: a list of 1,000 numbers verified daily would gain tens of
// megabytes a year. At the start, before this run opens it, a file more than
// half dead space is rewritten at its minimal size, when nothing else has it
// open. Otherwise it is used as it is: the space is waste, never a fault, and
// another run of the configurator (or the CLI) holding the file must not be
// kept waiting or stopped.
constexpr double kCompactAtDeadShare = 0.5;

void CompactWhenMostlyDead(const QString& directory, const std::string& path, const store::OpenOptions& storeOptions) {
  store::CompactOptions options;
  options.open = storeOptions;
  options.minDeadShare = kCompactAtDeadShare;
  store::CompactResult result;
  // A file that cannot be compacted now is used as it is and tried again at
  // the next start; the reason goes to the trace file.
  const store::Status compacted = store::CompactFile(path, options, &result);
  if (!compacted.ok()) TraceLogIn(directory, QString::fromStdString(compacted.ToString()));
}

}  // namespace

Session::Session(const QString& directory) : directory_(QDir(directory).absolutePath()) {}

Session::~Session() = default;

QString Session::FilePath(const QString& name) const { return QDir(directory_).filePath(name); }

const store::Collation& Session::collation() const { return database_->collation(); }

QString Session::Create() { return Create(store::OpenOptions{}); }

QString Session::Create(const store::OpenOptions& storeOptions) {
  UnsavedChanges = false;
  countryCode_ = ReadCountryCode(FilePath(kSettingsFileName));
  // A failure to remove it is harmless: nothing reads that file any more.
  QFile::remove(FilePath(kStaleIndexFileName));

  const QString file = FilePath(kDatabaseFileName);
  const std::string path = QFile::encodeName(file).toStdString();
  // A file that is there is taken as it is: no check, no upgrade; at most
  // its dead space is given back.
  if (!QFile::exists(file)) {
    // Said here with the system's reason: the open below would only find no file.
    const store::Status created = CreateConfiguratorDatabase(path);
    if (!created.ok()) return StoreMessage("Cannot create file " + path + ": " + created.Cause());
  } else {
    CompactWhenMostlyDead(directory_, path, storeOptions);
  }

  std::shared_ptr<store::Database> db;
  store::Status s = store::Database::Open(path, storeOptions, &db);
  if (!s.ok()) return StoreMessage(s.message());
  auto dbf1 = std::make_unique<store::Cursor>(db, "telefony");
  auto dbf2 = std::make_unique<store::Cursor>(db, "config");
  auto dbf3 = std::make_unique<store::Cursor>(db, "raporty");
  for (store::Cursor* cursor : {dbf1.get(), dbf2.get(), dbf3.get()}) {
    s = cursor->Open();
    if (!s.ok()) return StoreMessage(s.message());
  }
  database_ = db;
  Dbf1_ = std::move(dbf1);
  Dbf2_ = std::move(dbf2);
  Dbf3_ = std::move(dbf3);

  // Every new list row takes the next free number: one more than the
  // highest, so no two rows ever share one. The field is the schema's own,
  // so setting it cannot fail.
  Dbf1_->onNewRow = [](store::Cursor& cursor) {
    std::int64_t highest = 1;
    for (int position = 1; position <= cursor.RowCount(); ++position) {
      highest = std::max(highest, cursor.IntAt(position, "ID"));
    }
    static_cast<void>(cursor.SetInt("ID", highest + 1));
  };
  Dbf1_->onStateChange = [this](store::Cursor::State state) {
    ListStateChanged(state == store::Cursor::State::kInsert ? ListState::kInsert
                     : state == store::Cursor::State::kEdit ? ListState::kEdit
                                                            : ListState::kBrowse);
  };
  return QString();
}

ListState Session::listState() const {
  if (!Dbf1_ || !Dbf1_->IsOpen()) return ListState::kClosed;
  switch (Dbf1_->state()) {
    case store::Cursor::State::kInsert: return ListState::kInsert;
    case store::Cursor::State::kEdit: return ListState::kEdit;
    default: return ListState::kBrowse;
  }
}

void Session::CloseList() {
  if (!Dbf1_->IsOpen()) return;
  Dbf1_->Close();
  ListStateChanged(ListState::kClosed);
}

bool Session::OpenList() {
  if (Dbf1_->IsOpen()) return true;
  if (!Dbf1_->Open().ok()) return false;
  ListStateChanged(ListState::kBrowse);
  return true;
}

void Session::ListStateChanged(ListState state) {
  if (state != ListState::kBrowse) UnsavedChanges = true;
  if (DataSource1StateChange) DataSource1StateChange(state);
}

ListUpdatesSuspended::ListUpdatesSuspended(Session& session, UserInterface& ui) : session_(session), ui_(ui) {
  session_.Dbf1().DisableControls();
  ui_.SuspendViewUpdates(true);
}

ListUpdatesSuspended::~ListUpdatesSuspended() {
  session_.Dbf1().EnableControls();
  ui_.SuspendViewUpdates(false);
}

bool RunCloseStep(Session& session, UserInterface& ui, CloseActions& actions) {
  if (!session.UnsavedChanges) return true;
  switch (ui.AskOrCancel(Question::kSaveOnClose, QString::fromUtf8(kUnsavedQuestion))) {
    case Choice::kCancel: return false;
    case Choice::kNo: return true;
    case Choice::kYes: break;
  }
  // Whatever can be saved is: the settings other than refused phones, and
  // the pending phone whether or not the settings passed their checks.
  const bool saved = actions.SaveSettingsView();
  const bool posted = actions.PostPendingPhone();
  // A refused entry stays in front of the user to be mended.
  if (!posted) return false;
  return saved || ui.Ask(Question::kCloseWithoutPhones, QString::fromUtf8(kCloseWithoutPhonesQuestion));
}
