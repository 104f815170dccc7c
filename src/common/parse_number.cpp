#include "common/parse_number.h"

#include <limits>

namespace {

int DigitValue(QChar c, int base) {
  const char16_t u = c.unicode();
  int value = -1;
  if (u >= u'0' && u <= u'9')
    value = u - u'0';
  else if (u >= u'a' && u <= u'f')
    value = u - u'a' + 10;
  else if (u >= u'A' && u <= u'F')
    value = u - u'A' + 10;
  return value < base ? value : -1;
}

template <typename Int>
Int ParseLenient(QStringView s) {
  qsizetype i = 0;
  const qsizetype n = s.size();
  while (i < n && s[i] == u' ') ++i;

  bool negative = false;
  if (i < n && (s[i] == u'+' || s[i] == u'-')) {
    negative = s[i] == u'-';
    ++i;
  }

  int base = 10;
  if (i < n && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i == n) return 0;

  // The magnitude is gathered unsigned so the most negative value fits too.
  const std::uint64_t limit =
      negative ? std::uint64_t(std::numeric_limits<Int>::max()) + 1 : std::uint64_t(std::numeric_limits<Int>::max());
  std::uint64_t magnitude = 0;
  for (; i < n; ++i) {
    const int digit = DigitValue(s[i], base);
    if (digit < 0) return 0;
    if (magnitude > (limit - std::uint64_t(digit)) / std::uint64_t(base)) return 0;
    magnitude = magnitude * std::uint64_t(base) + std::uint64_t(digit);
  }
  return negative ? static_cast<Int>(0 - magnitude) : static_cast<Int>(magnitude);
}

}  // namespace

std::int32_t ParseNumber(QStringView text) { return ParseLenient<std::int32_t>(text); }

std::int64_t ParseNumber64(QStringView text) { return ParseLenient<std::int64_t>(text); }
