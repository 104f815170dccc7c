#include "core/session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

#include "common/testing/without_privileges.h"
#include "schema/schema.h"
#include "core/testing/phones.h"
#include "core/testing/scripted_ui.h"
#include "core/user_interface.h"
#include "store/cursor.h"
#include "store/database.h"

namespace {

struct RecordingActions : CloseActions {
  bool saveResult = true;
  int saves = 0;
  int posts = 0;
  bool SaveSettingsView() override {
    ++saves;
    return saveResult;
  }
  bool postResult = true;
  bool PostPendingPhone() override {
    ++posts;
    return postResult;
  }
};

// A user who puts the closing question off ("ANULUJ") when told to.
struct ClosingUi : ScriptedUi {
  bool cancel = false;
  Choice AskOrCancel(Question question, const QString& text) override {
    if (!cancel) return ScriptedUi::AskOrCancel(question, text);
    dialogs.push_back({text, true, question});
    return Choice::kCancel;
  }
};

struct CloseCase {
  const char* name;
  bool unsaved;
  bool cancel;
  std::initializer_list<bool> answers;
  bool saveResult;
  bool postResult;
  bool expectClose;
  std::vector<Question> expectQuestions;
  int expectSaves;
  int expectPosts;
};

TEST(CloseStepTest, AsksOnlyAboutUnsavedChangesAndSavesOnYes) {
  using Q = Question;
  const CloseCase cases[] = {
      {"nothing to save", false, false, {}, true, true, true, {}, 0, 0},
      {"NIE closes without saving", true, false, {false}, true, true, true, {Q::kSaveOnClose}, 0, 0},
      {"ANULUJ stays open with nothing saved", true, true, {}, true, true, false, {Q::kSaveOnClose}, 0, 0},
      {"TAK saves and closes", true, false, {true}, true, true, true, {Q::kSaveOnClose}, 1, 1},
      {"TAK with refused phones, then TAK, closes without them", true, false, {true, true}, false, true, true,
       {Q::kSaveOnClose, Q::kCloseWithoutPhones}, 1, 1},
      {"TAK with refused phones, then NIE, stays open", true, false, {true, false}, false, true, false,
       {Q::kSaveOnClose, Q::kCloseWithoutPhones}, 1, 1},
      {"TAK with a refused phone being typed stays open", true, false, {true}, true, false, false, {Q::kSaveOnClose},
       1, 1},
  };
  for (const CloseCase& c : cases) {
    QTemporaryDir temp;
    Session session(temp.path());
    session.UnsavedChanges = c.unsaved;
    ClosingUi ui;
    ui.cancel = c.cancel;
    ui.Answer(c.answers);
    RecordingActions actions;
    actions.saveResult = c.saveResult;
    actions.postResult = c.postResult;

    EXPECT_EQ(RunCloseStep(session, ui, actions), c.expectClose) << c.name;
    std::vector<Question> asked;
    for (const auto& dialog : ui.dialogs) asked.push_back(dialog.id);
    EXPECT_EQ(asked, c.expectQuestions) << c.name;
    if (!asked.empty()) {
      EXPECT_EQ(ui.dialogs[0].text, QString::fromUtf8("Nie zapisano danych. Czy zapisać je?"));
    }
    EXPECT_EQ(actions.saves, c.expectSaves) << c.name;
    EXPECT_EQ(actions.posts, c.expectPosts) << c.name;
    EXPECT_EQ(ui.unansweredQuestions, 0) << c.name;
  }
}

TEST(SessionTest, CreationRemovesTheStaleIndexFileAndResetsUnsavedChanges) {
  QTemporaryDir temp;
  QFile stale(QDir(temp.path()).filePath("telefony.mdx"));
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.close();

  Session session(temp.path());
  session.UnsavedChanges = true;
  session.Create();
  EXPECT_FALSE(QFile::exists(stale.fileName()));
  EXPECT_FALSE(session.UnsavedChanges);

  // Starting where there is no such file is no failure either.
  session.Create();
}

TEST(SessionTest, CreationMakesTheDatabaseOnceAndRefusesAForeignFileUntouched) {
  QTemporaryDir temp;
  Session session(temp.path());
  ASSERT_EQ(session.Create(), QString());
  EXPECT_TRUE(QFile::exists(QDir(temp.path()).filePath("selvantrixx.tdb")));
  EXPECT_EQ(session.Dbf1().RowCount(), 0);
  EXPECT_EQ(session.listState(), ListState::kBrowse);

  QTemporaryDir other;
  const QString path = QDir(other.path()).filePath("selvantrixx.tdb");
  QFile foreign(path);
  ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
  foreign.write(QByteArray(4096, 'x'));
  foreign.close();
  Session refused(other.path());
  EXPECT_NE(refused.Create(), QString());
  EXPECT_FALSE(refused.DatabaseOpen());
  ASSERT_TRUE(foreign.open(QIODevice::ReadOnly));
  EXPECT_EQ(foreign.readAll(), QByteArray(4096, 'x'));
}

// Each round changes every row once, leaving its old image behind: with 50
// rows, eleven rounds make the dead space more than half the file.
TEST(SessionTest, StartCompactsAFileMostlyDeadSpaceWhenNothingElseHasItOpen) {
  struct Case {
    const char* name;
    int rounds;
    bool heldElsewhere;
    bool compacted;
  };
  const Case cases[] = {
      {"mostly dead space", 15, false, true},
      {"mostly dead space, but open elsewhere", 15, true, false},
      {"a quarter dead space", 3, false, false},
  };
  for (const Case& c : cases) {
    QTemporaryDir temp;
    std::vector<std::string> rows;
    {
      // No flush per change: only what the file ends up holding matters here.
      store::OpenOptions unflushed;
      unflushed.sync = store::SyncMode::kNone;
      Session earlier(temp.path());
      ASSERT_EQ(earlier.Create(unflushed), QString());
      for (int i = 0; i < 50; ++i) AddPhone(earlier, "Jan", "Nowak", std::to_string(600100200 + i));
      store::Cursor& list = earlier.Dbf1();
      for (int round = 0; round < c.rounds; ++round) {
        for (list.First(); !list.Eof(); list.Next()) {
          ASSERT_TRUE(list.Edit().ok());
          EXPECT_TRUE(list.SetInt("ST", round % 2).ok());
          ASSERT_TRUE(list.Post().ok());
        }
      }
      rows = Rows(earlier);
    }
    const QString file = QDir(temp.path()).filePath("selvantrixx.tdb");
    QFile database(file);
    ASSERT_TRUE(database.open(QIODevice::ReadOnly));
    const QByteArray before = database.readAll();
    database.close();
    std::shared_ptr<store::Database> other;
    if (c.heldElsewhere) {
      ASSERT_TRUE(store::Database::Open(QFile::encodeName(file).toStdString(), {}, &other).ok());
    }

    Session session(temp.path());
    EXPECT_EQ(session.Create(), QString()) << c.name;
    EXPECT_EQ(Rows(session), rows) << c.name;
    ASSERT_TRUE(database.open(QIODevice::ReadOnly));
    const QByteArray after = database.readAll();
    if (c.compacted) {
      EXPECT_LT(after.size(), before.size() / 2) << c.name;
    } else {
      EXPECT_EQ(after, before) << c.name;
    }
  }
}

// A cancel belongs to the one command whose progress it stops, and the panel
// goes however the command ends.
TEST(ProgressTest, ACancelStopsItsOwnCommandAndThePanelGoesEvenOnFailure) {
  ScriptedUi ui;
  int steps = 0;
  EXPECT_FALSE(RunCommand(ui, [&] {
    Progress progress(ui);
    ui.onProgress = [&](int current, int) {
      if (current == 2) progress.Cancel();
    };
    EXPECT_FALSE(ui.progressVisible) << "nothing shows before the first step";
    for (int i = 1; i <= 5 && !progress.Cancelled(); ++i) {
      progress.Update(i, 5);
      EXPECT_TRUE(ui.progressVisible);
      ++steps;
    }
    throw std::runtime_error("port vanished");
  }));
  EXPECT_EQ(steps, 2);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_EQ(ui.progressShows, 1) << "shown once for the whole command";
  ASSERT_EQ(ui.errors.size(), 1u);
  // Only the store's failures carry words for the user; anything else
  // escaping a command is worded by nobody the user could ask.
  EXPECT_EQ(ui.errors[0], "Nieznany błąd");
  EXPECT_EQ(ui.eventPasses, 2);  // events run at every update
  Progress next(ui);
  EXPECT_FALSE(next.Cancelled()) << "the next command starts uncancelled";
}

}  // namespace

// A file size limit stands in for a full disk: a write past it fails with
// the system's reason, as on a full disk, and no root is needed to set it.
class SizeLimit {
 public:
  explicit SizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // a write fails instead of ending the process
    struct rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~SizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  struct rlimit old_ {};
  void (*previousHandler_)(int) = nullptr;
};

// A database that cannot be opened or made says why, in Polish: what failed, on which file, and the system's reason.
TEST(SessionTest, ADatabaseThatCannotBeOpenedOrMadeSaysWhy) {
  const struct {
    const char* name;
    // Makes the directory what the case needs; the database file's path is given.
    std::function<void(const QString& dir, const QString& file)> prepare;
    bool unprivileged;
    rlim_t sizeLimit;
    const char* start;
    const char* cause;
  } cases[] = {
      {"no database and no room for one", [](const QString&, const QString&) {}, false, 10000,
       "Nie można utworzyć pliku \"", "plik jest za duży"},
      {"a database without permission to read it",
       [](const QString&, const QString& file) {
         Session maker(QFileInfo(file).path());
         ASSERT_EQ(maker.Create(), QString());
         ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0), 0);
       },
       true, RLIM_INFINITY, "Nie można otworzyć pliku \"", "brak uprawnień"},
      {"no database and a read-only directory",
       [](const QString& dir, const QString&) { ASSERT_EQ(::chmod(QFile::encodeName(dir).constData(), 0555), 0); },
       true, RLIM_INFINITY, "Nie można utworzyć pliku \"", "brak uprawnień"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir temp;
    const QString dir = QDir(temp.path()).filePath("program");
    ASSERT_TRUE(QDir().mkpath(dir));
    // The temporary directory itself lets everyone through to the one inside.
    ASSERT_EQ(::chmod(QFile::encodeName(temp.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir).constData(), 0777), 0);
    const QString file = QDir(dir).filePath("selvantrixx.tdb");
    c.prepare(dir, file);

    QString message;
    {
      WithoutPrivileges user(c.unprivileged);
      if (user.failed()) GTEST_SKIP() << "run as root, and the effective id of nobody cannot be taken for: " << c.name;
      SizeLimit limit(c.sizeLimit);
      Session session(dir);
      message = session.Create();
      EXPECT_FALSE(session.DatabaseOpen());
    }
    const QString path = QString::fromLocal8Bit(QFile::encodeName(file));
    EXPECT_EQ(message, QString::fromUtf8(c.start) + path + "\": " + QString::fromUtf8(c.cause));
    ::chmod(QFile::encodeName(dir).constData(), 0777);  // so the directory can be removed
  }
}

namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

int ListRowCount(const QString& dir) {
  Session session(dir);
  if (!session.Create().isEmpty()) return -1;
  return int(Rows(session).size());
}

}  // namespace

TEST(FirstStartTest, MakingTheDatabaseNeverReplacesOneThatIsThere) {
  QTemporaryDir temp;
  {
    SessionOnTemp fixture(temp.path());
    AddPhone(fixture.session, "Anna", "Nowak", "600100200");
  }
  const std::string path = LocalPath(QDir(temp.path()).filePath(kDatabaseFileName));
  // A second first start that lost the race gets to the rename only after the
  // winner has saved a row.
  const store::Status s = CreateConfiguratorDatabase(path);
  EXPECT_TRUE(s.ok()) << s.message();
  EXPECT_EQ(ListRowCount(temp.path()), 1);
  EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files), QStringList{QString::fromLatin1(kDatabaseFileName)})
      << "no temporary file is left behind";
}

TEST(FirstStartTest, AnAbandonedTemporaryIsRemovedAndACreationFailureIsTold) {
  QTemporaryDir temp;
  const QString dir = temp.path();
  // A pid that cannot belong to a live process (above the kernel's limit).
  QFile abandoned(QDir(dir).filePath(QString::fromLatin1(kDatabaseFileName) + ".new-2147483646"));
  ASSERT_TRUE(abandoned.open(QIODevice::WriteOnly));
  abandoned.close();
  EXPECT_EQ(ListRowCount(dir), 0);
  EXPECT_FALSE(abandoned.exists());

  // A directory that does not exist cannot hold the database: the session
  // says why instead of going on to a bare open failure.
  Session missing(QDir(dir).filePath("no/such/place"));
  EXPECT_FALSE(missing.Create().isEmpty());
  EXPECT_FALSE(missing.DatabaseOpen());
}

// Run only as a child of the race below: waits for the start signal on its
// standard input, then starts the configurator's session and saves a number.
TEST(FirstStartTest, DISABLED_RaceChild) {
  const QString dir = qEnvironmentVariable("SELVANTRIX_RACE_DIR");
  const std::string tel = qEnvironmentVariable("SELVANTRIX_RACE_TEL").toStdString();
  ASSERT_FALSE(dir.isEmpty());
  char byte;
  while (::read(0, &byte, 1) > 0) {
  }
  Session session(dir);
  ASSERT_EQ(session.Create(), QString());
  AddPhone(session, "Race", "Child", tel);
}

TEST(FirstStartTest, FirstStartsAtOnceKeepEverySavedRow) {
  constexpr int kProcesses = 4;
  constexpr int kRounds = 8;
  for (int round = 0; round < kRounds; ++round) {
    QTemporaryDir temp;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
      // Everything the child needs is made before the fork: the test process
      // has threads, so the child only duplicates descriptors and executes.
      std::vector<std::string> env;
      for (char** e = environ; *e; ++e) env.emplace_back(*e);
      env.push_back("SELVANTRIX_RACE_DIR=" + LocalPath(temp.path()));
      env.push_back("SELVANTRIX_RACE_TEL=" + std::to_string(600000000 + i));
      std::vector<char*> envp;
      for (std::string& e : env) envp.push_back(e.data());
      envp.push_back(nullptr);
      char* argv[] = {const_cast<char*>("core_tests"), const_cast<char*>("--gtest_also_run_disabled_tests"),
                      const_cast<char*>("--gtest_filter=FirstStartTest.DISABLED_RaceChild"), nullptr};
      const int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        ::dup2(gate[0], 0);
        ::dup2(devnull, 1);
        ::close(gate[1]);
        ::execve("/proc/self/exe", argv, envp.data());
        ::_exit(127);
      }
      ::close(devnull);
      children.push_back(pid);
    }
    ::close(gate[0]);
    // Give every child time to reach its wait, then let them all go at once.
    ::usleep(200 * 1000);
    ::close(gate[1]);
    for (pid_t pid : children) {
      int status = 0;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round << ": a child failed";
    }
    ASSERT_EQ(ListRowCount(temp.path()), kProcesses) << "round " << round;
  }
}
