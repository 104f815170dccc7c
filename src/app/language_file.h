#pragma once

#include <QString>
#include <functional>

class QWidget;

// Replaces the window's texts with those of the language file and writes
// into the file every text it does not name yet, with its built-in value, so
// after the first start the file lists all there is to translate. The section
// is the window's class name in upper case; the file is Windows-1250.
// `processEvents` runs after each control. Never fails: what cannot be read,
// written or applied is passed over.
void ApplyLanguageFile(QWidget* window, const QString& path, const std::function<void()>& processEvents);
