#include "serial/reply_parser.h"

#include <QString>

#include "common/parse_number.h"

namespace {

// Deletes up to and including the first `separator`, returning what stood
// before it; without one, everything.
QByteArray TakeUntil(QByteArray& text, char separator) {
  const qsizetype at = text.indexOf(separator);
  if (at < 0) {
    QByteArray all = text;
    text.clear();
    return all;
  }
  QByteArray part = text.left(at);
  text.remove(0, at + 1);
  return part;
}

QByteArray TrimmedOfControls(QByteArray text) {
  while (!text.isEmpty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove(0, 1);
  while (!text.isEmpty() && static_cast<unsigned char>(text.back()) <= ' ') text.chop(1);
  return text;
}

bool IsEmptySlotNumber(const QByteArray& number) {
  return number == "4294967295" || number == "999999999" || number == "0999999999" || number == "0";
}

bool IsEndOfLogNumber(const QByteArray& number) { return number == "999999999" || number == "0999999999"; }

int NumberOf(const QByteArray& text) { return ParseNumber(QString::fromLatin1(text)); }

void ParseEntry(Reply& reply) {
  QByteArray rest = reply.text.mid(5);
  reply.slot = NumberOf(TakeUntil(rest, ',').trimmed());
  TakeUntil(rest, '"');
  // A blank inside the quotes is no part of a number.
  reply.number = TakeUntil(rest, '"').trimmed();
  reply.emptySlot = IsEmptySlotNumber(reply.number);
}

void ParseEvent(Reply& reply) {
  QByteArray rest = reply.text.mid(5);
  // "CPBM: 600100200,..." from some firmware: the blank is no part of the number.
  reply.number = TakeUntil(rest, ',').trimmed();
  // yymmddhhmm -> yy/mm/dd hh:mm; a short remainder gives short pieces.
  reply.date =
      rest.mid(0, 2) + '/' + rest.mid(2, 2) + '/' + rest.mid(4, 2) + ' ' + rest.mid(6, 2) + ':' + rest.mid(8, 2);
  reply.logEnd = IsEndOfLogNumber(reply.number);
}

void ParseSystem(Reply& reply) {
  QByteArray rest = reply.text.mid(4);
  TakeUntil(rest, ',');  // the first field is not used
  reply.relayCode = NumberOf(TrimmedOfControls(TakeUntil(rest, ',')));
}

}  // namespace

Reply ParseReplyLine(QByteArrayView line) {
  // In the order the controller's markers are told apart: the first found
  // names the line, and the line is taken from that marker on.
  static constexpr std::pair<const char*, ReplyKind> kMarkers[] = {
      {"AT+CGSN", ReplyKind::kIdentity},  {"WIMEI:", ReplyKind::kImei},  {"CPMS:", ReplyKind::kStorage},
      {"CMGL:", ReplyKind::kMessageList}, {"CPBM:", ReplyKind::kEvent},  {"SYS:", ReplyKind::kSystem},
      {"CPBR:", ReplyKind::kEntry},       {"CMTI:", ReplyKind::kNotice}, {"CMGR:", ReplyKind::kMessage},
  };
  Reply reply;
  for (const auto& [marker, kind] : kMarkers) {
    const qsizetype at = line.indexOf(QByteArrayView(marker));
    if (at < 0) continue;
    reply.kind = kind;
    reply.text = line.sliced(at).toByteArray();
    switch (kind) {
      case ReplyKind::kEntry: ParseEntry(reply); break;
      case ReplyKind::kEvent: ParseEvent(reply); break;
      case ReplyKind::kSystem: ParseSystem(reply); break;
      default: break;
    }
    return reply;
  }
  reply.text = line.toByteArray();
  if (line.endsWith("OK")) {
    reply.kind = ReplyKind::kOk;
  } else if (line.contains(QByteArrayView("ERROR"))) {
    reply.kind = ReplyKind::kError;
  }
  return reply;
}

bool NeedsMoreText(const Reply& reply) {
  switch (reply.kind) {
    case ReplyKind::kIdentity:
    case ReplyKind::kImei:
    case ReplyKind::kStorage:
    case ReplyKind::kSystem:
    case ReplyKind::kEntry: return reply.text.size() + 2 <= 10;
    default: return false;
  }
}

QByteArray StripLeadingZeros(const QByteArray& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i] == '0') ++i;
  return text.mid(i);
}

QByteArray RelayChoice(int code) { return code >= 3 && code <= 10 ? QByteArray::number(code - 3) : "1"; }
