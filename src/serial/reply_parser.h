#pragma once

#include <QByteArray>
#include <QByteArrayView>

// What one line from the controller is. Which command it answers is not
// known here: a line is recognised by its marker alone.
enum class ReplyKind {
  kText,         // nothing known: an echo, noise, part of a message text
  kIdentity,     // "AT+CGSN" echo with the identity
  kImei,         // "WIMEI:"
  kStorage,      // "CPMS:" message storage
  kMessageList,  // "CMGL:"
  kEvent,        // "CPBM:" event-log entry
  kSystem,       // "SYS:" system settings
  kEntry,        // "CPBR:" phonebook entry
  kNotice,       // "CMTI:" new message
  kMessage,      // "CMGR:" message read
  kOk,           // a line ending in "OK"
  kError,        // a line holding "ERROR"
};

struct Reply {
  ReplyKind kind = ReplyKind::kText;
  QByteArray text;  // the line from its marker on (the whole line for kText, kOk, kError)

  // kEntry
  int slot = 0;
  QByteArray number;  // as sent, between the quotes
  bool emptySlot = false;
  // kEvent: the number (blanks after the marker skipped), the date as
  // "yy/mm/dd hh:mm", and whether it is the end-of-log mark.
  QByteArray date;
  bool logEnd = false;
  // kSystem: the relay-time code as the controller sent it.
  int relayCode = 0;
};

// The kind and fields of one complete line (without its CR LF).
Reply ParseReplyLine(QByteArrayView line);

// Whether a line is too short to be whole yet. The controller's identity,
// storage, system and phonebook lines are only taken once more than ten
// characters from their marker on have arrived, CR LF included; such a line
// waits while nothing follows it.
bool NeedsMoreText(const Reply& reply);

// The number with every leading "0" removed ("000" gives the empty text).
QByteArray StripLeadingZeros(const QByteArray& text);

// Relay-time code of the controller -> position in the relay-time list.
QByteArray RelayChoice(int code);
