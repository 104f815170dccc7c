#include "core/testing/scripted_ui.h"

void ScriptedUi::Answer(std::initializer_list<bool> answers) { answers_.insert(answers_.end(), answers); }

int ScriptedUi::ShowDialog(const QString& text, int kind) {
  dialogs.push_back({text, kind});
  if (kind != kQuestion) return 0;
  if (answers_.empty()) {
    ++unansweredQuestions;
    return 0;
  }
  const bool yes = answers_.front();
  answers_.pop_front();
  return yes ? 1 : 0;
}

void ScriptedUi::ShowProgress() {
  progressVisible = true;
  ++progressShows;
}

void ScriptedUi::UpdateProgress(int current, int total) {
  progress.emplace_back(current, total);
  if (onProgress) onProgress(current, total);
  ProcessEvents();
}

void ScriptedUi::HideProgress() { progressVisible = false; }

void ScriptedUi::SuspendViewUpdates(bool suspended) { viewsSuspended = suspended; }
