#include "phonelist/marks.h"

#include "store/collation.h"

void Marks::SetCollation(const store::Collation* collation) {
  const std::vector<std::string> numbers = Numbers();
  collation_ = collation;
  Empty();
  for (const std::string& tel : numbers) Append(tel);
}

std::string Marks::Key(std::string_view tel) const {
  tel = tel.substr(0, kTelSize);
  return collation_ ? collation_->SortKey(tel) : std::string(tel);
}

void Marks::Append(std::string_view tel) {
  const std::string_view cut = tel.substr(0, kTelSize);
  byKey_[Key(cut)].push_back(entries_.size());
  entries_.push_back(Entry{std::string(cut)});
  ++live_;
}

bool Marks::Contains(std::string_view tel) const {
  if (live_ == 0) return false;
  return byKey_.count(Key(tel)) != 0;
}

bool Marks::RemoveOne(std::string_view tel) {
  const auto it = byKey_.find(Key(tel));
  if (it == byKey_.end()) return false;
  entries_[it->second.front()].live = false;
  it->second.pop_front();
  if (it->second.empty()) byKey_.erase(it);
  if (--live_ == 0) entries_.clear();
  return true;
}

void Marks::Empty() {
  entries_.clear();
  byKey_.clear();
  live_ = 0;
}

std::vector<std::string> Marks::Numbers() const {
  std::vector<std::string> numbers;
  numbers.reserve(size_t(live_));
  for (const Entry& entry : entries_) {
    if (entry.live) numbers.push_back(entry.tel);
  }
  return numbers;
}
