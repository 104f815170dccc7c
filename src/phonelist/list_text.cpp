#include "phonelist/list_text.h"

#include <QStringDecoder>
#include <array>
#include <cstdint>

#include "common/windows1250.h"

namespace {

constexpr char16_t kUndefined = u'\xFFFD';

// Windows-1250 both ways as tables, made once from the converter every other
// text of the program goes through: a list file of ten thousand lines must
// not open a converter per line. A byte the code page leaves undefined reads
// as U+FFFD; a character it lacks has no byte (0).
struct CodePage {
  std::array<char16_t, 256> toUnicode{};
  std::array<std::uint8_t, 0x10000> toByte{};

  CodePage() {
    for (int b = 0; b < 256; ++b) {
      const char byte = char(b);
      const QString one = b == 0 ? QString(QChar(0)) : FromWindows1250(QByteArrayView(&byte, 1));
      char16_t c = one.size() == 1 ? one[0].unicode() : kUndefined;
      // The converter's stand-in for an undefined byte, whichever it uses:
      // the code page puts no C1 control where it defines a character.
      if ((c == u'\x1A' && b != 0x1A) || (c >= 0x80 && c <= 0x9F)) c = kUndefined;
      toUnicode[size_t(b)] = c;
      if (c != kUndefined && b != 0) toByte[c] = std::uint8_t(b);
    }
  }
};

const CodePage& Windows1250() {
  static const CodePage table;
  return table;
}

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Strict UTF-8: no overlong form, no surrogate, nothing past U+10FFFF, no
// sequence cut short. `multibyte` tells whether there was any but ASCII.
bool IsUtf8(std::string_view bytes, bool* multibyte) {
  *multibyte = false;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    const unsigned char lead = p[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (n - i < length || p[i + 1] < low || p[i + 1] > high) return false;
    for (size_t k = 2; k < length; ++k) {
      if (p[i + k] < 0x80 || p[i + k] > 0xBF) return false;
    }
    *multibyte = true;
    i += length;
  }
  return true;
}

bool StartsWith(std::string_view bytes, std::string_view mark) { return bytes.substr(0, mark.size()) == mark; }

QString Unicode(std::string_view bytes, QStringConverter::Encoding encoding) {
  // The mark is already gone; one more at the start is text like any other.
  QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
  return decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

}  // namespace

ListFileEncoding DetectListFileEncoding(std::string_view bytes) {
  if (StartsWith(bytes, "\xFF\xFE")) return ListFileEncoding::kUtf16LE;
  if (StartsWith(bytes, "\xFE\xFF")) return ListFileEncoding::kUtf16BE;
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return ListFileEncoding::kUtf8;
  bool multibyte = false;
  return IsUtf8(bytes, &multibyte) && multibyte ? ListFileEncoding::kUtf8 : ListFileEncoding::kWindows1250;
}

QString DecodeListFile(std::string_view bytes) { return DecodeListFileAs(bytes, DetectListFileEncoding(bytes)); }

QString DecodeListFileAs(std::string_view bytes, ListFileEncoding encoding) {
  auto unmarked = [&](std::string_view mark) { return StartsWith(bytes, mark) ? bytes.substr(mark.size()) : bytes; };
  switch (encoding) {
    case ListFileEncoding::kUtf16LE: return Unicode(unmarked("\xFF\xFE"), QStringConverter::Utf16LE);
    case ListFileEncoding::kUtf16BE: return Unicode(unmarked("\xFE\xFF"), QStringConverter::Utf16BE);
    case ListFileEncoding::kUtf8: return Unicode(unmarked("\xEF\xBB\xBF"), QStringConverter::Utf8);
    case ListFileEncoding::kWindows1250: break;
  }
  const CodePage& page = Windows1250();
  QString text(qsizetype(bytes.size()), Qt::Uninitialized);
  char16_t* out = reinterpret_cast<char16_t*>(text.data());
  for (const char b : bytes) *out++ = page.toUnicode[std::uint8_t(b)];
  return text;
}

QStringList SplitListFileLines(QStringView text) {
  // A NUL is a character like any other here: its line is skipped as one
  // holding a control character, and the lines after it are read.
  QStringList lines;
  qsizetype start = 0;
  while (start < text.size()) {
    qsizetype end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    lines.append(text.mid(start, end - start).toString());
    if (end == text.size()) break;
    start = end + 1;
    if (text[end] == u'\r' && start < text.size() && text[start] == u'\n') ++start;
  }
  return lines;
}

ListLine SplitListLine(QStringView line) {
  ListLine out;
  const qsizetype first = line.indexOf(u'|');
  const qsizetype second = first < 0 ? -1 : line.indexOf(u'|', first + 1);
  if (second < 0) {
    // Not a list line; what there is counts as the phone, as it always did.
    out.phone = line.toString();
    if (first >= 0) {
      out.firstName = line.left(first).toString();
      out.phone = line.mid(first + 1).toString();
    }
    return out;
  }
  out.firstName = line.left(first).toString();
  out.surname = line.mid(first + 1, second - first - 1).toString();
  out.phone = line.mid(second + 1).toString();
  out.complete = true;
  return out;
}

bool ListBytes(QStringView text, std::string* bytes, QChar* offending) {
  const CodePage& page = Windows1250();
  bytes->clear();
  bytes->reserve(size_t(text.size()));
  for (const QChar c : text) {
    const std::uint8_t b = page.toByte[c.unicode()];
    if (b == 0 || IsControl(c.unicode())) {
      if (offending) *offending = c;
      return false;
    }
    bytes->push_back(char(b));
  }
  return true;
}

bool HasControlCharacter(QStringView text, QChar* offending) {
  for (const QChar c : text) {
    if (IsControl(c.unicode())) {
      if (offending) *offending = c;
      return true;
    }
  }
  return false;
}
