#include "store/format.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace store {

void PutInt32(char* dst, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  dst[0] = static_cast<char>(u & 0xFF);
  dst[1] = static_cast<char>((u >> 8) & 0xFF);
  dst[2] = static_cast<char>((u >> 16) & 0xFF);
  dst[3] = static_cast<char>((u >> 24) & 0xFF);
}

std::int32_t GetInt32(const char* src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  return static_cast<std::int32_t>(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
                                   (std::uint32_t(p[3]) << 24));
}

std::string Int32Bytes(std::int32_t value) {
  std::string bytes(4, '\0');
  PutInt32(bytes.data(), value);
  return bytes;
}

void PutInt16(char* dst, std::int16_t value) {
  const auto u = static_cast<std::uint16_t>(value);
  dst[0] = static_cast<char>(u & 0xFF);
  dst[1] = static_cast<char>((u >> 8) & 0xFF);
}

std::int16_t GetInt16(const char* src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  return static_cast<std::int16_t>(std::uint16_t(p[0]) | (std::uint16_t(p[1]) << 8));
}

void PutInt64(char* dst, std::int64_t value) {
  const auto u = static_cast<std::uint64_t>(value);
  for (int i = 0; i < 8; ++i) dst[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
}

std::int64_t GetInt64(const char* src) {
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  std::uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= std::uint64_t(p[i]) << (8 * i);
  return static_cast<std::int64_t>(u);
}

void PutName(char* dst, std::string_view name) {
  std::memset(dst, 0, kNameFieldLength);
  std::memcpy(dst, name.data(), std::min<size_t>(name.size(), kMaxNameLength));
}

std::string GetName(const char* src) {
  // A damaged name without its terminator is still cut at 32 bytes.
  size_t n = 0;
  while (n < size_t(kMaxNameLength) && src[n] != 0) ++n;
  return std::string(src, n);
}

void FileHeader::EncodeTo(char* dst) const {
  std::memset(dst, 0, kEncodedLength);
  std::memcpy(dst, kSignature.data(), kSignature.size());
  std::memcpy(dst + 7, version.data(), std::min<size_t>(version.size(), 5));
}

Status FileHeader::DecodeFrom(const char* src, FileHeader* out, std::string_view path) {
  if (std::memcmp(src, kSignature.data(), kSignature.size()) != 0) {
    return Status::Corruption("Database file '" + std::string(path) + "' is not a valid database file");
  }
  size_t n = 0;
  while (n < 5 && src[7 + n] != 0) ++n;
  out->version.assign(src + 7, n);
  return Status::Ok();
}

namespace {
// Tells a hint from the zeros every other writer leaves there.
constexpr char kEndHintTag[4] = {'E', 'N', 'D', 1};
}  // namespace

std::string EncodeEndHint(std::int64_t used, std::int64_t allocated) {
  std::string bytes(size_t(kEndHintLength), '\0');
  std::memcpy(bytes.data(), kEndHintTag, sizeof kEndHintTag);
  PutInt32(bytes.data() + 4, std::int32_t(used));
  PutInt32(bytes.data() + 8, std::int32_t(allocated));
  return bytes;
}

std::int64_t UsedEnd(const char* hint, std::int64_t size) {
  if (std::memcmp(hint, kEndHintTag, sizeof kEndHintTag) != 0) return size;
  const std::int64_t used = GetInt32(hint + 4);
  const std::int64_t allocated = GetInt32(hint + 8);
  if (allocated != size || used < kFirstTableOffset || used > allocated) return size;
  return used;
}

std::int64_t UsedEndOf(std::string_view file) {
  const std::int64_t size = std::int64_t(file.size());
  return size < kFirstTableOffset ? size : UsedEnd(file.data() + kEndHintOffset, size);
}

void OptionsBlock::EncodeTo(char* dst) const {
  std::memset(dst, 0, kEncodedLength);
  dst[0] = compression ? 1 : 0;
  dst[1] = static_cast<char>(compressionLevel);
  PutName(dst + 2, compressionName);
  dst[35] = encryption ? 1 : 0;
  dst[36] = static_cast<char>(encryptionMode);
  PutName(dst + 37, encryptionName);
  dst[70] = checksums ? 1 : 0;
  std::memcpy(dst + 71, random.data(), random.size());
  std::memcpy(dst + 327, passwordDigest.data(), std::min<size_t>(passwordDigest.size(), 128));
}

OptionsBlock OptionsBlock::DecodeFrom(const char* src) {
  OptionsBlock o;
  o.compression = src[0] != 0;
  o.compressionLevel = static_cast<std::uint8_t>(src[1]);
  o.compressionName = GetName(src + 2);
  o.encryption = src[35] != 0;
  o.encryptionMode = static_cast<std::uint8_t>(src[36]);
  o.encryptionName = GetName(src + 37);
  o.checksums = src[70] != 0;
  std::memcpy(o.random.data(), src + 71, o.random.size());
  size_t n = 0;
  while (n < 128 && src[327 + n] != 0) ++n;
  o.passwordDigest.assign(src + 327, n);
  return o;
}

void TableDirectory::EncodeTo(char* dst) const {
  std::memset(dst, 0, kEncodedLength);
  PutInt32(dst, static_cast<std::int32_t>(tableOffsets.size()));
  for (size_t i = 0; i < tableOffsets.size() && i < size_t(kMaxTables); ++i) PutInt32(dst + 8 + 4 * i, tableOffsets[i]);
}

Status TableDirectory::DecodeFrom(const char* src, TableDirectory* out) {
  const std::int32_t count = GetInt32(src);
  if (count < 0 || count > kMaxTables) return Status::Corruption("table directory holds an impossible table count");
  out->tableOffsets.clear();
  for (int i = 0; i < count; ++i) out->tableOffsets.push_back(GetInt32(src + 8 + 4 * i));
  return Status::Ok();
}

bool IsKnownFieldType(std::uint8_t code) {
  switch (code) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 9:
    case 10:
    case 11:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 23:
    case 25: return true;
    default: return false;
  }
}

bool IsTextType(FieldType type) { return type == FieldType::kText || type == FieldType::kFixedText; }

bool IsBlobType(FieldType type) {
  return type == FieldType::kBlob || type == FieldType::kMemo || type == FieldType::kGraphic ||
         type == FieldType::kFormattedMemo;
}

int FieldWidth(FieldType type, std::int32_t size) {
  switch (type) {
    case FieldType::kText:
    case FieldType::kFixedText: return size + 1;
    case FieldType::kInt16:
    case FieldType::kUInt16:
    case FieldType::kBoolean: return 2;
    case FieldType::kInt32:
    case FieldType::kDate:
    case FieldType::kTime:
    case FieldType::kAutoInc: return 4;
    case FieldType::kFloat:
    case FieldType::kCurrency:
    case FieldType::kDateTime:
    case FieldType::kInt64: return 8;
    case FieldType::kBlob:
    case FieldType::kMemo:
    case FieldType::kGraphic:
    case FieldType::kFormattedMemo: return 20;
  }
  return 0;
}

namespace {

bool HoldsDouble(FieldType type) { return type == FieldType::kFloat || type == FieldType::kDateTime; }

double GetDouble(const char* src) {
  double d;
  std::memcpy(&d, src, sizeof d);
  return d;
}

template <typename T>
int ThreeWay(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace

std::int64_t DoubleToNumber(double value) {
  // 2^63 is exact as a double; every double below it and above -2^63
  // truncates to an int64 that exists.
  constexpr double kLimit = 9223372036854775808.0;
  if (std::isnan(value)) return 0;
  if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (value < -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

std::int64_t GetFieldNumber(const FieldDefinition& field, const char* value) {
  if (HoldsDouble(field.type)) return DoubleToNumber(GetDouble(value));
  if (field.type == FieldType::kUInt16) return std::uint16_t(GetInt16(value));
  switch (FieldWidth(field.type, field.size)) {
    case 2: return GetInt16(value);
    case 4: return GetInt32(value);
    case 8: return GetInt64(value);
    default: return 0;  // blobs carry no number
  }
}

bool PutFieldNumber(const FieldDefinition& field, char* value, std::int64_t number) {
  if (HoldsDouble(field.type)) {
    const double d = double(number);
    std::memcpy(value, &d, sizeof d);
    return true;
  }
  switch (FieldWidth(field.type, field.size)) {
    case 2: PutInt16(value, std::int16_t(number)); return true;
    case 4: PutInt32(value, std::int32_t(number)); return true;
    case 8: PutInt64(value, number); return true;
    default: return false;
  }
}

int CompareFieldNumbers(const FieldDefinition& field, const char* a, const char* b) {
  if (HoldsDouble(field.type)) return ThreeWay(GetDouble(a), GetDouble(b));
  if (IsBlobType(field.type)) {
    const int c = std::memcmp(a, b, size_t(FieldWidth(field.type, field.size)));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  return ThreeWay(GetFieldNumber(field, a), GetFieldNumber(field, b));
}

void FieldDefinition::EncodeTo(char* dst) const {
  std::memset(dst, 0, kEncodedLength);
  PutName(dst, name);
  dst[33] = static_cast<char>(type);
  PutInt32(dst + 34, IsTextType(type) ? size : 0);
}

FieldDefinition FieldDefinition::DecodeFrom(const char* src) {
  FieldDefinition f;
  f.name = GetName(src);
  f.type = static_cast<FieldType>(static_cast<std::uint8_t>(src[33]));
  f.size = GetInt32(src + 34);
  return f;
}

void IndexDefinition::EncodeTo(char* dst) const {
  std::memset(dst, 0, kEncodedLength);
  PutName(dst, name);
  dst[33] = static_cast<char>(options);
  for (int i = 0; i < kMaxIndexFields; ++i) {
    PutInt32(dst + 34 + 4 * i, i < int(fields.size()) ? fields[size_t(i)] : -1);
  }
  PutInt32(dst + TableHeader::kIndexTabAt, tabOffset);
  PutInt32(dst + TableHeader::kIndexHeadAt, head);
}

IndexDefinition IndexDefinition::DecodeFrom(const char* src) {
  IndexDefinition d;
  d.name = GetName(src);
  d.options = static_cast<std::uint8_t>(src[33]);
  for (int i = 0; i < kMaxIndexFields; ++i) {
    const std::int32_t field = GetInt32(src + 34 + 4 * i);
    if (field == -1) break;
    d.fields.push_back(field);
  }
  d.tabOffset = GetInt32(src + TableHeader::kIndexTabAt);
  d.head = GetInt32(src + TableHeader::kIndexHeadAt);
  return d;
}

void TableHeader::EncodeTo(char* dst) const {
  std::memset(dst, 0, kEncodedLength);
  PutName(dst, name);
  PutInt32(dst + kRecordTabAt, recordTab);
  PutInt32(dst + kRowCountAt, rowCount);
  PutInt32(dst + kLastAutoIncAt, lastAutoInc);
  PutInt32(dst + kFieldCountAt, static_cast<std::int32_t>(fields.size()));
  for (size_t i = 0; i < fields.size() && i < size_t(kMaxFields); ++i) {
    fields[i].EncodeTo(dst + kFieldsAt + i * FieldDefinition::kEncodedLength);
  }
  PutInt32(dst + kIndexCountAt, static_cast<std::int32_t>(indexes.size()));
  for (size_t i = 0; i < indexes.size() && i < size_t(kMaxIndexes); ++i) {
    indexes[i].EncodeTo(dst + IndexDefinitionAt(int(i)));
  }
}

Status TableHeader::DecodeFrom(const char* src, TableHeader* out) {
  TableHeader h;
  h.name = GetName(src);
  h.recordTab = GetInt32(src + kRecordTabAt);
  h.rowCount = GetInt32(src + kRowCountAt);
  h.lastAutoInc = GetInt32(src + kLastAutoIncAt);
  const std::int32_t fieldCount = GetInt32(src + kFieldCountAt);
  if (fieldCount < 1 || fieldCount >= kMaxFields) {
    return Status::Corruption("table '" + h.name + "' has an impossible field count");
  }
  if (h.rowCount < 0) return Status::Corruption("table '" + h.name + "' has a negative row count");
  for (int i = 0; i < fieldCount; ++i) {
    FieldDefinition f = FieldDefinition::DecodeFrom(src + kFieldsAt + i * FieldDefinition::kEncodedLength);
    if (!IsKnownFieldType(static_cast<std::uint8_t>(f.type))) {
      return Status::Corruption("field '" + f.name + "' of table '" + h.name + "' has an unknown type");
    }
    if (IsTextType(f.type) && (f.size < 1 || f.size > kMaxTextSize)) {
      return Status::Corruption("field '" + f.name + "' of table '" + h.name + "' has an impossible size");
    }
    h.fields.push_back(std::move(f));
  }
  const std::int32_t indexCount = GetInt32(src + kIndexCountAt);
  if (indexCount < 0 || indexCount > kMaxIndexes) {
    return Status::Corruption("table '" + h.name + "' has an impossible index count");
  }
  for (int i = 0; i < indexCount; ++i) {
    IndexDefinition d = IndexDefinition::DecodeFrom(src + IndexDefinitionAt(i));
    if (d.fields.empty()) return Status::Corruption("index '" + d.name + "' of table '" + h.name + "' has no fields");
    for (std::int32_t field : d.fields) {
      if (field < 0 || field >= fieldCount) {
        return Status::Corruption("index '" + d.name + "' of table '" + h.name + "' names a missing field");
      }
    }
    h.indexes.push_back(std::move(d));
  }
  *out = std::move(h);
  return Status::Ok();
}

void RecordItem::EncodeTo(char* dst) const {
  PutInt32(dst, offset);
  dst[4] = deleted ? 1 : 0;
}

RecordItem RecordItem::DecodeFrom(const char* src) { return RecordItem{GetInt32(src), src[4] != 0}; }

void IndexItem::EncodeTo(char* dst) const {
  PutInt32(dst, row);
  PutInt32(dst + 4, next);
}

IndexItem IndexItem::DecodeFrom(const char* src) { return IndexItem{GetInt32(src), GetInt32(src + 4)}; }

}  // namespace store
