#include "app/app_setup.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
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

// A dark desktop theme, as a platform theme would hand it over, before the
// set-up: nothing of it may reach the window.
QPalette DarkTheme() {
  QPalette dark;
  for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::AlternateBase}) {
    dark.setColor(role, QColor(30, 30, 30));
  }
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    dark.setColor(role, QColor(230, 230, 230));
  }
  return dark;
}

class AppSetupTest : public WindowTest {
 protected:
  static void SetUpTestSuite() {
    QApplication::setPalette(DarkTheme());
    SetUpApplication(*qApp);
  }
};

// The drop-down lists, the calendar and the boxes draw dark text on light
// ground whatever the desktop's theme.
TEST_F(AppSetupTest, ADarkDesktopThemeChangesNothingInTheWindow) {
  auto* relay = Find<QComboBox>(window_.get(), "listczas");
  auto* calendar = Find<QDateEdit>(window_.get(), "DateEdit1")->calendarWidget();
  for (QWidget* widget : {static_cast<QWidget*>(relay->view()), static_cast<QWidget*>(calendar),
                          static_cast<QWidget*>(Find(window_.get(), "teladmin"))}) {
    const QPalette palette = widget->palette();
    EXPECT_GT(palette.color(QPalette::Base).lightness(), 200) << widget->metaObject()->className();
    EXPECT_LT(palette.color(QPalette::Text).lightness(), 100) << widget->metaObject()->className();
  }
}

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
