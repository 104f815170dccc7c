#pragma once

#include <QDate>
#include <QString>
#include <functional>
#include <memory>

#include "common/file_names.h"

class UserInterface;

namespace store {
class Cursor;
class Collation;
class Database;
struct OpenOptions;
}  // namespace store

// What the list view is told about the phone list cursor.
enum class ListState { kClosed, kBrowse, kInsert, kEdit };

// Everything that lives for one run of the configurator and is not a widget:
// the program's directory (the one place that names it) and the files in it,
// and the database with its three cursors. The main window and the
// command-line front end own one each, beside their serial link; tests build
// one on a temporary directory.
class Session {
 public:
  explicit Session(const QString& directory);
  ~Session();

  const QString& Directory() const { return directory_; }
  QString FilePath(const QString& name) const;
  QString FilePath(const char* name) const { return FilePath(QString::fromLatin1(name)); }

  // The creation step's file and database work, before the window is shown.
  // Returns the store's message when the database cannot be opened (the file
  // is then left exactly as it was), an empty text otherwise. A file more
  // than half dead space is compacted first when nothing else has it open.
  // `storeOptions` are for benchmarks and tools; the window takes the defaults.
  QString Create(const store::OpenOptions& storeOptions);
  QString Create();
  bool DatabaseOpen() const { return database_ != nullptr; }

  // The cursors on `telefony`, `config` and `raporty`; valid after Create().
  store::Cursor& Dbf1() { return *Dbf1_; }
  store::Cursor& Dbf2() { return *Dbf2_; }
  store::Cursor& Dbf3() { return *Dbf3_; }

  // The list cursor's state as the list view sees it, closed included.
  ListState listState() const;
  // Closing and opening the list cursor again; the chosen order is kept.
  void CloseList();
  bool OpenList();

  // The list view's state notification (captions); UnsavedChanges is raised
  // here before it is called.
  std::function<void(ListState)> DataSource1StateChange;

  // The local date, for the daily service code; tests set their own day.
  std::function<QDate()> Today = [] { return QDate::currentDate(); };

  // Something typed into the list or the settings view is not saved yet.
  bool UnsavedChanges = false;

  // The country code of the list's numbers ("kraj"), read as the database opens.
  const QString& countryCode() const { return countryCode_; }

  // The order texts are compared in: the user's locale, as the file's indexes use it.
  const store::Collation& collation() const;

 private:
  void ListStateChanged(ListState state);

  QString directory_;
  QString countryCode_;
  std::shared_ptr<store::Database> database_;
  std::unique_ptr<store::Cursor> Dbf1_, Dbf2_, Dbf3_;
};

// Holds the list's views still for a loop over many rows; they are repainted
// once when it ends, however it ends.
class ListUpdatesSuspended {
 public:
  ListUpdatesSuspended(Session& session, UserInterface& ui);
  ~ListUpdatesSuspended();
  ListUpdatesSuspended(const ListUpdatesSuspended&) = delete;
  ListUpdatesSuspended& operator=(const ListUpdatesSuspended&) = delete;

 private:
  Session& session_;
  UserInterface& ui_;
};

// What the close step needs from the views: saving the settings view, and
// posting a phone entry that is still being typed.
class CloseActions {
 public:
  virtual ~CloseActions() = default;
  // True when the view passed its checks and was written.
  virtual bool SaveSettingsView() = 0;
  // Saves a phone entry still being typed by the rule; false (told, the
  // entry kept) when the rule refuses it.
  virtual bool PostPendingPhone() = 0;
};

inline constexpr const char* kUnsavedQuestion = "Nie zapisano danych. Czy zapisać je?";
inline constexpr const char* kCloseWithoutPhonesQuestion =
    "Nie zapisano telefonów ustawień, bo są niepoprawne; resztę zapisano. Czy zamknąć program bez nich?";

// The close step: asks about unsaved changes and saves on "TAK". Returns
// whether the window may close.
bool RunCloseStep(Session& session, UserInterface& ui, CloseActions& actions);
