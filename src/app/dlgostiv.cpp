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
  struct ButtonPlan {
    const char* picture;
    const char* caption;
    const char* text;
    int answer;
    bool accent;
    bool keyed;  // its first letter, underlined, moves the ring to it
  };
  std::vector<ButtonPlan> plans;
  std::vector<int> lefts;
  int ringed = 0;
  if (kind == kCloseQuestionKind) {
    plans = {{"Image1", "Label2", "TAK", 1, true, true},
             {"Image2", "Label3", "NIE", 0, false, true},
             {"Image3", "Label4", "ANULUJ", kCancelAnswer, false, true}};
    lefts = {middle - 118, middle, middle + 118};
    escape_ = kCancelAnswer;
  } else if (kind == kQuestionKind || kind == kCautiousQuestionKind) {
    plans = {{"Image1", "Label2", "TAK", 1, true, true}, {"Image2", "Label3", "NIE", 0, false, true}};
    lefts = {middle - 66, middle + 66};
    ringed = kind == kCautiousQuestionKind ? 1 : 0;
  } else {
    plans = {{"Image27", "Label28", "OK", 0, true, false}};
    lefts = {middle};
  }
  for (size_t i = 0; i < plans.size(); ++i) {
    const ButtonPlan& plan = plans[i];
    const QString word = QString::fromLatin1(plan.text);
    const QChar letter = plan.keyed ? word.at(0) : QChar();
    const QString caption = plan.keyed ? QStringLiteral("<u>%1</u>%2").arg(letter).arg(word.mid(1)) : word;
    const PictureButton button = MakePictureButton(
        this, plan.picture, plan.caption, caption,
        QRect(lefts[i], kButtonTop, kButtonWidth, kButtonHeight), plan.accent ? accent : quiet,
        plan.accent ? pictures::kNavy : pictures::kText, 8);
    // Only the captions answer; the pictures under them are decoration.
    const int answer = plan.answer;
    connect(button.caption, &ClickLabel::clicked, this, [this, answer] { Answer(answer); });
    buttons_.push_back({button.picture, answer, letter});
  }

  ring_ = new QFrame(this);
  ring_->setObjectName(QStringLiteral("focusRing"));
  ring_->setStyleSheet(
      QStringLiteral("QFrame { border: 2px solid white; border-radius: 7px; background: transparent; }"));
  ring_->setAttribute(Qt::WA_TransparentForMouseEvents);
  MoveRing(ringed);
  background->lower();

  setFocusPolicy(Qt::StrongFocus);
  CentreOver(this, parent);
}

void Tdlgfm::MoveRing(int index) {
  focus_ = index;
  ring_->setGeometry(buttons_[size_t(index)].picture->geometry().adjusted(-3, -3, 3, 3));
  ring_->lower();
}

void Tdlgfm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Frameless windows are not always given the keyboard by the window
  // manager; without it Enter would go nowhere.
  activateWindow();
  setFocus(Qt::ActiveWindowFocusReason);
}

// Tab goes round the buttons, not out of the dialog's one focusable widget.
bool Tdlgfm::focusNextPrevChild(bool next) {
  const int count = int(buttons_.size());
  MoveRing((focus_ + (next ? 1 : count - 1)) % count);
  return true;
}

void Tdlgfm::keyPressEvent(QKeyEvent* event) {
  // A key held down since the previous dialog must not answer this one.
  if (event->isAutoRepeat()) return;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: Answer(Focused()); return;
    case Qt::Key_Escape: Answer(escape_); return;
    case Qt::Key_Right:
    case Qt::Key_Down: focusNextPrevChild(true); return;
    case Qt::Key_Left:
    case Qt::Key_Up: focusNextPrevChild(false); return;
    default: break;
  }
  const QString typed = event->text().toUpper();
  for (size_t i = 0; i < buttons_.size() && typed.size() == 1; ++i) {
    if (!buttons_[i].letter.isNull() && buttons_[i].letter == typed.at(0)) {
      MoveRing(int(i));
      return;
    }
  }
  QDialog::keyPressEvent(event);
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
