#pragma once

#include <QDate>
#include <QString>

class Session;
class UserInterface;

// The fixed two digits that end every daily service code.
inline constexpr const char* kServiceCodeSuffix = "47";
inline constexpr const char* kWrongPinMessage = "Niepoprawny pin";

// MD5 of the text's Windows-1250 bytes as 32 upper-case hexadecimal digits.
QString DigestHex(const QString& text);

// Month and day of `date`, two digits each, then kServiceCodeSuffix.
QString DailyServiceCode(const QDate& date);

// The start-up check of a typed PIN: the day's service code, or a PIN whose
// digest is the stored one. A first start stores the digest of the day's
// code. A refusal shows "Niepoprawny pin" and returns false; an empty text
// that is not the PIN shows "Nie wpisano PIN-u" and counts as no try. Each wrong PIN
// in a row makes the next check wait longer (1 s, 2 s, 4 s … 30 s), in every
// process on the directory, with the window's events still running.
inline constexpr const char* kNoPinMessage = "Nie wpisano PIN-u";
bool CheckAccess(Session& session, UserInterface& ui, const QString& typed, const QDate& today);

// "HASŁO DOSTĘPU": the typed text becomes the PIN, the empty text too.
void ChangePin(Session& session, const QString& typed);
