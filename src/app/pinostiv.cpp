#include "app/pinostiv.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QLineEdit>

#include "widgets/controls.h"
#include "widgets/pictures.h"

namespace {

QLineEdit* PinEdit(QWidget* parent, const char* name, const QRect& rect) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setEchoMode(QLineEdit::Password);
  edit->setFont(pictures::Font(14));
  edit->setGeometry(rect);
  edit->setStyleSheet(
      QStringLiteral("QLineEdit { border: 1px solid rgb(120,150,200); border-radius: 4px; padding: 2px 6px;"
                     " background: white; color: rgb(0,42,102); lineedit-password-character: 42; }"
                     "QLineEdit:focus { border: 2px solid rgb(250,192,23); }"));
  return edit;
}

QLabel* Heading(QWidget* parent, const QString& text, const QRect& rect) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QStringLiteral("Label1"));
  label->setFont(pictures::Font(14, true));
  label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  label->setAlignment(Qt::AlignCenter);
  label->setGeometry(rect);
  return label;
}

QLabel* PinCaption(QWidget* parent, const QString& text, const QRect& rect) {
  auto* label = new QLabel(text, parent);
  label->setFont(pictures::Font(13, true));
  label->setStyleSheet(QStringLiteral("color: rgb(250,192,23); background: transparent;"));
  label->setGeometry(rect);
  return label;
}

}  // namespace

Tpinfm::Tpinfm(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("pinfm"));
  setFixedSize(kWidth, kHeight);
  setModal(true);

  auto* background = new QLabel(this);
  background->setPixmap(pictures::DialogBackground(size()));
  background->setGeometry(rect());

  Heading(this, QString::fromUtf8("Wprowadź PIN weryfikujący uprawnienia"), QRect(16, 14, kWidth - 32, 26));
  PinCaption(this, QStringLiteral("Pin"), QRect(40, 56, 40, 28))->setObjectName(QStringLiteral("Label2"));
  edit_ = PinEdit(this, "Edit1", QRect(84, 54, 254, 30));
  connect(edit_, &QLineEdit::returnPressed, this, &QDialog::accept);

  const PictureButton accept =
      MakePictureButton(this, "Image27", "Label28", "AKCEPTUJ", QRect((kWidth - 130) / 2, 94, 130, 32),
                        pictures::Button(QSize(130, 32), pictures::ButtonStyle::kAccent), pictures::kNavy, 7);
  connect(accept.caption, &ClickLabel::clicked, this, &QDialog::accept);

  CentreOver(this, owner);
}

QString Tpinfm::Text() const { return edit_->text(); }

bool Tpinfm::event(QEvent* event) {
  // Every showing starts from an empty box, so a PIN typed earlier is never
  // offered again. Only the showing: a user who switches to another program
  // to look up the day's code and comes back keeps what was typed.
  if (event->type() == QEvent::Show) {
    edit_->clear();
    // Frameless windows are not always given the keyboard by the window
    // manager; the PIN is typed straight away.
    activateWindow();
    edit_->setFocus();
  }
  return QDialog::event(event);
}

// Escape is no cancel here: from inside, only Enter and "AKCEPTUJ" close the
// dialog. Closing it from outside (the window manager) still answers with
// whatever the box holds.
void Tpinfm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) return;
  QDialog::keyPressEvent(event);
}

std::optional<QString> AskPin(QWidget* owner) {
  Tpinfm dialog(owner);
  if (dialog.exec() != QDialog::Accepted && dialog.Text().isEmpty()) return std::nullopt;
  return dialog.Text();
}

TpinChange::TpinChange(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("pinchange"));
  setFixedSize(kWidth, kHeight);
  setModal(true);

  auto* background = new QLabel(this);
  background->setPixmap(pictures::DialogBackground(size()));
  background->setGeometry(rect());

  Heading(this, QString::fromUtf8("Nowy PIN dostępu"), QRect(16, 10, kWidth - 32, 24));

  PinCaption(this, QString::fromUtf8("Nowy PIN"), QRect(24, 42, 110, 30));
  first_ = PinEdit(this, "EditNew", QRect(140, 42, 214, 30));
  PinCaption(this, QString::fromUtf8("Powtórz PIN"), QRect(24, 80, 110, 30));
  second_ = PinEdit(this, "EditRepeat", QRect(140, 80, 214, 30));

  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("LabelMismatch"));
  message_->setFont(pictures::Font(12, true));
  message_->setStyleSheet(QStringLiteral("color: rgb(255,170,160); background: transparent;"));
  message_->setAlignment(Qt::AlignCenter);
  message_->setWordWrap(true);
  message_->setGeometry(16, 114, kWidth - 32, 32);

  connect(first_, &QLineEdit::returnPressed, second_, qOverload<>(&QWidget::setFocus));
  connect(second_, &QLineEdit::returnPressed, this, &TpinChange::Take);

  const PictureButton take =
      MakePictureButton(this, "Image27", "Label28", QString::fromUtf8("ZMIEŃ PIN"), QRect(52, 152, 130, 32),
                        pictures::Button(QSize(130, 32), pictures::ButtonStyle::kAccent), pictures::kNavy, 7);
  connect(take.caption, &ClickLabel::clicked, this, &TpinChange::Take);
  const PictureButton cancel =
      MakePictureButton(this, "Image2", "Label3", QStringLiteral("ANULUJ"), QRect(196, 152, 130, 32),
                        pictures::Button(QSize(130, 32), pictures::ButtonStyle::kQuiet), pictures::kText, 7);
  connect(cancel.caption, &ClickLabel::clicked, this, &QDialog::reject);

  CentreOver(this, owner);
}

QString TpinChange::Text() const { return first_->text(); }

void TpinChange::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  activateWindow();
  first_->setFocus();
}

void TpinChange::Take() {
  if (first_->text() == second_->text()) {
    accept();
    return;
  }
  message_->setText(QString::fromUtf8(kMismatch));
  first_->clear();
  second_->clear();
  first_->setFocus();
}

std::optional<QString> AskNewPin(QWidget* owner) {
  TpinChange dialog(owner);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Text();
}
