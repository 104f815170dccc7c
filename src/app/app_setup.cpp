#include "app/app_setup.h"

#include <QApplication>
#include <QFont>
#include <QStyle>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "widgets/pictures.h"

void SetUpApplication(QApplication& app) {
  // Arial where it is installed; Liberation Sans has the same metrics, so
  // every caption keeps its place without it.
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
  QApplication::setStyle(QStringLiteral("Fusion"));
  // One palette of the window's own: the light one every fixed colour of the
  // window is drawn against. A dark desktop theme would otherwise give the
  // drop-down lists and the calendar light text on the window's light boxes.
  QApplication::setPalette(QApplication::style()->standardPalette());
  // Windows of their own (message boxes, file dialogs, the calendar and the
  // drop-down lists) take the application's font, not the main window's.
  QFont font = QApplication::font();
  font.setFamily(pictures::Font(12).family());
  font.setStyleHint(QFont::SansSerif);
  QApplication::setFont(font);
  // The window is Polish whatever the system's language.
  QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
  LoadQtPolishTranslations(app);
}

bool LoadQtPolishTranslations(QApplication& app) {
  auto* translator = new QTranslator(&app);
  const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  // "qt_pl" gathers the base module's texts with the others'; "qtbase_pl"
  // alone serves where only it is installed.
  for (const char* name : {"qt_pl", "qtbase_pl"}) {
    if (translator->load(QString::fromLatin1(name), directory) && QCoreApplication::installTranslator(translator)) {
      return true;
    }
  }
  delete translator;
  return false;
}
