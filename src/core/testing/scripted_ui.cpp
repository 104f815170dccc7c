#include "core/testing/scripted_ui.h"

void ScriptedUi::Answer(std::initializer_list<bool> answers) { answers_.insert(answers_.end(), answers); }

bool ScriptedUi::Ask(Question question, const QString& text) {
  dialogs.push_back({text, true, question});
  if (answers_.empty()) {
    ++unansweredQuestions;
    return false;
  }
  const bool yes = answers_.front();
  answers_.pop_front();
  return yes;
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
