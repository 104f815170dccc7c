#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "core/access_lock.h"
#include "widgets/controls.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/testing/phones.h"
#include "widgets/testing/modal.h"
#include "app/testing/window_test.h"
#include "phonelist/list_view.h"
#include "app/main_window.h"
#include "app/progress_panel.h"
#include "controller/report_view.h"
#include "core/settings.h"
#include "serial/link.h"
#include "store/cursor.h"

namespace {

TEST_F(MainWindowTest, IsAFixedWindowWithTheTitleAndPlacedPanels) {
  EXPECT_EQ(window_->windowTitle(), "Ostiv");
  EXPECT_EQ(window_->size(), QSize(1072, 637));
  EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
  EXPECT_FALSE(window_->windowFlags() & Qt::WindowMaximizeButtonHint);
  for (int i = 0; i < 8; ++i) {
    const QRect expected = i % 2 == 0 ? QRect(41, 117, 202, 483) : QRect(256, 120, 777, 481);
    EXPECT_EQ(W(kPanels[i])->geometry(), expected) << kPanels[i];
  }
  // The activation step shows the phone list view in manage mode.
  EXPECT_EQ(VisiblePanels(), (std::vector<std::string>{"panel_lista_l", "panel_lista_g"}));
  EXPECT_TRUE(W("DBEdit1")->isVisible());
  EXPECT_FALSE(W("DBEdit1_")->isVisible());
  for (int i = 1; i <= 3; ++i) {
    const QString data = QStringLiteral("DBEdit%1").arg(i);
    auto* edit = window_->findChild<QLineEdit*>(data);
    auto* search = window_->findChild<QLineEdit*>(data + u'_');
    EXPECT_EQ(search->geometry(), edit->geometry()) << i;
    EXPECT_TRUE(search->text().isEmpty());
  }
}

TEST_F(MainWindowTest, PortListHoldsComOneToTwenty) {
  auto* listcom = Find<QComboBox>(window_.get(), "listcom");
  ASSERT_EQ(listcom->count(), 20);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(listcom->itemText(i), QStringLiteral("COM%1").arg(i + 1));
  EXPECT_EQ(listcom->currentIndex(), -1) << "no port until one is chosen";
  // Activating twice must not add them twice.
  window_->FormActivate();
  EXPECT_EQ(listcom->count(), 20);
}

TEST_F(MainWindowTest, EachTabPictureAndCaptionShowsExactlyItsView) {
  struct TabCase {
    const char* control;
    const char* left;
    const char* right;
  };
  const TabCase cases[] = {
      {"Image13", "panel_konfig_l", "panel_konfig_g"},   {"Label3", "panel_raporty_l", "panel_raporty_g"},
      {"Image16", "panel_ofirmie_l", "panel_ofirmie_g"}, {"Label1", "panel_lista_l", "panel_lista_g"},
      {"Label2", "panel_konfig_l", "panel_konfig_g"},    {"Image15", "panel_raporty_l", "panel_raporty_g"},
      {"Label4", "panel_ofirmie_l", "panel_ofirmie_g"},  {"Image11", "panel_lista_l", "panel_lista_g"},
  };
  for (const TabCase& c : cases) {
    Click(W(c.control));
    EXPECT_EQ(VisiblePanels(), (std::vector<std::string>{c.left, c.right})) << c.control;
  }
}

TEST_F(MainWindowTest, ActiveTabTakesTheActivePictureOfItsPair) {
  auto pictureOf = [&](const char* name) { return Find<QLabel>(window_.get(), name)->pixmap().toImage(); };
  Click(W("Label3"));  // report: the second pair, shared with the configuration tab
  EXPECT_EQ(pictureOf("Image15"), pictureOf("Image14_a"));
  EXPECT_EQ(pictureOf("Image13"), pictureOf("Image14"));
  EXPECT_EQ(pictureOf("Image11"), pictureOf("Image12"));
  EXPECT_EQ(pictureOf("Image16"), pictureOf("Image17"));
  EXPECT_NE(pictureOf("Image14_a"), pictureOf("Image14"));
  Click(W("Label1"));
  EXPECT_EQ(pictureOf("Image11"), pictureOf("Image12_a"));
  EXPECT_EQ(pictureOf("Image15"), pictureOf("Image14"));
}

TEST_F(MainWindowTest, MenusOpenWithTheirViewAndAreNeverBothVisible) {
  QWidget* lista = W("MenuLista");
  QWidget* konfig = W("menukonfig");
  Click(W("Image25"));
  EXPECT_TRUE(lista->isVisible());
  EXPECT_EQ(VisiblePanels()[0], "panel_lista_l");

  Click(W("zap_menu_konfig"));
  EXPECT_TRUE(konfig->isVisible());
  EXPECT_FALSE(lista->isVisible());
  EXPECT_EQ(VisiblePanels()[0], "panel_konfig_l");

  Click(W("Label1"));  // back to the phone list hides the configuration menu
  EXPECT_FALSE(konfig->isVisible());

  Click(W("Image25"));
  Click(W("Label2"));  // the configuration tab hides the list menu
  EXPECT_FALSE(lista->isVisible());

  // The configuration menu survives its own tab, not the report or company tabs.
  Click(W("zap_menu_konfig"));
  Click(W("Label2"));
  EXPECT_TRUE(konfig->isVisible());
  Click(W("Label4"));
  EXPECT_FALSE(konfig->isVisible());
}

TEST_F(MainWindowTest, MenuEntriesStandInOrder) {
  const std::pair<const char*, std::vector<const char*>> menus[] = {
      {"MenuLista",
       {"IMPORTUJ LISTĘ TELEFONÓW", "EKSPORTUJ LISTĘ TELEFONÓW", "ZAPISZ DO STEROWNIKA PRZEZ COM",
        "ODCZYTAJ ZE STEROWNIKA PRZEZ COM", "USUŃ ZE STEROWNIKA PRZEZ COM", "WERYFIKUJ LISTĘ TELEFONÓW PRZEZ COM",
        "USUŃ Z LISTY"}},
      {"menukonfig",
       {"ZAPISZ DO STEROWNIKA PRZEZ COM", "ODCZYTAJ ZE STEROWNIKA PRZEZ COM", "FORMATUJ PAMIĘĆ STEROWNIKA PRZEZ COM",
        "HASŁO DOSTĘPU", "ZAPISZ DO STEROWNIKA PRZYPOMNIENIE", "KOPIA ZAPASOWA STEROWNIKA", "PRZYWRÓĆ Z KOPII",
        "SYNCHRONIZUJ LISTĘ"}},
  };
  for (const auto& [menu, captions] : menus) {
    QList<QLabel*> entries = W(menu)->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
    std::sort(entries.begin(), entries.end(), [](QLabel* a, QLabel* b) { return a->y() < b->y(); });
    ASSERT_EQ(entries.size(), qsizetype(captions.size())) << menu;
    for (size_t i = 0; i < captions.size(); ++i) EXPECT_EQ(entries[i]->text(), QString::fromUtf8(captions[i]));
  }
}

TEST_F(MainWindowTest, PopupsStayOpenOnTheWayInAndCloseOnAPressElsewhereOrEscape) {
  struct PopupCase {
    const char* opener;
    const char* popup;
    const char* elsewhere;  // a control of the popup's view outside it
  };
  const PopupCase cases[] = {{"Image25", "MenuLista", "RxDBGrid1"},
                             {"zap_menu_konfig", "menukonfig", "teladmin"},
                             {"butfindport", "panel_com", "teladmin"}};
  for (const PopupCase& c : cases) {
    for (const char* close : {"press", "Escape"}) {
      Click(W(c.opener));
      QWidget* popup = W(c.popup);
      ASSERT_TRUE(popup->isVisible()) << c.popup;
      // From the opener into the popup two pixels at a time, over its margin.
      const QPoint from = W(c.opener)->mapTo(window_.get(), W(c.opener)->rect().center());
      const QPoint to = popup->geometry().center();
      for (int i = 0; i <= 50; ++i) {
        QTest::mouseMove(window_.get(), from + (to - from) * i / 50);
        ASSERT_TRUE(popup->isVisible()) << c.popup << " step " << i;
      }
      for (int x = 0; x < 4; ++x) QTest::mouseMove(popup, QPoint(x, popup->height() / 2));
      EXPECT_TRUE(popup->isVisible()) << c.popup;
      if (close == std::string("press")) {
        Click(W(c.elsewhere));
      } else {
        QTest::keyClick(W(c.elsewhere), Qt::Key_Escape);
      }
      EXPECT_FALSE(popup->isVisible()) << c.popup << " " << close;
    }
  }
}

TEST_F(MainWindowTest, SaveButtonCaptionSinksWhilePressed) {
  Click(W("Label2"));
  QWidget* label = W("zap_konfig");
  QWidget* picture = W("Image30");
  const QPoint rest = label->pos();
  EXPECT_EQ(picture->pos(), rest - QPoint(0, 7));
  QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(label->pos(), rest + QPoint(2, 2));
  EXPECT_EQ(picture->pos(), QPoint(rest.x() + 2, rest.y() - 5));
  // The release is a click: boxes left empty save the rest without a word.
  QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(W("zap_konf")->isVisible());
  EXPECT_EQ(label->pos(), rest);
  EXPECT_EQ(picture->pos(), QPoint(rest.x(), rest.y() - 7));
}

TEST_F(MainWindowTest, SearchModeShowsTheSearchBoxesInPlaceOfTheDataBoxes) {
  Click(W("but_szukaj"));
  EXPECT_FALSE(W("DBEdit2")->isVisible());
  EXPECT_TRUE(W("DBEdit2_")->isVisible());
  EXPECT_EQ(Find<QLabel>(window_.get(), "but_add_poust_find")->text(), "SZUKAJ TELEFON");
  Click(W("but_zarzadzaj"));
  EXPECT_TRUE(W("DBEdit2")->isVisible());
  EXPECT_EQ(Find<QLabel>(window_.get(), "but_add_poust_find")->text(), "DODAJ TELEFON");
}

TEST_F(MainWindowTest, ClosingAsksAboutUnsavedChangesAndSavesTheSettingsOnTak) {
  // Clean: closes without a question.
  EXPECT_TRUE(window_->close());

  window_->show();
  session_->UnsavedChanges = true;
  std::vector<QString> shown;
  AnswerModals({"Label3"}, &shown);  // "NIE"
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(shown, std::vector<QString>{QString::fromUtf8("Nie zapisano danych. Czy zapisać je?")});

  // "ANULUJ": the window stays with nothing lost.
  window_->show();
  AnswerModals({"Label4"});
  EXPECT_FALSE(window_->close());
  EXPECT_TRUE(session_->UnsavedChanges);

  // "TAK" with a four-digit administrator phone: the rest is saved, the
  // phone is refused, and "NIE" to closing without it keeps the window on
  // the configuration view with the phone focused.
  Find<QLineEdit>(window_.get(), "teladmin")->setText("1234");
  shown.clear();
  AnswerModals({"Label2", "Label28", "Label3"}, &shown);
  EXPECT_FALSE(window_->close());
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1], "Niepoprawny numer telefonu");
  EXPECT_EQ(shown[2].toStdString(), kCloseWithoutPhonesQuestion);
  EXPECT_EQ(VisiblePanels(), (std::vector<std::string>{"panel_konfig_l", "panel_konfig_g"}));
  EXPECT_EQ(window_->focusWidget(), W("teladmin"));

  Find<QLineEdit>(window_.get(), "teladmin")->setText("600100200");
  Find<QLineEdit>(window_.get(), "telster")->setText("500400300");
  AnswerModals({"Label2"});
  EXPECT_TRUE(window_->close());
  QString stored;
  EXPECT_TRUE(FindSetting(*session_, "telster", &stored));
  EXPECT_EQ(stored, "500400300");
}

TEST_F(MainWindowTest, SettingsViewMarksChangesAndSavesWithZapiszZmiany) {
  Click(W("Label2"));
  QWidget* marker = W("zap_konf");
  session_->UnsavedChanges = false;
  Click(W("Label1"));
  Click(W("Label2"));
  EXPECT_FALSE(marker->isVisible()) << "leaving the view closes no list";
  auto* relay = Find<QComboBox>(window_.get(), "listczas");
  relay->showPopup();
  relay->hidePopup();
  EXPECT_TRUE(marker->isVisible()) << "closing the list marks, changed or not";
  EXPECT_TRUE(session_->UnsavedChanges);

  Find<QDateEdit>(window_.get(), "DateEdit1")->setDate(QDate(2027, 1, 31));
  Find<QLineEdit>(window_.get(), "teladmin")->setText("600100200");
  Find<QLineEdit>(window_.get(), "telster")->setText("5004");
  std::vector<QString> shown;
  AnswerModals({"Label28"}, &shown);
  Click(W("zap_konfig"));
  EXPECT_EQ(shown, std::vector<QString>{"Niepoprawny numer telefonu"});
  EXPECT_TRUE(marker->isVisible());
  EXPECT_EQ(window_->focusWidget(), W("telster"));

  Find<QLineEdit>(window_.get(), "telster")->setText("500400300");
  Click(W("Image30"));
  EXPECT_FALSE(marker->isVisible());
  EXPECT_FALSE(session_->UnsavedChanges);
  QString stored;
  ASSERT_TRUE(FindSetting(*session_, "DateEdit1", &stored));
  EXPECT_TRUE(stored.contains("2027")) << stored.toStdString();

  // A tenth digit is taken by the box (it never cuts what is typed or
  // pasted), and the save refuses the number instead.
  auto* admin = Find<QLineEdit>(window_.get(), "teladmin");
  QTest::keyClicks(admin, "1");
  EXPECT_EQ(admin->text(), "6001002001");
  EXPECT_TRUE(marker->isVisible()) << "typing a phone marks";
  shown.clear();
  AnswerModals({"Label28"}, &shown);
  Click(W("zap_konfig"));
  EXPECT_EQ(shown, std::vector<QString>{"Niepoprawny numer telefonu"});
  EXPECT_EQ(window_->focusWidget(), W("teladmin"));
  ASSERT_TRUE(FindSetting(*session_, "teladmin", &stored));
  EXPECT_EQ(stored, "600100200");

  // Blanks and dashes are typed as people write numbers and stored without.
  admin->clear();
  QTest::keyClicks(admin, "601 200-300");
  Click(W("zap_konfig"));
  EXPECT_FALSE(marker->isVisible());
  ASSERT_TRUE(FindSetting(*session_, "teladmin", &stored));
  EXPECT_EQ(stored, "601200300");
  EXPECT_EQ(admin->text(), "601200300") << "the box shows what is stored";

  // A quote, a comma or a semicolon would end the command line it goes into.
  for (const char* typed : {"600\"100", "600,100", "600;100", "60010020a"}) {
    admin->clear();
    QTest::keyClicks(admin, typed);
    shown.clear();
    AnswerModals({"Label28"}, &shown);
    Click(W("zap_konfig"));
    EXPECT_EQ(shown, std::vector<QString>{"Niepoprawny numer telefonu"}) << typed;
    EXPECT_TRUE(marker->isVisible()) << typed;
    ASSERT_TRUE(FindSetting(*session_, "teladmin", &stored));
    EXPECT_EQ(stored, "601200300") << typed;
  }
}

// Typing over the whole SIM date gives the date typed, whatever date was
// there (one in a month without the day typed included); a date that does
// not exist leaves the one that was there. A date the user changes marks the
// settings as changed, a date loaded from the table does not.
TEST_F(MainWindowTest, TypingOverTheSimDateGivesTheDateTypedAndMarksTheChange) {
  Click(W("Label2"));
  auto* date = Find<QDateEdit>(window_.get(), "DateEdit1");
  if (date->displayFormat() != QLatin1String("d.MM.yyyy")) GTEST_SKIP() << "the cases are typed in the Polish format";
  QWidget* marker = W("zap_konf");
  const struct {
    QDate before;
    const char* typed;
    QDate after;
  } cases[] = {
      {QDate(2026, 12, 9), "31.01.2027", QDate(2027, 1, 31)},  {QDate(2026, 2, 9), "31.01.2027", QDate(2027, 1, 31)},
      {QDate(2026, 4, 15), "31.12.2026", QDate(2026, 12, 31)}, {QDate(2026, 2, 9), "05.03.2026", QDate(2026, 3, 5)},
      {QDate(2027, 1, 31), "29.02.2028", QDate(2028, 2, 29)},  {QDate(2026, 12, 9), "1.1.2030", QDate(2030, 1, 1)},
      {QDate(2026, 2, 9), "31012027", QDate(2027, 1, 31)},     {QDate(2026, 12, 9), "9.12.2026", QDate(2026, 12, 9)},
      {QDate(2026, 12, 9), "30.02.2027", QDate(2026, 12, 9)},  {QDate(2026, 12, 9), "31.01", QDate(2026, 12, 9)},
  };
  for (const auto& c : cases) {
    date->setDate(c.before);
    marker->hide();
    session_->UnsavedChanges = false;
    date->setFocus();
    QTest::keyClick(date, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(date, QString::fromLatin1(c.typed));
    QTest::keyClick(date, Qt::Key_Return);
    EXPECT_EQ(date->date(), c.after) << c.typed << " over " << c.before.toString().toStdString();
    EXPECT_EQ(date->text(), c.after.toString(date->displayFormat())) << c.typed;
    EXPECT_EQ(marker->isVisible(), c.after != c.before) << c.typed;
    EXPECT_EQ(session_->UnsavedChanges, c.after != c.before) << c.typed;
  }

  // A step of a section changes the date as well.
  marker->hide();
  date->setSelectedSection(QDateTimeEdit::YearSection);
  QTest::keyClick(date, Qt::Key_Up);
  EXPECT_EQ(date->date().year(), 2027);
  EXPECT_TRUE(marker->isVisible());

  // What the table holds is loaded without a mark.
  marker->hide();
  session_->UnsavedChanges = false;
  UpsertSetting(*session_, kKeySimDate, "5.03.2026");
  window_->LoadSettingsView(-1);
  EXPECT_EQ(date->date(), QDate(2026, 3, 5));
  EXPECT_FALSE(marker->isVisible());
  EXPECT_FALSE(session_->UnsavedChanges);
}

TEST_F(MainWindowTest, ThePortPickerStoresThePickedPortAtOnce) {
  Click(W("Label2"));
  auto* picker = Find<PickerPanel>(window_.get(), "panel_com");
  QWidget* button = W("butfindport");
  Click(button);
  ASSERT_TRUE(picker->isVisible());
  EXPECT_EQ(picker->pos(), button->mapTo(window_.get(), QPoint(button->width() + 20, 5)));

  auto* list = Find<QListWidget>(picker, "ListBox1");
  auto* listcom = Find<QComboBox>(window_.get(), "listcom");
  const std::pair<const char*, int> cases[] = {{"COM5: = USB Serial Port (ttyUSB0)", 4},
                                               {"COM25: = Modem (ttyACM9)", -1}};
  for (const auto& [text, index] : cases) {
    picker->show();
    list->clear();
    list->addItem(QString::fromLatin1(text));
    window_->ListBox1Click(list->item(0));
    EXPECT_FALSE(picker->isVisible()) << text;
    EXPECT_EQ(listcom->currentIndex(), index) << text;
    QString stored;
    ASSERT_TRUE(FindSetting(*session_, "portcom", &stored));
    EXPECT_EQ(stored.toInt(), index + 1) << text;
  }
  EXPECT_FALSE(W("zap_konf")->isVisible()) << "picking does not mark the view";

  // So does the drop-down, with both phones still empty.
  listcom->setCurrentIndex(6);
  listcom->showPopup();
  listcom->hidePopup();
  QString stored;
  ASSERT_TRUE(FindSetting(*session_, "portcom", &stored));
  EXPECT_EQ(stored, "7");
  EXPECT_FALSE(W("zap_konf")->isVisible());

  picker->show();
  QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), picker->mapToGlobal(QPointF(3, 3)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(picker, &move);
  EXPECT_TRUE(picker->isVisible()) << "the pointer over its own surface is on its way to the list";
}

TEST_F(MainWindowTest, CommandsShowInTheLogAndTheLogSavesWithCrLf) {
  window_->link().SendCommand("AT+CPBR=001");  // the port is closed: nothing goes out
  window_->link().Log("OK\r\n");
  EXPECT_EQ(Find<QPlainTextEdit>(window_.get(), "Log")->toPlainText(), "AT+CPBR=001\nOK");
  Click(W("Label2"));
  Click(W("zapisz_dopliku"));
  QFile saved(QDir(temp_.path()).filePath("log.txt"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), "AT+CPBR=001\r\nOK\r\n");
}

TEST_F(MainWindowTest, ReportGridShadesOddRowsAndIgnoresClicks) {
  store::Cursor& reports = session_->Dbf3();
  for (const char* tel : {"600100200", "501222333", "602444555"}) {
    ASSERT_TRUE(reports.Append().ok());
    EXPECT_TRUE(reports.SetText("Tel", tel).ok());
    EXPECT_TRUE(reports.SetText("Data", "24/03/15 12:30").ok());
    ASSERT_TRUE(reports.Post().ok());
  }
  Click(W("Label3"));
  auto* grid = Find<QTableView>(window_.get(), "RxDBGrid2");
  ASSERT_EQ(grid->model()->rowCount(), 3);
  const QImage image = grid->viewport()->grab().toImage();
  auto cell = [&](int row, int column) { return grid->visualRect(grid->model()->index(row, column)); };
  EXPECT_EQ(QColor(image.pixel(cell(0, 0).topLeft() + QPoint(2, 2))), QColor(248, 249, 251));
  EXPECT_EQ(QColor(image.pixel(cell(1, 1).topLeft() + QPoint(2, 2))), QColor(Qt::white));
  EXPECT_EQ(QColor(image.pixel(cell(2, 1).topLeft() + QPoint(2, 2))), QColor(248, 249, 251));
  bool blueInk = false;
  const QRect text = cell(1, 0).adjusted(8, 8, 0, 0);
  for (int y = text.top(); y <= text.bottom() && !blueInk; ++y) {
    for (int x = text.left(); x <= text.right() && !blueInk; ++x) {
      const QColor c(image.pixel(x, y));
      blueInk = c.blue() > 150 && c.red() < 90;
    }
  }
  EXPECT_TRUE(blueInk);
  EXPECT_EQ(grid->model()->index(0, 0).data().toString(), "602444555") << "equal times: the later record first";
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell(1, 1).center());
  EXPECT_FALSE(grid->selectionModel()->hasSelection());
}

TEST_F(MainWindowTest, ControllerCommandsCloseTheirMenuFirst) {
  const std::pair<const char*, const char*> cases[] = {
      {"Image25", "zap_do_sterownika"}, {"Image25", "usun_ze_sterownika"}, {"zap_menu_konfig", "zapis_do_ser_przypom"}};
  for (const auto& [opener, entry] : cases) {
    Click(W(opener));
    QWidget* menu = W(entry)->parentWidget();
    ASSERT_TRUE(menu->isVisible()) << entry;
    std::vector<QString> shown;
    AnswerModals({"Label28"}, &shown);
    Click(W(entry));
    EXPECT_FALSE(menu->isVisible()) << entry;
    ASSERT_EQ(shown.size(), 1u) << entry;
    // No marks, or no port chosen yet: the command ends with its message.
    EXPECT_TRUE(shown[0] == QString::fromUtf8("Brak zaznaczonych rekordów") ||
                shown[0] == QString::fromUtf8("Brak zdefiniowanego portu COM"))
        << shown[0].toStdString();
  }
}

TEST(MainWindowStartTest, AWrongPinEndsTheProgramAndTheDaysCodeOpensIt) {
  for (const bool right : {false, true}) {
    QTemporaryDir temp;
    Session session(temp.path());
    TForm1 window(session);
    window.askPin = [&] { return right ? DailyServiceCode(session.Today()) : QStringLiteral("0000"); };
    std::vector<QString> shown;
    if (!right) AnswerModals({"Label28"}, &shown);
    window.show();
    window.FormActivate();
    EXPECT_EQ(window.isVisible(), right);
    EXPECT_EQ(shown.size(), right ? 0u : 1u);
    // The settings file is read and written back before the lock asks.
    EXPECT_TRUE(QFile::exists(QDir(temp.path()).filePath("selvantrix.ini")));
  }
}

TEST(MainWindowStartTest, CreationRemovesTheOldIndexFile) {
  QTemporaryDir temp;
  QFile mdx(QDir(temp.path()).filePath("telefony.mdx"));
  ASSERT_TRUE(mdx.open(QIODevice::WriteOnly));
  mdx.close();
  Session session(temp.path());
  TForm1 window(session);
  EXPECT_FALSE(mdx.exists());
}

TEST_F(MainWindowTest, DeletingMarkedRowsFromTheMenu) {
  for (const char* tel : {"111111", "222222", "333333"}) AddPhone(*session_, "A", "B", tel);
  window_->listView()->marks().Append("111111");
  window_->listView()->marks().Append("333333");
  WhenModalOpens([](QWidget* modal) { Click(Find(modal, "Label2")); });  // "TAK"
  window_->Image25Click();
  Click(Find(window_.get(), "usun_z_listy"));
  EXPECT_EQ(Rows(*session_), std::vector<std::string>{"3 A B 222222 0"});
  EXPECT_EQ(Find<QTableView>(window_.get(), "RxDBGrid1")->model()->rowCount(), 1);
  EXPECT_FALSE(window_->progressPanel()->isVisible());
}

TEST_F(MainWindowTest, ClosingWithTakPostsTheRowBeingTyped) {
  Click(Find(window_.get(), "Label23"));
  QTest::keyClicks(Find<QLineEdit>(window_.get(), "DBEdit3"), "600100200");
  // "TAK": the empty settings phones have nothing to save, the phone row is
  // posted and the window closes.
  AnswerModals({"Label2"});
  EXPECT_TRUE(window_->close());
  EXPECT_EQ(Rows(*session_), std::vector<std::string>{"2   600100200 0"});
}

TEST_F(MainWindowTest, ImportAndExportGoThroughTheChosenFile) {
  const QString path = QDir(temp_.path()).filePath("lista.dat");
  AddPhone(*session_, "Jan", "Kowalski", "600100200");
  window_->chooseListFile = [&](bool save) { return save ? path : QString(); };
  Click(Find(window_.get(), "export_list"));
  EXPECT_EQ(QFileInfo(path).size(), 24);
  Click(Find(window_.get(), "imp_list"));  // the open dialog cancelled: nothing asked
  window_->chooseListFile = [&](bool) { return path; };
  EXPECT_EQ(window_->outcomeLine()->text(),
            QString::fromUtf8("Wyeksportowano 1 numer do pliku %1").arg(QDir::toNativeSeparators(path)));
  WhenModalOpens([](QWidget* dialog) {
    dialog->findChild<QCheckBox*>(QStringLiteral("clearFirst"))->setChecked(true);
    Click(Find(dialog, "importButton"));
  });
  Click(Find(window_.get(), "imp_list"));
  EXPECT_TRUE(window_->outcomeLine()->text().startsWith("Zaimportowano 1 numer"));
  EXPECT_EQ(Rows(*session_), std::vector<std::string>{"2 Jan Kowalski 600100200 0"});
  EXPECT_EQ(Find<QTableView>(window_.get(), "RxDBGrid1")->model()->rowCount(), 1);
}

// The messages speak Polish: a file that is not there, a directory that is
// not there (in notices) and a database that is no database (in the error
// box), each with its cause.
TEST_F(MainWindowTest, ErrorBoxesNameTheCauseInPolish) {
  const QString missing = QDir(temp_.path()).filePath("brak.dat");
  const QString nowhere = QDir(temp_.path()).filePath("brak/lista.dat");
  std::vector<QString> shown;
  auto answerError = [&] {
    WhenModalOpens([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      auto* notice = modal->findChild<QLabel*>(QStringLiteral("Label1"));
      shown.push_back(box ? box->text() : notice ? notice->text() : modal->objectName());
      modal->close();
    });
  };
  window_->chooseListFile = [&](bool save) { return save ? nowhere : missing; };
  // A file that cannot be read is refused before the clear question.
  answerError();
  Click(Find(window_.get(), "imp_list"));
  answerError();
  Click(Find(window_.get(), "export_list"));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0],
            QString::fromUtf8("Nie można odczytać pliku \"%1\": nie ma takiego pliku ani katalogu").arg(missing));
  EXPECT_TRUE(shown[1].startsWith(QString::fromUtf8("Nie można zapisać pliku \"%1\": ").arg(nowhere)))
      << shown[1].toStdString();

  QTemporaryDir other;
  QFile foreign(QDir(other.path()).filePath("selvantrixx.tdb"));
  ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
  foreign.write(QByteArray(2048, 'x'));
  foreign.close();
  Session session(other.path());
  answerError();
  TForm1 refused(session);
  EXPECT_FALSE(refused.DatabaseReady());
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_TRUE(shown[2].endsWith(QString::fromUtf8("nie jest plikiem bazy danych"))) << shown[2].toStdString();
  for (const QString& text : shown) {
    for (const char* english : {"No such", "directory", "not a valid", "Cannot", "error"}) {
      EXPECT_FALSE(text.contains(QLatin1String(english), Qt::CaseInsensitive)) << text.toStdString();
    }
  }
}

}  // namespace
