#include "core/session.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>

#include "core/testing/scripted_ui.h"
#include "core/user_interface.h"
#include "store/cursor.h"

namespace {

struct RecordingActions : CloseActions {
  bool saveResult = true;
  int saves = 0;
  int posts = 0;
  bool SaveSettingsView() override {
    ++saves;
    return saveResult;
  }
  void PostPendingPhone() override { ++posts; }
};

struct CloseCase {
  const char* name;
  bool unsaved;
  std::initializer_list<bool> answers;
  bool saveResult;
  bool expectClose;
  int expectQuestions;
  int expectSaves;
  int expectPosts;
};

TEST(CloseStepTest, AsksOnlyAboutUnsavedChangesAndSavesOnYes) {
  const CloseCase cases[] = {
      {"nothing to save", false, {}, true, true, 0, 0, 0},
      {"NIE closes without saving", true, {false}, true, true, 1, 0, 0},
      {"TAK saves and closes", true, {true}, true, true, 1, 1, 1},
      {"TAK with a refused field stays open", true, {true}, false, false, 1, 1, 1},
  };
  for (const CloseCase& c : cases) {
    QTemporaryDir temp;
    Session session(temp.path());
    session.UnsavedChanges = c.unsaved;
    ScriptedUi ui;
    ui.Answer(c.answers);
    RecordingActions actions;
    actions.saveResult = c.saveResult;

    EXPECT_EQ(RunCloseStep(session, ui, actions), c.expectClose) << c.name;
    ASSERT_EQ(int(ui.dialogs.size()), c.expectQuestions) << c.name;
    if (c.expectQuestions) {
      EXPECT_EQ(ui.dialogs[0].text, QString::fromUtf8("Nie zapisano danych. Czy zapisać je?"));
      EXPECT_EQ(ui.dialogs[0].kind, kQuestion);
    }
    EXPECT_EQ(actions.saves, c.expectSaves) << c.name;
    EXPECT_EQ(actions.posts, c.expectPosts) << c.name;
    EXPECT_EQ(ui.unansweredQuestions, 0) << c.name;
  }
}

TEST(SessionTest, CreationRemovesTheStaleIndexFileAndResetsTheFlags) {
  QTemporaryDir temp;
  QFile stale(QDir(temp.path()).filePath("telefony.mdx"));
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.close();

  Session session(temp.path());
  session.UnsavedChanges = true;
  session.LoadedViewKey = 1;
  session.Create();
  EXPECT_FALSE(QFile::exists(stale.fileName()));
  EXPECT_FALSE(session.UnsavedChanges);
  EXPECT_EQ(session.LoadedViewKey, -1);

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

TEST(ProgressScopeTest, ClearsCancelBeforeAndHidesAfterEvenOnFailure) {
  QTemporaryDir temp;
  Session session(temp.path());
  ScriptedUi ui;
  session.CancelRequested = true;  // left over from an earlier "ANULUJ"
  ui.onProgress = [&](int current, int) {
    if (current == 2) session.CancelRequested = true;
  };

  int steps = 0;
  RunCommand(ui, [&] {
    ProgressScope progress(session, ui);
    EXPECT_TRUE(ui.progressVisible);
    EXPECT_FALSE(progress.CancelRequested());
    for (int i = 1; i <= 5 && !progress.CancelRequested(); ++i) {
      progress.Update(i, 5);
      ++steps;
    }
    throw std::runtime_error("port vanished");
  });
  EXPECT_EQ(steps, 2);
  EXPECT_FALSE(ui.progressVisible);
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0], "port vanished");
  EXPECT_EQ(ui.eventPasses, 2);  // events run at every update
}

}  // namespace
