#pragma once

// Rows and chains of a table as the store's table tests write and read
// them, straight in the file's bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "store/collation.h"
#include "store/database.h"
#include "store/format.h"
#include "store/table.h"
#include "store/testing/files.h"

namespace store::testing {

// Texts UTF-8 here, Windows-1250 in the file.
inline std::string Cp(const std::string& utf8) { return Utf8ToWindows1250(utf8); }

using Values = std::vector<std::pair<std::string, std::string>>;

// A full row image: the named fields set (texts as bytes, numbers from
// decimal text), every other byte zero. A later value of a field replaces an
// earlier one whole.
inline std::string Image(const TableData& t, const Values& values) {
  std::string row(size_t(t.RowSize()), '\0');
  for (const auto& [name, value] : values) {
    const int f = t.FieldIndex(name);
    if (f < 0) {
      ADD_FAILURE() << "no field " << name;
      continue;
    }
    const FieldDefinition& def = t.header().fields[size_t(f)];
    char* p = row.data() + t.FieldOffset(f);
    std::memset(p, 0, size_t(FieldWidth(def.type, def.size)));
    if (IsTextType(def.type)) {
      std::memcpy(p, value.data(), std::min(value.size(), size_t(def.size)));
    } else {
      PutFieldNumber(def, p, std::stoll(value));
    }
  }
  return row;
}

inline Status Create(const std::string& path, const std::vector<FieldSpec>& fields,
                     const std::vector<std::tuple<std::string, std::uint8_t, std::vector<std::string>>>& indexes,
                     std::shared_ptr<Database>* db) {
  Status s = Database::Create(path);
  if (s.ok()) s = Database::Open(path, Fast(), db);
  if (s.ok()) s = (*db)->CreateTable("t", fields);
  for (const auto& [name, options, keyFields] : indexes) {
    if (s.ok()) s = (*db)->CreateIndex("t", name, options, keyFields);
  }
  return s;
}

// The rows an index's chain visits from its head, dead ones included, read
// straight from the file.
inline std::vector<std::int32_t> ChainInFile(const std::string& file, std::int64_t headerAt, int slot) {
  const char* index = file.data() + headerAt + TableHeader::IndexDefinitionAt(slot);
  std::vector<std::int64_t> chunks;
  for (std::int64_t c = GetInt32(index + TableHeader::kIndexTabAt); c != 0; c = GetInt32(file.data() + c)) {
    if (c < kFirstTableOffset || c + kIndexChunkLength > std::int64_t(file.size()) || chunks.size() > 64) {
      ADD_FAILURE() << "index tab chunk at " << c << " is not in the file";
      return {};
    }
    chunks.push_back(c);
  }
  std::vector<std::int32_t> rows;
  std::vector<char> seen(chunks.size() * kItemsPerChunk, 0);
  for (std::int32_t r = GetInt32(index + TableHeader::kIndexHeadAt); r != -1;) {
    if (r < 0 || size_t(r) >= seen.size()) {
      ADD_FAILURE() << "the chain leaves the index tab at row " << r;
      break;
    }
    const char* item = file.data() + IndexItemOffset(chunks[size_t(r / kItemsPerChunk)], r);
    if (GetInt32(item) != r) {
      ADD_FAILURE() << "the item of row " << r << " names row " << GetInt32(item);
      break;
    }
    if (seen[size_t(r)]++) {
      ADD_FAILURE() << "the chain visits row " << r << " twice";
      break;
    }
    rows.push_back(r);
    r = GetInt32(item + 4);
  }
  return rows;
}

}  // namespace store::testing
