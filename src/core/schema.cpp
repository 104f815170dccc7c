#include "core/schema.h"

#include <cstdio>

#include "store/database.h"

using store::FieldSpec;
using store::FieldType;
using store::Status;

namespace {

Status BuildSchema(store::Database& db) {
  Status s = db.CreateTable("telefony", {FieldSpec{"ID", FieldType::kInt32, 0}, FieldSpec{"Imie", FieldType::kText, 40},
                                         FieldSpec{"Nazwisko", FieldType::kText, 40},
                                         FieldSpec{"Tel", FieldType::kText, 12}, FieldSpec{"ST", FieldType::kInt32, 0}});
  if (s.ok()) s = db.CreateIndex("telefony", "TelIndex", store::kIndexUnique, {"Tel"});
  if (s.ok()) s = db.CreateIndex("telefony", "NazwiskoIndex", 0, {"Nazwisko"});
  if (s.ok()) s = db.CreateIndex("telefony", "ImieIndex", 0, {"Imie"});
  if (s.ok()) s = db.CreateTable("config", {FieldSpec{"key", FieldType::kText, 40}, FieldSpec{"value", FieldType::kText, 40}});
  if (s.ok()) s = db.CreateTable("raporty", {FieldSpec{"Tel", FieldType::kText, 10}, FieldSpec{"Data", FieldType::kText, 18}});
  return s;
}

}  // namespace

Status CreateConfiguratorDatabase(const std::string& path) {
  const std::string temporary = path + ".new";
  Status s = store::Database::Create(temporary);
  if (s.ok()) {
    std::shared_ptr<store::Database> db;
    s = store::Database::Open(temporary, store::Database::Options{}, &db);
    if (s.ok()) s = BuildSchema(*db);
  }
  if (s.ok() && std::rename(temporary.c_str(), path.c_str()) != 0) s = Status::IOError("Cannot create file " + path);
  if (!s.ok()) std::remove(temporary.c_str());
  return s;
}
