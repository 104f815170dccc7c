#pragma once

// The byte layout of a database file. Every fixed structure has an explicit
// encoder and decoder and a size constant; nothing is ever cast onto bytes.
// The layout is told in FORMAT.md beside this file.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/status.h"

namespace store {

// Little-endian integers, byte by byte, whatever the host.
void PutInt32(char* dst, std::int32_t value);
std::int32_t GetInt32(const char* src);
void PutInt16(char* dst, std::int16_t value);
std::int16_t GetInt16(const char* src);
void PutInt64(char* dst, std::int64_t value);
std::int64_t GetInt64(const char* src);
// The four bytes PutInt32 writes, for a write of one number in place.
std::string Int32Bytes(std::int32_t value);

// A 33-byte name field: up to 32 bytes of text, then zeros.
inline constexpr int kNameFieldLength = 33;
inline constexpr int kMaxNameLength = 32;
void PutName(char* dst, std::string_view name);
std::string GetName(const char* src);

inline constexpr std::array<unsigned char, 7> kSignature = {0x54, 0x69, 0x6E, 0x79, 0x44, 0x42, 0x00};
inline constexpr std::string_view kVersion = "2.0";

// Where the fixed parts of the file stand.
inline constexpr std::int64_t kFileHeaderOffset = 0;
inline constexpr int kFileHeaderLength = 12;
inline constexpr std::int64_t kReservedOffset = 12;
inline constexpr int kReservedLength = 2305;
inline constexpr std::int64_t kOptionsOffset = 2317;
inline constexpr int kOptionsLength = 472;
inline constexpr std::int64_t kDirectoryOffset = 2789;
inline constexpr int kDirectoryLength = 1032;
inline constexpr std::int64_t kFirstTableOffset = 3821;

// The end hint, in the options block's reserved bytes: where what the file
// holds ends, when zeros written ahead lie past it (see FORMAT.md).
inline constexpr std::int64_t kEndHintOffset = kOptionsOffset + 456;
inline constexpr int kEndHintLength = 12;

// The hint's bytes for a file holding `used` bytes of `allocated`.
std::string EncodeEndHint(std::int64_t used, std::int64_t allocated);
// Where the next structure goes in a file of `size` bytes whose hint reads
// `hint`: the hint's end when it describes this file exactly, else the
// file's size (a file without one, or grown by a writer that keeps none).
std::int64_t UsedEnd(const char* hint, std::int64_t size);
// The same for a whole file's bytes.
std::int64_t UsedEndOf(std::string_view file);

inline constexpr int kMaxTables = 256;
inline constexpr int kMaxFields = 96;
inline constexpr int kMaxIndexes = 8;
inline constexpr int kMaxIndexFields = 8;
inline constexpr int kMaxTextSize = 8192;

// Record tab and index tab chunks: a next-chunk offset and 1024 items.
inline constexpr int kItemsPerChunk = 1024;
inline constexpr int kRecordItemLength = 5;
inline constexpr int kRecordChunkLength = 4 + kItemsPerChunk * kRecordItemLength;  // 5124
inline constexpr int kIndexItemLength = 8;
inline constexpr int kIndexChunkLength = 4 + kItemsPerChunk * kIndexItemLength;  // 8196

struct FileHeader {
  static constexpr int kEncodedLength = kFileHeaderLength;
  std::string version{kVersion};  // up to 5 bytes

  void EncodeTo(char* dst) const;
  // Checks the signature; the version is left to the caller to judge.
  static Status DecodeFrom(const char* src, FileHeader* out, std::string_view path);
};

struct OptionsBlock {
  static constexpr int kEncodedLength = kOptionsLength;
  bool compression = false;
  std::uint8_t compressionLevel = 1;
  std::string compressionName;
  bool encryption = false;
  std::uint8_t encryptionMode = 0;
  std::string encryptionName;
  bool checksums = false;
  std::array<std::uint8_t, 256> random{};
  std::string passwordDigest;  // up to 128 characters

  void EncodeTo(char* dst) const;
  static OptionsBlock DecodeFrom(const char* src);
};

struct TableDirectory {
  static constexpr int kEncodedLength = kDirectoryLength;
  std::vector<std::int32_t> tableOffsets;  // in creation order

  void EncodeTo(char* dst) const;
  static Status DecodeFrom(const char* src, TableDirectory* out);
};

enum class FieldType : std::uint8_t {
  kText = 1,
  kInt16 = 2,
  kInt32 = 3,
  kUInt16 = 4,
  kBoolean = 5,
  kFloat = 6,
  kCurrency = 7,
  kDate = 9,
  kTime = 10,
  kDateTime = 11,
  kAutoInc = 14,
  kBlob = 15,
  kMemo = 16,
  kGraphic = 17,
  kFormattedMemo = 18,
  kFixedText = 23,
  kInt64 = 25,
};

bool IsKnownFieldType(std::uint8_t code);
bool IsTextType(FieldType type);
bool IsBlobType(FieldType type);
// Bytes a value of this field takes in a row.
int FieldWidth(FieldType type, std::int32_t size);

struct FieldDefinition;

// A stored double as a number: truncated toward zero; beyond the int64
// range the nearest end of it, and NaN as 0. A file is read, not trusted.
std::int64_t DoubleToNumber(double value);

// A non-text field's value in a row: read as a number (floating-point types
// as DoubleToNumber reads them, blobs 0), written from one (floating-point
// types as doubles; false for blobs), and compared in the type's own order.
std::int64_t GetFieldNumber(const FieldDefinition& field, const char* value);
bool PutFieldNumber(const FieldDefinition& field, char* value, std::int64_t number);
int CompareFieldNumbers(const FieldDefinition& field, const char* a, const char* b);

struct FieldDefinition {
  static constexpr int kEncodedLength = 43;
  std::string name;
  FieldType type = FieldType::kInt32;
  std::int32_t size = 0;  // characters, text types only

  void EncodeTo(char* dst) const;
  static FieldDefinition DecodeFrom(const char* src);
};

enum IndexOption : std::uint8_t {
  kIndexPrimary = 1,
  kIndexUnique = 2,
  kIndexDescending = 4,
  kIndexCaseInsensitive = 8,
};

struct IndexDefinition {
  static constexpr int kEncodedLength = 78;
  std::string name;
  std::uint8_t options = 0;
  std::vector<std::int32_t> fields;  // field slots in key order, at most 8
  std::int32_t tabOffset = 0;        // first index-tab chunk
  std::int32_t head = 0;             // first row in this index's order

  void EncodeTo(char* dst) const;
  static IndexDefinition DecodeFrom(const char* src);
};

struct TableHeader {
  static constexpr int kEncodedLength = 4821;
  // Offsets inside the header of the parts that are patched in place.
  static constexpr int kRecordTabAt = 33;
  static constexpr int kRowCountAt = 37;
  static constexpr int kLastAutoIncAt = 41;
  static constexpr int kFieldCountAt = 45;
  static constexpr int kFieldsAt = 49;
  static constexpr int kIndexCountAt = 4177;
  static constexpr int kIndexesAt = 4181;
  static constexpr int kIndexTabAt = 66;  // within an index definition
  static constexpr int kIndexHeadAt = 70;

  std::string name;
  std::int32_t recordTab = 0;
  std::int32_t rowCount = 0;
  std::int32_t lastAutoInc = 0;
  std::vector<FieldDefinition> fields;
  std::vector<IndexDefinition> indexes;

  void EncodeTo(char* dst) const;
  static Status DecodeFrom(const char* src, TableHeader* out);

  static std::int64_t IndexDefinitionAt(int slot) {
    return kIndexesAt + std::int64_t(slot) * IndexDefinition::kEncodedLength;
  }
};

struct RecordItem {
  static constexpr int kEncodedLength = kRecordItemLength;
  std::int32_t offset = 0;
  bool deleted = false;

  void EncodeTo(char* dst) const;
  static RecordItem DecodeFrom(const char* src);
};

struct IndexItem {
  static constexpr int kEncodedLength = kIndexItemLength;
  std::int32_t row = 0;
  std::int32_t next = -1;

  void EncodeTo(char* dst) const;
  static IndexItem DecodeFrom(const char* src);
};

// Where the item of row `n` stands in a chunk that begins at `chunk`.
inline std::int64_t RecordItemOffset(std::int64_t chunk, std::int32_t n) {
  return chunk + 4 + std::int64_t(n % kItemsPerChunk) * kRecordItemLength;
}
inline std::int64_t IndexItemOffset(std::int64_t chunk, std::int32_t n) {
  return chunk + 4 + std::int64_t(n % kItemsPerChunk) * kIndexItemLength;
}

}  // namespace store
