#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <utility>

#include "core/result.h"

class Link;
class Progress;
class SettingsFields;
struct Reply;

// "ODCZYTAJ ZE STEROWNIKA PRZEZ COM" of the configuration menu: entry 001,
// entries 3001 and 3003 (and the host settings in admin mode) are asked;
// what comes back is stored and the view is loaded afresh, which leaves
// nothing typed into it unsaved.
struct ConfigReadResult : CommandResult {};
ConfigReadResult ReadConfiguration(Link& link, Progress& progress, SettingsFields& view);

// "ZAPISZ DO STEROWNIKA PRZEZ COM" of the configuration menu: relay time,
// controller phone, host settings and the administrator phone, in that
// order. Unsaved changes are offered for saving first; a phone the check
// refuses (the user has been told) stops the write before anything is sent.
struct ConfigWriteResult : CommandResult {
  QStringList sent;  // what the controller confirmed, in words: "telefon sterownika 698765432"
};
ConfigWriteResult WriteConfiguration(Link& link, Progress& progress, SettingsFields& view);

// The settings one configuration read's reply carries, under the settings
// table's keys, in the order they came: what a read stores and a backup keeps.
QList<std::pair<QString, QString>> SettingsOfReply(const QList<Reply>& replies);

// What the configuration read asks: entry 001, entries 3001 and 3003, and
// the host settings in admin mode.
QStringList ConfigurationReadLines(bool adminMode);

// The configuration write's lines, each setting by its service code:
// "AT+CPBM=1012,698765432,698765432;". The relay time goes by its position
// in the relay-time list (-1, none chosen, sends the factory code 4); the
// administrator phone is written into slot 001.
inline constexpr int kRelayTimeCode = 1021;
inline constexpr int kControllerPhoneCode = 1012;
inline constexpr int kHostIpCode = 1023;
inline constexpr int kHostCode = 1024;
QString ServiceCodeLine(int code, const QString& value);
QString RelayTimeLine(int relayIndex);
QString AdminPhoneLine(const QString& phone);

// The reminder line for a date: "AT+CPBM=1004,6,yymmdd0000;". A date that is
// not valid stands for 30 December 1899.
QString ReminderLine(const QDate& date);

// What the reminder sent.
struct ReminderResult : CommandResult {
  QDate date;
};
// "ZAPISZ DO STEROWNIKA PRZYPOMNIENIE": the date to the controller.
ReminderResult SendReminder(Link& link, Progress& progress, const QDate& date);
