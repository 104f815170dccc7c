#pragma once

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <string>
#include <string_view>

#include "store/collation.h"

namespace store::testing {

// The order the store kept before the hyphen and the apostrophe were set
// aside: ICU's Polish collation over the whole text, both marks punctuation
// before the letters. Tests write chains with it to stand for files an
// earlier build wrote.
class WholeTextOrder final : public Collation {
 public:
  WholeTextOrder() {
    UErrorCode status = U_ZERO_ERROR;
    exact_ = ucol_open("pl_PL", &status);
    caseless_ = ucol_open("pl_PL", &status);
    if (U_FAILURE(status)) return;
    ucol_setStrength(exact_, UCOL_TERTIARY);
    ucol_setStrength(caseless_, UCOL_SECONDARY);
  }
  ~WholeTextOrder() override {
    ucol_close(exact_);
    ucol_close(caseless_);
  }
  WholeTextOrder(const WholeTextOrder&) = delete;
  WholeTextOrder& operator=(const WholeTextOrder&) = delete;

  bool ok() const { return exact_ && caseless_; }

  int Compare(std::string_view a, std::string_view b, bool ignoreCase) const override {
    const std::u16string wa = Wide(a), wb = Wide(b);
    const UCollationResult r =
        ucol_strcoll(ignoreCase ? caseless_ : exact_, reinterpret_cast<const UChar*>(wa.data()), int32_t(wa.size()),
                     reinterpret_cast<const UChar*>(wb.data()), int32_t(wb.size()));
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
  }

  std::string SortKey(std::string_view text) const override {
    const std::u16string w = Wide(text);
    std::string key(w.size() * 8 + 16, '\0');
    const auto* source = reinterpret_cast<const UChar*>(w.data());
    int32_t n =
        ucol_getSortKey(exact_, source, int32_t(w.size()), reinterpret_cast<uint8_t*>(key.data()), int32_t(key.size()));
    if (n > int32_t(key.size())) {
      key.resize(size_t(n));
      n = ucol_getSortKey(exact_, source, int32_t(w.size()), reinterpret_cast<uint8_t*>(key.data()), n);
    }
    key.resize(size_t(n));
    return key;
  }

 private:
  static std::u16string Wide(std::string_view bytes) {
    const std::string utf8 = Windows1250ToUtf8(bytes);
    std::u16string out(utf8.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(reinterpret_cast<UChar*>(out.data()), int32_t(out.size()), &length, utf8.data(), int32_t(utf8.size()),
                  &status);
    out.resize(U_SUCCESS(status) ? size_t(length) : 0);
    return out;
  }

  UCollator* exact_ = nullptr;
  UCollator* caseless_ = nullptr;
};

}  // namespace store::testing
