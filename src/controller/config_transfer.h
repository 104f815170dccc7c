#pragma once

#include <QDate>
#include <QString>

class Link;
class Session;
class SettingsFields;
class UserInterface;

// "ODCZYTAJ ZE STEROWNIKA PRZEZ COM" of the configuration menu: entry 001,
// entries 3001 and 3003 (and the host settings in admin mode) are asked;
// the parser stores what comes back and the view is loaded afresh, which
// leaves nothing typed into it unsaved.
void ReadConfiguration(Link& link, UserInterface& ui, SettingsFields& view);

// "ZAPISZ DO STEROWNIKA PRZEZ COM" of the configuration menu: relay time,
// controller phone, host settings and the administrator phone, in that
// order. Unsaved changes are offered for saving first; a save that refuses a
// phone stops the write before anything is sent.
void WriteConfiguration(Link& link, UserInterface& ui, SettingsFields& view);

// The reminder line for a date: "AT+CPBM=1004,6,yymmdd0000;". A date that is
// not valid stands for 30 December 1899.
QString ReminderLine(const QDate& date);

// "ZAPISZ DO STEROWNIKA PRZYPOMNIENIE": the picker's date to the controller.
void SendReminder(Link& link, UserInterface& ui, SettingsFields& view);
