#pragma once

#include <QString>

// The Polish form of a noun after the number `n`: "1 numer", "2 numery",
// "5 numerów", "22 numery", "12 numerów".
inline QString PolishPlural(int n, const char* one, const char* few, const char* many) {
  if (n == 1) return QString::fromUtf8(one);
  const int tens = n % 100;
  const int units = n % 10;
  if (units >= 2 && units <= 4 && !(tens >= 12 && tens <= 14)) return QString::fromUtf8(few);
  return QString::fromUtf8(many);
}

// "120 numerów" and the like.
inline QString CountOf(int n, const char* one, const char* few, const char* many) {
  return QString::number(n) + u' ' + PolishPlural(n, one, few, many);
}
