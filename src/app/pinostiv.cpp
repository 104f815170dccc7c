#include "app/pinostiv.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QLineEdit>

#include "widgets/controls.h"
#include "widgets/pictures.h"

Tpinfm::Tpinfm(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("pinfm"));
  setFixedSize(kWidth, kHeight);
  setModal(true);

  auto* background = new QLabel(this);
  background->setPixmap(pictures::DialogBackground(size()));
  background->setGeometry(rect());

  auto* heading = new QLabel(QString::fromUtf8("Wprowadź PIN weryfikujacy uprawnienia"), this);
  heading->setObjectName(QStringLiteral("Label1"));
  heading->setFont(pictures::Font(14, true));
  heading->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  heading->setAlignment(Qt::AlignCenter);
  heading->setGeometry(16, 14, kWidth - 32, 26);

  auto* pin = new QLabel(QStringLiteral("Pin"), this);
  pin->setObjectName(QStringLiteral("Label2"));
  pin->setFont(pictures::Font(13, true));
  pin->setStyleSheet(QStringLiteral("color: rgb(250,192,23); background: transparent;"));
  pin->setGeometry(40, 56, 40, 28);

  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("Edit1"));
  edit_->setEchoMode(QLineEdit::Password);
  edit_->setFont(pictures::Font(14));
  edit_->setGeometry(84, 54, 254, 30);
  edit_->setStyleSheet(QStringLiteral(
      "QLineEdit { border: 1px solid rgb(120,150,200); border-radius: 4px; padding: 2px 6px;"
      " background: white; color: rgb(0,42,102); lineedit-password-character: 42; }"
      "QLineEdit:focus { border: 2px solid rgb(250,192,23); }"));
  connect(edit_, &QLineEdit::returnPressed, this, &QDialog::accept);

  const PictureButton accept =
      MakePictureButton(this, "Image27", "Label28", "AKCEPTUJ", QRect((kWidth - 130) / 2, 94, 130, 32),
                        pictures::Button(QSize(130, 32), pictures::ButtonStyle::kAccent), pictures::kNavy, 7);
  connect(accept.caption, &ClickLabel::clicked, this, &QDialog::accept);

  const QRect over = owner ? owner->window()->geometry() : screen()->availableGeometry();
  move(over.center() - QPoint(kWidth / 2, kHeight / 2));
}

QString Tpinfm::Text() const { return edit_->text(); }

bool Tpinfm::event(QEvent* event) {
  // Every showing starts from an empty box, so a PIN typed earlier is never
  // offered again. Only the showing: a user who switches to another program
  // to look up the day's code and comes back keeps what was typed.
  if (event->type() == QEvent::Show) {
    edit_->clear();
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

QString AskPin(QWidget* owner) {
  Tpinfm dialog(owner);
  dialog.exec();
  return dialog.Text();
}
