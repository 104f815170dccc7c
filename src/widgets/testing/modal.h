#pragma once

#include <QWidget>
#include <QString>
#include <functional>
#include <vector>

// Answers the next modal window that opens: `answer` runs with it as soon as
// it is up. Tests call this before the call that blocks in the dialog.
void WhenModalOpens(std::function<void(QWidget* modal)> answer);

// Answers the coming modal windows one after another by clicking the named
// control in each ("Label2" is "TAK", "Label3" "NIE", "Label28" "OK"), and
// records the message each one showed in `shown` when given.
void AnswerModals(std::vector<const char*> clicks, std::vector<QString>* shown = nullptr);

// Finds a child of `root` by its object name, of the given type.
template <typename T = QWidget>
T* Find(QWidget* root, const char* name) {
  return root->findChild<T*>(QString::fromLatin1(name));
}

// Clicks the middle of a widget with the left button.
void Click(QWidget* widget);
