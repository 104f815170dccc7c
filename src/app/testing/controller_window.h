#pragma once

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <vector>

#include "app/testing/window_test.h"
#include "core/settings.h"
#include "serial/port_names.h"
#include "sim/simulator.h"
#include "widgets/testing/modal.h"

// The window's controller commands against the simulated controller.
class WindowControllerTest : public WindowTest {
 protected:
  explicit WindowControllerTest(sim::Simulator::Options options = {}) : sim_(options) {}

  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim_.Start(&error)) << error;
    WindowTest::SetUp();
    RememberPortAlias(session_->FilePath(kSettingsFileName), 4, QString::fromStdString(sim_.DevicePath()));
    UpsertSetting(*session_, kKeyPort, "4");
  }

  sim::Simulator sim_;
};

// Rows marked one by hand, then the header square: it unmarks them all, and
// marks them all once at the next click; the write sends each number once.

// Answers every message box that opens while it lives: "OK" to a notice,
// "TAK" to a question whose text is in `yes` and "NIE" to any other, and
// keeps each text.
class ModalAnswerer {
 public:
  explicit ModalAnswerer(QStringList yes = {}) : yes_(std::move(yes)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start(5);
  }
  std::vector<QString> shown;

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == answered_) return;
    answered_ = modal;
    auto* text = modal->findChild<QLabel*>(QStringLiteral("Label1"));
    shown.push_back(text ? text->text() : modal->objectName());
    QWidget* ok = Find(modal, "Label28");
    Click(Find(modal, ok && ok->isVisible() ? "Label28" : yes_.contains(shown.back()) ? "Label2" : "Label3"));
  }

  QStringList yes_;
  QTimer timer_;
  QPointer<QWidget> answered_;
};

inline void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}
