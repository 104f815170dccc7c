#pragma once

#include <fstream>
#include <functional>
#include <memory>
#include <iterator>
#include <string>

#include "store/collation.h"
#include "store/database.h"
#include "store/format.h"
#include "store/table.h"

namespace store::testing {

// The configurator's three tables as the store sees them: the tests make
// their own, so the store is checked without anything built above it.
inline Status CreatePhoneDatabase(const std::string& path) {
  Status s = Database::Create(path);
  std::shared_ptr<Database> db;
  if (s.ok()) s = Database::Open(path, Database::Options{}, &db);
  if (s.ok()) {
    s = db->CreateTable("telefony", {FieldSpec{"ID", FieldType::kInt32, 0}, FieldSpec{"Imie", FieldType::kText, 40},
                                     FieldSpec{"Nazwisko", FieldType::kText, 40},
                                     FieldSpec{"Tel", FieldType::kText, 12}, FieldSpec{"ST", FieldType::kInt32, 0}});
  }
  if (s.ok()) s = db->CreateIndex("telefony", "TelIndex", kIndexUnique, {"Tel"});
  if (s.ok()) s = db->CreateIndex("telefony", "NazwiskoIndex", 0, {"Nazwisko"});
  if (s.ok()) s = db->CreateIndex("telefony", "ImieIndex", 0, {"Imie"});
  if (s.ok())
    s = db->CreateTable("config", {FieldSpec{"key", FieldType::kText, 40}, FieldSpec{"value", FieldType::kText, 40}});
  if (s.ok())
    s = db->CreateTable("raporty", {FieldSpec{"Tel", FieldType::kText, 10}, FieldSpec{"Data", FieldType::kText, 18}});
  return s;
}

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

// Polish order and a flush before every commit, as the configurator runs.
inline Database::Options Flushed() {
  Database::Options options = Fast();
  options.sync = SyncMode::kBarrier;
  return options;
}

// Loads every table of `db` in turn and hands it to `see`, with what a load
// refused and what a verify of each table found in `problems`.
inline void EachTable(const std::shared_ptr<Database>& db, std::vector<std::string>* problems,
                      const std::function<void(const std::string& name, const TableData& table)>& see) {
  std::vector<std::string> names;
  Status s = db->TableNames(&names);
  if (!s.ok()) problems->push_back(s.message());
  for (const std::string& name : names) {
    std::unique_ptr<TableData> table;
    s = db->LoadTable(name, &table);
    if (!s.ok()) {
      problems->push_back(s.message());
      continue;
    }
    for (std::string& problem : table->Verify()) problems->push_back(std::move(problem));
    see(name, *table);
  }
}

}  // namespace store::testing
