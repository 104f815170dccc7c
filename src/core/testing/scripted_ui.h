#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "core/user_interface.h"

// A user who answers from a script: questions take the next scripted answer
// (a question past the script is answered NIE and counted), and everything
// shown is recorded for the test to check.
class ScriptedUi : public UserInterface {
 public:
  struct Dialog {
    QString text;
    bool question = false;
    Question id = Question::kSaveOnClose;
  };

  // Answers for the coming questions, in order: true is "TAK".
  void Answer(std::initializer_list<bool> answers);

  bool Ask(Question question, const QString& text) override;
  void ShowNotice(const QString& text) override { dialogs.push_back({text, false}); }
  void ShowError(const QString& text) override { errors.push_back(text); }
  void ShowProgress() override;
  void UpdateProgress(int current, int total) override;
  void HideProgress() override;
  void ProcessEvents() override { ++eventPasses; }
  void SuspendViewUpdates(bool suspended) override;

  std::vector<Dialog> dialogs;
  std::vector<QString> errors;
  std::vector<std::pair<int, int>> progress;
  bool progressVisible = false;
  int progressShows = 0;
  bool viewsSuspended = false;
  int eventPasses = 0;
  int unansweredQuestions = 0;

  // Runs at every progress update: a test presses "ANULUJ" from here.
  std::function<void(int current, int total)> onProgress;

 private:
  std::deque<bool> answers_;
};
