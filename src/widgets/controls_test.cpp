#include "widgets/controls.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "widgets/pictures.h"
#include "widgets/testing/modal.h"

namespace {

TEST(FitPopupTest, KeepsThePopupInsideTheWindowAndOffItsField) {
  const QRect window(0, 0, 1000, 600);
  struct FitCase {
    const char* name;
    QRect anchor;
    QPoint wanted;
    QSize size;
    QRect expected;
  };
  const FitCase cases[] = {
      {"fits where it opens", QRect(100, 100, 135, 28), QPoint(100, 128), QSize(280, 220), QRect(100, 128, 280, 220)},
      {"past the right edge: pulled in", QRect(860, 10, 135, 28), QPoint(860, 38), QSize(280, 220),
       QRect(720, 38, 280, 220)},
      {"past the bottom: above its field", QRect(100, 500, 135, 28), QPoint(100, 528), QSize(280, 220),
       QRect(100, 280, 280, 220)},
      {"no room above either: up to the bottom edge", QRect(100, 150, 135, 28), QPoint(100, 450), QSize(280, 220),
       QRect(100, 380, 280, 220)},
      {"past the left edge", QRect(0, 100, 135, 28), QPoint(-40, 128), QSize(280, 220), QRect(0, 128, 280, 220)},
  };
  for (const FitCase& c : cases) {
    const QRect fitted = FitPopup(window, c.anchor, c.wanted, c.size);
    EXPECT_EQ(fitted, c.expected) << c.name;
    EXPECT_TRUE(window.contains(fitted)) << c.name;
  }
}

// A host window with a popup, its opener and two other controls.
class PopupPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.resize(600, 400);
    opener_ = new QPushButton(QStringLiteral("v"), &host_);
    opener_->setGeometry(10, 10, 30, 30);
    other_ = new QLineEdit(&host_);
    other_->setGeometry(300, 300, 100, 30);
    popup_ = new MenuPanel(QStringLiteral("menu"), &host_);
    popup_->AddOpener(opener_);
    entry_ = popup_->AddEntry(QStringLiteral("entry"), QStringLiteral("POLECENIE"));
    popup_->move(10, 44);
    host_.show();
    host_.activateWindow();
    popup_->show();
  }

  QWidget host_;
  QPushButton* opener_ = nullptr;
  QLineEdit* other_ = nullptr;
  MenuPanel* popup_ = nullptr;
  ClickLabel* entry_ = nullptr;
};

TEST_F(PopupPanelTest, StaysOpenWhileThePointerTravelsOverItsMarginAndEntries) {
  // From the opener down over the top margin, along the left margin and
  // over the entry.
  for (QPoint at = opener_->geometry().center(); at.y() < popup_->geometry().bottom(); at += QPoint(0, 2)) {
    QTest::mouseMove(&host_, at);
    ASSERT_TRUE(popup_->isVisible()) << at.y();
  }
  for (int x = 0; x < MenuPanel::kMargin; ++x) QTest::mouseMove(popup_, QPoint(x, popup_->height() / 2));
  QTest::mouseMove(entry_, entry_->rect().center());
  EXPECT_TRUE(popup_->isVisible());
}

TEST_F(PopupPanelTest, ClosesOnAPressElsewhereOrEscapeButNotOnItsOwn) {
  struct PressCase {
    const char* name;
    std::function<void()> act;
    bool open;
  };
  bool clicked = false;
  QObject::connect(entry_, &ClickLabel::clicked, [&] { clicked = true; });
  const PressCase cases[] = {
      {"its entry", [&] { Click(entry_); }, true},
      {"its margin", [&] { QTest::mouseClick(popup_, Qt::LeftButton, {}, QPoint(2, 2)); }, true},
      {"its opener", [&] { Click(opener_); }, true},
      {"another key", [&] { QTest::keyClick(other_, Qt::Key_A); }, true},
      {"another box", [&] { Click(other_); }, false},
      {"the window itself", [&] { QTest::mouseClick(&host_, Qt::RightButton, {}, QPoint(500, 50)); }, false},
      {"Escape in the window", [&] { QTest::keyClick(other_, Qt::Key_Escape); }, false},
  };
  for (const PressCase& c : cases) {
    popup_->show();
    c.act();
    EXPECT_EQ(popup_->isVisible(), c.open) << c.name;
  }
  EXPECT_TRUE(clicked) << "a press that closes nothing still reaches the entry";
  EXPECT_EQ(other_->text(), "a") << "keys other than Escape go on to the box";
}

TEST_F(PopupPanelTest, EscapeInAnotherWindowLeavesItOpen) {
  QWidget dialog;
  auto* edit = new QLineEdit(&dialog);
  dialog.show();
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_TRUE(popup_->isVisible());
}

// The colour of the drop-down button's chevron is found in the button's
// area and nowhere left of it.
bool HasChevron(const QImage& image, const QRect& area) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QColor c(image.pixel(x, y));
      if (qAbs(c.red() - pictures::kText.red()) < 30 && qAbs(c.green() - pictures::kText.green()) < 30 &&
          qAbs(c.blue() - pictures::kText.blue()) < 30) {
        return true;
      }
    }
  }
  return false;
}

TEST(DropButtonTest, DropDownsAndDateFieldsShowTheirButton) {
  QWidget host;
  // The window's style sheet takes the platform's arrow away.
  host.setStyleSheet(
      QStringLiteral("QComboBox, QDateEdit { border: 1px solid gray; background: white; color: white; }"
                     "QComboBox::drop-down, QDateEdit::drop-down { border: none; width: 24px; }"));
  auto* drop = new DropDown(&host);
  drop->addItem(QStringLiteral("1.2 sek"));
  drop->setGeometry(10, 10, 178, 30);
  auto* date = new DateField(QDate(2026, 12, 24), &host);
  date->setGeometry(10, 60, 135, 28);
  host.resize(300, 120);
  host.show();
  for (QWidget* field : {static_cast<QWidget*>(drop), static_cast<QWidget*>(date)}) {
    const QImage image = field->grab().toImage();
    const QRect button = DropButtonRect(field->rect());
    EXPECT_TRUE(HasChevron(image, button)) << field->metaObject()->className();
    EXPECT_FALSE(HasChevron(image, QRect(0, 0, button.left() - 1, field->height())))
        << field->metaObject()->className();
  }
}

TEST(DateFieldTest, TheCalendarOpensInsideTheWindowWithPolishNamesAndEveryWeek) {
  QWidget window;
  window.resize(1072, 637);
  // Where the configuration view has it: near the window's right edge.
  auto* date = new DateField(QDate(2026, 11, 9), &window);
  date->setGeometry(886, 126, 135, 28);
  window.show();
  QTest::mouseClick(date, Qt::LeftButton, {}, DropButtonRect(date->rect()).center());
  QCalendarWidget* calendar = date->calendarWidget();
  ASSERT_TRUE(QTest::qWaitFor([&] { return calendar->isVisible(); }, 5000));
  const QRect popup = calendar->window()->geometry();
  EXPECT_TRUE(QRect(window.mapToGlobal(QPoint(0, 0)), window.size()).contains(popup))
      << popup.x() << "," << popup.y() << " " << popup.width() << "x" << popup.height();
  EXPECT_GE(calendar->height(), calendar->sizeHint().height()) << "the last week row is cut off";
  EXPECT_EQ(calendar->locale().language(), QLocale::Polish);
  EXPECT_EQ(calendar->firstDayOfWeek(), Qt::Monday);
  calendar->window()->hide();
}

}  // namespace
