#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/site_dialogs.h"
#include "app/workspace.h"
#include "core/access_lock.h"
#include "core/instance_lock.h"
#include "core/settings.h"
#include "core/testing/phones.h"
#include "phonelist/list_model.h"
#include "widgets/controls.h"
#include "widgets/testing/modal.h"

namespace {

// A workspace of the main directory and one more site, "Brama A", its
// window open on the main site past its PIN.
class SiteWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("SELVANTRIX_SITES", QDir(main_.path()).filePath("obiekty").toUtf8());
    ASSERT_EQ(AddSite(main_.path(), QStringLiteral("Brama A"), QString(), nullptr), QString());
    workspace_.prepare = [](TForm1& window) {
      window.askPin = [&window] { return DailyServiceCode(window.session().Today()); };
    };
    QObject::connect(&workspace_, &Workspace::finished, [this] { finished_ = true; });
    ASSERT_TRUE(workspace_.Open(Site{QString::fromUtf8(kMainSiteName), main_.path(), true}));
    window()->FormActivate();
  }
  void TearDown() override { qunsetenv("SELVANTRIX_SITES"); }

  TForm1* window() { return workspace_.window(); }
  QString SiteDir(const char* name) { return QDir(main_.path()).filePath(QStringLiteral("obiekty/") + QString::fromUtf8(name)); }

  // Picks the site in the window; true once a new window holds it.
  bool SwitchTo(const QString& name) {
    QPointer<TForm1> before = window();
    before->SwitchSiteClick(name);
    if (!QTest::qWaitFor([&] { return before.isNull(); }, 3000)) return false;
    window()->FormActivate();
    return window()->site().name.compare(name, Qt::CaseInsensitive) == 0;
  }

  QStringList MenuTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions()) {
      if (action->isSeparator()) continue;
      texts << (action->isChecked() ? QStringLiteral("* ") : QString()) + action->text();
    }
    return texts;
  }

  QTemporaryDir main_;
  Workspace workspace_{main_.path()};
  bool finished_ = false;
};

// Each site has its own list and settings; the title and the picker say
// which one the window works on.
TEST_F(SiteWindowTest, EachSiteKeepsItsOwnListAndSettings) {
  EXPECT_EQ(window()->windowTitle(), QString::fromUtf8("Ostiv — Główny"));
  AddPhone(window()->session(), "Jan", "Nowak", "600100200");
  UpsertSetting(window()->session(), kKeyAdminPhone, "501222333");
  window()->session().UnsavedChanges = false;  // the rows went in posted

  ASSERT_TRUE(SwitchTo(QStringLiteral("Brama A")));
  EXPECT_EQ(window()->session().Directory(), SiteDir("Brama A"));
  EXPECT_EQ(window()->windowTitle(), QString::fromUtf8("Ostiv — Brama A"));
  EXPECT_EQ(Find(window(), "sitePicker")->accessibleName(), QString::fromUtf8("Obiekt: Brama A"));
  EXPECT_EQ(window()->listModel()->rowCount(), 0);
  QString admin;
  EXPECT_FALSE(FindSetting(window()->session(), kKeyAdminPhone, &admin));
  AddPhone(window()->session(), "Ewa", "Lis", "698765432");
  window()->session().UnsavedChanges = false;

  ASSERT_TRUE(SwitchTo(QString::fromUtf8("główny")));
  const std::vector<std::string> rows = Rows(window()->session());
  ASSERT_EQ(rows.size(), 1u) << "Ewa stays in Brama A";
  EXPECT_NE(rows[0].find(" Jan Nowak 600100200 "), std::string::npos) << rows[0];
  EXPECT_EQ(MenuTexts(window()->BuildSiteMenu()).mid(0, 2),
            (QStringList{QString::fromUtf8("* Główny"), QStringLiteral("Brama A")}));
  EXPECT_FALSE(finished_) << "a switch is no end of the program";
  window()->close();
  EXPECT_TRUE(finished_);
}

// A switch stops where closing would (the unsaved-changes question
// cancelled), and at a site another window holds; either way this window
// and its site stay.
TEST_F(SiteWindowTest, ASwitchStopsWhereClosingWouldAndAtASiteHeldElsewhere) {
  const struct {
    const char* name;
    bool unsaved;
    const char* answer;
    bool heldElsewhere;
    bool switches;
    const char* shown;
  } cases[] = {
      {"unsaved, ANULUJ", true, "Label4", false, false, kUnsavedQuestion},
      {"held elsewhere", false, "Label28", true, false, kAlreadyRunningMessage},
      {"unsaved, NIE", true, "Label3", false, true, kUnsavedQuestion},
  };
  for (const auto& c : cases) {
    const QString from = window()->site().name;
    const QString to = from == QLatin1String("Brama A") ? QString::fromUtf8(kMainSiteName) : QStringLiteral("Brama A");
    window()->session().UnsavedChanges = c.unsaved;
    std::unique_ptr<InstanceLock> other;
    if (c.heldElsewhere) {
      other = std::make_unique<InstanceLock>(to == QLatin1String("Brama A") ? SiteDir("Brama A") : main_.path());
      ASSERT_TRUE(other->TryLock(0)) << c.name;
    }
    std::vector<QString> shown;
    AnswerModals({c.answer}, &shown);
    EXPECT_EQ(SwitchTo(to), c.switches) << c.name;
    EXPECT_EQ(window()->site().name, c.switches ? to : from) << c.name;
    EXPECT_EQ(shown, std::vector<QString>{QString::fromUtf8(c.shown)}) << c.name;
    EXPECT_TRUE(window()->isVisible()) << c.name;
  }
}

// A site whose database cannot be opened is said, and the window goes back
// to the site the user left, asking its PIN again.
TEST_F(SiteWindowTest, ADamagedSiteIsSaidAndTheWindowReturnsToTheSiteLeft) {
  {
    QFile file(QDir(SiteDir("Brama A")).filePath("selvantrixx.tdb"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(QByteArray(2048, 'x')), 2048);
  }
  QString said;
  WhenModalOpens([&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) said = box->text();
    modal->close();
  });
  EXPECT_FALSE(SwitchTo(QStringLiteral("Brama A")));
  EXPECT_TRUE(said.startsWith(QDir(SiteDir("Brama A")).filePath("selvantrixx.tdb"))) << said.toStdString();
  EXPECT_EQ(window()->site().name, QString::fromUtf8(kMainSiteName));
  EXPECT_TRUE(window()->isVisible());
  EXPECT_FALSE(finished_);
}

// Add, rename and remove from the picker: a name is refused as the command
// line refuses it, the current site and the main one are not offered for
// renaming or removal, a removal asks with the count and keeps the files.
TEST_F(SiteWindowTest, SitesAreAddedRenamedAndRemovedFromThePicker) {
  UpsertSetting(window()->session(), kKeyPort, "3");
  UpsertSetting(window()->session(), kKeyRelayTime, "7");
  window()->askNewSite = [] { return SiteDraft{QStringLiteral("Brama B"), QStringLiteral("ul. Polna 1"), true}; };
  window()->AddSiteClick();
  EXPECT_EQ(window()->outcomeLine()->text(),
            QString::fromUtf8("Dodano obiekt \"Brama B\"; wybierz go w polu OBIEKT, aby na nim pracować."));
  {
    Session added(SiteDir("Brama B"));
    ASSERT_EQ(added.Create(), QString());
    QString port;
    EXPECT_TRUE(FindSetting(added, kKeyPort, &port));
    EXPECT_EQ(port, "3");
    EXPECT_EQ(ReadSiteFacts(SiteDir("Brama B")).notes, QStringLiteral("ul. Polna 1"));
    AddPhone(added, "", "", "600100200");
  }
  QMenu* menu = window()->BuildSiteMenu();
  EXPECT_EQ(MenuTexts(menu),
            (QStringList{QString::fromUtf8("* Główny"), QStringLiteral("Brama A"), QStringLiteral("Brama B"),
                         QString::fromUtf8("OBIEKTY — przegląd wszystkich…"), QString::fromUtf8("Dodaj obiekt…"),
                         QString::fromUtf8("Zmień nazwę obiektu"), QString::fromUtf8("Usuń obiekt")}));
  EXPECT_EQ(MenuTexts(menu->actions().last()->menu()), (QStringList{QStringLiteral("Brama A"), QStringLiteral("Brama B")}));

  window()->askNewSite = [] { return SiteDraft{QStringLiteral("../poza"), QString(), false}; };
  QString said;
  WhenModalOpens([&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) said = box->text();
    modal->close();
  });
  window()->AddSiteClick();
  EXPECT_EQ(said, SiteNameProblem(QStringLiteral("../poza")));
  EXPECT_FALSE(QFileInfo::exists(QDir(main_.path()).filePath("poza")));

  window()->askSiteName = [](const QString&) { return QStringLiteral("Brama Północna"); };
  window()->RenameSiteClick(QStringLiteral("Brama B"));
  EXPECT_TRUE(QFileInfo(SiteDir("Brama Północna")).isDir());
  const QString question = QString::fromUtf8(
      "Obiekt \"Brama Północna\" ma na liście 1 numer. Usunąć obiekt? Jego katalog zostanie przeniesiony do folderu "
      "\"usunięte\".");
  for (const char* answer : {"Label3", "Label2"}) {
    std::vector<QString> shown;
    AnswerModals({answer}, &shown);
    window()->RemoveSiteClick(QStringLiteral("Brama Północna"));
    EXPECT_EQ(shown, std::vector<QString>{question});
    EXPECT_EQ(QFileInfo(SiteDir("Brama Północna")).isDir(), answer == std::string("Label3")) << answer;
  }
  EXPECT_EQ(QDir(QDir(main_.path()).filePath(QString::fromUtf8("usunięte"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

// The fleet view highlights what needs a look, with the reasons in the
// tooltip, and a double click opens the site.
TEST_F(SiteWindowTest, TheFleetViewHighlightsWhatNeedsALookAndOpensASite) {
  const QDate today = window()->session().Today();
  UpsertSetting(window()->session(), kKeySimDate, today.addDays(10).toString(QStringLiteral("dd.MM.yyyy")));
  ASSERT_TRUE(RecordBackup(main_.path(), QStringLiteral("k.txt"), QDateTime(today, QTime(9, 0))));
  ASSERT_TRUE(RecordBackup(SiteDir("Brama A"), QStringLiteral("k.txt"), QDateTime(today.addDays(-5), QTime(9, 0))));
  ASSERT_TRUE(RecordVerify(SiteDir("Brama A"), QStringLiteral("zgodna"), false, QDateTime(today, QTime(9, 0))));
  ASSERT_EQ(AddSite(main_.path(), QStringLiteral("Stara"), QString(), nullptr), QString());
  ASSERT_TRUE(RecordBackup(SiteDir("Stara"), QStringLiteral("k.txt"), QDateTime(today.addDays(-91), QTime(9, 0))));
  ASSERT_TRUE(RecordVerify(SiteDir("Stara"), QStringLiteral("różnice"), true, QDateTime(today, QTime(9, 0))));

  const struct {
    const char* site;
    bool highlighted;
    const char* tip;
  } rows[] = {
      {"Główny", true, "karta SIM ważna tylko do %1"},
      {"Brama A", false, ""},
      {"Stara", true, "ostatnia kopia sterownika ma ponad 90 dni\nostatnia weryfikacja wykazała różnice"},
  };
  WhenModalOpens([&](QWidget* modal) {
    QTableWidget* table = static_cast<FleetDialog*>(modal)->table();
    ASSERT_EQ(table->rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
      QTableWidgetItem* name = table->item(r, 0);
      EXPECT_EQ(name->text(), QString::fromUtf8(rows[r].site));
      EXPECT_EQ(name->background().style() != Qt::NoBrush, rows[r].highlighted) << rows[r].site;
      EXPECT_EQ(table->item(r, 6)->toolTip(),
                QString::fromUtf8(rows[r].tip).replace(QStringLiteral("%1"), today.addDays(10).toString(Qt::ISODate)))
          << rows[r].site;
    }
    table->setCurrentCell(1, 0);
    emit table->cellDoubleClicked(1, 0);
  });
  window()->FleetClick();
  QPointer<TForm1> before = window();
  ASSERT_TRUE(QTest::qWaitFor([&] { return before.isNull(); }, 3000));
  EXPECT_EQ(window()->site().name, QStringLiteral("Brama A"));
}

}  // namespace
