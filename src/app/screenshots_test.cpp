#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "controller/backup.h"
#include "core/access_lock.h"
#include "widgets/controls.h"
#include "app/dlgostiv.h"
#include "app/pinostiv.h"
#include "app/progress_panel.h"
#include "core/session.h"
#include "widgets/testing/modal.h"
#include "app/import_dialog.h"
#include "app/site_dialogs.h"
#include "app/main_window.h"
#include "phonelist/list_view.h"
#include "core/user_interface.h"
#include "phonelist/list_model.h"
#include "core/testing/phones.h"

// Writes a picture of every view, both dialog kinds, the PIN dialog and the
// progress panel to build/screenshots, for a person to look at. The checks
// only catch a blank or wrongly sized picture; the eye does the rest.
namespace {

QString Save(QWidget* widget, const QString& name) {
  QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
  const QString path = QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(name + ".png");
  const QImage image = widget->grab().toImage();
  EXPECT_TRUE(image.save(path)) << path.toStdString();
  return path;
}

void SaveImage(const QImage& image, const QString& name) {
  QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
  const QString path = QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(name + ".png");
  EXPECT_TRUE(image.save(path)) << path.toStdString();
}

// Where a window of its own (a dialog, a popup) stands inside `window`.
QPoint OffsetIn(QWidget* window, QWidget* other) {
  return other->mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0));
}

// A picture that is one flat colour means something failed to draw.
int DistinctColours(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 3) {
    for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
  }
  return int(colours.size());
}

TEST(ScreenshotsTest, EveryViewDialogAndThePanel) {
  QTemporaryDir temp;
  Session session(temp.path());
  TForm1 window(session);
  window.askPin = [&] { return DailyServiceCode(session.Today()); };
  window.show();
  window.FormActivate();
  // A list with confirmed and unconfirmed numbers and a few marks.
  const char* const people[][3] = {{"Jan", "Kowalski", "600100200"},
                                   {"\xa3ucja", "Nowak", "501222333"},
                                   {"Piotr", "Wi\x9cniewski", "602444555"},
                                   {"Ewa", "Zieli\xf1ska", "+48603555666"},
                                   {"Marek",
                                    "D\xb9"
                                    "browski",
                                    "604777888"},
                                   {"Anna", "Lewandowska", "605999000"}};
  int n = 0;
  for (const auto& person : people) AddPhone(session, person[0], person[1], person[2], n++ % 3 == 1 ? 0 : 1);
  window.listView()->marks().Append("501222333");
  window.listView()->marks().Append("604777888");
  session.Dbf1().First();
  window.listModel()->Changed();
  // And a fetched event log.
  const char* const events[][2] = {
      {"600100200", "26/12/01 07:45"}, {"501222333", "26/12/01 08:02"}, {"602444555", "26/12/02 17:30"}};
  for (const auto& event : events) {
    EXPECT_TRUE(session.Dbf3().Append().ok());
    EXPECT_TRUE(session.Dbf3().SetText("Tel", event[0]).ok());
    EXPECT_TRUE(session.Dbf3().SetText("Data", event[1]).ok());
    EXPECT_TRUE(session.Dbf3().Post().ok());
  }

  const std::pair<void (TForm1::*)(), const char*> views[] = {
      {&TForm1::Image11Click, "view-phone-list"}, {&TForm1::Image13Click, "view-configuration"},
      {&TForm1::Image15Click, "view-report"},     {&TForm1::Image16Click, "view-company"},
      {&TForm1::Image25Click, "menu-phone-list"}, {&TForm1::zap_menu_konfigClick, "menu-configuration"},
  };
  for (const auto& [show, name] : views) {
    (window.*show)();
    const QImage image = QImage(Save(&window, name));
    EXPECT_EQ(image.size(), QSize(1072, 637)) << name;
    EXPECT_GT(DistinctColours(image), 50) << name;
  }
  // Every menu entry's caption fits its row, with the hover's wider left
  // border and padding taken, and the configuration menu (with backup,
  // restore and sync last) ends inside the window.
  for (const char* menu : {"MenuLista", "menukonfig"}) {
    QWidget* panel = Find(&window, menu);
    EXPECT_LE(panel->geometry().bottom(), window.height()) << menu;
    for (QLabel* entry : panel->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
      EXPECT_LE(entry->fontMetrics().horizontalAdvance(entry->text()) + 16, entry->width())
          << entry->text().toStdString();
    }
  }

  // The port picker with two ports, over the configuration view.
  window.Image16Click();
  window.Image13Click();
  window.butfindportClick();
  auto* ports = window.portPicker()->findChild<QListWidget*>(QStringLiteral("ListBox1"));
  ports->clear();
  ports->addItems(
      {QStringLiteral("COM1: = Port szeregowy (ttyS0)"), QStringLiteral("COM3: = USB Serial Port (ttyUSB0)")});
  EXPECT_GT(DistinctColours(QImage(Save(&window, "port-picker"))), 50);
  window.portPicker()->hide();

  window.Image11Click();
  window.ShowProgress();
  window.progressPanel()->UpdateProgress(2, 3);
  EXPECT_GT(DistinctColours(QImage(Save(&window, "progress-over-window"))), 50);
  EXPECT_EQ(QImage(Save(window.progressPanel(), "progress-panel")).size(), QSize(385, 137));
  window.HideProgress();

  Tdlgfm notice(QString::fromUtf8("Brak zaznaczonych rekordów"), kNoticeKind, &window);
  notice.show();
  EXPECT_EQ(QImage(Save(&notice, "dialog-notice")).size(), QSize(381, 139));
  Tdlgfm question(QString::fromUtf8("Operacja usunie wszystkie numery telefonów ze sterownika. Czy kontynuować?"),
                  kCautiousQuestionKind, &window);
  question.show();
  EXPECT_GT(DistinctColours(QImage(Save(&question, "dialog-question"))), 20);
  question.hide();
  Tdlgfm closing(QString::fromUtf8(kUnsavedQuestion), kCloseQuestionKind, &window);
  closing.show();
  EXPECT_GT(DistinctColours(QImage(Save(&closing, "dialog-closing-question"))), 20);
  closing.hide();
  // The longest question a command asks: the sync's, with its counts.
  SyncPlan plan;
  for (int i = 0; i < 124; ++i) plan.add << QString::number(600100200 + i);
  for (int i = 0; i < 17; ++i) plan.remove << QString::number(501222300 + i);
  Tdlgfm syncQuestion(SyncQuestion(plan), kCautiousQuestionKind, &window);
  syncQuestion.show();
  EXPECT_GT(DistinctColours(QImage(Save(&syncQuestion, "dialog-sync-question"))), 20);
  syncQuestion.hide();
  // The longest notice: a file that is no backup, named with its line.
  Tdlgfm notBackup(
      QString::fromUtf8("Plik \"/home/uzytkownik/Dokumenty/kopia-sterownika-2026-12-09.txt\" nie jest "
                        "kopią sterownika (wiersz 3: niepoprawny numer telefonu „600;1”). Nic nie wysłano."),
      kNoticeKind, &window);
  notBackup.show();
  EXPECT_GT(DistinctColours(QImage(Save(&notBackup, "dialog-not-a-backup"))), 20);
  notBackup.hide();
  // The import dialog over a spreadsheet's CSV with a line of every colour.
  ImportDialog import(session,
                      "Imi\xC4\x99;Nazwisko;Telefon\r\nJan;Kowalski;600100200\r\nAnna;Wi\xC5\x9Bniewska;601 222 333\r\n"
                      "Ola;Kot;5.01111E+08\r\nPiotr;Nowak;601-222-333\r\nEwa;Lis;abc\r\n",
                      QStringLiteral("/home/uzytkownik/Dokumenty/lista-mieszkancow.csv"), &window);
  import.show();
  EXPECT_GT(DistinctColours(QImage(Save(&import, "dialog-import"))), 50);
  import.hide();
  Tpinfm pin(&window);
  pin.show();
  EXPECT_EQ(QImage(Save(&pin, "dialog-pin")).size(), QSize(378, 138));
  pin.hide();

  // The PIN change dialog after two PINs that differ.
  TpinChange change(&window);
  change.show();
  Find<QLineEdit>(&change, "EditNew")->setText("1234");
  Find<QLineEdit>(&change, "EditRepeat")->setText("1243");
  Click(Find(&change, "Label28"));
  EXPECT_EQ(QImage(Save(&change, "dialog-pin-change-mismatch")).size(), QSize(TpinChange::kWidth, TpinChange::kHeight));
  change.hide();

  // A notice over the window, holding the keyboard: the ring marks the key's button.
  WhenModalOpens([&](QWidget* modal) {
    QImage shot = window.grab().toImage();
    QPainter painter(&shot);
    painter.drawImage(OffsetIn(&window, modal), modal->grab().toImage());
    painter.end();
    SaveImage(shot, "dialog-notice-keyboard");
    QTest::keyClick(modal, Qt::Key_Return);
  });
  window.ShowNotice(QString::fromUtf8("Brak zaznaczonych rekordów"));

  // The outcome line under the phone list, with the sort triangle on the
  // surname and the select-all square half set.
  window.Image11Click();
  Click(Find(&window, "Label26"));
  window.ShowOutcome(QString::fromUtf8("Zapisano w sterowniku 120 numerów"));
  EXPECT_GT(DistinctColours(QImage(Save(&window, "outcome-line"))), 50);
  window.ShowOutcome(QString());

  // The open calendar of the SIM date, drawn where it stands over the window.
  window.Image13Click();
  auto* date = window.findChild<QDateEdit*>(QStringLiteral("DateEdit1"));
  QTest::mouseClick(date, Qt::LeftButton, {}, DropButtonRect(date->rect()).center());
  QWidget* calendar = date->calendarWidget()->window();
  ASSERT_TRUE(QTest::qWaitFor([&] { return calendar->isVisible(); }, 5000));
  QImage shot = window.grab().toImage();
  QPainter painter(&shot);
  painter.drawImage(OffsetIn(&window, calendar), calendar->grab().toImage());
  painter.end();
  SaveImage(shot, "calendar-open");
  EXPECT_TRUE(window.rect().contains(QRect(OffsetIn(&window, calendar), calendar->size())));
  calendar->hide();
}



// The site picker in the tab row, the fleet view with a highlighted row,
// and the add-a-site dialog.
TEST(ScreenshotsTest, SitesAndTheFleetView) {
  QTemporaryDir temp;
  qputenv("SELVANTRIX_SITES", QDir(temp.path()).filePath("obiekty").toUtf8());
  ASSERT_EQ(AddSite(temp.path(), QStringLiteral("Brama Północna, ul. Leśna 12"), QString(), nullptr), QString());
  ASSERT_EQ(AddSite(temp.path(), QStringLiteral("Parking"), QString(), nullptr), QString());
  ASSERT_TRUE(RecordBackup(temp.path(), QStringLiteral("k.txt"), QDateTime::currentDateTime()));
  Session session(temp.path());
  TForm1 window(session);
  window.SetWorkspace(Site{QString::fromUtf8(kMainSiteName), temp.path(), true}, temp.path(), [](const Site&) {});
  window.askPin = [&] { return DailyServiceCode(session.Today()); };
  window.show();
  window.FormActivate();
  EXPECT_GT(DistinctColours(QImage(Save(&window, "window-sites"))), 50);
  FleetDialog fleet(ReadFleet(temp.path(), session.Today()), QString::fromUtf8(kMainSiteName));
  fleet.show();
  EXPECT_GT(DistinctColours(QImage(Save(&fleet, "dialog-fleet"))), 20);
  WhenModalOpens([](QWidget* modal) {
    EXPECT_GT(DistinctColours(QImage(Save(modal, "dialog-add-site"))), 10);
    modal->close();
  });
  EXPECT_FALSE(AskNewSite(&window, temp.path(), QString::fromUtf8(kMainSiteName)));
  qunsetenv("SELVANTRIX_SITES");
}

}  // namespace
