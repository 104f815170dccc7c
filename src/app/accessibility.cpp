#include "app/accessibility.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <algorithm>
#include <climits>

#include "widgets/controls.h"

namespace {

// Controls whose neighbours would name them wrongly or not at all (the
// select-all square stands beside the "Imię" column title, the phone box
// beside "+48" alone), and what a control's role adds to its name. A name
// left out is found as for any other control.
struct Entry {
  const char* objectNames;  // separated by blanks
  const char* name;
  const char* description;
};

const Entry kEntries[] = {
    {"Label1 Label2 Label3 Label4", nullptr, "Karta okna"},
    {"Image25 zap_menu_konfig", nullptr, "Otwiera menu"},
    {"MenuLista", nullptr, "Polecenie z menu listy telefonów"},
    {"menukonfig", nullptr, "Polecenie z menu sterownika"},
    {"but_zarzadzaj", nullptr, "Dodawanie i zmiana wierszy listy"},
    {"but_szukaj", nullptr, "Wyszukiwanie na liście"},
    {"DBEdit3", "Telefon", "Numer bez kierunkowego kraju"},
    {"DBEdit1_", nullptr, "Szuka wiersza, którego imię zaczyna się od wpisanego tekstu"},
    {"DBEdit2_", nullptr, "Szuka wiersza, którego nazwisko zaczyna się od wpisanego tekstu"},
    {"DBEdit3_", "Telefon", "Szuka wiersza, którego numer zaczyna się od wpisanych cyfr"},
    // The caption of this button changes with the mode; its picture and
    // sign must not keep the first one.
    {"Image22 Label23", "Polecenie wiersza", nullptr},
    {"but_add_poust_find", nullptr, "Dodaje telefon, zapisuje wpisany wiersz albo szuka, zależnie od trybu (Ctrl+N)"},
    {"Shape9", "Zaznacz wszystkie", "Zaznacza wszystkie wiersze listy albo zdejmuje wszystkie zaznaczenia"},
    {"Label25 Label26 Label27", nullptr, "Sortuje listę według tej kolumny"},
    {"RxDBGrid1", "Lista telefonów",
     "Imię, nazwisko i numer; czerwony numer nie jest potwierdzony przez sterownik, niebieski jest. "
     "Kliknięcie w pierwszej kolumnie zaznacza wiersz"},
    {"listcom", nullptr, "Port szeregowy, przez który konfigurator łączy się ze sterownikiem"},
    {"butfindport", nullptr, "Pokazuje porty szeregowe obecne w systemie"},
    {"ListBox1", nullptr, "Wybrany port staje się portem komunikacyjnym"},
    {"teladmin telster", nullptr, "Numer bez kierunkowego kraju"},
    {"zap_konfig", nullptr, "Zapisuje konfigurację w bazie; gwiazdka na przycisku oznacza niezapisane zmiany"},
    {"Log", nullptr, "Polecenia wysłane do sterownika i jego odpowiedzi"},
    {"zapisz_dopliku", nullptr, "Zapisuje logi urządzenia w pliku log.txt"},
    {"pobierz_wpisy", nullptr, "Pobiera ze sterownika wpisy dziennika zdarzeń"},
    {"RxDBGrid2", "Raport", "Pobrane wpisy dziennika zdarzeń sterownika, najnowsze na górze"},
    {"Label28", nullptr, "Przerywa trwające polecenie"},
};

// The first entry for the object with `what` (its name or its description).
QString Lookup(const QObject* object, const char* Entry::*what) {
  if (!object || object->objectName().isEmpty()) return QString();
  for (const Entry& entry : kEntries) {
    if (entry.*what && QString::fromLatin1(entry.objectNames).split(u' ').contains(object->objectName())) {
      return QString::fromUtf8(entry.*what);
    }
  }
  return QString();
}

// Text a user reads as a caption: words, not a "+48" or a "*".
bool IsWords(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
}

// A caption as spoken: without mnemonic marks ("&&" is a plain "&") or line breaks.
QString Spoken(const QString& text) {
  QString spoken;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    spoken += text[i];
  }
  return spoken.simplified();
}

enum class Kind {
  kNone,
  kField,    // takes or shows data: named by the caption before it
  kPressed,  // pressed or clicked: named by its caption, tooltip or picture's caption
};

Kind KindOf(const QWidget* widget) {
  if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QComboBox*>(widget) ||
      qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const QAbstractItemView*>(widget) ||
      qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
      qobject_cast<const QTabWidget*>(widget) || qobject_cast<const QTabBar*>(widget)) {
    return Kind::kField;
  }
  if (qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const ClickLabel*>(widget)) return Kind::kPressed;
  // The window marks everything that reacts to a click with the pointing hand.
  if (widget->testAttribute(Qt::WA_SetCursor) && widget->cursor().shape() == Qt::PointingHandCursor) {
    return Kind::kPressed;
  }
  return Kind::kNone;
}

QString OwnCaption(const QWidget* widget) {
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  return QString();
}

// A piece of another control (a date field's text box, a grid's header or
// scroll bar) or of another window (a drop-down's list, the calendar):
// named by Qt with the control it belongs to, or not in this window.
bool IsInnerWidget(const QWidget* widget, const QWidget* root) {
  if (widget->isWindow() || widget->objectName().startsWith(QLatin1String("qt_"))) return true;
  for (const QWidget* up = widget->parentWidget(); up && up != root; up = up->parentWidget()) {
    if (up->isWindow() || KindOf(up) != Kind::kNone) return true;
  }
  return false;
}

// The labels beside `control` with words on them.
QList<QLabel*> CaptionsBeside(const QWidget* control) {
  QList<QLabel*> captions;
  if (!control->parentWidget()) return captions;
  for (QLabel* label : control->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    if (label != control && IsWords(label->text())) captions.append(label);
  }
  return captions;
}

// Pixels between a control and a caption that still belongs to it.
constexpr int kNear = 12;

// The caption standing just before the control: at its left in the same
// row, or above it in the same column.
QLabel* CaptionBefore(const QWidget* control, const QList<QLabel*>& captions) {
  const QRect at = control->geometry();
  QLabel* nearest = nullptr;
  int nearestGap = kNear + 1;
  for (QLabel* caption : captions) {
    const QRect c = caption->geometry();
    int gap = INT_MAX;
    if (c.right() < at.left() && c.top() <= at.bottom() && c.bottom() >= at.top()) {
      gap = at.left() - c.right() - 1;
    } else if (c.bottom() < at.top() && c.left() <= at.right() && c.right() >= at.left()) {
      gap = at.top() - c.bottom() - 1;
    }
    if (gap < nearestGap) {
      nearest = caption;
      nearestGap = gap;
    }
  }
  return nearest;
}

// The caption a picture carries: the one over it (the most of it, if
// several), else one starting just at its right (an icon before its words).
QLabel* CaptionCarried(const QWidget* picture, const QList<QLabel*>& captions) {
  const QRect at = picture->geometry();
  QLabel* best = nullptr;
  qint64 bestArea = 0;
  for (QLabel* caption : captions) {
    const QRect common = at.intersected(caption->geometry());
    const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
    if (area > bestArea) {
      best = caption;
      bestArea = area;
    }
  }
  if (best) return best;
  for (QLabel* caption : captions) {
    const QRect c = caption->geometry();
    const int gap = c.left() - at.right() - 1;
    if (gap >= 0 && gap <= kNear && c.top() <= at.bottom() && c.bottom() >= at.top()) return caption;
  }
  return nullptr;
}

QLabel* BuddyOf(const QWidget* control, const QList<QLabel*>& captions) {
  for (QLabel* caption : captions) {
    if (caption->buddy() == control) return caption;
  }
  return nullptr;
}

QString Placeholder(const QWidget* field) {
  if (const auto* edit = qobject_cast<const QLineEdit*>(field)) return edit->placeholderText();
  if (const auto* memo = qobject_cast<const QPlainTextEdit*>(field)) return memo->placeholderText();
  if (const auto* memo = qobject_cast<const QTextEdit*>(field)) return memo->placeholderText();
  return QString();
}

QString FieldName(const QWidget* field, const QList<QLabel*>& captions) {
  QString name = Lookup(field, &Entry::name);
  if (!name.isEmpty()) return name;
  if (QLabel* buddy = BuddyOf(field, captions)) return Spoken(buddy->text());
  if (QLabel* caption = CaptionBefore(field, captions)) return Spoken(caption->text());
  if (!field->toolTip().isEmpty()) return field->toolTip();
  return Placeholder(field);
}

QString PressedName(const QWidget* control, const QList<QLabel*>& captions) {
  QString name = Lookup(control, &Entry::name);
  if (!name.isEmpty()) return name;
  // A tooltip first: a menu's arrow stands on its tab's caption, yet is
  // not the tab.
  if (!control->toolTip().isEmpty()) return control->toolTip();
  if (QLabel* caption = CaptionCarried(control, captions)) return Spoken(caption->text());
  if (QLabel* caption = CaptionBefore(control, captions)) return Spoken(caption->text());
  return QString();
}

// What the role of the control adds to its name: its own entry, the entry
// of the caption it carries (a picture is one button with its caption) or
// of what holds it (a menu).
QString Description(const QWidget* control, Kind kind, const QList<QLabel*>& captions) {
  QString description = Lookup(control, &Entry::description);
  // Only where the caption named it: a menu's arrow on a tab is no tab.
  if (description.isEmpty() && kind == Kind::kPressed && !IsWords(OwnCaption(control)) &&
      Lookup(control, &Entry::name).isEmpty() && control->toolTip().isEmpty()) {
    description = Lookup(CaptionCarried(control, captions), &Entry::description);
  }
  if (description.isEmpty()) description = Lookup(control->parentWidget(), &Entry::description);
  return description;
}

}  // namespace

void NameControlsForAssistiveTools(QWidget* root) {
  for (QWidget* control : root->findChildren<QWidget*>()) {
    const Kind kind = KindOf(control);
    if (kind == Kind::kNone || IsInnerWidget(control, root)) continue;
    const QList<QLabel*> captions = CaptionsBeside(control);
    // A caption of its own is read by Qt as it stands, changed or translated.
    if (control->accessibleName().isEmpty() && !IsWords(OwnCaption(control))) {
      control->setAccessibleName(kind == Kind::kField ? FieldName(control, captions) : PressedName(control, captions));
    }
    // Linux screen readers name a drop-down by the label it is labelled by,
    // taking its accessible name for its value; the label is its buddy.
    if (kind == Kind::kField && !BuddyOf(control, captions) && Lookup(control, &Entry::name).isEmpty()) {
      QLabel* caption = CaptionBefore(control, captions);
      if (caption && !caption->buddy()) caption->setBuddy(control);
    }
    if (control->accessibleDescription().isEmpty()) {
      control->setAccessibleDescription(Description(control, kind, captions));
    }
  }
}
