#pragma once

#include <QStringView>
#include <cstdint>

// The lenient number conversion used wherever a setting or a controller reply
// becomes a number: leading blanks, an optional sign, decimal digits, or
// hexadecimal digits after "$", "x", "X", "0x" or "0X". Anything else (empty
// text, trailing characters, a value out of range) is 0. It never fails, which
// is what the controller's ragged replies need.
std::int32_t ParseNumber(QStringView text);

// The same rules over the signed 64-bit range, for reply fields that carry
// long phone numbers.
std::int64_t ParseNumber64(QStringView text);
