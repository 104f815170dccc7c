#include "app/app_setup.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/dlgostiv.h"
#include "app/main_window.h"
#include "app/testing/window_test.h"
#include "core/access_lock.h"
#include "core/session.h"
#include "widgets/pictures.h"

// A program of its own: the set-up changes the whole application (style,
// font, locale, translators), which other tests must not inherit.
namespace {

class AppSetupTest : public WindowTest {
 protected:
  static void SetUpTestSuite() { SetUpApplication(*qApp); }
};

TEST_F(AppSetupTest, QtsOwnDialogTextsArePolish) {
  struct TextCase {
    const char* context;
    const char* english;
  };
  // Texts of the file dialogs and the standard buttons.
  const TextCase cases[] = {{"QFileDialog", "Save As"},
                            {"QFileDialog", "&Save"},
                            {"QFileDialog", "File &name:"},
                            {"QPlatformTheme", "Cancel"},
                            {"QPlatformTheme", "&Yes"}};
  for (const TextCase& c : cases) {
    const QString shown = QCoreApplication::translate(c.context, c.english);
    EXPECT_NE(shown, QString::fromLatin1(c.english)) << c.context << " " << c.english;
  }
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Anuluj");
  EXPECT_EQ(QLocale().dayName(1, QLocale::LongFormat), QString::fromUtf8("poniedziałek"));
}

// Labels, boxes, drop-downs, the date field, the calendar and the message
// boxes in one family; only the device log is monospace.
TEST_F(AppSetupTest, LabelsAndInputsShareOneFontFamily) {
  TForm1& window = *window_;
  const QString family = QFontInfo(pictures::Font(12)).family();
  std::vector<QWidget*> widgets;
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (w->objectName() == "Log") continue;
    if (qobject_cast<QLabel*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)) widgets.push_back(w);
  }
  auto* date = window.findChild<QDateEdit*>(QStringLiteral("DateEdit1"));
  widgets.push_back(date->calendarWidget());
  widgets.push_back(window.findChild<QComboBox*>(QStringLiteral("listczas"))->view());
  Tdlgfm box(QStringLiteral("Zapis"), kNoticeKind, &window);
  widgets.push_back(&box);
  ASSERT_GT(widgets.size(), 30u);
  for (QWidget* w : widgets) {
    if (qobject_cast<QLabel*>(w) && static_cast<QLabel*>(w)->text().isEmpty()) continue;  // pictures
    EXPECT_EQ(QFontInfo(w->font()).family(), family)
        << w->metaObject()->className() << " " << w->objectName().toStdString();
  }
}

}  // namespace
