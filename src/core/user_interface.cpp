#include "core/user_interface.h"

#include <QCoreApplication>
#include <exception>

#include "core/store_errors.h"

bool IsGoAhead(Question question) {
  switch (question) {
    case Question::kDeleteFromList:
    case Question::kFormat:
    case Question::kRestore:
    case Question::kSync:
    case Question::kAddAnotherForm:
    case Question::kDeleteFromController:
    case Question::kRemoveSite: return true;
    case Question::kClearBeforeRead:
    case Question::kCloseWithoutPhones:
    case Question::kReadPastHole:
    case Question::kClearBeforeImport:
    case Question::kSaveSettings:
    case Question::kSaveOnClose: return false;
  }
  return false;
}

bool IsCautious(Question question) {
  switch (question) {
    case Question::kClearBeforeRead:
    case Question::kClearBeforeImport:
    case Question::kDeleteFromList:
    case Question::kFormat:
    case Question::kRestore:
    case Question::kSync:
    case Question::kAddAnotherForm:
    case Question::kDeleteFromController:
    case Question::kCloseWithoutPhones:
    case Question::kRemoveSite: return true;
    case Question::kReadPastHole:
    case Question::kSaveSettings:
    case Question::kSaveOnClose: return false;
  }
  return true;
}

Progress::~Progress() { Hide(); }

void Progress::Update(int current, int total) {
  if (!shown_) {
    ui_.ShowProgress();
    shown_ = true;
  }
  ui_.UpdateProgress(current, total);
}

void Progress::Hide() {
  if (!shown_) return;
  ui_.HideProgress();
  shown_ = false;
}

bool Progress::Ask(Question question, const QString& text) {
  Hide();
  return ui_.Ask(question, text);
}

bool RunCommand(UserInterface& ui, const std::function<void()>& command) {
  try {
    command();
    return true;
  } catch (const StoreError& e) {
    ui.ShowError(QString::fromUtf8(e.what()));
  } catch (...) {
    // Nothing else is meant to escape a command, and whatever words it
    // carries are no Polish the user could act on.
    ui.ShowError(QStringLiteral("Nieznany błąd"));
  }
  return false;
}

void EventPacer::Pass() {
  if (last_.isValid() && last_.elapsed() < kIntervalMs) return;
  QCoreApplication::processEvents();
  last_.start();
}
