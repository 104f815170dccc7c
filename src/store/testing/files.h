#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include "store/collation.h"
#include "store/database.h"
#include "store/format.h"

namespace store::testing {

// A whole file's bytes, for tests that damage or compare files.
inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Where what a file holds ends, zeros written ahead of it left out.
inline std::int64_t UsedSize(const std::string& path) { return UsedEndOf(ReadAll(path)); }

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

// Polish order and no flushing: what a test needs and nothing it must wait for.
inline Database::Options Fast() {
  Database::Options options;
  options.collation = MakeLocaleCollation("pl_PL");
  options.sync = SyncMode::kNone;
  return options;
}

}  // namespace store::testing
