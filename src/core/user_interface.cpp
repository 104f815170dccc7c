#include "core/user_interface.h"

#include <QCoreApplication>
#include <exception>

#include "core/session.h"
#include "core/store_errors.h"

ProgressScope::ProgressScope(Session& session, UserInterface& ui) : session_(session), ui_(ui) {
  session_.CancelRequested = false;
  ui_.ShowProgress();
}

ProgressScope::~ProgressScope() { ui_.HideProgress(); }

bool ProgressScope::CancelRequested() const { return session_.CancelRequested; }

void RunCommand(UserInterface& ui, const std::function<void()>& command) {
  try {
    command();
  } catch (const StoreError& e) {
    ui.ShowError(QString::fromUtf8(e.what()));
  } catch (...) {
    // Nothing else is meant to escape a command, and whatever words it
    // carries are no Polish the user could act on.
    ui.ShowError(QStringLiteral("Nieznany błąd"));
  }
}

void EventPacer::Pass() {
  if (last_.isValid() && last_.elapsed() < kIntervalMs) return;
  QCoreApplication::processEvents();
  last_.start();
}
