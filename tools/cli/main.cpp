#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Selvantrix"));
  QTextStream out(stdout);
  QTextStream err(stderr);
  return RunCli(QCoreApplication::arguments().mid(1), out, err, true);
}
