#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <gtest/gtest.h>

#include "app/testing/window_test.h"
#include "widgets/controls.h"

namespace {

using AccessibilityTest = WindowTest;

bool Operable(const QWidget* w) {
  return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
         qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
         qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QTabWidget*>(w) ||
         qobject_cast<const QTabBar*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
         qobject_cast<const QTextEdit*>(w) || qobject_cast<const ClickLabel*>(w) ||
         (w->testAttribute(Qt::WA_SetCursor) && w->cursor().shape() == Qt::PointingHandCursor);
}

// Qt names the inner widgets of a control (a date field's text box, a grid's
// scroll bars) and of its popups itself.
bool InnerWidget(const QWidget* w, const QWidget* window) {
  if (w->isWindow() || w->objectName().startsWith(QLatin1String("qt_"))) return true;
  for (const QWidget* up = w->parentWidget(); up && up != window; up = up->parentWidget()) {
    if (up->isWindow() || Operable(up)) return true;
  }
  return false;
}

// What a screen reader calls the control: a button or clickable label by the
// caption Qt reads from it, anything else by the name it was given.
QString Announced(QWidget* w) {
  if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)) {
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
  }
  return w->accessibleName();
}

TEST_F(AccessibilityTest, EveryOperableControlHasAName) {
  QStringList unnamed;
  int controls = 0;
  for (QWidget* w : window_->findChildren<QWidget*>()) {
    if (!Operable(w) || InnerWidget(w, window_.get())) continue;
    ++controls;
    if (Announced(w).trimmed().isEmpty()) unnamed << w->metaObject()->className() + (u' ' + w->objectName());
  }
  EXPECT_GT(controls, 40);
  EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(u", ").toStdString();
}

TEST_F(AccessibilityTest, ControlsAreNamedByWhatTheUserSeesForThem) {
  const struct {
    const char* control;
    const char* name;
  } cases[] = {
      {"DBEdit1", "Imię"},                     // the caption above
      {"teladmin", "Telefon administratora"},  // above, not the "+48" at its left
      {"DateEdit1", "Ważność karty SIM"},      // the caption at its left
      {"ListBox1", "Wybierz port komunikacyjny COM"},
      {"DBEdit3", "Telefon"},                    // only "+48" and the surname's box near it
      {"Shape9", "Zaznacz wszystkie"},           // not the "Imię" title beside it
      {"butfindport", "Wyszukaj porty COM"},     // its tooltip
      {"Image25", "Polecenia listy telefonów"},  // its tooltip, not the tab caption it stands on
      {"Image13", "KONFIGURACJA"},               // the tab caption over the picture
      {"Image30", "ZAPISZ ZMIANY"},
      {"Image31", "ZAPISZ DO PLIKU"},  // the caption at the right of the icon
      {"imp_list", "IMPORTUJ LISTĘ TELEFONÓW"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Announced(W(c.control)).toStdString(), c.name) << c.control;
  }
}

TEST_F(AccessibilityTest, DescriptionsComeFromTheRoleOfTheControl) {
  const struct {
    const char* control;
    const char* description;
  } cases[] = {
      {"imp_list", "Polecenie z menu listy telefonów"},  // its menu's
      {"Image25", "Otwiera menu"},                       // not the tab's it stands on
      {"Image30", "Zapisuje konfigurację w bazie; gwiazdka na przycisku oznacza niezapisane zmiany"},  // its caption's
  };
  for (const auto& c : cases) {
    EXPECT_EQ(W(c.control)->accessibleDescription().toStdString(), c.description) << c.control;
  }
}

TEST_F(AccessibilityTest, AChangedCaptionIsReadAsShown) {
  window_->findChild<ClickLabel*>("but_szukaj")->clicked();
  EXPECT_EQ(Announced(W("but_add_poust_find")).toStdString(), "SZUKAJ TELEFON");
}

// Linux screen readers name a drop-down by the label it is labelled by,
// reading its accessible name as the value.
TEST_F(AccessibilityTest, DropDownsAreLabelledByTheirCaptions) {
  const struct {
    const char* control;
    const char* label;
  } cases[] = {{"listcom", "Port komunikacyjny COM"}, {"listczas", "Czas włączenia przekaźnika"}};
  for (const auto& c : cases) {
    const auto labels = QAccessible::queryAccessibleInterface(W(c.control))->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1) << c.control;
    EXPECT_EQ(labels[0].first->text(QAccessible::Name).toStdString(), c.label) << c.control;
  }
}

}  // namespace
