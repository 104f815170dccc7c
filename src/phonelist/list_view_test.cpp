#include "phonelist/list_view.h"

#include <QApplication>
#include <QPainter>
#include <cmath>
#include <functional>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "core/testing/phones.h"
#include "core/testing/scripted_ui.h"
#include "phonelist/list_grid.h"
#include "phonelist/list_model.h"
#include "store/cursor.h"
#include "widgets/controls.h"
#include "widgets/testing/modal.h"
#include "widgets/view_parts.h"

namespace {

// The view alone on a plain host window, with a scripted user at the seam.
class ListViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.resize(1072, 637);
    left_ = new ViewPanel("panel_lista_l", QStringLiteral("Zarz"), "Label5", &host_);
    right_ = new ViewPanel("panel_lista_g", QStringLiteral("Lista"), "Label24", &host_);
    left_->setGeometry(kLeftColumn);
    right_->setGeometry(kRightArea);
    view_ = std::make_unique<PhoneListView>(
        left_, right_, *session_, ui_, [this] { ++viewShown_; },
        [this](const QString& text) { told_.push_back(text); });
    view_->ConnectPhoneList();
    view_->Activate();
    host_.show();
    host_.activateWindow();
  }

  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(&host_, name); }
  QString Caption() {
    return Find<QLabel>(&host_, "but_add_poust_find")->text() + " " + Find<QLabel>(&host_, "Label23")->text();
  }
  QTableView* Grid() { return Find<QTableView>(&host_, "RxDBGrid1"); }
  QWidget* focusWidget() { return host_.focusWidget(); }
  // Clicks a cell of the phone grid.
  void ClickCell(int row, int column) {
    const QRect cell = Grid()->visualRect(Grid()->model()->index(row, column));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, cell.center());
  }

  QTemporaryDir temp_;
  SessionOnTemp open_{temp_.path()};
  Session* session_ = &open_.session;
  ScriptedUi ui_;
  QWidget host_;
  ViewPanel* left_ = nullptr;
  ViewPanel* right_ = nullptr;
  std::unique_ptr<PhoneListView> view_;
  std::vector<QString> told_;
  int viewShown_ = 0;
};

TEST_F(ListViewTest, TheActionButtonAddsChecksAndSavesARow) {
  AddPhone(*session_, "Jan", "Kowalski", "600100200");
  EXPECT_EQ(Caption(), "DODAJ TELEFON +");

  Click(Find(&host_, "but_add_poust_find"));
  EXPECT_EQ(Caption(), "ZAPISZ TELEFON *");
  EXPECT_EQ(session_->Dbf1().Int("ID"), 3);
  EXPECT_EQ(focusWidget(), Edit("DBEdit1"));
  EXPECT_EQ(Grid()->model()->rowCount(), 2) << "the new row shows in the grid";

  QTest::keyClicks(Edit("DBEdit1"), "Ewa");
  QTest::keyClicks(Edit("DBEdit3"), "1234");
  Click(Find(&host_, "Image22"));
  ASSERT_EQ(ui_.dialogs.size(), 1u);
  EXPECT_EQ(ui_.dialogs[0].text, "Niepoprawny numer telefonu");
  EXPECT_EQ(viewShown_, 1) << "the refusal brings the user back to the list view";
  EXPECT_EQ(focusWidget(), Edit("DBEdit3"));
  EXPECT_EQ(Caption(), "ZAPISZ TELEFON *") << "the row stays pending";

  QTest::keyClicks(Edit("DBEdit3"), "5");
  Click(Find(&host_, "Label23"));
  EXPECT_EQ(Caption(), "DODAJ TELEFON +");
  EXPECT_EQ(Rows(*session_)[1], "3 Ewa  12345 0");
  EXPECT_FALSE(session_->UnsavedChanges);
}

// Both save paths keep a number already listed in the boxes, say so in
// Polish and take the user to the phone box; a corrected number then saves.
TEST_F(ListViewTest, ADuplicateStaysForCorrectionWhicheverWayItIsSaved) {
  AddPhone(*session_, "Jan", "Kowalski", "600100200");
  for (const bool enter : {false, true}) {
    ui_.dialogs.clear();
    const int shownBefore = viewShown_;
    const int rowsBefore = session_->Dbf1().RowCount();
    Click(Find(&host_, "Label23"));
    QTest::keyClicks(Edit("DBEdit1"), "Ewa");
    QTest::keyClicks(Edit("DBEdit3"), "600 100 200");
    Edit("DBEdit1")->setFocus();
    if (enter) {
      QTest::keyClick(Edit("DBEdit3"), Qt::Key_Return);
    } else {
      Click(Find(&host_, "Label23"));
    }
    ASSERT_EQ(ui_.dialogs.size(), 1u) << enter;
    EXPECT_EQ(ui_.dialogs[0].text, QString::fromUtf8("Numer 600100200 jest już na liście")) << enter;
    EXPECT_FALSE(ui_.dialogs[0].question);
    EXPECT_EQ(ui_.errors.size(), 0u) << "no grey error box";
    EXPECT_EQ(viewShown_, shownBefore + 1) << enter;
    EXPECT_EQ(focusWidget(), Edit("DBEdit3")) << enter;
    EXPECT_EQ(Caption(), "ZAPISZ TELEFON *") << enter << ": the row stays pending";
    EXPECT_EQ(Edit("DBEdit1")->text(), "Ewa") << enter;
    EXPECT_EQ(session_->Dbf1().RowCount(), rowsBefore) << enter;

    Edit("DBEdit3")->clear();
    QTest::keyClicks(Edit("DBEdit3"), enter ? "7" : "500400300");  // Enter has no length floor
    if (enter) {
      QTest::keyClick(Edit("DBEdit3"), Qt::Key_Return);
      EXPECT_EQ(focusWidget(), Edit("DBEdit1"));
    } else {
      Click(Find(&host_, "Label23"));
    }
    EXPECT_EQ(Caption(), "DODAJ TELEFON +") << enter;
    EXPECT_EQ(session_->Dbf1().RowCount(), rowsBefore + 1) << enter;
  }
  EXPECT_EQ(ui_.dialogs.size(), 1u) << "the corrected number saved without a word";
}

// The button keeps its five-character floor, Enter has none; neither takes
// anything but digits with a leading "+", and both store the number without
// the blanks and dashes it was typed with.
TEST_F(ListViewTest, BothSavePathsRefuseAMalformedNumberAndStoreATakenOneNormalised) {
  struct Case {
    const char* typed;
    bool enter;          // Enter in the phone box, else the action button
    const char* stored;  // nullptr: refused, the row stays pending
  };
  const Case cases[] = {
      {"60010020a", false, nullptr},
      {"60010020a", true, nullptr},
      {"600\"100\"", false, nullptr},
      {"600\",AT", true, nullptr},
      {"600;100", false, nullptr},
      {"600;100", true, nullptr},
      {"6+00100", true, nullptr},
      {"1234567890123", false, nullptr},
      {"+48 600-100-200", false, "+48600100200"},
      {"501 222-333", true, "501222333"},
      {"12", true, "12"},
  };
  for (const Case& c : cases) {
    ui_.dialogs.clear();
    ui_.errors.clear();
    const int shownBefore = viewShown_;
    const int rows = session_->Dbf1().RowCount();
    Click(Find(&host_, "Label23"));
    ASSERT_EQ(session_->listState(), ListState::kInsert) << c.typed;
    QTest::keyClicks(Edit("DBEdit1"), "Ala");
    Edit("DBEdit3")->setFocus();
    QTest::keyClicks(Edit("DBEdit3"), c.typed);
    EXPECT_EQ(Edit("DBEdit3")->text(), c.typed) << "the box takes it all";
    if (c.enter) {
      QTest::keyClick(Edit("DBEdit3"), Qt::Key_Return);
    } else {
      Click(Find(&host_, "Label23"));
    }
    EXPECT_TRUE(ui_.errors.empty()) << c.typed;
    if (!c.stored) {
      ASSERT_EQ(ui_.dialogs.size(), 1u) << c.typed;
      EXPECT_EQ(ui_.dialogs[0].text, "Niepoprawny numer telefonu");
      EXPECT_EQ(viewShown_, shownBefore + 1) << c.typed;
      EXPECT_EQ(focusWidget(), Edit("DBEdit3")) << c.typed;
      EXPECT_EQ(Caption(), "ZAPISZ TELEFON *") << c.typed << ": the row stays pending";
      EXPECT_EQ(Edit("DBEdit3")->text(), c.typed) << "kept for correction";
      EXPECT_EQ(session_->Dbf1().RowCount(), rows);
      session_->Dbf1().Cancel();
      continue;
    }
    EXPECT_TRUE(ui_.dialogs.empty()) << c.typed;
    EXPECT_EQ(Caption(), "DODAJ TELEFON +") << c.typed;
    EXPECT_EQ(session_->Dbf1().RowCount(), rows + 1) << c.typed;
    EXPECT_EQ(session_->Dbf1().Text("Tel"), c.stored) << c.typed;
    EXPECT_TRUE(Edit("DBEdit3")->text().isEmpty()) << c.typed << ": the boxes wait for the next person";
    EXPECT_EQ(focusWidget(), Edit("DBEdit1")) << c.typed;
  }
}

// After a save the boxes stand empty: what is typed next is the next person,
// a row of its own; the saved one changes only when the user chooses it.
TEST_F(ListViewTest, TypingAfterASaveIsTheNextPersonNotAChangeOfTheSavedOne) {
  for (const auto& [first, tel] : {std::pair{"Jan", "600100201"}, std::pair{"Ewa", "600100202"}}) {
    Edit("DBEdit1")->setFocus();
    QTest::keyClicks(Edit("DBEdit1"), first);
    QTest::keyClicks(Edit("DBEdit3"), tel);
    QTest::keyClick(Edit("DBEdit3"), Qt::Key_Return);
  }
  EXPECT_EQ(Rows(*session_), (std::vector<std::string>{"2 Jan  600100201 0", "3 Ewa  600100202 0"}));
  EXPECT_TRUE(ui_.dialogs.empty());
  // Chosen in the grid, a row is the one the boxes change.
  ClickCell(0, 1);
  EXPECT_EQ(Edit("DBEdit1")->text(), "Jan");
  QTest::keyClicks(Edit("DBEdit2"), "Lis");
  QTest::keyClick(Edit("DBEdit3"), Qt::Key_Return);
  EXPECT_EQ(Rows(*session_), (std::vector<std::string>{"2 Jan Lis 600100201 0", "3 Ewa  600100202 0"}));
}

// Leaving a row being typed, by a click on another row, the select-all
// square or a sort, saves it by the rule or keeps it in the boxes with the
// text as typed; never an empty phone over a number.
TEST_F(ListViewTest, LeavingARowBeingTypedSavesItByTheRuleOrKeepsIt) {
  struct Case {
    const char* typed;  // into the phone box of the first row, after its number
    const char* away;   // where the user goes
    bool kept;
  };
  const Case cases[] = {
      {"x", "cell", true},          // 600100200x: a letter
      {"1234", "cell", true},       // 6001002001234: longer than 12
      {"1234", "square", true},
      {"1234", "sort", true},
      {"\b\b99", "cell", false},  // 600100299: a number, saved
  };
  for (const Case& c : cases) {
    session_->Dbf1().Cancel();
    while (session_->Dbf1().RowCount() > 0) {
      session_->Dbf1().First();
      ASSERT_TRUE(session_->Dbf1().Delete().ok());
    }
    AddPhone(*session_, "Jan", "Kowalski", "600100200");
    AddPhone(*session_, "Ewa", "Nowak", "501222333");
    view_->ClearMarks();
    ClickCell(0, 1);
    ASSERT_EQ(Edit("DBEdit3")->text(), "600100200");
    ui_.dialogs.clear();
    Edit("DBEdit3")->setFocus();
    Edit("DBEdit3")->end(false);
    for (const char* k = c.typed; *k != '\0'; ++k) {
      if (*k == '\b') {
        QTest::keyClick(Edit("DBEdit3"), Qt::Key_Backspace);
      } else {
        QTest::keyClicks(Edit("DBEdit3"), QString(QLatin1Char(*k)));
      }
    }
    const QString inBox = Edit("DBEdit3")->text();
    if (std::string(c.away) == "cell") ClickCell(1, 1);
    if (std::string(c.away) == "square") QTest::mouseClick(Find(&host_, "Shape9"), Qt::LeftButton);
    if (std::string(c.away) == "sort") Click(Find(&host_, "Label27"));
    const std::string what = inBox.toStdString() + " / " + c.away;
    if (c.kept) {
      ASSERT_EQ(ui_.dialogs.size(), 1u) << what;
      EXPECT_EQ(ui_.dialogs[0].text, "Niepoprawny numer telefonu") << what;
      EXPECT_EQ(session_->listState(), ListState::kEdit) << what;
      EXPECT_EQ(Edit("DBEdit3")->text(), inBox) << what << ": the text as typed";
      EXPECT_EQ(view_->marks().Count(), 0) << what << ": the square did nothing";
      session_->Dbf1().Cancel();
      EXPECT_EQ(Rows(*session_).front(), "2 Jan Kowalski 600100200 0") << what << ": the stored number is whole";
    } else {
      EXPECT_TRUE(ui_.dialogs.empty()) << what;
      EXPECT_EQ(Rows(*session_).front(), "2 Jan Kowalski 600100299 0") << what;
    }
  }
}

TEST_F(ListViewTest, TypingStartsAnEditAndEscapePutsTheValueBack) {
  AddPhone(*session_, "Jan", "Kowalski", "600100200");
  session_->UnsavedChanges = false;
  Edit("DBEdit2")->setFocus();
  QTest::keyClicks(Edit("DBEdit2"), "ska");
  EXPECT_EQ(session_->listState(), ListState::kEdit);
  EXPECT_TRUE(session_->UnsavedChanges);
  EXPECT_EQ(Grid()->model()->index(0, 2).data().toString(), "Kowalskiska") << "the grid shows the typing";
  QTest::keyClick(Edit("DBEdit2"), Qt::Key_Escape);
  EXPECT_EQ(Edit("DBEdit2")->text(), "Kowalski");
  EXPECT_EQ(Edit("DBEdit1")->maxLength(), 40);
  // No limit of its own: a number typed with blanks and dashes is never cut
  // by the box (the default of QLineEdit is 32767).
  EXPECT_EQ(Edit("DBEdit3")->maxLength(), 32767);
}

TEST_F(ListViewTest, GridClicksMoveAndMarkAndTheSquareMarksAll) {
  for (const char* tel : {"111111", "222222", "333333"}) AddPhone(*session_, "A", "B", tel);
  session_->Dbf1().First();
  ClickCell(1, 2);
  EXPECT_EQ(session_->Dbf1().Text("Tel"), "222222");
  EXPECT_EQ(view_->marks().Count(), 0) << "a click outside the mark column only moves";
  ClickCell(2, 0);
  EXPECT_EQ(session_->Dbf1().Text("Tel"), "333333");
  EXPECT_EQ(view_->MarkedNumbers(), QStringList{"333333"});

  auto* square = Find(&host_, "Shape9");
  QTest::mouseClick(square, Qt::RightButton);
  EXPECT_EQ(view_->MarkedNumbers(), (QStringList{"333333", "111111", "222222"})) << "every row once";
  EXPECT_TRUE(view_->AllMarked());
  QTest::mouseClick(square, Qt::LeftButton);
  EXPECT_EQ(view_->marks().Count(), 0);

  Click(Find(&host_, "Label27"));  // sort by phone
  EXPECT_EQ(session_->Dbf1().OrderName(), "TelIndex");
  EXPECT_EQ(session_->Dbf1().Text("Tel"), "333333");
}

TEST_F(ListViewTest, CellsAreDrawnAtTheirPixels) {
  AddPhone(*session_, "Jan", "Kowalski", "600100200", 1);
  AddPhone(*session_, "Ewa", "Nowak", "500400300", 0);
  AddPhone(*session_, "Ala", "Lis", "400300200", 1);
  view_->marks().Append("500400300");
  session_->Dbf1().First();
  view_->model()->Changed();
  const QImage image = Grid()->viewport()->grab().toImage();
  auto cell = [&](int row, int column) { return Grid()->visualRect(Grid()->model()->index(row, column)); };
  auto colour = [&](QPoint p) { return QColor(image.pixel(p)); };

  EXPECT_EQ(colour(cell(0, 1).topLeft() + QPoint(2, 2)), kCurrentRowColour) << "current row";
  EXPECT_EQ(colour(cell(1, 1).topLeft() + QPoint(2, 2)), QColor(Qt::white)) << "even position";
  EXPECT_EQ(colour(cell(2, 1).topLeft() + QPoint(2, 2)), QColor(248, 249, 251)) << "odd position";
  const QPoint mark = cell(1, 0).topLeft();
  EXPECT_EQ(colour(mark + QPoint(13, 8)), QColor(1, 81, 178)) << "square corner";
  EXPECT_EQ(colour(mark + QPoint(25, 20)), QColor(1, 81, 178)) << "square corner";
  EXPECT_EQ(colour(mark + QPoint(19, 17)), kTickColour) << "tick";
  EXPECT_NE(colour(cell(2, 0).topLeft() + QPoint(19, 17)), kTickColour) << "no tick unmarked";

  // Text starts 8 pixels in and down; the unconfirmed phone is red.
  auto hasInk = [&](const QRect& area, const QColor& ink) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        const QColor c = colour(QPoint(x, y));
        if (ink == QColor(Qt::red) ? (c.red() > 200 && c.green() < 120 && c.blue() < 120)
                                   : (c.blue() > 150 && c.red() < 90 && c.green() < 150))
          return true;
      }
    }
    return false;
  };
  const QRect phone = cell(1, 3);
  EXPECT_TRUE(hasInk(phone.adjusted(8, 8, 0, 0), Qt::red));
  EXPECT_FALSE(hasInk(QRect(phone.left(), phone.top(), 7, phone.height()), Qt::red)) << "nothing left of +8";
  EXPECT_TRUE(hasInk(cell(2, 3).adjusted(8, 8, 0, 0), QColor(1, 81, 178)));
  EXPECT_FALSE(hasInk(cell(2, 3).adjusted(8, 8, 0, 0), Qt::red));
}

// Relative luminance and contrast as the accessibility guidelines define them.
double Luminance(const QColor& c) {
  auto channel = [](int v) {
    const double s = v / 255.0;
    return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

// Every ink drawn on every kind of row, as painted: the strongest pixel of
// the cell against its background.
TEST(PhoneCellTest, TextAndTickAreReadableOnEveryRowTheCurrentOneIncluded) {
  struct InkCase {
    const char* name;
    int column;
    bool confirmed;
    bool check;
    double least;
  };
  const InkCase inks[] = {{"name", 1, true, false, 4.5},
                          {"confirmed number", 3, true, false, 4.5},
                          {"unconfirmed number", 3, false, false, 4.5},
                          {"tick", 0, true, true, 4.5}};
  for (const bool current : {false, true}) {
    for (const int position : {1, 2}) {
      for (const InkCase& ink : inks) {
        QImage image(120, 28, QImage::Format_RGB32);
        QPainter painter(&image);
        PhoneCell cell;
        cell.column = ink.column;
        cell.position = position;
        cell.current = current;
        cell.confirmed = ink.confirmed;
        cell.check = ink.check;
        cell.text = QStringLiteral("600100200");
        DrawPhoneCell(painter, image.rect(), cell);
        painter.end();
        const QColor background(image.pixel(2, 2));
        // Inside the square for the tick, so its frame does not count.
        const QRect area = ink.check ? QRect(15, 10, 9, 9) : QRect(8, 8, 100, 16);
        double strongest = 1;
        for (int y = area.top(); y <= area.bottom(); ++y) {
          for (int x = area.left(); x <= area.right(); ++x) {
            strongest = qMax(strongest, Contrast(QColor(image.pixel(x, y)), background));
          }
        }
        EXPECT_GE(strongest, ink.least) << ink.name << (current ? " on the current row" : "") << " position "
                                        << position;
      }
    }
  }
}

TEST_F(ListViewTest, TheSortedColumnCarriesTheTriangle) {
  AddPhone(*session_, "Jan", "Kowalski", "600100200");
  struct SortCase {
    const char* title;
    const char* index;
  };
  const SortCase cases[] = {{"Label26", "NazwiskoIndex"}, {"Label27", "TelIndex"}, {"Label25", "ImieIndex"}};
  QLabel* mark = view_->sortMark();
  for (const SortCase& c : cases) {
    Click(Find(&host_, c.title));
    ASSERT_EQ(session_->Dbf1().OrderName(), c.index);
    EXPECT_TRUE(mark->isVisible()) << c.title;
    EXPECT_TRUE(Find(&host_, c.title)->geometry().contains(mark->geometry())) << c.title;
  }
}

TEST_F(ListViewTest, TheSelectAllSquareShowsWhetherNoneSomeOrAllAreMarked) {
  auto* square = Find<ShapeWidget>(&host_, "Shape9");
  EXPECT_EQ(square->check(), ShapeWidget::Check::kNone) << "an empty list";
  for (const char* tel : {"111111", "222222", "333333"}) AddPhone(*session_, "A", "B", tel);
  session_->Dbf1().First();
  view_->model()->Changed();
  struct MarkCase {
    const char* name;
    std::function<void()> act;
    ShapeWidget::Check shown;
  };
  const MarkCase cases[] = {
      {"one row marked", [&] { ClickCell(1, 0); }, ShapeWidget::Check::kSome},
      {"and unmarked", [&] { ClickCell(1, 0); }, ShapeWidget::Check::kNone},
      {"the square marks all", [&] { Click(square); }, ShapeWidget::Check::kAll},
      {"one unmarked", [&] { ClickCell(0, 0); }, ShapeWidget::Check::kSome},
      {"and marked again", [&] { ClickCell(0, 0); }, ShapeWidget::Check::kAll},
      {"the square unmarks all", [&] { Click(square); }, ShapeWidget::Check::kNone},
  };
  for (const MarkCase& c : cases) {
    c.act();
    EXPECT_EQ(square->check(), c.shown) << c.name;
  }
}

}  // namespace
