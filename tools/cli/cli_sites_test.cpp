#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>

#include "cli/testing/cli_test.h"
#include "core/ini_file.h"
#include "core/instance_lock.h"
#include "core/sites.h"

namespace {

// The workspace's sites in a directory of the test's own.
class SitesTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    qputenv("SELVANTRIX_SITES", QDir(sites_.path()).filePath("obiekty").toUtf8());
  }
  void TearDown() override { qunsetenv("SELVANTRIX_SITES"); }
  QString SiteDir(const char* name) { return QDir(sites_.path()).filePath(QStringLiteral("obiekty/") + QString::fromUtf8(name)); }

  // A site whose database is no database.
  bool MakeDamaged() {
    if (Run({"site", "add", "Uszkodzony"}, false) != 0) return false;
    QFile file(QDir(SiteDir("Uszkodzony")).filePath("selvantrixx.tdb"));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(QByteArray(2048, 'x')) == 2048;
  }

  QTemporaryDir sites_;
};

// Each site keeps its own list; names that could leave the sites' folder
// or mislead are refused; a removal is asked and keeps the directory.
TEST_F(SitesTest, SitesAreAddedRenamedAndRemovedEachWithItsOwnList) {
  struct Step {
    QStringList args;
    int status;
    const char* err;  // what standard error holds (UTF-8)
  };
  // clang-format off
  const Step steps[] = {
      {{"site", "add", "Brama A", "--notes", "ul. Lipowa 3"}, 0, "Dodano obiekt \"Brama A\""},
      {{"site", "add", "brama a"}, 1, "Obiekt \"Brama A\" już istnieje"},
      {{"site", "add", "../poza"}, 1, "nie może zawierać \"/\""},
      {{"site", "add", ".."}, 1, "nie może zawierać \"/\""},
      {{"site", "add", QString(61, u'x')}, 1, "najwyżej 60 znaków"},
      {{"site", "add", QStringLiteral("a\x01")}, 1, "znaków sterujących"},
      {{"site", "add", " Brama"}, 1, "odstępem"},
      {{"site", "add", "Garaż Ł", "--from", "Brama A"}, 0, "Dodano obiekt"},
      {{"--site", "brama a", "add", "Jan", "Kowalski", "600100200"}, 0, ""},
      {{"--site", "Nie ma", "list"}, 1, "Nie ma obiektu \"Nie ma\". Obiekty: Główny, Brama A, Garaż Ł"},
      {{"site", "rename", "Brama A", "Garaż Ł"}, 1, "już istnieje"},
      {{"site", "rename", "Brama A", "Brama Północna"}, 0, "Zmieniono nazwę"},
      {{"site", "remove", "Brama Północna"}, 3, "ma na liście 1 numer. Usunąć obiekt?"},
      {{"site", "remove", "Główny", "--yes"}, 1, "nie można usunąć"},
      {{"site", "remove", "Garaż Ł", "--yes"}, 0, "Usunięto obiekt \"Garaż Ł\""},
  };
  // clang-format on
  for (const Step& s : steps) {
    EXPECT_EQ(Run(s.args, false), s.status) << s.args.join(' ').toStdString() << ": " << err_.toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8(s.err))) << s.args.join(' ').toStdString() << ": " << err_.toStdString();
  }
  ASSERT_EQ(Run({"--site", "Brama Północna", "list"}, false), 0);
  EXPECT_EQ(out_, "2\tJan\tKowalski\t600100200\t0\n");
  ASSERT_EQ(Run({"list"}, false), 0);
  EXPECT_EQ(out_, "") << "the main site's list is its own";
  EXPECT_TRUE(QFileInfo(SiteDir("Brama Północna")).isDir());
  EXPECT_FALSE(QFileInfo::exists(SiteDir("Garaż Ł")));
  const QStringList removed = QDir(QDir(sites_.path()).filePath(QString::fromUtf8("usunięte"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  ASSERT_EQ(removed.size(), 1);
  EXPECT_TRUE(removed[0].startsWith(QString::fromUtf8("Garaż Ł-")));
  ASSERT_EQ(Run({"site", "list"}, false), 0);
  EXPECT_TRUE(out_.startsWith(QString::fromUtf8("obiekt\tnumery\tpotwierdzone\tsim\tostatnia kopia\tostatnia weryfikacja\tport\tuwagi\n"
                                                "Główny\t0\t0\t")));
  EXPECT_TRUE(out_.contains(QString::fromUtf8("\nBrama Północna\t1\t0\t"))) << out_.toStdString();
  // A site a window has open is neither moved nor removed from under it.
  InstanceLock window(SiteDir("Brama Północna"));
  ASSERT_TRUE(window.TryLock(0));
  for (const QStringList& args : {QStringList{"site", "remove", "Brama Północna", "--yes"},
                                  QStringList{"site", "rename", "Brama Północna", "Brama N"}}) {
    EXPECT_EQ(Run(args, false), 1) << args.join(' ').toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8(kAlreadyRunningMessage))) << err_.toStdString();
  }
  EXPECT_TRUE(QFileInfo(SiteDir("Brama Północna")).isDir());
}

// What needs a look is highlighted, from the dates in the files: a SIM card
// about to expire, an old backup, a verify that found differences, a
// damaged database; the other sites still show.
TEST_F(SitesTest, TheFleetViewSaysWhatNeedsALook) {
  struct Case {
    const char* site;
    QString simDate;  // as the settings view stores it
    int backupDaysAgo;  // -1: never
    bool differences;
    const char* attention;
  };
  const QDate today = QDate::currentDate();
  const Case cases[] = {
      {"Dobry", today.addDays(31).toString("d.MM.yyyy"), 90, false, ""},
      {"SIM", today.addDays(30).toString("d.MM.yyyy"), 1, false, "karta SIM ważna tylko do"},
      {"Stara kopia", QString(), 91, false, "ostatnia kopia sterownika ma ponad 90 dni"},
      {"Bez kopii", QString(), -1, false, "nie ma kopii sterownika"},
      {"Różnice", QString(), 1, true, "ostatnia weryfikacja wykazała różnice"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Run({"site", "add", QString::fromUtf8(c.site)}, false), 0) << err_.toStdString();
    const QString ini = QDir(SiteDir(c.site)).filePath("selvantrix.ini");
    if (c.backupDaysAgo >= 0) {
      ASSERT_TRUE(SetIniValue(ini, "site", "last_backup",
                              QDateTime(today.addDays(-c.backupDaysAgo), QTime(12, 0)).toUTC().toString(Qt::ISODate).toUtf8()));
    }
    if (c.differences) {
      ASSERT_TRUE(SetIniValue(ini, "site", "last_verify_differences", "1"));
    }
    if (!c.simDate.isEmpty()) {
      ASSERT_EQ(Run({"--site", QString::fromUtf8(c.site), "config", "save", "--sim", QDate::fromString(c.simDate, "d.MM.yyyy").toString(Qt::ISODate)}, false), 0) << err_.toStdString();
    }
  }
  ASSERT_TRUE(MakeDamaged());
  ASSERT_EQ(Run({"site", "list"}, false), 0) << err_.toStdString();
  const QStringList lines = out_.split(u'\n', Qt::SkipEmptyParts);
  for (const Case& c : cases) {
    const QString* line = nullptr;
    for (const QString& l : lines) {
      if (l.startsWith(QString::fromUtf8(c.site) + u'\t')) line = &l;
    }
    ASSERT_NE(line, nullptr) << c.site;
    const QString attention = line->section(u'\t', 7);
    if (*c.attention == 0) {
      EXPECT_TRUE(attention.isEmpty()) << c.site << ": " << attention.toStdString();
    } else {
      EXPECT_TRUE(attention.startsWith(QString::fromUtf8(c.attention))) << c.site << ": " << attention.toStdString();
    }
  }
  EXPECT_TRUE(out_.contains(QString::fromUtf8("\nUszkodzony\t\t\t"))) << out_.toStdString();
  EXPECT_TRUE(out_.contains(QString::fromUtf8("uszkodzony: "))) << out_.toStdString();
}

// Every site at once, each on its own simulated controller, one of them
// refusing every line: its line says so and the status is 1; the others'
// backups are there and their facts noted.
TEST_F(SitesTest, AllSitesRunsEverySiteAndFailsForOne) {
  sim::SimulatorOptions refusing;
  for (long long n = 1; n <= 5000; ++n) refusing.errorOn.insert(n);
  std::vector<std::unique_ptr<sim::Simulator>> sims;
  sims.push_back(std::make_unique<sim::Simulator>());
  sims.push_back(std::make_unique<sim::Simulator>(refusing));
  const char* names[] = {"Brama A", "Brama B"};
  for (size_t i = 0; i < sims.size(); ++i) {
    std::string error;
    ASSERT_TRUE(sims[i]->Start(&error)) << error;
    ASSERT_EQ(Run({"site", "add", names[i]}, false), 0) << err_.toStdString();
    ASSERT_EQ(Run({"--site", names[i], "port", "set", QString::fromStdString(sims[i]->DevicePath())}, false), 0)
        << err_.toStdString();
  }
  // The main site on the fixture's own simulator.
  ASSERT_EQ(Run({"port", "set", QString::fromStdString(sim_.DevicePath())}, false), 0) << err_.toStdString();
  const QString backups = QDir(sites_.path()).filePath("kopie");
  EXPECT_EQ(Run({"--all-sites", "backup", backups}, false), 1) << err_.toStdString();
  const QStringList lines = out_.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << out_.toStdString();
  EXPECT_TRUE(lines[0].startsWith(QString::fromUtf8("Główny\tok\tZapisano kopię sterownika"))) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith(QString::fromUtf8("Brama A\tok\t"))) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].startsWith(QString::fromUtf8("Brama B\tbłąd\tSterownik odrzucił"))) << lines[2].toStdString();
  const QString date = QDate::currentDate().toString(Qt::ISODate);
  for (const char* site : {"Główny", "Brama A"}) {
    EXPECT_TRUE(QFileInfo::exists(QDir(backups).filePath(QString::fromUtf8(site) + u'-' + date + ".txt"))) << site;
  }
  EXPECT_FALSE(QFileInfo::exists(QDir(backups).filePath(QStringLiteral("Brama B-") + date + ".txt")));
  EXPECT_TRUE(err_.contains(QString::fromUtf8("Nie powiodło się na 1 z 3 obiektów"))) << err_.toStdString();

  EXPECT_EQ(Run({"--all-sites", "verify"}, false), 1);
  ASSERT_EQ(Run({"site", "list"}, false), 0);
  EXPECT_TRUE(out_.contains(QString::fromUtf8("\nBrama A\t0\t0\t\t") + date)) << out_.toStdString();
  EXPECT_TRUE(out_.contains(QString::fromUtf8("\nBrama B\t0\t0\t\t\t\t")) ) << out_.toStdString();
  // Only the three commands, and not beside --site.
  EXPECT_EQ(Run({"--all-sites", "format"}, false), 2);
  EXPECT_EQ(Run({"--all-sites", "sync"}, false), 2);
  EXPECT_EQ(Run({"--all-sites", "--site", "Brama A", "verify"}, false), 2);
}

}  // namespace
