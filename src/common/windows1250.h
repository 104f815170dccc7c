#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The database, list files and language file hold Windows-1250 bytes; the
// program works in Unicode. These are the only two doors between them.
// A character the code page lacks becomes "?", as the files have always held.
QByteArray ToWindows1250(QStringView text);
QString FromWindows1250(QByteArrayView bytes);
