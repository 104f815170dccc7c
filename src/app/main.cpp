#include <QApplication>
#include <QCommandLineParser>

#include "app/app_setup.h"
#include "app/dlgostiv.h"
#include "app/workspace.h"
#include "common/application_directory.h"
#include "core/sites.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Selvantrix"));
  QGuiApplication::setDesktopFileName(QStringLiteral("selvantrix"));
  SetUpApplication(app);

  // --dir runs the configurator on another data directory (the demo does);
  // --site opens one of its sites.
  QCommandLineParser options;
  const QCommandLineOption dir(QStringLiteral("dir"), QStringLiteral("Data directory."), QStringLiteral("DIR"));
  const QCommandLineOption siteName(QStringLiteral("site"), QStringLiteral("Site to open."), QStringLiteral("NAME"));
  options.addOption(dir);
  options.addOption(siteName);
  options.addHelpOption();
  options.process(app);
  const QString directory = options.isSet(dir) ? options.value(dir) : DefaultApplicationDirectory();
  Site site{QString::fromUtf8(kMainSiteName), directory, true};
  if (options.isSet(siteName) && !FindSite(directory, options.value(siteName), &site)) {
    ShowDialog(nullptr, UnknownSiteMessage(directory, options.value(siteName)), kNoticeKind);
    return 1;
  }

  // A switch closes one window before the next opens: the workspace says
  // when the program ends.
  QApplication::setQuitOnLastWindowClosed(false);
  Workspace workspace(directory);
  QObject::connect(&workspace, &Workspace::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  if (!workspace.Open(site)) return 1;
  return app.exec();
}
