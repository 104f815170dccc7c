#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace store {

// How texts of the file's code page compare: the user's locale, linguistic
// order, upper and lower case different unless asked otherwise. As in the
// Windows word sort the files were first ordered by, a hyphen or an
// apostrophe weighs nothing but a tie: texts equal without them are ordered
// by where they stand (see FORMAT.md, "The order of texts").
class Collation {
 public:
  virtual ~Collation() = default;
  // <0, 0, >0 as a sorts before, with or after b.
  virtual int Compare(std::string_view a, std::string_view b, bool ignoreCase) const = 0;
  // Bytes that are equal exactly when Compare(a, b, false) is 0, for
  // hashing texts the way the store finds them.
  virtual std::string SortKey(std::string_view text) const = 0;

  // For finds by prefix: where the texts that start with a prefix (their
  // first bytes, as many as it has, compare equal to it, with or without
  // case) can stand in an order by Compare. RangeKey never goes down,
  // byte-wise, along such an order, under either case rule; and every text
  // that starts with a prefix has a RangeKey that begins with the prefix's
  // PrefixKey. Those texts therefore stand together where the keys begin
  // alike, among others that only sort alike. An order that gives no such
  // key answers empty keys for every text: any text may then start with any
  // prefix, and a find looks at every row.
  virtual std::string RangeKey(std::string_view /*text*/) const { return {}; }
  virtual std::string PrefixKey(std::string_view /*prefix*/) const { return {}; }
};

// An ICU collator for `locale` ("pl_PL", say); an empty name takes the user's
// default locale, and where none is set (the C/POSIX locale) the Polish one.
std::shared_ptr<const Collation> MakeLocaleCollation(const std::string& locale = "");

// Converts Windows-1250 bytes to UTF-8 and back ("?" for what the code page
// lacks); the store keeps bytes, its tool and tests speak UTF-8.
std::string Windows1250ToUtf8(std::string_view bytes);
std::string Utf8ToWindows1250(std::string_view utf8);

}  // namespace store
