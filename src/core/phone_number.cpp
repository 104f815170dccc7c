#include "core/phone_number.h"

namespace {

// What people put between the groups of a number; copied from a document or
// a spreadsheet that may be a no-break space or an en dash rather than the
// plain characters.
bool IsSeparator(char16_t c) {
  switch (c) {
    case u' ':
    case u'\t':
    case u'\u00A0':  // no-break space
    case u'\u202F':  // narrow no-break space
    case u'-':
    case u'\u2010':  // hyphen
    case u'\u2011':  // non-breaking hyphen
    case u'\u2012':  // figure dash
    case u'\u2013':  // en dash
    case u'\u2212':  // minus sign
      return true;
    default: return false;
  }
}

}  // namespace

bool NormalisePhoneNumber(const QString& typed, int maxLength, QString* normalised) {
  QString number;
  number.reserve(typed.size());
  for (const QChar ch : typed) {
    const char16_t c = ch.unicode();
    if (IsSeparator(c)) continue;
    // Only ASCII digits: QChar::isDigit would let other scripts' digits
    // through, and those become "?" in the Windows-1250 bytes of the line.
    const bool digit = c >= u'0' && c <= u'9';
    const bool leadingPlus = c == u'+' && number.isEmpty();
    if (!digit && !leadingPlus) return false;
    number += ch;
  }
  if (number.startsWith(QLatin1String("00"))) number.replace(0, 2, QStringLiteral("+"));
  const bool hasDigit = number.size() > (number.startsWith(u'+') ? 1 : 0);
  if (!hasDigit || number.size() > maxLength) return false;
  if (normalised) *normalised = number;
  return true;
}

QString SubscriberKey(const QString& number, const QString& countryCode) {
  // A national number has nine digits here; the code before one, with or
  // without its "+", names the same line.
  constexpr int kNationalLength = 9;
  for (const QString& prefix : {QStringLiteral("+") + countryCode, countryCode}) {
    if (countryCode.isEmpty() || !number.startsWith(prefix)) continue;
    const QString national = number.mid(prefix.size());
    if (prefix.startsWith(u'+') || national.size() == kNationalLength) return national;
  }
  return number;
}
