#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace store {
class Collation;
}

// The marked phone numbers of the list (the in-memory table `memcheck`). It
// is never written anywhere, may hold a number more than once, and finds a
// number the way the store's exact find does: equal under the collation.
class Marks {
 public:
  static constexpr size_t kTelSize = 12;

  // Without a collation, numbers are equal when their bytes are.
  void SetCollation(const store::Collation* collation);

  // Appends one entry, cut to the field's size as the table would.
  void Append(std::string_view tel);
  // Whether some entry equals `tel`. Cheap: the grid asks once per painted row.
  bool Contains(std::string_view tel) const;
  // Deletes the first entry equal to `tel`; false when there is none.
  bool RemoveOne(std::string_view tel);
  int Count() const { return live_; }
  // Drops every entry at once.
  void Empty();
  // The entries in the order they were added.
  std::vector<std::string> Numbers() const;

 private:
  std::string Key(std::string_view tel) const;

  const store::Collation* collation_ = nullptr;
  struct Entry {
    std::string tel;
    bool live = true;
  };
  std::vector<Entry> entries_;
  // Live entry positions per collation key, oldest first.
  std::unordered_map<std::string, std::deque<size_t>> byKey_;
  int live_ = 0;
};
