#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

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
      {"notice OK", kNotice, "Label28", 0, {"Label28", "Image27"}, {"Label2", "Image1", "Label3", "Image2"}},
      {"notice of another kind", 7, "Label28", 0, {"Label28"}, {"Label2", "Label3"}},
      {"question TAK", kQuestion, "Label2", 1, {"Label2", "Image1", "Label3", "Image2"}, {"Label28", "Image27"}},
      {"question NIE", kQuestion, "Label3", 0, {"Label2", "Label3"}, {"Label28"}},
      {"question closed with Escape", kQuestion, "", 0, {"Label2", "Label3"}, {"Label28"}},
  };
  for (const DialogCase& c : cases) {
    bool checked = false;
    WhenModalOpens([&](QWidget* modal) {
      EXPECT_EQ(modal->objectName(), "dlgfm") << c.name;
      EXPECT_EQ(modal->size(), QSize(381, 139)) << c.name;
      EXPECT_TRUE(modal->windowFlags() & Qt::FramelessWindowHint) << c.name;
      EXPECT_EQ(Find<QLabel>(modal, "Label1")->text(), "Zapis") << c.name;
      for (const char* name : c.visible) EXPECT_TRUE(Find(modal, name)->isVisible()) << c.name << " " << name;
      for (const char* name : c.hidden) EXPECT_FALSE(Find(modal, name)->isVisible()) << c.name << " " << name;
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

TEST(ShowDialogTest, ButtonPicturesDoNotAnswer) {
  WhenModalOpens([](QWidget* modal) {
    Click(Find(modal, "Image1"));  // the picture under "TAK"
    EXPECT_TRUE(modal->isVisible());
    Click(Find(modal, "Label2"));
  });
  EXPECT_EQ(ShowDialog(nullptr, "Pytanie", kQuestion), 1);
}

TEST(ShowDialogTest, LongMessagesWrapInsideTheTextArea) {
  const QString text = QString::fromUtf8(
      "Operacja usunie wszystkie numery telefonów ze sterownika. Czy kontynuować?");
  Tdlgfm dialog(text, kQuestion, nullptr);
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
  const PinCase cases[] = {{"Enter at once", "", false}, {"typed then Enter", "1234", false},
                           {"typed then AKCEPTUJ", "98 76", true}, {"empty again", "", true}};
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
