#include "store/collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace store {
namespace {

TEST(CollationTest, PolishTertiaryOrderAndPrefixBytes) {
  const auto pl = MakeLocaleCollation("pl_PL");
  auto cmp = [&](const char* a, const char* b, bool ci = false) {
    return pl->Compare(Utf8ToWindows1250(a), Utf8ToWindows1250(b), ci);
  };
  EXPECT_LT(cmp("l", "ł"), 0);
  EXPECT_LT(cmp("lz", "ła"), 0);
  EXPECT_LT(cmp("kowalski", "Kowalski"), 0);
  EXPECT_NE(cmp("a", "A"), 0);
  EXPECT_EQ(cmp("a", "A", true), 0);
  EXPECT_NE(cmp("a", "ą", true), 0);  // ignoring case keeps accents apart
  EXPECT_LT(cmp("Z", "Ź"), 0);
  EXPECT_LT(cmp("Ź", "Ż"), 0);
  EXPECT_EQ(cmp("", ""), 0);
  EXPECT_LT(cmp("", "a"), 0);
}

int Sign(int c) { return (c > 0) - (c < 0); }

// Lists as the store ordered them before (ICU alone: the hyphen and the
// apostrophe as punctuation, before the letters) and as the Windows word
// sort orders them, which sets both aside but for a tie.
TEST(CollationTest, HyphenAndApostropheWeighNothingButATie) {
  const auto pl = MakeLocaleCollation("pl_PL");
  const struct {
    std::vector<std::string> before, wordSort;
  } cases[] = {
      {{"Ab c", "Ab-c", "Aba", "Abc"}, {"Ab c", "Aba", "Abc", "Ab-c"}},
      {{"Nowak", "Nowak-Zając", "Nowaka"}, {"Nowak", "Nowaka", "Nowak-Zając"}},
      {{"O'Neil", "Onea", "Oneil"}, {"Onea", "Oneil", "O'Neil"}},
      // The tie, mark by mark: none first, then the earlier place, then at
      // one place the apostrophe before the hyphen; fewer marks first when
      // the others stand alike.
      {{"co-o-p", "co-op", "co'op", "coo-p", "coop"}, {"coop", "co'op", "co-op", "co-o-p", "coo-p"}},
      // Case decides before the marks do.
      {{"Ab-c", "Abc", "ab-c", "abc"}, {"abc", "ab-c", "Abc", "Ab-c"}},
      // Every other mark still sorts before the letters and digits.
      {{"Ab'c", "Ab_c", "Ab.c", "Ab0c", "Ab-c", "Ab,c", "Aba"},
       {"Ab_c", "Ab,c", "Ab.c", "Ab0c", "Aba", "Ab'c", "Ab-c"}},
      // Polish letters keep their places.
      {{"Ł-a", "Lz", "La", "Ła"}, {"La", "Lz", "Ła", "Ł-a"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> texts;
    for (const std::string& t : c.before) texts.push_back(Utf8ToWindows1250(t));
    std::stable_sort(texts.begin(), texts.end(),
                     [&](const std::string& a, const std::string& b) { return pl->Compare(a, b, false) < 0; });
    std::vector<std::string> sorted;
    for (const std::string& t : texts) sorted.push_back(Windows1250ToUtf8(t));
    EXPECT_EQ(sorted, c.wordSort);
    // Each pair on its own, both ways round, so a sort's luck cannot hide a
    // comparison that contradicts itself.
    for (size_t i = 0; i < texts.size(); ++i) {
      for (size_t j = i + 1; j < texts.size(); ++j) {
        EXPECT_LT(pl->Compare(texts[i], texts[j], false), 0) << sorted[i] << " / " << sorted[j];
        EXPECT_GT(pl->Compare(texts[j], texts[i], false), 0) << sorted[j] << " / " << sorted[i];
      }
    }
  }
}

TEST(CollationTest, IgnoringCaseKeepsTheMarksAsTheTie) {
  const auto pl = MakeLocaleCollation("pl_PL");
  const struct {
    const char *a, *b;
    int caseless;  // sign of Compare(a, b, true)
  } cases[] = {
      {"Ab-c", "ab-c", 0},
      {"NOWAK-ZAJĄC", "nowak-zając", 0},
      {"O'NEIL", "o'neil", 0},
      {"abc", "AB-C", -1},
      {"Ab-c", "abc", 1},
      {"a-bc", "AB-C", -1},
      {"Ab'c", "ab-c", -1},
      {"Nowak-Zając", "nowak-zajac", 1},  // accents still count
      {"Nowaka", "NOWAK-ZAJĄC", -1},
      {"Ab c", "ab-c", -1},
  };
  for (const auto& c : cases) {
    const std::string a = Utf8ToWindows1250(c.a), b = Utf8ToWindows1250(c.b);
    EXPECT_EQ(Sign(pl->Compare(a, b, true)), c.caseless) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(pl->Compare(b, a, true)), -c.caseless) << c.b << " / " << c.a;
  }
}

// SortKey hashes the texts the store finds as equal: equal keys exactly for
// texts Compare calls equal, and here also in the same order. The soft
// hyphen (0xAD), which ICU ignores outright, makes texts equal that differ
// in their bytes.
TEST(CollationTest, SortKeysAgreeWithCompare) {
  const auto pl = MakeLocaleCollation("pl_PL");
  // clang-format off
  const std::vector<std::string> texts = {
      "Abc",  "Ab-c", "Ab'c", "ab-c", "AB-C", "Ab\xAD" "c", "A\xAD" "b-c", "Ab-\xAD" "c", "Ab--c", "Abc-",
      "-Abc", "'Abc", "A-b-c", "Ab c",  "Aba",  "Nowak", "Nowak-Za", "NowakZa", "Nowak'Za", "",
      "-",    "'",    "--",
  };
  // clang-format on
  for (const std::string& a : texts) {
    for (const std::string& b : texts) {
      const std::string shown = Windows1250ToUtf8(a) + " / " + Windows1250ToUtf8(b);
      const int c = Sign(pl->Compare(a, b, false));
      const std::string ka = pl->SortKey(a), kb = pl->SortKey(b);
      EXPECT_EQ(ka == kb, c == 0) << shown;
      EXPECT_EQ(Sign(ka.compare(kb)), c) << shown;
      EXPECT_EQ(Sign(pl->Compare(b, a, false)), -c) << shown;
    }
  }
  // The equal ones the list above relies on.
  EXPECT_EQ(pl->Compare("Ab\xAD"
                        "c",
                        "Abc", false),
            0);
  EXPECT_EQ(pl->Compare("Ab-\xAD"
                        "c",
                        "Ab-c", false),
            0);
}

// Prefix finds rest on RangeKey and PrefixKey: along an order by Compare the
// range keys never go down, under either case rule, and every text whose
// first bytes compare equal to a prefix has a range key that begins with the
// prefix's key. Letters that join across a prefix's end (the Czech and
// Slovak "ch", the Hungarian "cs", "ny", "sz") would break that; the
// Catalan "l·" of ICU's root order, which keeps the weight of its "l", does
// not.
TEST(CollationTest, RangeKeysHoldEveryTextThatStartsWithAPrefix) {
  std::vector<std::string> texts;
  for (const char* t : {"Nowak",       "Nowaka",    "Nowa-Kowalska",
                        "Nowak-Zając", "nowak",     "NOWAK",
                        "NowaK",       "Żak",       "Żaba",
                        "Zak",         "Źrebiec",   "ż",
                        "Łoś",         "Lis",       "lis",
                        "Straße",      "Strasse",   "Strassen",
                        "Stra",        "Ab\u00ADc", "Abc",
                        "Ab-c",        "O'Neil",    "Oneil",
                        "coop",        "co-op",     "Ąb",
                        "ąb",          "a",         "",
                        "Chlupa",      "Cibulka",   "Hora",
                        "csak",        "Csaba",     "cukor",
                        "Szabó",       "Sándor",    "nyúl",
                        "nulla",       "l·a",       "L·a",
                        "la",          "lb",        "12",
                        "1-2",         "102",       "9"}) {
    texts.push_back(Utf8ToWindows1250(t));
  }
  for (const char* locale : {"pl_PL", "cs_CZ", "sk_SK", "hu_HU", "en_US"}) {
    SCOPED_TRACE(locale);
    const auto collation = MakeLocaleCollation(locale);
    for (const bool ignoreCase : {false, true}) {
      std::vector<std::string> sorted = texts;
      std::stable_sort(sorted.begin(), sorted.end(), [&](const std::string& a, const std::string& b) {
        return collation->Compare(a, b, ignoreCase) < 0;
      });
      for (size_t i = 1; i < sorted.size(); ++i) {
        EXPECT_LE(collation->RangeKey(sorted[i - 1]), collation->RangeKey(sorted[i]))
            << Windows1250ToUtf8(sorted[i - 1]) << " / " << Windows1250ToUtf8(sorted[i])
            << (ignoreCase ? " ignoring case" : "");
      }
    }
    for (const std::string& text : texts) {
      const std::string key = collation->RangeKey(text);
      for (const std::string& other : texts) {
        for (size_t n = 0; n <= other.size(); ++n) {
          const std::string prefix = other.substr(0, n);
          const std::string_view start = std::string_view(text).substr(0, n);
          if (collation->Compare(start, prefix, true) != 0) continue;  // equal with case is equal without
          const std::string want = collation->PrefixKey(prefix);
          EXPECT_EQ(key.compare(0, want.size(), want), 0)
              << Windows1250ToUtf8(text) << " starts with " << Windows1250ToUtf8(prefix);
        }
      }
    }
  }
  // The Polish order bounds its prefixes; an empty key would have every find
  // look at every row.
  const auto pl = MakeLocaleCollation("pl_PL");
  EXPECT_NE(pl->PrefixKey("Nowak"), pl->PrefixKey("Nowa"));
  EXPECT_LT(pl->RangeKey("Nowa"), pl->RangeKey("Nowal"));
}

TEST(CollationTest, CodePageRoundTrip) {
  const std::string polish = "Zażółć gęślą jaźń ŻÓŁĆ";
  EXPECT_EQ(Windows1250ToUtf8(Utf8ToWindows1250(polish)), polish);
  EXPECT_EQ(Utf8ToWindows1250("ł").size(), 1u);
  EXPECT_EQ(Utf8ToWindows1250("漢"), "?");
}

}  // namespace
}  // namespace store
