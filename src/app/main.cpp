#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include "app/app_setup.h"
#include "app/dlgostiv.h"
#include "core/instance_lock.h"
#include "core/session.h"
#include "app/main_window.h"
#include "common/application_directory.h"
#include "common/private_file.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Selvantrix"));
  QGuiApplication::setDesktopFileName(QStringLiteral("selvantrix"));
  SetUpApplication(app);

  // --dir runs the configurator on another data directory (the demo does).
  QCommandLineParser options;
  const QCommandLineOption dir(QStringLiteral("dir"), QStringLiteral("Data directory."), QStringLiteral("DIR"));
  options.addOption(dir);
  options.addHelpOption();
  options.process(app);
  QString directory = DefaultApplicationDirectory();
  if (options.isSet(dir)) directory = options.value(dir);
  MakePrivateDirectory(directory);

  // Two windows on one database would each save over what the other shows.
  InstanceLock instance(directory);
  if (!instance.TryLock(0)) {
    ShowDialog(nullptr, QString::fromUtf8(kAlreadyRunningMessage), kNoticeKind);
    return 1;
  }
  Session session(directory);
  TForm1 window(session);
  if (!window.DatabaseReady()) return 1;
  window.show();
  return app.exec();
}
