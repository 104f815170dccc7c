#pragma once

#include <QString>

class UserInterface;

// Everything that lives for one run of the configurator and is not a widget:
// the program's directory and the window-wide flags. The main window owns
// one; tests build one on a temporary directory.
class Session {
 public:
  explicit Session(const QString& directory);

  const QString& Directory() const { return directory_; }
  QString FilePath(const QString& name) const;

  // The creation step's file work, before the window is shown: an index file
  // of an older installation is removed so it can never be taken for current.
  void Create();

  bool UnsavedChanges = false;
  bool CancelRequested = false;
  int LoadedViewKey = -1;
  bool AdminMode = false;
  int ReportWaitMs = 15000;

 private:
  QString directory_;
};

// What the close step needs from the views: saving the settings view, and
// posting a phone entry that is still being typed.
class CloseActions {
 public:
  virtual ~CloseActions() = default;
  // True when the view passed its checks and was written.
  virtual bool SaveSettingsView() = 0;
  // Posts a pending phone entry; a failure cancels the entry silently.
  virtual void PostPendingPhone() = 0;
};

inline constexpr const char* kUnsavedQuestion = "Nie zapisano danych. Czy zapisa je?";

// The close step: asks about unsaved changes and saves on "TAK". Returns
// whether the window may close.
bool RunCloseStep(Session& session, UserInterface& ui, CloseActions& actions);
