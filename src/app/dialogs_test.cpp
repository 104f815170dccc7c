#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>
#include <functional>
#include <optional>

#include "app/dlgostiv.h"
#include "app/pinostiv.h"
#include "widgets/testing/modal.h"
#include "core/user_interface.h"

namespace {

struct DialogCase {
  const char* name;
  int kind;
  const char* press;  // caption clicked, or "" for Escape
  int expected;
  std::vector<const char*> visible;
  std::vector<const char*> hidden;
};

TEST(ShowDialogTest, NoticesShowOkAndQuestionsAnswerOneOnlyForTak) {
  const DialogCase cases[] = {
      {"notice OK", kNoticeKind, "Label28", 0, {"Label28", "Image27"}, {"Label2", "Image1", "Label3", "Image2"}},
      {"notice of another kind", 7, "Label28", 0, {"Label28"}, {"Label2", "Label3"}},
      {"question TAK", kQuestionKind, "Label2", 1, {"Label2", "Image1", "Label3", "Image2"}, {"Label28", "Label4"}},
      {"question NIE", kQuestionKind, "Label3", 0, {"Label2", "Label3"}, {"Label28"}},
      {"question closed with Escape", kQuestionKind, "", 0, {"Label2", "Label3"}, {"Label28"}},
      {"cautious question TAK", kCautiousQuestionKind, "Label2", 1, {"Label2", "Label3"}, {"Label28", "Label4"}},
      {"closing question ANULUJ", kCloseQuestionKind, "Label4", kCancelAnswer, {"Label2", "Label3", "Label4"},
       {"Label28"}},
      {"closing question closed with Escape", kCloseQuestionKind, "", kCancelAnswer, {"Label4"}, {}},
  };
  for (const DialogCase& c : cases) {
    bool checked = false;
    WhenModalOpens([&](QWidget* modal) {
      EXPECT_EQ(modal->objectName(), "dlgfm") << c.name;
      EXPECT_EQ(modal->size(), QSize(381, 139)) << c.name;
      EXPECT_TRUE(modal->windowFlags() & Qt::FramelessWindowHint) << c.name;
      EXPECT_EQ(Find<QLabel>(modal, "Label1")->text(), "Zapis") << c.name;
      for (const char* name : c.visible) {
        QWidget* w = Find(modal, name);
        EXPECT_TRUE(w && w->isVisible()) << c.name << " " << name;
      }
      for (const char* name : c.hidden) {
        QWidget* w = Find(modal, name);
        EXPECT_TRUE(!w || !w->isVisible()) << c.name << " " << name;
      }
      checked = true;
      if (*c.press) {
        Click(Find(modal, c.press));
      } else {
        QTest::keyClick(modal, Qt::Key_Escape);
      }
    });
    EXPECT_EQ(ShowDialog(nullptr, "Zapis", c.kind), c.expected) << c.name;
    EXPECT_TRUE(checked) << c.name;
  }
}

// Keys typed in turn; the last one answers. The ring starts on "TAK", or on
// "NIE" where "TAK" destroys something.
TEST(ShowDialogTest, TheKeyboardMovesTheRingAndAnswersWithTheRingedButton) {
  struct KeyCase {
    int kind;
    std::vector<Qt::Key> keys;
    int expected;
  };
  const KeyCase cases[] = {
      {kNoticeKind, {Qt::Key_Return}, 0},
      {kNoticeKind, {Qt::Key_Escape}, 0},
      {kQuestionKind, {Qt::Key_Return}, 1},
      {kQuestionKind, {Qt::Key_Enter}, 1},
      {kQuestionKind, {Qt::Key_Space}, 1},
      {kQuestionKind, {Qt::Key_Escape}, 0},
      {kQuestionKind, {Qt::Key_Tab, Qt::Key_Return}, 0},
      {kQuestionKind, {Qt::Key_Right, Qt::Key_Right, Qt::Key_Return}, 1},
      {kQuestionKind, {Qt::Key_N, Qt::Key_Space}, 0},
      {kCautiousQuestionKind, {Qt::Key_Return}, 0},
      {kCautiousQuestionKind, {Qt::Key_Left, Qt::Key_Return}, 1},
      {kCautiousQuestionKind, {Qt::Key_T, Qt::Key_Return}, 1},
      {kCautiousQuestionKind, {Qt::Key_T, Qt::Key_Escape}, 0},
      {kCloseQuestionKind, {Qt::Key_Return}, 1},
      {kCloseQuestionKind, {Qt::Key_Escape}, kCancelAnswer},
      {kCloseQuestionKind, {Qt::Key_Backtab, Qt::Key_Return}, kCancelAnswer},
      {kCloseQuestionKind, {Qt::Key_Down, Qt::Key_Return}, 0},
      {kCloseQuestionKind, {Qt::Key_A, Qt::Key_Return}, kCancelAnswer},
  };
  QWidget owner;
  owner.show();
  for (const KeyCase& c : cases) {
    bool closed = false;
    WhenModalOpens([&](QWidget* modal) {
      // The keys go where the application sends keys: the focus, once the
      // dialog has taken it.
      EXPECT_TRUE(QTest::qWaitForWindowActive(modal, 5000)) << c.kind;
      QWidget* focus = QApplication::focusWidget();
      EXPECT_TRUE(focus && focus->window() == modal) << c.kind;
      for (Qt::Key key : c.keys) {
        EXPECT_FALSE(closed) << "a key before the last answered";
        QTest::keyClick(focus ? focus : modal, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        closed = !modal->isVisible();
      }
      if (!closed) modal->close();
    });
    EXPECT_EQ(ShowDialog(&owner, "Klawiatura", c.kind), c.expected) << c.kind << " last key " << c.keys.back();
    EXPECT_TRUE(closed) << "kind " << c.kind << " left open";
  }
}

TEST(ShowDialogTest, AHeldKeyDoesNotAnswerAndTheRingMarksTheKeyboardsButton) {
  const std::pair<int, const char*> cases[] = {
      {kNoticeKind, "Image27"}, {kQuestionKind, "Image1"}, {kCautiousQuestionKind, "Image2"}, {kCloseQuestionKind, "Image1"}};
  for (const auto& [kind, ringed] : cases) {
    Tdlgfm dialog("Zapis", kind, nullptr);
    dialog.show();
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(&dialog, &repeat);
    EXPECT_TRUE(dialog.isVisible()) << kind;
    const QRect button = Find(&dialog, ringed)->geometry();
    const QRect ring = Find(&dialog, "focusRing")->geometry();
    EXPECT_TRUE(ring.contains(button)) << kind;
    EXPECT_LE(ring.width() - button.width(), 8) << kind;
  }
}

TEST(ShowDialogTest, ButtonPicturesDoNotAnswer) {
  WhenModalOpens([](QWidget* modal) {
    Click(Find(modal, "Image1"));  // the picture under "TAK"
    EXPECT_TRUE(modal->isVisible());
    Click(Find(modal, "Label2"));
  });
  EXPECT_EQ(ShowDialog(nullptr, "Pytanie", kQuestionKind), 1);
}

TEST(ShowDialogTest, LongMessagesWrapInsideTheTextArea) {
  const QString text = QString::fromUtf8("Operacja usunie wszystkie numery telefonów ze sterownika. Czy kontynuować?");
  Tdlgfm dialog(text, kQuestionKind, nullptr);
  auto* label = Find<QLabel>(&dialog, "Label1");
  ASSERT_TRUE(label->wordWrap());
  const QFontMetrics metrics(label->font());
  ASSERT_GT(metrics.horizontalAdvance(text), label->width());  // one line would not fit
  const QRect needed = metrics.boundingRect(label->rect(), Qt::TextWordWrap | Qt::AlignCenter, text);
  EXPECT_LE(needed.height(), label->height());
  EXPECT_GE(needed.height(), 2 * metrics.height());
  EXPECT_LE(label->geometry().right(), dialog.width());
}

TEST(PinDialogTest, StartsEmptyEveryTimeAndReturnsWhatWasTyped) {
  struct PinCase {
    const char* name;
    const char* typed;
    bool useButton;
  };
  const PinCase cases[] = {{"Enter at once", "", false},
                           {"typed then Enter", "1234", false},
                           {"typed then AKCEPTUJ", "98 76", true},
                           {"empty again", "", true}};
  for (const PinCase& c : cases) {
    WhenModalOpens([&](QWidget* modal) {
      auto* edit = Find<QLineEdit>(modal, "Edit1");
      EXPECT_TRUE(edit->text().isEmpty()) << c.name;
      EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
      QTest::keyClicks(edit, c.typed);
      QTest::keyClick(edit, Qt::Key_Escape);  // no cancel: the dialog stays
      EXPECT_TRUE(modal->isVisible()) << c.name;
      if (c.useButton) {
        Click(Find(modal, "Label28"));
      } else {
        QTest::keyClick(edit, Qt::Key_Return);
      }
    });
    EXPECT_EQ(AskPin(nullptr), QString::fromLatin1(c.typed)) << c.name;
  }
}

// A user who switches to another program to look up the day's code comes
// back to what was typed; only a new showing starts empty.
TEST(PinDialogTest, ReactivationKeepsTheTypedPinAndANewShowingEmptiesIt) {
  Tpinfm dialog(nullptr);
  dialog.show();
  auto* edit = Find<QLineEdit>(&dialog, "Edit1");
  edit->setText("5555");
  for (QEvent::Type type : {QEvent::WindowDeactivate, QEvent::WindowActivate}) {
    QEvent event(type);
    QApplication::sendEvent(&dialog, &event);
  }
  EXPECT_EQ(edit->text(), "5555");
  dialog.hide();
  dialog.show();
  EXPECT_TRUE(edit->text().isEmpty());
}

}  // namespace

namespace {

struct PinChangeCase {
  const char* name;
  std::function<void(QWidget* modal, QLineEdit* first, QLineEdit* second)> act;
  std::optional<QString> expected;
  bool mismatchShown;
};

TEST(PinChangeDialogTest, TakesAPinTypedTwiceAndLeavesOnEscape) {
  auto type = [](QLineEdit* edit, const char* text) { QTest::keyClicks(edit, text); };
  const PinChangeCase cases[] = {
      {"the same twice, Enter",
       [&](QWidget*, QLineEdit* first, QLineEdit* second) {
         type(first, "4321");
         QTest::keyClick(first, Qt::Key_Return);  // on to the second box
         EXPECT_EQ(second->window()->focusWidget(), second);
         type(second, "4321");
         QTest::keyClick(second, Qt::Key_Return);
       },
       QStringLiteral("4321"), false},
      {"the same twice, ZMIEŃ PIN",
       [&](QWidget* modal, QLineEdit* first, QLineEdit* second) {
         type(first, "77");
         type(second, "77");
         Click(Find(modal, "Label28"));
       },
       QStringLiteral("77"), false},
      {"Escape at once", [&](QWidget*, QLineEdit* first, QLineEdit*) { QTest::keyClick(first, Qt::Key_Escape); },
       std::nullopt, false},
      {"ANULUJ after typing",
       [&](QWidget* modal, QLineEdit* first, QLineEdit* second) {
         type(first, "1111");
         type(second, "1111");
         Click(Find(modal, "Label3"));
       },
       std::nullopt, false},
      {"a mismatch, then Escape",
       [&](QWidget* modal, QLineEdit* first, QLineEdit* second) {
         type(first, "1234");
         type(second, "1243");
         QTest::keyClick(second, Qt::Key_Return);
         EXPECT_TRUE(modal->isVisible());
         EXPECT_TRUE(first->text().isEmpty());
         EXPECT_TRUE(second->text().isEmpty());
         EXPECT_EQ(modal->focusWidget(), first);
         EXPECT_EQ(Find<QLabel>(modal, "LabelMismatch")->text(), QString::fromUtf8(TpinChange::kMismatch));
         QTest::keyClick(first, Qt::Key_Escape);
       },
       std::nullopt, true},
      {"a mismatch, then the same twice",
       [&](QWidget* modal, QLineEdit* first, QLineEdit* second) {
         type(first, "5555");
         Click(Find(modal, "Label28"));  // the second box still empty
         EXPECT_TRUE(modal->isVisible());
         type(first, "5556");
         type(second, "5556");
         Click(Find(modal, "Label28"));
       },
       QStringLiteral("5556"), true},
  };
  for (const PinChangeCase& c : cases) {
    bool mismatchShown = false;
    WhenModalOpens([&](QWidget* modal) {
      EXPECT_EQ(modal->objectName(), "pinchange") << c.name;
      auto* first = Find<QLineEdit>(modal, "EditNew");
      auto* second = Find<QLineEdit>(modal, "EditRepeat");
      EXPECT_EQ(first->echoMode(), QLineEdit::Password) << c.name;
      EXPECT_EQ(second->echoMode(), QLineEdit::Password) << c.name;
      EXPECT_EQ(modal->focusWidget(), first) << c.name;
      c.act(modal, first, second);
      mismatchShown = !Find<QLabel>(modal, "LabelMismatch")->text().isEmpty();
    });
    EXPECT_EQ(AskNewPin(nullptr), c.expected) << c.name;
    EXPECT_EQ(mismatchShown, c.mismatchShown) << c.name;
  }
}

}  // namespace
