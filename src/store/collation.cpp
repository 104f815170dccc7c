#include "store/collation.h"

#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <unicode/uset.h>

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace store {

namespace {

// The code page maps each byte to one UTF-16 unit; the table is read once
// from ICU's converter.
const std::array<char16_t, 256>& CodePageTable() {
  static const std::array<char16_t, 256> table = [] {
    std::array<char16_t, 256> t{};
    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open("windows-1250", &status);
    for (int b = 0; b < 256; ++b) {
      t[size_t(b)] = char16_t(b);
      if (U_FAILURE(status) || !conv) continue;
      const char byte = static_cast<char>(b);
      UChar out[4];
      UErrorCode s = U_ZERO_ERROR;
      const int32_t n = ucnv_toUChars(conv, out, 4, &byte, 1, &s);
      if (U_SUCCESS(s) && n == 1) t[size_t(b)] = out[0];
    }
    if (conv) ucnv_close(conv);
    return t;
  }();
  return table;
}

void Widen(std::string_view bytes, std::u16string* out) {
  const auto& table = CodePageTable();
  out->resize(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) (*out)[i] = table[static_cast<unsigned char>(bytes[i])];
}

// Windows' word sort, which the files were ordered by, sets the hyphen and
// the apostrophe aside so that "coop" and "co-op" stay together; they only
// break ties. ICU weighs them as punctuation, before the letters.
bool IsSetAside(char c) { return c == '-' || c == '\''; }

// The code page table for ordering: the UTF-16 unit in the low half, and
// above it a flag for the set-aside marks, so that one load per byte both
// widens and tells whether the text holds any.
constexpr std::uint32_t kSetAside = 0x10000;

const std::array<std::uint32_t, 256>& OrderTable() {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (size_t b = 0; b < t.size(); ++b) t[b] = CodePageTable()[b] | (IsSetAside(char(b)) ? kSetAside : 0);
    return t;
  }();
  return table;
}

// Widen without the set-aside marks; true when any was left out. Every
// comparison of an index insert or a find comes through here, and most texts
// hold no mark: those take one plain pass, and only the others a second one
// that closes the gaps.
bool WidenForOrder(std::string_view bytes, std::u16string* out) {
  const auto& table = OrderTable();
  out->resize(bytes.size());
  std::uint32_t seen = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const std::uint32_t unit = table[static_cast<unsigned char>(bytes[i])];
    (*out)[i] = char16_t(unit);
    seen |= unit;
  }
  if (!(seen & kSetAside)) return false;
  size_t n = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (!IsSetAside(bytes[i])) (*out)[n++] = (*out)[i];
  }
  out->resize(n);
  return true;
}

// The tie between texts equal without their marks: the marks in text order,
// each by its place in the text and then apostrophe before hyphen; a text
// whose marks run out first (none at all, say) comes first. A total order,
// so an index built with it stays consistent.
int CompareMarks(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (true) {
    while (i < a.size() && !IsSetAside(a[i])) ++i;
    while (j < b.size() && !IsSetAside(b[j])) ++j;
    const bool aDone = i == a.size(), bDone = j == b.size();
    if (aDone || bDone) return aDone == bDone ? 0 : (aDone ? -1 : 1);
    if (i != j) return i < j ? -1 : 1;
    if (a[i] != b[j]) return a[i] == '\'' ? -1 : 1;
    ++i;
    ++j;
  }
}

// The marks as bytes that compare as CompareMarks does: per mark its place
// (four bytes, most significant first), then the mark itself, whose byte
// values already put the apostrophe first.
void AppendMarks(std::string_view text, std::string* key) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsSetAside(text[i])) continue;
    const auto at = std::uint32_t(i);
    key->push_back(char(at >> 24));
    key->push_back(char(at >> 16));
    key->push_back(char(at >> 8));
    key->push_back(char(at));
    key->push_back(text[i]);
  }
}

// A sort key of `wide` at `collator`'s strength, without the zero that ends it.
std::string KeyOf(const UCollator* collator, const std::u16string& wide) {
  std::string key(wide.size() * 4 + 16, '\0');
  const UChar* source = reinterpret_cast<const UChar*>(wide.data());
  int32_t n = ucol_getSortKey(collator, source, int32_t(wide.size()), reinterpret_cast<uint8_t*>(key.data()),
                              int32_t(key.size()));
  if (n > int32_t(key.size())) {
    key.resize(size_t(n));
    n = ucol_getSortKey(collator, source, int32_t(wide.size()), reinterpret_cast<uint8_t*>(key.data()), n);
  }
  key.resize(n > 0 ? size_t(n - 1) : 0);
  return key;
}

// ICU writes a run of primary weights that share a compressible lead byte
// with the lead byte once, and closes the run with 03 before what follows.
// Should a key end so, a text that goes on past the prefix carries the run
// on instead, so a prefix's key leaves a last 03 out. Where 03 is a
// weight's own last byte (as in "ż") that only widens the range.
void DropRunEnd(std::string* key) {
  if (!key->empty() && key->back() == '\x03') key->pop_back();
}

class IcuCollation final : public Collation {
 public:
  IcuCollation(std::string locale, UCollator* exact, UCollator* caseless, UCollator* primary)
      : locale_(std::move(locale)), exact_(exact), caseless_(caseless), primary_(primary) {}
  ~IcuCollation() override {
    ucol_close(exact_);
    ucol_close(caseless_);
    ucol_close(primary_);
  }
  IcuCollation(const IcuCollation&) = delete;
  IcuCollation& operator=(const IcuCollation&) = delete;

  int Compare(std::string_view a, std::string_view b, bool ignoreCase) const override {
    if (!ignoreCase && a == b) return 0;
    thread_local std::u16string wa, wb;
    const bool marksInA = WidenForOrder(a, &wa);
    const bool marksInB = WidenForOrder(b, &wb);
    const UCollationResult r =
        ucol_strcoll(ignoreCase ? caseless_ : exact_, reinterpret_cast<const UChar*>(wa.data()), int32_t(wa.size()),
                     reinterpret_cast<const UChar*>(wb.data()), int32_t(wb.size()));
    if (r != UCOL_EQUAL) return r == UCOL_LESS ? -1 : 1;
    return marksInA || marksInB ? CompareMarks(a, b) : 0;
  }

  std::string SortKey(std::string_view text) const override {
    thread_local std::u16string wide;
    const bool marks = WidenForOrder(text, &wide);
    std::string key = KeyOf(exact_, wide);
    // ICU's key ends with its only zero byte, so whatever follows it cannot
    // make two different keys read alike.
    key.push_back('\0');
    if (marks) AppendMarks(text, &key);
    return key;
  }

  // The primary weights alone: the letters, without accents, case or the
  // set-aside marks, so the key never goes down along either order. A text
  // that starts with a prefix holds the prefix's letters first, and so its
  // weights first, as long as no weight spans the prefix's end (Bounded).
  std::string RangeKey(std::string_view text) const override {
    if (!Bounded()) return {};
    thread_local std::u16string wide;
    WidenForOrder(text, &wide);
    return KeyOf(primary_, wide);
  }

  std::string PrefixKey(std::string_view prefix) const override {
    std::string key = RangeKey(prefix);
    DropRunEnd(&key);
    return key;
  }

 private:
  // Reading every join of a locale takes milliseconds; a database opened
  // again, with a collation of its own, need not pay them again.
  bool Bounded() const {
    std::call_once(boundedOnce_, [this] {
      static std::mutex mutex;
      static std::map<std::string, bool> known;
      std::lock_guard<std::mutex> hold(mutex);
      const auto found = known.find(locale_);
      bounded_ = found != known.end() ? found->second : (known[locale_] = WeightsFollowTheLetters());
    });
    return bounded_;
  }

  // Whether the primary weights of a text always begin with those of its
  // leading part. Letters that join into one weight (the Czech "ch", the
  // Hungarian "cs") or weigh by the letter before them break that where they
  // stand across the end of a prefix, unless the joined weights begin with
  // the first letter's own, as the Catalan "l·" of ICU's root order does;
  // digits read as numbers break it too. Only joins the code page can spell
  // matter, and the set-aside marks never reach ICU.
  bool WeightsFollowTheLetters() const {
    UErrorCode status = U_ZERO_ERROR;
    if (ucol_getAttribute(primary_, UCOL_NUMERIC_COLLATION, &status) != UCOL_OFF || U_FAILURE(status)) return false;
    USet* joins = uset_openEmpty();
    USet* page = uset_openEmpty();
    for (size_t b = 0; b < 256; ++b) {
      if (!IsSetAside(char(b))) uset_add(page, CodePageTable()[b]);
    }
    ucol_getContractionsAndExpansions(primary_, joins, nullptr, true, &status);
    bool follow = U_SUCCESS(status);
    std::u16string join;
    for (int32_t i = 0; follow && i < uset_getItemCount(joins); ++i) {
      UChar32 first = 0, last = 0;
      UErrorCode itemStatus = U_ZERO_ERROR;
      join.resize(64);
      int32_t length = uset_getItem(joins, i, &first, &last, reinterpret_cast<UChar*>(join.data()),
                                    int32_t(join.size()), &itemStatus);
      if (length == 0) continue;  // single code points: nothing joins
      if (length > int32_t(join.size())) {
        join.resize(size_t(length));
        itemStatus = U_ZERO_ERROR;
        length = uset_getItem(joins, i, &first, &last, reinterpret_cast<UChar*>(join.data()), length, &itemStatus);
      }
      if (U_FAILURE(itemStatus)) {
        follow = false;
        break;
      }
      join.resize(size_t(length));
      if (!uset_containsAllCodePoints(page, reinterpret_cast<const UChar*>(join.data()), length)) continue;
      const std::string whole = KeyOf(primary_, join);
      for (size_t part = 1; follow && part < join.size(); ++part) {
        std::string lead = KeyOf(primary_, join.substr(0, part));
        DropRunEnd(&lead);
        follow = whole.compare(0, lead.size(), lead) == 0;
      }
    }
    uset_close(joins);
    uset_close(page);
    return follow;
  }

  std::string locale_;
  UCollator* exact_;
  UCollator* caseless_;
  UCollator* primary_;
  mutable std::once_flag boundedOnce_;
  mutable bool bounded_ = false;
};

// Byte order, for when ICU cannot give a collator at all.
class ByteCollation final : public Collation {
 public:
  int Compare(std::string_view a, std::string_view b, bool) const override {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  std::string SortKey(std::string_view text) const override { return std::string(text); }
  std::string RangeKey(std::string_view text) const override { return std::string(text); }
  std::string PrefixKey(std::string_view prefix) const override { return std::string(prefix); }
};

}  // namespace

std::shared_ptr<const Collation> MakeLocaleCollation(const std::string& locale) {
  std::string name = locale.empty() ? std::string(uloc_getDefault()) : locale;
  // No locale chosen at all (a script, a service): the files are Polish
  // Windows-1250 text, so order them as a Polish desktop does.
  if (name == "en_US_POSIX" || name == "c" || name == "C" || name == "POSIX") name = "pl_PL";
  UErrorCode status = U_ZERO_ERROR;
  UCollator* exact = ucol_open(name.c_str(), &status);
  if (U_FAILURE(status)) return std::make_shared<ByteCollation>();
  ucol_setStrength(exact, UCOL_TERTIARY);
  status = U_ZERO_ERROR;
  UCollator* caseless = ucol_open(name.c_str(), &status);
  if (U_FAILURE(status)) {
    ucol_close(exact);
    return std::make_shared<ByteCollation>();
  }
  // Secondary strength keeps accents apart and lets case go.
  ucol_setStrength(caseless, UCOL_SECONDARY);
  status = U_ZERO_ERROR;
  UCollator* primary = ucol_open(name.c_str(), &status);
  if (U_FAILURE(status)) {
    ucol_close(exact);
    ucol_close(caseless);
    return std::make_shared<ByteCollation>();
  }
  // The letters alone, for where a prefix's texts stand.
  ucol_setStrength(primary, UCOL_PRIMARY);
  return std::make_shared<IcuCollation>(name, exact, caseless, primary);
}

std::string Windows1250ToUtf8(std::string_view bytes) {
  std::u16string wide;
  Widen(bytes, &wide);
  std::string out;
  out.reserve(wide.size());
  for (char16_t c : wide) {
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Utf8ToWindows1250(std::string_view utf8) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* conv = ucnv_open("windows-1250", &status);
  if (U_FAILURE(status)) return std::string(utf8);
  status = U_ZERO_ERROR;
  ucnv_setSubstChars(conv, "?", 1, &status);
  std::u16string wide(utf8.size() + 1, u'\0');
  int32_t wideLength = 0;
  status = U_ZERO_ERROR;
  // Malformed UTF-8 becomes U+FFFD, and from there "?".
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(wide.data()), int32_t(wide.size()), &wideLength, utf8.data(),
                       int32_t(utf8.size()), 0xFFFD, nullptr, &status);
  std::string out(size_t(wideLength) * 2 + 1, '\0');
  int32_t n = 0;
  if (U_SUCCESS(status)) {
    n = ucnv_fromUChars(conv, out.data(), int32_t(out.size()), reinterpret_cast<const UChar*>(wide.data()), wideLength,
                        &status);
  }
  ucnv_close(conv);
  if (U_FAILURE(status)) return std::string(utf8);
  out.resize(size_t(n));
  return out;
}

}  // namespace store
