#include "app/dlgostiv.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

#include "widgets/controls.h"
#include "widgets/pictures.h"
#include "core/user_interface.h"

namespace {

constexpr int kButtonWidth = 112;
constexpr int kButtonHeight = 34;
constexpr int kButtonTop = 92;

}  // namespace

Tdlgfm::Tdlgfm(const QString& text, int kind, QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("dlgfm"));
  setFixedSize(kWidth, kHeight);
  setModal(true);

  auto* background = new QLabel(this);
  background->setObjectName(QStringLiteral("background"));
  background->setPixmap(pictures::DialogBackground(size()));
  background->setGeometry(rect());

  auto* message = new QLabel(text, this);
  message->setObjectName(QStringLiteral("Label1"));
  message->setFont(pictures::Font(14, true));
  message->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  message->setAlignment(Qt::AlignCenter);
  message->setWordWrap(true);
  message->setGeometry(18, 14, 345, 70);

  const QPixmap accent = pictures::Button(QSize(kButtonWidth, kButtonHeight), pictures::ButtonStyle::kAccent);
  const QPixmap quiet = pictures::Button(QSize(kButtonWidth, kButtonHeight), pictures::ButtonStyle::kQuiet);
  const int middle = (kWidth - kButtonWidth) / 2;
  const PictureButton ok =
      MakePictureButton(this, "Image27", "Label28", "OK", QRect(middle, kButtonTop, kButtonWidth, kButtonHeight),
                        accent, pictures::kNavy, 8);
  const PictureButton yes =
      MakePictureButton(this, "Image1", "Label2", "TAK", QRect(middle - 66, kButtonTop, kButtonWidth, kButtonHeight),
                        accent, pictures::kNavy, 8);
  const PictureButton no =
      MakePictureButton(this, "Image2", "Label3", "NIE", QRect(middle + 66, kButtonTop, kButtonWidth, kButtonHeight),
                        quiet, pictures::kText, 8);
  // Only the captions answer; the pictures under them are decoration.
  connect(ok.caption, &ClickLabel::clicked, this, [this] { Answer(0); });
  connect(yes.caption, &ClickLabel::clicked, this, [this] { Answer(1); });
  connect(no.caption, &ClickLabel::clicked, this, [this] { Answer(0); });

  const bool question = question_ = kind == kQuestionKind;
  for (QWidget* w : {static_cast<QWidget*>(ok.picture), static_cast<QWidget*>(ok.caption)}) w->setVisible(!question);
  for (QWidget* w : {static_cast<QWidget*>(yes.picture), static_cast<QWidget*>(yes.caption),
                     static_cast<QWidget*>(no.picture), static_cast<QWidget*>(no.caption)}) {
    w->setVisible(question);
  }
  // The ring shows which button the keyboard presses.
  auto* ring = new QFrame(this);
  ring->setObjectName(QStringLiteral("focusRing"));
  ring->setGeometry((question ? yes.picture : ok.picture)->geometry().adjusted(-3, -3, 3, 3));
  ring->setStyleSheet(
      QStringLiteral("QFrame { border: 2px solid white; border-radius: 7px; background: transparent; }"));
  ring->setAttribute(Qt::WA_TransparentForMouseEvents);
  ring->lower();
  background->lower();

  setFocusPolicy(Qt::StrongFocus);
  CentreOver(this, parent);
}

void Tdlgfm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Frameless windows are not always given the keyboard by the window
  // manager; without it Enter would go nowhere.
  activateWindow();
  setFocus(Qt::ActiveWindowFocusReason);
}

void Tdlgfm::keyPressEvent(QKeyEvent* event) {
  // A key held down since the previous dialog must not answer this one.
  if (event->isAutoRepeat()) return;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: Answer(question_ ? 1 : 0); return;
    case Qt::Key_Escape: Answer(0); return;
    default: QDialog::keyPressEvent(event);
  }
}

void Tdlgfm::Answer(int result) {
  result_ = result;
  accept();
}

int ShowDialog(QWidget* parent, const QString& text, int kind) {
  Tdlgfm dialog(text, kind, parent);
  dialog.exec();
  return dialog.Result();
}
