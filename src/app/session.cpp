#include "app/session.h"

#include <QDir>
#include <QFile>

#include "app/user_interface.h"

Session::Session(const QString& directory) : directory_(QDir(directory).absolutePath()) {}

QString Session::FilePath(const QString& name) const { return QDir(directory_).filePath(name); }

void Session::Create() {
  LoadedViewKey = -1;
  UnsavedChanges = false;
  // A failure to remove it is harmless: nothing reads that file any more.
  QFile::remove(FilePath(QStringLiteral("telefony.mdx")));
}

bool RunCloseStep(Session& session, UserInterface& ui, CloseActions& actions) {
  if (!session.UnsavedChanges) return true;
  if (ui.ShowDialog(QString::fromUtf8(kUnsavedQuestion), kQuestion) != 1) return true;
  const bool saved = actions.SaveSettingsView();
  // The pending phone is posted whether or not the settings passed their
  // checks: the user asked to save, and the entry must not wait for them.
  actions.PostPendingPhone();
  return saved;
}
