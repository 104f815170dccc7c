#include "common/windows1250.h"

#include <unicode/ucnv.h>

#include <memory>

namespace {

// One converter per direction and call: ICU converters are not thread-safe,
// and opening one from the cached alias table costs microseconds.
struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter OpenConverter() {
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open("windows-1250", &status));
  if (U_FAILURE(status)) return nullptr;
  status = U_ZERO_ERROR;
  ucnv_setSubstChars(converter.get(), "?", 1, &status);
  return converter;
}

}  // namespace

QByteArray ToWindows1250(QStringView text) {
  if (text.isEmpty()) return {};
  Converter converter = OpenConverter();
  if (!converter) return text.toLatin1();
  QByteArray out(text.size() * 2 + 1, Qt::Uninitialized);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = ucnv_fromUChars(converter.get(), out.data(), int32_t(out.size()),
                                         reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()), &status);
  if (U_FAILURE(status)) return text.toLatin1();
  out.truncate(length);
  return out;
}

QString FromWindows1250(QByteArrayView bytes) {
  if (bytes.isEmpty()) return {};
  Converter converter = OpenConverter();
  if (!converter) return QString::fromLatin1(bytes);
  QString out(bytes.size() + 1, Qt::Uninitialized);
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(out.data()), int32_t(out.size()),
                                       bytes.data(), int32_t(bytes.size()), &status);
  if (U_FAILURE(status)) return QString::fromLatin1(bytes);
  out.truncate(length);
  return out;
}
