#include "store/cursor.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace store {

namespace {

std::vector<std::string> SplitNames(std::string_view text) {
  std::vector<std::string> names;
  size_t start = 0;
  while (true) {
    const size_t semi = text.find(';', start);
    std::string_view part = text.substr(start, semi == std::string_view::npos ? std::string_view::npos : semi - start);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
    names.emplace_back(part);
    if (semi == std::string_view::npos) break;
    start = semi + 1;
  }
  return names;
}

std::int64_t ParseInteger(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  return r.ec == std::errc() ? value : 0;
}

std::string_view FieldText(std::string_view field) {
  const size_t end = field.find('\0');
  return end == std::string_view::npos ? field : field.substr(0, end);
}

}  // namespace

Cursor::Cursor(std::shared_ptr<Database> db, std::string table) : db_(std::move(db)), tableName_(std::move(table)) {}

Cursor::~Cursor() { EndGroups(); }

void Cursor::EndGroups() {
  if (!table_) return;
  if (table_->Replacing()) static_cast<void>(table_->EndReplace(*db_, false));
  // A cursor closing has nobody to tell: whoever cared ended its group
  // itself. What a failed end leaves is the last commit, whole.
  while (table_->InGroup()) static_cast<void>(table_->EndGroup(*db_));
}

Status Cursor::Open() {
  std::unique_ptr<TableData> table;
  Status s = db_->LoadTable(tableName_, &table);
  if (!s.ok()) return s;
  table_ = std::move(table);
  orderSlot_ = orderName_.empty() ? -1 : table_->IndexSlot(orderName_);
  state_ = State::kBrowse;
  First();
  return Status::Ok();
}

void Cursor::Close() {
  if (state_ != State::kBrowse) SetState(State::kBrowse);
  // Rows pending in a group are posted rows: they go in before the table goes.
  EndGroups();
  table_.reset();
  eof_ = true;
  pos_ = 0;
}

const std::vector<std::int32_t>& Cursor::CurrentOrder() const {
  return orderSlot_ < 0 ? table_->Natural() : table_->Order(orderSlot_);
}

int Cursor::RowCount() const { return table_ ? table_->LiveCount() : 0; }

void Cursor::First() {
  pos_ = 0;
  eof_ = !table_ || CurrentOrder().empty();
  DataChanged();
}

void Cursor::Next() {
  if (!table_) return;
  if (pos_ + 1 < CurrentOrder().size()) {
    ++pos_;
    DataChanged();
  } else {
    eof_ = true;
  }
}

int Cursor::Position() const {
  if (!table_ || CurrentOrder().empty()) return 0;
  return int(pos_) + 1;
}

std::int32_t Cursor::RowNumber() const {
  if (!table_ || CurrentOrder().empty()) return -1;
  return CurrentOrder()[std::min(pos_, CurrentOrder().size() - 1)];
}

void Cursor::MoveToRow(std::int32_t row) {
  const auto& order = CurrentOrder();
  auto it = order.end();
  if (orderSlot_ < 0) {
    // Row numbers stand in the natural order ascending.
    it = std::lower_bound(order.begin(), order.end(), row);
    if (it != order.end() && *it != row) it = order.end();
  } else if (table_->IsLive(row)) {
    // Bisect to the row's key, then step over the rows with an equal one.
    const std::string& image = table_->Row(row);
    const size_t from = table_->LowerBound(
        orderSlot_, [&](const std::string& other) { return table_->CompareKeys(orderSlot_, other, image); });
    for (size_t i = from; i < order.size(); ++i) {
      if (order[i] == row) {
        it = order.begin() + std::ptrdiff_t(i);
        break;
      }
      if (table_->CompareKeys(orderSlot_, table_->Row(order[i]), image) != 0) break;
    }
    // A mended order may hold a row off its key's place; look everywhere then.
    if (it == order.end()) it = std::find(order.begin(), order.end(), row);
  }
  if (it != order.end()) {
    pos_ = size_t(it - order.begin());
    eof_ = false;
  } else {
    pos_ = 0;
    eof_ = order.empty();
  }
  DataChanged();
}

void Cursor::SetState(State state) {
  if (state_ == state) return;
  state_ = state;
  if (onStateChange) onStateChange(state);
}

void Cursor::DataChanged() {
  if (disabled_ > 0) {
    changedWhileDisabled_ = true;
    return;
  }
  if (onDataChange) onDataChange();
}

void Cursor::DisableControls() { ++disabled_; }

void Cursor::EnableControls() {
  if (disabled_ == 0) return;
  if (--disabled_ == 0 && changedWhileDisabled_) {
    changedWhileDisabled_ = false;
    if (onDataChange) onDataChange();
  }
}

Status Cursor::Append() {
  if (!table_) return Status::InvalidArgument("Cannot perform this operation on a closed dataset");
  if (state_ != State::kBrowse) {
    Status s = Post();
    if (!s.ok()) return s;
  }
  pending_.assign(size_t(table_->RowSize()), '\0');
  editing_ = -1;
  modified_ = false;
  SetState(State::kInsert);
  if (onNewRow) {
    inHook_ = true;
    onNewRow(*this);
    inHook_ = false;
  }
  return Status::Ok();
}

Status Cursor::Edit() {
  if (!table_) return Status::InvalidArgument("Cannot perform this operation on a closed dataset");
  if (state_ != State::kBrowse) return Status::Ok();
  if (RowCount() == 0) return Append();
  editing_ = RowNumber();
  pending_ = table_->Row(editing_);
  modified_ = false;
  SetState(State::kEdit);
  return Status::Ok();
}

Status Cursor::Post() {
  if (!table_ || state_ == State::kBrowse) return Status::Ok();
  std::int32_t row = editing_;
  Status s = state_ == State::kInsert ? table_->Append(*db_, pending_, &row) : table_->Change(*db_, editing_, pending_);
  if (!s.ok()) return s;  // the row stays pending; the caller decides
  SetState(State::kBrowse);
  MoveToRow(row);
  return Status::Ok();
}

void Cursor::Cancel() {
  if (state_ == State::kBrowse) return;
  SetState(State::kBrowse);
  DataChanged();
}

Status Cursor::Delete() {
  if (!table_) return Status::InvalidArgument("Cannot perform this operation on a closed dataset");
  if (state_ == State::kInsert) {
    Cancel();
    return Status::Ok();
  }
  if (state_ == State::kEdit) Cancel();
  if (RowCount() == 0) return Status::InvalidArgument("Cannot perform this operation on an empty dataset");
  const size_t at = pos_;
  Status s = table_->Delete(*db_, RowNumber());
  if (!s.ok()) return s;
  const auto& order = CurrentOrder();
  // The row after becomes current; the one before when the last went.
  pos_ = order.empty() ? 0 : std::min(at, order.size() - 1);
  eof_ = order.empty();
  DataChanged();
  return Status::Ok();
}

Status Cursor::FieldAt(std::string_view name, int* index) const {
  if (!table_) return Status::InvalidArgument("Cannot perform this operation on a closed dataset");
  *index = table_->FieldIndex(name);
  if (*index < 0) return Status::NotFound("Field '" + std::string(name) + "' not found");
  return Status::Ok();
}

const std::string* Cursor::CurrentImage() const {
  if (state_ != State::kBrowse) return &pending_;
  const std::int32_t row = RowNumber();
  return row < 0 ? nullptr : &table_->Row(row);
}

std::string Cursor::TextOf(const std::string& image, int f) const {
  const FieldDefinition& def = table_->header().fields[size_t(f)];
  if (!IsTextType(def.type)) return std::to_string(IntOf(image, f));
  const char* p = image.data() + table_->FieldOffset(f);
  return std::string(FieldText(std::string_view(p, size_t(def.size))));
}

std::int64_t Cursor::IntOf(const std::string& image, int f) const {
  const FieldDefinition& def = table_->header().fields[size_t(f)];
  const char* p = image.data() + table_->FieldOffset(f);
  return IsTextType(def.type) ? ParseInteger(FieldText(std::string_view(p, size_t(def.size)))) : GetFieldNumber(def, p);
}

const std::string* Cursor::ImageAt(int position) const {
  if (!table_ || position < 1 || size_t(position) > CurrentOrder().size()) return nullptr;
  return &table_->Row(CurrentOrder()[size_t(position - 1)]);
}

Status Cursor::GetText(std::string_view name, std::string* out) const {
  int f = 0;
  Status s = FieldAt(name, &f);
  if (!s.ok()) return s;
  const std::string* image = CurrentImage();
  *out = image ? TextOf(*image, f) : std::string();
  return Status::Ok();
}

Status Cursor::GetInt(std::string_view name, std::int64_t* out) const {
  int f = 0;
  Status s = FieldAt(name, &f);
  if (!s.ok()) return s;
  const std::string* image = CurrentImage();
  *out = image ? IntOf(*image, f) : 0;
  return Status::Ok();
}

std::string Cursor::TextAt(int position, std::string_view name) const {
  const std::string* image = ImageAt(position);
  const int f = image ? table_->FieldIndex(name) : -1;
  return f < 0 ? std::string() : TextOf(*image, f);
}

std::int64_t Cursor::IntAt(int position, std::string_view name) const {
  const std::string* image = ImageAt(position);
  const int f = image ? table_->FieldIndex(name) : -1;
  return f < 0 ? 0 : IntOf(*image, f);
}

Status Cursor::MoveTo(int position) {
  if (!table_) return Status::InvalidArgument("Cannot perform this operation on a closed dataset");
  // Staying on the row being edited keeps the edit going.
  if (state_ == State::kEdit && position == Position()) return Status::Ok();
  Status s = Settle();
  if (!s.ok()) return s;
  const auto& order = CurrentOrder();
  if (position < 1 || size_t(position) > order.size()) return Status::Ok();
  pos_ = size_t(position - 1);
  eof_ = false;
  DataChanged();
  return Status::Ok();
}

Status Cursor::GetBool(std::string_view name, bool* out) const {
  std::int64_t value = 0;
  Status s = GetInt(name, &value);
  *out = value != 0;
  return s;
}

Status Cursor::SetText(std::string_view name, std::string_view value) {
  int f = 0;
  Status s = FieldAt(name, &f);
  if (!s.ok()) return s;
  if (state_ == State::kBrowse) return Status::InvalidArgument("Dataset not in edit or insert mode");
  const FieldDefinition& def = table_->header().fields[size_t(f)];
  if (!IsTextType(def.type)) return SetInt(name, ParseInteger(value));
  char* p = pending_.data() + table_->FieldOffset(f);
  const size_t width = size_t(FieldWidth(def.type, def.size));
  std::memset(p, 0, width);
  std::memcpy(p, value.data(), std::min(value.size(), width - 1));  // cut to the size, always ends with 0
  if (!inHook_) modified_ = true;
  return Status::Ok();
}

Status Cursor::SetInt(std::string_view name, std::int64_t value) {
  int f = 0;
  Status s = FieldAt(name, &f);
  if (!s.ok()) return s;
  if (state_ == State::kBrowse) return Status::InvalidArgument("Dataset not in edit or insert mode");
  const FieldDefinition& def = table_->header().fields[size_t(f)];
  char* p = pending_.data() + table_->FieldOffset(f);
  if (IsTextType(def.type)) return SetText(name, std::to_string(value));
  if (!PutFieldNumber(def, p, value))
    return Status::InvalidArgument("Field '" + std::string(name) + "' cannot hold a number");
  if (!inHook_) modified_ = true;
  return Status::Ok();
}

std::string Cursor::Text(std::string_view field) const {
  std::string text;
  // The convenience read of a field the caller knows: one that is not there
  // reads as empty, as GetText's callers are told.
  static_cast<void>(GetText(field, &text));
  return text;
}

std::int64_t Cursor::Int(std::string_view field) const {
  std::int64_t value = 0;
  static_cast<void>(GetInt(field, &value));  // as Text(): a missing field reads 0
  return value;
}

Status Cursor::Settle() {
  if (state_ == State::kBrowse) return Status::Ok();
  if (modified_) return Post();
  Cancel();
  return Status::Ok();
}

Status Cursor::Find(std::string_view fieldList, const std::vector<std::string>& values, FindOptions options,
                    bool* found) {
  *found = false;
  if (!table_) return Status::InvalidArgument("Cannot perform this operation on a closed dataset");
  Status s = Settle();
  if (!s.ok()) return s;
  const std::vector<std::string> names = SplitNames(fieldList);
  if (values.empty()) return Status::InvalidArgument("Find needs a value");
  std::vector<int> fields;
  for (const std::string& name : names) {
    int f = 0;
    s = FieldAt(name, &f);
    if (!s.ok()) return s;
    fields.push_back(f);
  }

  // Each search value in its field's form: texts cut to the size, numbers parsed.
  const TableData& t = *table_;
  std::string probe(size_t(t.RowSize()), '\0');
  std::vector<std::string> texts(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldDefinition& def = t.header().fields[size_t(fields[i])];
    const std::string& value = values[std::min(i, values.size() - 1)];
    char* p = probe.data() + t.FieldOffset(fields[i]);
    if (IsTextType(def.type)) {
      texts[i] = value.substr(0, size_t(def.size));
      std::memcpy(p, texts[i].data(), texts[i].size());
    } else {
      PutFieldNumber(def, p, ParseInteger(value));
    }
  }

  const Collation& collation = db_->collation();
  // <0, 0, >0 of a row's searched fields against the search values.
  auto compare = [&](const std::string& row) {
    for (size_t i = 0; i < fields.size(); ++i) {
      const FieldDefinition& def = t.header().fields[size_t(fields[i])];
      const size_t at = size_t(t.FieldOffset(fields[i]));
      int c = 0;
      if (IsTextType(def.type)) {
        std::string_view have = FieldText(std::string_view(row.data() + at, size_t(def.size)));
        if (options.prefix) have = have.substr(0, texts[i].size());
        c = collation.Compare(have, texts[i], options.ignoreCase);
      } else {
        c = CompareFieldNumbers(def, row.data() + at, probe.data() + at);
      }
      if (c != 0) return c;
    }
    return 0;
  };

  // An index on exactly these fields (and, for texts, of the same case
  // rule) is searched by bisection; otherwise the rows are scanned.
  int slot = -1;
  for (size_t i = 0; i < t.header().indexes.size() && slot < 0; ++i) {
    const IndexDefinition& index = t.header().indexes[i];
    if (index.fields.size() != fields.size() || (index.options & kIndexDescending)) continue;
    bool same = true;
    bool anyText = false;
    for (size_t k = 0; k < fields.size(); ++k) {
      same = same && index.fields[k] == fields[k];
      anyText = anyText || IsTextType(t.header().fields[size_t(fields[k])].type);
    }
    const bool caseless = index.options & kIndexCaseInsensitive;
    if (same && (!anyText || caseless == options.ignoreCase)) slot = int(i);
  }

  std::int32_t match = -1;
  if (slot >= 0 && !options.prefix) {
    const auto& order = t.Order(slot);
    const size_t at = t.LowerBound(slot, compare);
    if (at < order.size() && compare(t.Row(order[at])) == 0) match = order[at];
  } else if (slot >= 0) {
    // The first bytes of linguistically ordered keys are not in order
    // themselves ("Koa" < "kowalski" < "Kowalski"; "Nowak" < "Nowa-Kowalska"
    // < "Nowak-Zając"), so the rows that start with the search text need not
    // stand together, nor does a bisection by them find the first. What does
    // stand together is every row that could start so: those whose range
    // key begins with the search text's (see Collation::RangeKey). Bisect to
    // the first of them and walk on to the first that really starts so.
    std::vector<std::string> prefixKeys(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
      if (IsTextType(t.header().fields[size_t(fields[i])].type)) prefixKeys[i] = collation.PrefixKey(texts[i]);
    }
    // <0 before every row that could match, >0 after every one, 0 among
    // them. A text field ends it: the fields after it are ordered only
    // among rows whose text is equal, and these are not.
    auto place = [&](const std::string& row) {
      for (size_t i = 0; i < fields.size(); ++i) {
        const FieldDefinition& def = t.header().fields[size_t(fields[i])];
        const size_t at = size_t(t.FieldOffset(fields[i]));
        if (!IsTextType(def.type)) {
          const int c = CompareFieldNumbers(def, row.data() + at, probe.data() + at);
          if (c != 0) return c;
          continue;
        }
        const std::string key = collation.RangeKey(FieldText(std::string_view(row.data() + at, size_t(def.size))));
        const std::string& want = prefixKeys[i];
        if (key.compare(0, want.size(), want) == 0) return 0;
        return key < want ? -1 : 1;
      }
      return 0;
    };
    const auto& order = t.Order(slot);
    for (size_t at = t.LowerBound(slot, place); at < order.size(); ++at) {
      const std::string& row = t.Row(order[at]);
      if (compare(row) == 0) {
        match = order[at];
        break;
      }
      if (place(row) > 0) break;
    }
  } else {
    for (std::int32_t row : CurrentOrder()) {
      if (compare(t.Row(row)) == 0) {
        match = row;
        break;
      }
    }
  }
  if (match < 0) return Status::Ok();
  MoveToRow(match);
  *found = true;
  return Status::Ok();
}

Status Cursor::SetOrder(std::string_view indexName) {
  orderName_ = std::string(indexName);
  if (!table_) return Status::Ok();
  Status s = Settle();
  if (!s.ok()) return s;
  orderSlot_ = orderName_.empty() ? -1 : table_->IndexSlot(orderName_);
  First();
  return Status::Ok();
}

Status Cursor::Reopen(std::int32_t keepRow) {
  if (table_ && table_->Replacing()) return Status::InvalidArgument("Cannot read a table again while its rows are being replaced");
  std::unique_ptr<TableData> table;
  // Rows pending in a group are counted first, or the table read would lack them.
  Status s = table_ ? table_->CommitGroup(*db_) : Status::Ok();
  if (s.ok()) s = db_->LoadTable(tableName_, &table);
  if (!s.ok()) return s;
  if (table_) table_->HandOverGroup(table.get());
  table_ = std::move(table);
  orderSlot_ = orderName_.empty() ? -1 : table_->IndexSlot(orderName_);
  if (keepRow >= 0 && table_->IsLive(keepRow)) {
    MoveToRow(keepRow);
  } else {
    pos_ = std::min(pos_, CurrentOrder().empty() ? size_t(0) : CurrentOrder().size() - 1);
    eof_ = CurrentOrder().empty();
    DataChanged();
  }
  return Status::Ok();
}

Status Cursor::Refresh() {
  if (!table_) return Status::InvalidArgument("Cannot perform this operation on a closed dataset");
  Status s = Settle();
  if (!s.ok()) return s;
  return Reopen(RowNumber());
}

Status Cursor::BeginAppendGroup(int rowsPerCommit) {
  if (!table_) return Status::InvalidArgument("Cannot perform this operation on a closed dataset");
  table_->BeginGroup(rowsPerCommit);
  return Status::Ok();
}

Status Cursor::EndAppendGroup() {
  if (!table_) return Status::Ok();
  return table_->EndGroup(*db_);
}

Status Cursor::BeginReplace() {
  if (!table_) return Status::InvalidArgument("Cannot perform this operation on a closed dataset");
  Status s = Settle();
  if (s.ok()) s = table_->BeginReplace(*db_);
  if (s.ok()) First();
  return s;
}

Status Cursor::EndReplace(bool keep) {
  if (!table_) return Status::Ok();
  if (state_ != State::kBrowse) SetState(State::kBrowse);
  Status s = table_->EndReplace(*db_, keep);
  First();
  return s;
}

Replacement::~Replacement() {
  if (open_) static_cast<void>(cursor_.EndReplace(false));
}

Status Replacement::Begin() {
  Status s = cursor_.BeginReplace();
  open_ = s.ok();
  return s;
}

Status Replacement::Commit() {
  if (!open_) return Status::Ok();
  open_ = false;
  return cursor_.EndReplace(true);
}

AppendGroup::AppendGroup(Cursor& cursor, int rowsPerCommit) : cursor_(cursor) {
  open_ = cursor_.BeginAppendGroup(rowsPerCommit).ok();
}

// Ending without Finish() is ending after a failure the caller is already
// telling; the rows committed so far stay, whole.
AppendGroup::~AppendGroup() { static_cast<void>(Finish()); }

Status AppendGroup::Finish() {
  if (!open_) return Status::Ok();
  open_ = false;
  return cursor_.EndAppendGroup();
}

}  // namespace store
