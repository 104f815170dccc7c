#pragma once

#include <QWidget>
#include <functional>

// Answers the next modal window that opens: `answer` runs with it as soon as
// it is up. Tests call this before the call that blocks in the dialog.
void WhenModalOpens(std::function<void(QWidget* modal)> answer);

// Finds a child of `root` by its object name, of the given type.
template <typename T = QWidget>
T* Find(QWidget* root, const char* name) {
  return root->findChild<T*>(QString::fromLatin1(name));
}

// Clicks the middle of a widget with the left button.
void Click(QWidget* widget);
