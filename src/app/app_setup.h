#pragma once

class QApplication;

// What the application sets before its first window: the Fusion style, one
// font family for every text (Arial, or Liberation Sans with its metrics),
// the Polish locale for names of days and months, and Qt's own Polish texts
// ("Zapisz jako", "Anuluj" in the file dialogs).
void SetUpApplication(QApplication& app);

// Loads Qt's Polish translations from the system's Qt translations (Debian:
// qt6-translations-l10n) into the application; false when they are not
// installed, and the dialogs then stay in English.
bool LoadQtPolishTranslations(QApplication& app);
