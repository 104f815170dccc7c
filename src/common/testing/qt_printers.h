#pragma once

#include <QString>
#include <ostream>

// A failed expectation on text shows the text, not its UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
