#include "widgets/testing/modal.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

void WhenModalOpens(std::function<void(QWidget* modal)> answer) {
  // Polls until the dialog's own event loop is running; a fixed delay would
  // be either slow or flaky.
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, answer = std::move(answer)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    answer(modal);
  });
  timer->start();
}

void AnswerModals(std::vector<const char*> clicks, std::vector<QString>* shown) {
  if (clicks.empty()) return;
  WhenModalOpens([clicks, shown](QWidget* modal) mutable {
    if (shown) {
      auto* message = modal->findChild<QLabel*>(QStringLiteral("Label1"));
      shown->push_back(message ? message->text() : modal->objectName());
    }
    const char* name = clicks.front();
    clicks.erase(clicks.begin());
    // The next answer waits for the next window before this one closes.
    AnswerModals(clicks, shown);
    Click(modal->findChild<QWidget*>(QString::fromLatin1(name)));
  });
}

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }
