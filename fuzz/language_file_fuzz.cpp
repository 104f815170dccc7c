// Feeds arbitrary bytes to the language-file reader as a language.txt a
// translator (or a broken disk) left behind: applying it to a window with
// one control of every kind it translates, and writing back what it lacks,
// must never crash, hang or read outside the data. Built with clang's
// libFuzzer (see CMakeLists.txt); the window is QWidget, so the file's
// section is [QWIDGET].

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "app/language_file.h"

namespace {

template <typename T>
T* Add(QWidget* parent, const char* name) {
  T* control = new T(parent);
  control->setObjectName(QString::fromLatin1(name));
  return control;
}

// The application and a window with one control of every kind the file
// translates, made once: building widgets costs more than reading a short
// file. Each input gets the window with its built-in texts back.
struct World {
  World() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "language_file_fuzz";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QApplication>(argc, argv);
    path = dir.filePath(QStringLiteral("language.txt"));
    window = std::make_unique<QWidget>();
    label = Add<QLabel>(window.get(), "Label1");
    label->setToolTip(QStringLiteral("Lista"));
    emptyLabel = Add<QLabel>(window.get(), "Label2");
    button = Add<QPushButton>(window.get(), "Button1");
    check = Add<QCheckBox>(window.get(), "CheckBox1");
    radios = Add<QGroupBox>(window.get(), "RadioGroup1");
    radio1 = Add<QRadioButton>(radios, "Radio1");
    radio2 = Add<QRadioButton>(radios, "Radio2");
    group = Add<QGroupBox>(window.get(), "GroupBox1");
    grid = Add<QTableView>(window.get(), "Grid1");
    grid->setModel(&model);
  }

  void BuiltInTexts() {
    window->setWindowTitle(QStringLiteral("Selvantrix"));
    label->setText(QStringLiteral("LISTA TELEFONÓW"));
    emptyLabel->clear();
    button->setText(QStringLiteral("ZAPISZ ZMIANY"));
    check->setText(QStringLiteral("Administrator"));
    radios->setTitle(QStringLiteral("Czas"));
    radio1->setText(QStringLiteral("1 s"));
    radio2->setText(QStringLiteral("2 s"));
    group->setTitle(QStringLiteral("Port"));
    model.setColumnCount(3);
    model.setHorizontalHeaderLabels({QStringLiteral("Imię"), QStringLiteral("Nazwisko"), QStringLiteral("Telefon")});
  }

  std::unique_ptr<QApplication> app;
  QTemporaryDir dir;
  QString path;
  QStandardItemModel model;
  std::unique_ptr<QWidget> window;
  QLabel* label;
  QLabel* emptyLabel;
  QPushButton* button;
  QCheckBox* check;
  QGroupBox* radios;
  QRadioButton* radio1;
  QRadioButton* radio2;
  QGroupBox* group;
  QTableView* grid;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  {
    QFile file(world.path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) std::abort();
  }
  world.BuiltInTexts();
  ApplyLanguageFile(world.window.get(), world.path, nullptr);
  return 0;
}
