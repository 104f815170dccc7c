#include "app/settings_view.h"

#include <algorithm>

#include <QDateEdit>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QToolButton>

#include "core/session.h"
#include "core/user_interface.h"
#include "serial/link.h"
#include "widgets/controls.h"
#include "widgets/pictures.h"
#include "widgets/view_parts.h"

namespace {

// The SIM date box. Typing over the whole date takes the date as typed: the
// picker's own editing checks each digit against the other sections as they
// stand, so 31.01.2027 typed over a date in February came out as another
// day. Digits and separators typed over a full selection are gathered as
// they come and read as a date as soon as they make one (or when the box is
// left or Enter pressed); editing a single section stays the picker's.
class SimDateEdit : public DateField {
 public:
  using DateField::DateField;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const QString text = event->text();
    const bool digit = text.size() == 1 && text[0].isDigit();
    const bool separator = text.size() == 1 && QStringLiteral("./- ").contains(text[0]);
    if (!typing_ && digit && WholeTextSelected()) {
      typing_ = true;
      typed_.clear();
    }
    if (!typing_) {
      DateField::keyPressEvent(event);
      return;
    }
    if (digit || separator) {
      typed_ += text;
      ShowTyped();
      // A whole date with its four-digit year needs nothing more.
      if (TypedDate(true).isValid()) Finish();
      return;
    }
    switch (event->key()) {
      case Qt::Key_Backspace:
        typed_.chop(1);
        ShowTyped();
        return;
      case Qt::Key_Escape:
        typing_ = false;
        setDate(date());  // shows the date that was there
        return;
      default: Finish(); DateField::keyPressEvent(event);
    }
  }

  void focusOutEvent(QFocusEvent* event) override {
    if (typing_) Finish();
    DateField::focusOutEvent(event);
  }

 private:
  bool WholeTextSelected() const {
    const QLineEdit* edit = lineEdit();
    return !edit->text().isEmpty() && edit->selectedText() == edit->text();
  }

  // The typed text in the box, untouched by the picker's checks.
  void ShowTyped() {
    QSignalBlocker still(lineEdit());
    lineEdit()->setText(typed_);
    lineEdit()->setCursorPosition(int(typed_.size()));
  }

  // The typed day, month and year in the display format's order: three
  // numbers apart, or eight digits together. `whole`: only a four-digit year.
  QDate TypedDate(bool whole) const {
    QStringList parts = typed_.split(QRegularExpression(QStringLiteral("\\D+")), Qt::SkipEmptyParts);
    const QString format = displayFormat();
    struct Part {
      qsizetype at;
      char kind;
    };
    Part order[3] = {{format.indexOf(u'd'), 'd'}, {format.indexOf(u'M'), 'M'}, {format.indexOf(u'y'), 'y'}};
    std::sort(std::begin(order), std::end(order), [](const Part& a, const Part& b) { return a.at < b.at; });
    if (parts.size() == 1 && parts[0].size() == 8) {
      const QString digits = parts[0];
      parts.clear();
      qsizetype from = 0;
      for (const Part& section : order) {
        const qsizetype width = section.kind == 'y' ? 4 : 2;
        parts.append(digits.mid(from, width));
        from += width;
      }
    }
    if (parts.size() != 3) return QDate();
    int day = 0, month = 0, year = 0;
    for (int i = 0; i < 3; ++i) {
      if (order[i].kind == 'y' && parts[i].size() != 4 && (whole || parts[i].size() != 2)) return QDate();
      const int value = parts[i].toInt();
      (order[i].kind == 'd' ? day : order[i].kind == 'M' ? month : year) = value;
    }
    if (year < 100) year += 2000;
    return QDate(year, month, day);
  }

  // Takes the typed date when it is one; otherwise the date that was there
  // comes back.
  void Finish() {
    typing_ = false;
    const QDate typed = TypedDate(false);
    setDate(typed.isValid() ? typed : date());
  }

  bool typing_ = false;
  QString typed_;
};

}  // namespace

SettingsView::SettingsView(ViewPanel* left, ViewPanel* right, QWidget* window, Session& session, UserInterface& ui,
                           std::function<void()> showView, QObject* parent)
    : QObject(parent), window_(window), session_(session), ui_(ui), showView_(std::move(showView)) {
  Caption(left, "Label11", QStringLiteral("Port komunikacyjny COM"), QRect(12, 54, 178, 18));
  listcom_ = new DropDown(left);
  listcom_->setObjectName(QStringLiteral("listcom"));
  listcom_->setGeometry(12, 72, 138, 30);
  listcom_->setFont(pictures::Font(13));
  butfindport_ = new QToolButton(left);
  butfindport_->setObjectName(QStringLiteral("butfindport"));
  butfindport_->setGeometry(156, 72, 34, 30);
  butfindport_->setIcon(QIcon(pictures::SearchGlyph(QSize(34, 30))));
  butfindport_->setIconSize(QSize(34, 30));
  butfindport_->setToolTip(QString::fromUtf8("Wyszukaj porty COM"));
  butfindport_->setCursor(Qt::PointingHandCursor);

  // The phone boxes have no limit of their own: one would cut a number typed
  // or pasted with blanks and dashes; the save checks its nine digits once
  // they are gone.
  Caption(left, "Label12", QStringLiteral("Telefon administratora"), QRect(12, 114, 178, 18));
  CountryCode(left, "Label13", QRect(12, 132, 42, 30));
  teladmin_ = Edit(left, "teladmin", QRect(58, 132, 132, 30), 0);
  Caption(left, "Label14", QStringLiteral("Telefon sterownika"), QRect(12, 174, 178, 18));
  CountryCode(left, "Label15", QRect(12, 192, 42, 30));
  telster_ = Edit(left, "telster", QRect(58, 192, 132, 30), 0);

  Caption(left, "Label16", QString::fromUtf8("Czas włączenia przekaźnika"), QRect(12, 234, 178, 18));
  listczas_ = new DropDown(left);
  listczas_->setObjectName(QStringLiteral("listczas"));
  listczas_->setGeometry(12, 252, 178, 30);
  listczas_->setFont(pictures::Font(13));
  for (const char* item : kRelayTimes) listczas_->addItem(QString::fromLatin1(item));
  listczas_->setCurrentIndex(1);
  // Closing either list marks the view, changed or not; so does typing a phone.
  connect(listcom_, &DropDown::closedUp, this, &SettingsView::listcomCloseUp);
  connect(listczas_, &DropDown::closedUp, this, &SettingsView::MarkSettingsChanged);
  connect(teladmin_, &QLineEdit::textEdited, this, &SettingsView::MarkSettingsChanged);
  connect(telster_, &QLineEdit::textEdited, this, &SettingsView::MarkSettingsChanged);

  // "ZAPISZ ZMIANY": the picture stands 7 above the caption, left edges aligned.
  const PictureButton save =
      MakePictureButton(left, "Image30", "zap_konfig", "ZAPISZ ZMIANY", QRect(12, 300, 178, 38),
                        pictures::Button(QSize(178, 38), pictures::ButtonStyle::kPrimary), Qt::white, 9);
  Image30_ = save.picture;
  zap_konfig_ = save.caption;
  zap_konfig_->setGeometry(12, 307, 178, 22);
  connect(zap_konfig_, &ClickLabel::clicked, this, &SettingsView::zap_konfigClick);
  connect(Image30_, &ClickLabel::clicked, this, &SettingsView::zap_konfigClick);
  connect(zap_konfig_, &ClickLabel::pressed, this, &SettingsView::zap_konfigMouseDown);
  connect(zap_konfig_, &ClickLabel::released, this, &SettingsView::zap_konfigMouseUp);
  zap_konf_ = new QLabel(QStringLiteral("*"), left);
  zap_konf_->setObjectName(QStringLiteral("zap_konf"));
  zap_konf_->setFont(pictures::Font(20, true));
  zap_konf_->setStyleSheet(QStringLiteral("color: rgb(250,192,23); background: transparent;"));
  zap_konf_->setGeometry(22, 307, 16, 22);
  zap_konf_->setAttribute(Qt::WA_TransparentForMouseEvents);
  zap_konf_->hide();

  Caption(right, "Label17", QString::fromUtf8("Ważność karty SIM"), QRect(440, 11, 180, 18), 12, false)
      ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  DateEdit1_ = new SimDateEdit(QDate::currentDate(), right);
  DateEdit1_->setObjectName(QStringLiteral("DateEdit1"));
  // The system's short date, always with a four-digit year; where no locale
  // is set at all, the Polish one the program is made for.
  QLocale locale = QLocale::system();
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::Polish, QLocale::Poland);
  QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
  if (!dateFormat.contains(QLatin1String("yyyy"))) dateFormat.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  DateEdit1_->setDisplayFormat(dateFormat);
  DateEdit1_->setGeometry(630, 6, 135, 28);
  DateEdit1_->setFont(pictures::Font(13));
  // A date the user picks or types is a change to save; one loaded is not,
  // and neither is Enter, which has the picker announce the date it holds.
  dateShown_ = DateEdit1_->date();
  connect(DateEdit1_, &QDateEdit::dateChanged, this, [this](const QDate& date) {
    if (date == dateShown_) return;
    dateShown_ = date;
    MarkSettingsChanged();
  });

  Caption(right, "Label18", QString::fromUtf8("Logi urządzenia"), QRect(12, 50, 300, 20));
  Log_ = new QPlainTextEdit(right);
  Log_->setObjectName(QStringLiteral("Log"));
  Log_->setReadOnly(true);
  Log_->setFont(QFont(QStringLiteral("Liberation Mono"), 10));
  Log_->setGeometry(12, 72, 753, 360);
  Log_->setPlaceholderText(QString::fromUtf8("Tu pojawią się polecenia wysłane do sterownika i jego odpowiedzi."));

  auto* disk = new ClickLabel(right);
  disk->setObjectName(QStringLiteral("Image31"));
  disk->setPixmap(pictures::DiskGlyph(QSize(22, 22)));
  disk->setGeometry(12, 444, 22, 22);
  disk->setCursor(Qt::PointingHandCursor);
  auto* saveLog = new ClickLabel(right);
  saveLog->setObjectName(QStringLiteral("zapisz_dopliku"));
  saveLog->setText(QStringLiteral("ZAPISZ DO PLIKU"));
  saveLog->setFont(pictures::Font(12, true));
  saveLog->setStyleSheet(QStringLiteral("color: rgb(1,81,178); background: transparent;"));
  saveLog->setGeometry(42, 444, 200, 22);
  saveLog->setCursor(Qt::PointingHandCursor);
  connect(saveLog, &ClickLabel::clicked, this, &SettingsView::zapisz_doplikuClick);
  connect(disk, &ClickLabel::clicked, this, &SettingsView::zapisz_doplikuClick);

  panel_com_ = new PickerPanel(QStringLiteral("panel_com"), QStringLiteral("Wybierz port komunikacyjny COM"), window);
  panel_com_->AddOpener(butfindport_);
  connect(butfindport_, &QToolButton::clicked, this, &SettingsView::butfindportClick);
  connect(panel_com_->list(), &QListWidget::itemClicked, this, &SettingsView::ListBox1Click);
  zapKonfigRest_ = zap_konfig_->pos();
}

void SettingsView::LoadSettingsView(int viewKey) {
  RunCommand(ui_, [&] { ::LoadSettingsView(session_, *this, viewKey); });
}

void SettingsView::zap_konfigClick() {
  if (!SaveSettingsView()) return;
  zap_konf_->hide();
  session_.UnsavedChanges = false;
}

// The port is what every command to the controller needs first, before
// any phone is known: it is stored as chosen, as the picker stores it,
// without "ZAPISZ ZMIANY".
void SettingsView::listcomCloseUp() {
  if (listcom_->currentIndex() < 0) return;
  RunCommand(ui_, [this] { UpsertSetting(session_, kKeyPort, QString::number(listcom_->currentIndex() + 1)); });
}

void SettingsView::MarkSettingsChanged() {
  zap_konf_->show();
  session_.UnsavedChanges = true;
}

QString SettingsView::Phone(Field field) const { return (field == Field::kAdminPhone ? teladmin_ : telster_)->text(); }

void SettingsView::SetPhone(Field field, const QString& text) {
  (field == Field::kAdminPhone ? teladmin_ : telster_)->setText(text);
}

int SettingsView::PortIndex() const { return listcom_->currentIndex(); }

void SettingsView::SetPortIndex(int index) { listcom_->setCurrentIndex(index); }

int SettingsView::RelayIndex() const { return listczas_->currentIndex(); }

void SettingsView::SetRelayIndex(int index) { listczas_->setCurrentIndex(index); }

QString SettingsView::DateText() const { return DateEdit1_->text(); }

void SettingsView::SetDateText(const QString& text) {
  const QDate date = QDate::fromString(text, DateEdit1_->displayFormat());
  // A text the picker cannot show leaves its date as it was.
  if (!date.isValid()) return;
  // Shown before it is set, so the change it makes marks nothing.
  dateShown_ = date;
  DateEdit1_->setDate(date);
}

QDate SettingsView::Date() const { return QDate::fromString(DateEdit1_->text(), DateEdit1_->displayFormat()); }

void SettingsView::ShowSaved() { zap_konf_->hide(); }

void SettingsView::ShowField(Field field) {
  showView_();
  (field == Field::kAdminPhone ? teladmin_ : telster_)->setFocus();
}

void SettingsView::zap_konfigMouseDown() {
  zap_konfig_->move(zapKonfigRest_ + QPoint(2, 2));
  Image30_->move(zapKonfigRest_.x() + 2, zapKonfigRest_.y() - 5);
}

void SettingsView::zap_konfigMouseUp() {
  zap_konfig_->move(zapKonfigRest_);
  Image30_->move(zapKonfigRest_.x(), zapKonfigRest_.y() - 7);
}

bool SettingsView::SaveSettingsView() {
  bool saved = false;
  RunCommand(ui_, [&] { saved = ::SaveSettingsView(session_, ui_, *this); });
  return saved;
}

void SettingsView::butfindportClick() {
  portEntries_ = EnumerateSerialPorts(session_.FilePath(kSettingsFileName));
  QListWidget* list = panel_com_->list();
  list->clear();
  // Beside the search button: 20 to the right of it, 5 below its top.
  const QRect button(butfindport_->mapTo(panel_com_->parentWidget(), QPoint(0, 0)), butfindport_->size());
  panel_com_->move(button.right() + 1 + 20, button.top() + 5);
  for (const PortEntry& entry : portEntries_) list->addItem(entry.text);
  panel_com_->raise();
  panel_com_->show();
}

void SettingsView::ListBox1Click(QListWidgetItem* item) {
  QListWidget* list = panel_com_->list();
  const int row = item ? list->row(item) : -1;
  if (row >= 0) {
    const QString name = item->text().section(u':', 0, 0);
    listcom_->setCurrentIndex(listcom_->findText(name, Qt::MatchExactly));
    const PortEntry& entry = portEntries_.value(row);
    // A device picked under a number of its own keeps that number from now on.
    QString problem;
    if (entry.newAlias && entry.number <= kPortCount &&
        !RememberPortAlias(session_.FilePath(kSettingsFileName), entry.number, entry.device, &problem)) {
      ui_.ShowNotice(problem);
    }
  }
  panel_com_->hide();
  RunCommand(ui_, [this] { UpsertSetting(session_, kKeyPort, QString::number(listcom_->currentIndex() + 1)); });
}

void SettingsView::zapisz_doplikuClick() {
  const QString text = Log_->toPlainText();
  const QString path = QDir::toNativeSeparators(session_.FilePath(kDeviceLogFileName));
  if (SaveLogFile(path, text.isEmpty() ? QStringList() : text.split(u'\n'))) {
    if (tell) tell(QString::fromUtf8("Zapisano logi urządzenia w pliku %1").arg(path));
  } else {
    ui_.ShowError(QString::fromUtf8("Nie można zapisać logów urządzenia w pliku %1").arg(path));
  }
}

void SettingsView::Activate() {
  listcom_->clear();
  for (int n = 1; n <= kPortCount; ++n) listcom_->addItem(QStringLiteral("COM%1").arg(n));
  // No port is chosen until the settings or the user choose one.
  listcom_->setCurrentIndex(-1);
}

void SettingsView::AppendLog(const QString& line) { Log_->appendPlainText(line); }
