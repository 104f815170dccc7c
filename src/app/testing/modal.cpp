#include "app/testing/modal.h"

#include <QApplication>
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

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }
